"""What a user would otherwise write: the same newgrid.txt with numpy's meshgrid and savetxt.

usage: python3 numpy_grid.py MINX MAXX MINY MAXY SPACING
"""
import math
import sys

import numpy as np

min_x, max_x, min_y, max_y = (np.float32(v) for v in sys.argv[1:5])
spacing = int(sys.argv[5])
columns = math.floor((float(max_x) - float(min_x)) / spacing) + 1
rows = math.floor((float(max_y) - float(min_y)) / spacing) + 1

xs = min_x + np.arange(columns, dtype=np.float32) * np.float32(spacing)
ys = min_y + np.arange(rows, dtype=np.float32) * np.float32(spacing)
# Column by column: all rows of the first column, then the next.
x, y = np.meshgrid(xs, ys, indexing="ij")
column, row = np.meshgrid(np.arange(1, columns + 1), np.arange(1, rows + 1), indexing="ij")
points = np.rec.fromarrays([x.ravel(), y.ravel(), row.ravel(), column.ravel()])
np.savetxt("newgrid.txt", points, fmt='%.7G,%.7G,"r%dc%d"', newline="\r\n",
           header='"easting","northing","ID"', comments="")
