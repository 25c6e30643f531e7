"""An independent model of newgrid.txt, written from the file's description alone: single
precision values, x and y advanced by repeated addition rounded to single precision, the counts
taken in double precision, the spacing rounded half to even, up to 7 significant digits with a
capital E from 1E+07 up, CR LF line ends, column by column. For plain decimal texts only.

With --dry-run, prints what the file would hold as tessaplan-grid --dry-run says it, counted
from the same lines without writing them: each line is x "," y ",\"r" row "c" column "\"\r\n".

usage: python3 reference_grid.py [--decimal-separator=C] [--no-sync] [--dry-run] -- MINX MAXX MINY MAXY SPACING
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
dry_run = False
while arguments[0] != "--":
    option = arguments.pop(0)
    if option.startswith("--decimal-separator="):
        separator = option[-1]
    dry_run = dry_run or option == "--dry-run"
texts = [text.strip().replace(separator, ".") for text in arguments[1:]]
min_x, max_x, min_y, max_y = (single(float(text)) for text in texts[:4])
spacing = round(float(texts[4]))
rows = max(math.floor((max_y - min_y) / spacing) + 1, 0)
columns = max(math.floor((max_x - min_x) / spacing) + 1, 0)

header = '"easting","northing","ID"\r\n'
if dry_run:
    xs, ys = [], []
    for values, start, count in ((xs, min_x, columns), (ys, min_y, rows)):
        value = start
        for _ in range(count):
            values.append(shown(value))
            value = single(value + spacing)
    if not rows or not columns:
        print("0 points (%d rows, %d columns), %d bytes" % (rows, columns, len(header)))
    else:
        size = (len(header) + 8 * rows * columns
                + rows * sum(len(x) + len(str(c)) for c, x in enumerate(xs, 1))
                + columns * sum(len(y) + len(str(r)) for r, y in enumerate(ys, 1)))
        print("%d points (%d rows, %d columns), %d bytes, last point %s,%s"
              % (rows * columns, rows, columns, size, xs[-1], ys[-1]))
    sys.exit(0)

lines = [header]
x = min_x
for column in range(1, columns + 1 if rows else 1):
    y = min_y
    for row in range(1, rows + 1):
        lines.append('%s,%s,"r%dc%d"\r\n' % (shown(x), shown(y), row, column))
        y = single(y + spacing)
    x = single(x + spacing)
sys.stdout.buffer.write("".join(lines).encode())
