#!/usr/bin/env python3
"""The account of what the file loses, against an independent model in exact decimals
(tests/console/reference_grid.py's account()): over the grid tables and a seeded draw of
five-field texts shaped as surveyors type them (UTM and State Plane extents, decimals, swapped
extents, fractional and negative spacings, exponents), the program's sentences must be the
model's, and exact grids must have none.

usage: account_check.py COUNT SEED DRIVER...   (DRIVER: account_driver, under Wine its emulator)
"""
import decimal
import os
import random
import shlex
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
import reference_grid  # noqa: E402

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "grid_cases.txt")


def text(number, separator, rng):
    """A decimal as a user types it: plain, or now and then with an exponent."""
    shown = reference_grid.plain(number)
    if rng.random() < 0.05 and number != 0:
        shown = "%se%d" % (reference_grid.plain(number.scaleb(-3)), 3)
    return shown.replace(".", separator)


def drawn(rng):
    """Five texts and a separator, and whether the grid is exact by construction."""
    separator = rng.choice([".", ".", ","])
    exact = rng.random() < 0.2
    spacing = decimal.Decimal(rng.choice([1, 2, 3, 5, 7, 10, 25, 30, 100, 200, 250, 1000]))
    if not exact and rng.random() < 0.3:
        spacing += rng.choice([decimal.Decimal("0.5"), decimal.Decimal("0.4"),
                               decimal.Decimal("-0.5"), decimal.Decimal("0.49"),
                               decimal.Decimal("0.25")])
    descending = rng.random() < 0.2
    used = int(spacing.quantize(1, rounding=decimal.ROUND_HALF_EVEN)) or 1
    texts = []
    # Exact: whole metres, as UTM and State Plane in metres have them (below 10^7, where seven
    # digits write every whole number); otherwise also State Plane northings in feet.
    northings = [0, 4000000, 5400000, 100] + ([] if exact else [13100000])
    for base in (rng.choice([0, 500000, 300000, 2000000]), rng.choice(northings)):
        start = decimal.Decimal(base + rng.randrange(-1000, 1000) * used)
        if not exact and rng.random() < 0.4:
            start += decimal.Decimal(rng.randrange(1, 1000)).scaleb(-rng.randrange(1, 4))
        if not exact and rng.random() < 0.1:
            start = start.scaleb(rng.randrange(1, 4))
        if not exact and rng.random() < 0.03:  # near the ends of single precision's range
            start = decimal.Decimal(rng.randrange(-999, 1000)).scaleb(rng.choice([-40, -30, 30, 35]))
        end = start + rng.randrange(0, 40) * used
        if not exact and rng.random() < 0.3:
            end += decimal.Decimal(rng.randrange(-999, 1000)).scaleb(-rng.randrange(1, 9))
        if not exact and rng.random() < 0.1:
            start, end = end, start
        if descending:
            start, end = end, start
        texts += [text(start, separator, rng), text(end, separator, rng)]
    if descending:
        spacing = -spacing
    texts.append(text(spacing, separator, rng))
    return separator, texts, exact


def table_cases():
    for line in open(CASES):
        if line.startswith("#") or "|" not in line:
            continue
        options, quoted = line.rstrip("\n").split("|", 1)
        separator = "," if "--decimal-separator=," in options else "."
        texts = shlex.split(quoted)
        if len(texts) == 5 and not any("\t" in t or "\n" in t for t in texts):
            yield separator, texts, False


def main():
    count, seed, driver = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
    rng = random.Random(seed)
    cases = list(table_cases()) + [drawn(rng) for _ in range(count)]
    request = "".join("\t".join([separator, *texts]) + "\n" for separator, texts, _ in cases)
    answer = subprocess.run(driver, input=request.encode(), capture_output=True, check=True)
    told = answer.stdout.decode().replace("\r\n", "\n").split("\n")
    failures = 0
    exact_grids = 0
    for (separator, texts, exact), said in zip(cases, told):
        expected = reference_grid.account(texts, separator)
        program = said.split("\t") if said else []
        problem = None
        if program != expected:
            problem = "the program says %r, the model %r" % (program, expected)
        elif exact and expected:
            problem = "an exact grid told %r" % expected
        exact_grids += exact
        if problem:
            failures += 1
            if failures <= 10:
                print("FAILED: %s %s: %s" % (separator, " ".join(texts), problem))
    told_cases = sum(1 for (separator, texts, _) in cases if reference_grid.account(texts, separator))
    print("%d cases (seed %d), %d exact, %d with an account, %d failed"
          % (len(cases), seed, exact_grids, told_cases, failures))
    sys.exit(1 if failures or len(told) < len(cases) else 0)


if __name__ == "__main__":
    main()
