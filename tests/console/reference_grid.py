"""An independent model of newgrid.txt, written from the file's description alone: single
precision values, x and y advanced by repeated addition rounded to single precision, the counts
taken in double precision, the spacing rounded half to even, up to 7 significant digits with a
capital E from 1E+07 up, CR LF line ends, column by column. For plain decimal texts only.

usage: python3 reference_grid.py [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING
"""
import math
import struct
import sys


def single(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def shown(value):
    return "0" if value == 0 else "%.7G" % value


arguments = sys.argv[1:]
separator = "."
while arguments[0] != "--":
    option = arguments.pop(0)
    if option.startswith("--decimal-separator="):
        separator = option[-1]
texts = [text.strip().replace(separator, ".") for text in arguments[1:]]
min_x, max_x, min_y, max_y = (single(float(text)) for text in texts[:4])
spacing = round(float(texts[4]))
rows = max(math.floor((max_y - min_y) / spacing) + 1, 0)
columns = max(math.floor((max_x - min_x) / spacing) + 1, 0)

lines = ['"easting","northing","ID"\r\n']
x = min_x
for column in range(1, columns + 1 if rows else 1):
    y = min_y
    for row in range(1, rows + 1):
        lines.append('%s,%s,"r%dc%d"\r\n' % (shown(x), shown(y), row, column))
        y = single(y + spacing)
    x = single(x + spacing)
sys.stdout.buffer.write("".join(lines).encode())
