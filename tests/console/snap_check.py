#!/usr/bin/env python3
"""--snap against this test's own exact arithmetic and against GDAL's target-aligned pixels.

usage: snap_check.py TESSAPLAN_GRID SEED [COUNT]

A seeded draw of extents and spacings (typed with decimals, exponents and signs) is snapped by
`tessaplan-grid --snap=out|in --dry-run`; the extent it says it uses must be the one worked out
here with exact fractions: out, the smallest extent of whole multiples of the spacing as the
grid uses it (rounded half to even) that holds the typed one; in, the largest inside it, or a
usage error where none lies inside. Then a few extents are warped by gdalwarp -tap, whose output
extent must be --snap=out's.
"""
import json
import math
import os
import random
import re
import subprocess
import sys
import tempfile
from fractions import Fraction

LINE = re.compile(r"^extent (-?\d+),(-?\d+),(-?\d+),(-?\d+) \(snapped (out|in) to multiples of (\d+)\)$",
                  re.M)


def used_spacing(text):
    """The spacing as the grid uses it: the typed value rounded half to even."""
    return round(Fraction(text))


def expected(texts, snap):
    s = used_spacing(texts[4])
    values = [Fraction(t) for t in texts[:4]]
    out = []
    for low, high in ((values[0], values[1]), (values[2], values[3])):
        if snap == "out":
            a, b = math.floor(low / s) * s, math.ceil(high / s) * s
        else:
            a, b = math.ceil(low / s) * s, math.floor(high / s) * s
            if a > b:
                return None
        out += [a, b]
    return out, s


def decimal_text(rng, value):
    """`value` typed as a user might: plain, with a fraction, or with an exponent."""
    form = rng.randrange(4)
    if form == 0:
        return str(int(value))
    if form == 1:
        return f"{value:.{rng.randrange(1, 6)}f}"
    if form == 2:
        return f"{value:.{rng.randrange(1, 8)}e}"
    return f"{value:.3f}".rstrip("0").rstrip(".") or "0"


def draw(rng):
    spacing = rng.choice([1, 2, 5, 10, 25, 100, 250, 1000, 30000, rng.randrange(1, 32768)])
    spacing_text = str(spacing) if rng.random() < 0.8 else f"{spacing + rng.uniform(-0.49, 0.49):.2f}"
    s = used_spacing(spacing_text)
    texts = []
    for _ in range(2):
        low = rng.uniform(-2e6, 2e6) * rng.choice([1, 1, 0.001])
        high = low + rng.uniform(0, s * rng.choice([0.5, 3, 200]))
        texts += [decimal_text(rng, low), decimal_text(rng, high)]
    texts = [texts[0], texts[1], texts[2], texts[3], spacing_text]
    # As typed, a minimum may round past its maximum, and a range past the grid's 32767 lines.
    for i in (0, 2):
        if Fraction(texts[i]) > Fraction(texts[i + 1]):
            texts[i], texts[i + 1] = texts[i + 1], texts[i]
        if (Fraction(texts[i + 1]) - Fraction(texts[i])) / s > 30000:
            return draw(rng)
    return texts


def run(program, *arguments):
    return subprocess.run([program, *arguments], capture_output=True, text=True)


def gdal_tap(xmin, xmax, ymin, ymax, columns, rows, spacing, folder):
    """The extent gdalwarp -tap gives a raster of square pixels over the extent. Virtual rasters:
    no pixel is made."""
    source = os.path.join(folder, "in.vrt")
    target = os.path.join(folder, "out.vrt")
    for path in (source, target):
        if os.path.exists(path):
            os.remove(path)
    subprocess.run(["gdal_create", "-q", "-of", "VRT", "-outsize", str(columns), str(rows),
                    "-a_ullr", str(xmin), str(ymax), str(xmax), str(ymin), source], check=True)
    subprocess.run(["gdalwarp", "-q", "-of", "VRT", "-tr", str(spacing), str(spacing), "-tap",
                    source, target], check=True)
    corners = json.loads(subprocess.run(["gdalinfo", "-json", target], capture_output=True,
                                        text=True, check=True).stdout)["cornerCoordinates"]
    return [corners["upperLeft"][0], corners["lowerRight"][0], corners["lowerRight"][1],
            corners["upperLeft"][1]]


def main():
    program, seed = sys.argv[1], int(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    rng = random.Random(seed)
    failures = 0
    for case in range(count):
        texts = draw(rng)
        for snap in ("out", "in"):
            result = run(program, f"--snap={snap}", "--dry-run", "--", *texts)
            want = expected(texts, snap)
            if want is None:
                ok = result.returncode == 2 and "finds no multiple of" in result.stderr
            else:
                found = LINE.search(result.stdout)
                ok = (result.returncode == 0 and found is not None and
                      [int(v) for v in found.groups()[:4]] == want[0] and
                      found.group(5) == snap and int(found.group(6)) == want[1])
                if ok and snap == "in":  # inside the typed extent
                    v = [Fraction(t) for t in texts[:4]]
                    e = want[0]
                    ok = v[0] <= e[0] and e[1] <= v[1] and v[2] <= e[2] and e[3] <= v[3]
            if not ok:
                failures += 1
                print(f"FAILED (seed {seed}, case {case}): --snap={snap} {' '.join(texts)}: "
                      f"expected {want}, got status {result.returncode}: "
                      f"{result.stdout.strip()} {result.stderr.strip()}")
    with tempfile.TemporaryDirectory() as folder:
        # Each: the lower left corner, the pixel's size, columns and rows, the spacing.
        for x, y, pixel, columns, rows, spacing in [(15, -7.5, 37, 10, 5, 100),
                                                    (500123.4, 4100222.2, 1286.42, 10, 11, 250),
                                                    (-1234.5, -999.9, 12.5, 97, 80, 30),
                                                    (0, 0, 100, 10, 10, 1000),
                                                    (683471.25, 3312007.5, 53.25, 10, 15, 7)]:
            xmax, ymax = x + columns * pixel, y + rows * pixel
            texts = [repr(x), repr(xmax), repr(y), repr(ymax), str(spacing)]
            found = LINE.search(run(program, "--snap=out", "--dry-run", "--", *texts).stdout)
            gdal = gdal_tap(x, xmax, y, ymax, columns, rows, spacing, folder)
            mine = [int(v) for v in found.groups()[:4]] if found else None
            if mine is None or any(abs(m - g) > 1e-6 for m, g in zip(mine, gdal)):
                failures += 1
                print(f"FAILED: {' '.join(texts)}: --snap=out gives {mine}, gdalwarp -tap {gdal}")
    print(f"{count} draws (seed {seed}) and 5 extents against gdalwarp -tap: {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
