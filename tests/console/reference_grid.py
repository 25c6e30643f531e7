"""An independent model of newgrid.txt, written from the file's description alone: single
precision values, x and y advanced by repeated addition rounded to single precision, the counts
taken in double precision, the spacing rounded half to even, up to 7 significant digits with a
capital E from 1E+07 up, CR LF line ends, column by column. For plain decimal texts only.

With --dry-run, prints what the file would hold as tessaplan-grid --dry-run says it, counted
from the same lines without writing them: each line is x "," y ",\"r" row "c" column "\"\r\n";
then what the file loses against the typed values (account()), in exact decimals.

With --snap=out or --snap=in, the extent first goes to whole multiples of the spacing as used:
out, each minimum down and each maximum up; in, the other way (exact fractions of the texts).

usage: python3 reference_grid.py [--decimal-separator=C] [--no-sync] [--dry-run] [--snap=out|in] -- MINX MAXX MINY MAXY SPACING
"""
import decimal
import fractions
import math
import re
import struct
import sys

decimal.getcontext().prec = 2000
CAPTIONS = ["Minimum x value", "Maximum x value", "Minimum Y value", "Maximum Y value",
            "Grid Spacing"]


def single(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def shown(value):
    return "0" if value == 0 else "%.7G" % value


def bits(value):
    return struct.unpack("<I", struct.pack("<f", value))[0]


LARGEST = fractions.Fraction(struct.unpack("<f", struct.pack("<I", 0x7F7FFFFF))[0])


def nearest_single(exact):
    """The single nearest to a Fraction, ties to even; None where that is beyond the range.
    Through a double first, then corrected where the double's own rounding misled."""
    magnitude = abs(exact)
    if magnitude >= LARGEST + fractions.Fraction(2) ** 103:  # half a step past the largest
        return None
    guess = single(float(min(magnitude, LARGEST)))
    candidates = [struct.unpack("<f", struct.pack("<I", b))[0]
                  for b in (bits(guess) - 1, bits(guess), bits(guess) + 1) if 0 <= b < 0x7F800000]
    best = min(candidates, key=lambda c: (abs(fractions.Fraction(c) - magnitude), bits(c) % 2))
    return -best if exact < 0 else best


def plus(value, spacing):
    """value + spacing rounded once to single, as single-precision addition does."""
    if abs(value) < 2.0 ** 29:
        return single(value + spacing)  # exact in a double before the one rounding
    return nearest_single(fractions.Fraction(value) + spacing)


def plain(number):
    """An exact decimal as plain digits, without trailing zeros."""
    if number == 0:
        return "0"
    text = format(number, "f")
    return text.rstrip("0").rstrip(".") if "." in text else text


def account(texts, separator="."):
    """What the file loses against the typed values, one sentence each: the rule of docs/command_line.md,
    in Python's exact decimals. Nothing where Run refuses the texts before it counts."""
    typed = [text.strip(" \t") for text in texts]
    point = re.escape(separator)
    number = re.compile(r"[+-]?(\d+(%s\d*)?|%s\d+)([eE][+-]?\d+)?" % (point, point))
    if not all(number.fullmatch(text) for text in typed):
        return []
    values = [decimal.Decimal(text.replace(separator, ".")) for text in typed]
    coordinates = [nearest_single(fractions.Fraction(value)) for value in values[:4]]
    spacing = int(values[4].quantize(decimal.Decimal(1), rounding=decimal.ROUND_HALF_EVEN))
    if None in coordinates or not -32768 <= spacing <= 32767:
        return []
    named = ['"%s" %s' % (caption, text) for caption, text in zip(CAPTIONS, typed)]
    items = []
    if values[4] != spacing:
        items.append("%s is used as %d, a whole number." % (named[4], spacing))
    if spacing == 0:
        return items
    min_x, max_x, min_y, max_y = coordinates
    counts = []
    for low, high in ((min_y, max_y), (min_x, max_x)):
        quotient = (high - low) / spacing
        if not math.isfinite(quotient) or not -32768 <= math.floor(quotient) <= 32767:
            return items
        counts.append(math.floor(quotient))
    rows, columns = counts
    if columns == 32767 or (rows == 32767 and columns >= 0):
        return items
    axes = [("column", 0, min_x, columns), ("row", 2, min_y, rows)]
    if rows < 0 or columns < 0:
        for _, first, _, count in axes:
            if count < 0 and spacing > 0:
                items.append("No point is written: %s is above %s." % (named[first],
                                                                      named[first + 1]))
            elif count < 0:
                items.append("No point is written: %s is negative, but %s is above %s."
                             % (named[4], named[first + 1], named[first]))
        return items
    for line, first, start, count in axes:
        low, high = values[first], values[first + 1]
        written, value = [], start
        for _ in range(count + 1):
            written.append(shown(value))
            value = plus(value, spacing)
        away = [(abs(decimal.Decimal(text) - (low + i * spacing)), i)
                for i, text in enumerate(written) if decimal.Decimal(text) != low + i * spacing]
        lines = "%d %s" % (count + 1, line if count == 0 else line + "s")
        if away:
            difference = max(d for d, _ in away)
            worst = min(i for d, i in away if d == difference)
            items.append("%d of %s %s written away from where the fields put them, by up to %s "
                         "(%s %d: %s, not %s)." % (
                             len(away), lines, "is" if len(away) == 1 else "are",
                             plain(difference), line, worst + 1, written[worst],
                             plain(low + worst * spacing)))
        alike = [i for i in range(1, len(written))
                 if decimal.Decimal(written[i]) == decimal.Decimal(written[i - 1])]
        if alike:
            items.append("%ss %d and %d are both written as %s: points share a written position."
                         % (line.capitalize(), alike[0], alike[0] + 1, written[alike[0]]))
        last, following = low + count * spacing, low + (count + 1) * spacing
        if (following <= high) if spacing > 0 else (following >= high):
            items.append("%s is not reached: the last %s is at %s, though one more spacing, to "
                         "%s, stays within it." % (named[first + 1], line, plain(last),
                                                   plain(following)))
        elif (last > high) if spacing > 0 else (last < high):
            items.append("The last %s, at %s, lies past %s." % (line, plain(last),
                                                               named[first + 1]))
    return items


def counted(count, noun):
    return "%d %s" % (count, noun if count == 1 else noun + "s")


def snapped(texts, separator, snap):
    """The four coordinates at multiples of the spacing rounded half to even, as digits."""
    exact = [fractions.Fraction(text.strip().replace(separator, ".")) for text in texts]
    spacing = round(exact[4])
    down = [math.floor, math.ceil] if snap == "out" else [math.ceil, math.floor]
    return [str(down[i % 2](value / spacing) * spacing) for i, value in enumerate(exact[:4])]


def main():
    arguments = sys.argv[1:]
    separator = "."
    dry_run = False
    snap = None
    while arguments[0] != "--":
        option = arguments.pop(0)
        if option.startswith("--decimal-separator="):
            separator = option[-1]
        if option.startswith("--snap="):
            snap = option[len("--snap="):]
        dry_run = dry_run or option == "--dry-run"
    if snap:
        arguments[1:5] = snapped(arguments[1:], separator, snap)
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
        counts = "%s (%s, %s)" % (counted(rows * columns, "point"), counted(rows, "row"),
                                  counted(columns, "column"))
        if not rows or not columns:
            print("%s, %d bytes" % (counts, len(header)))
        else:
            size = (len(header) + 8 * rows * columns
                    + rows * sum(len(x) + len(str(c)) for c, x in enumerate(xs, 1))
                    + columns * sum(len(y) + len(str(r)) for r, y in enumerate(ys, 1)))
            print("%s, %d bytes, last point %s,%s" % (counts, size, xs[-1], ys[-1]))
        if snap:
            print("extent %s (snapped %s to multiples of %d)" % (",".join(arguments[1:5]), snap,
                                                                spacing))
        for item in account(arguments[1:], separator):
            print("warning: " + item)
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


if __name__ == "__main__":
    main()
