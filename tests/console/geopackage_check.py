#!/usr/bin/env python3
"""Checks a GeoPackage tessaplan-grid made against the grid it made from the same texts, with
readers of its own: GDAL's validator (extra checks, warnings as errors), GDAL's reading of the
layer, Python's SQLite for the tables and the spatial index, and the grid's CSV as the points'
reference. Prints each failure; exits 1 on any.

    geopackage_check.py FILE.gpkg LAYER GRID.txt [EPSG]
"""
import csv
import random
import re
import sqlite3
import struct
import sys

from osgeo import ogr, osr
from osgeo_utils.samples import validate_gpkg

ogr.UseExceptions()
osr.UseExceptions()
path, layer, grid = sys.argv[1:4]
code = int(sys.argv[4]) if len(sys.argv) > 4 else None
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


errors = validate_gpkg.check(path, abort_at_first_error=False, extra_checks=True,
                             warning_as_error=True)
expect(not errors, f"GDAL's validator: {errors}")

with open(grid, newline="") as rows:
    reader = csv.reader(rows)
    expect(next(reader) == ["easting", "northing", "ID"], "the grid's header")
    points = [(float(x), float(y), name) for x, y, name in reader]

db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
one = lambda sql, *args: db.execute(sql, args).fetchone()
expect(one("PRAGMA application_id")[0] == 0x47504B47, "application_id GPKG")
expect(one("PRAGMA user_version")[0] >= 10200, "user_version 1.2 or later")
expect(one("PRAGMA integrity_check")[0] == "ok", "integrity_check")
index = f"rtree_{layer}_geom"
expect(one("SELECT rtreecheck(?)", index)[0] == "ok", "rtreecheck")
quote = lambda name: '"' + name.replace('"', '""') + '"'
srs_id = -1 if code is None else code
systems = {row[0]: row[1:] for row in db.execute(
    "SELECT srs_id, organization, organization_coordsys_id, definition FROM gpkg_spatial_ref_sys")}
expect(sorted(systems) == sorted({-1, 0, 4326, srs_id}), f"the systems: {sorted(systems)}")
# Each system as GDAL writes it in OGC WKT 1; WGS 84's, whose axes GDAL names, the same system.
for srs, (organization, organization_code, definition) in systems.items():
    if srs <= 0 or definition == "undefined":
        continue
    epsg = osr.SpatialReference()
    epsg.ImportFromEPSG(srs)
    expect((organization, organization_code) == ("EPSG", srs), f"EPSG:{srs} is EPSG's")
    if srs == 4326:
        given = osr.SpatialReference()
        given.ImportFromWkt(definition)
        expect(given.IsSame(epsg), "WGS 84's definition")
    else:
        expect(definition == epsg.ExportToWkt(), f"EPSG:{srs}'s definition as GDAL writes it")

# The rows: in the grid's order, each the grid's line's point as the nearest doubles, in the
# standard's binary form (little-endian, no envelope) with the layer's system.
stored = db.execute(f"SELECT fid, geom, easting, northing, ID FROM {quote(layer)} ORDER BY fid").fetchall()
expect(len(stored) == len(points), f"{len(stored)} rows for {len(points)} points")
for number, (row, (x, y, name)) in enumerate(zip(stored, points), 1):
    fid, geom, easting, northing, stored_name = row
    header = struct.unpack("<2sBBi", geom[:8])
    wkb = struct.unpack("<BIdd", geom[8:])
    if (fid, easting, northing, stored_name, header, wkb, len(geom)) != (
            number, x, y, name, (b"GP", 0, 1, srs_id), (1, 1, x, y), 29):
        failures.append(f"row {number}: {row!r}, not {(x, y, name)}")
        break

xs = [p[0] for p in points]
ys = [p[1] for p in points]
contents = one("SELECT data_type, identifier, min_x, min_y, max_x, max_y, srs_id, last_change "
               "FROM gpkg_contents WHERE table_name = ?", layer)
expect(contents[:7] == ("features", layer, min(xs), min(ys), max(xs), max(ys), srs_id),
       f"gpkg_contents: {contents}")
expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", contents[7]), "an ISO last_change")
expect(one("SELECT geometry_type_name, srs_id, z, m FROM gpkg_geometry_columns WHERE "
           "table_name = ? AND column_name = 'geom'", layer) == ("POINT", srs_id, 0, 0),
       "gpkg_geometry_columns")
expect(one("SELECT scope FROM gpkg_extensions WHERE table_name = ? AND column_name = 'geom' AND "
           "extension_name = 'gpkg_rtree_index'", layer) == ("write-only",), "the index's extension")

# Range queries find every point inside: the index's boxes are single precision, rounded out,
# so what else they find lies within a float's step of the window.
random.seed(len(points))
x_span, y_span = (min(xs), max(xs)), (min(ys), max(ys))
windows = [(*x_span, *y_span)]
for _ in range(40):
    x1, x2 = sorted(random.uniform(*x_span) for _ in range(2))
    y1, y2 = sorted(random.uniform(*y_span) for _ in range(2))
    windows.append((x1, x2, y1, y2))
for x1, x2, y1, y2 in windows:
    found = {row[0] for row in db.execute(
        f'SELECT id FROM {quote(index)} WHERE minx <= ? AND maxx >= ? AND miny <= ? AND maxy >= ?',
        (x2, x1, y2, y1))}
    inside = {i for i, (x, y, _) in enumerate(points, 1) if x1 <= x <= x2 and y1 <= y <= y2}
    slack = lambda value: abs(value) * 2 ** -23
    near = {i for i in found - inside
            if x1 - slack(x1) <= points[i - 1][0] <= x2 + slack(x2)
            and y1 - slack(y1) <= points[i - 1][1] <= y2 + slack(y2)}
    expect(inside <= found and found - inside == near,
           f"window {(x1, x2, y1, y2)}: {len(inside - found)} missed, "
           f"{len(found - inside - near)} far outside")

# The index's entries are those SQLite's own module makes for the same points.
module = sqlite3.connect(":memory:")
module.execute("CREATE VIRTUAL TABLE m USING rtree(id, minx, maxx, miny, maxy)")
module.executemany("INSERT INTO m VALUES (?, ?, ?, ?, ?)",
                   ((i, x, x, y, y) for i, (x, y, _) in enumerate(points, 1)))
expect(module.execute("SELECT * FROM m ORDER BY id").fetchall() ==
       db.execute(f"SELECT * FROM {quote(index)} ORDER BY id").fetchall(),
       "the index's entries as SQLite's module makes them")
db.close()

# Edited later through the standard's triggers (their functions as GDAL gives them), on a copy:
# points added, moved and removed, the index stays SQLite's own and finds every point.
edited = sqlite3.connect(":memory:")
sqlite3.connect(f"file:{path}?mode=ro", uri=True).backup(edited)
coordinate = lambda at: lambda blob: None if blob is None else struct.unpack_from("<d", blob, at)[0]
edited.create_function("ST_IsEmpty", 1, lambda blob: blob is None)
for name, at in (("ST_MinX", 13), ("ST_MaxX", 13), ("ST_MinY", 21), ("ST_MaxY", 21)):
    edited.create_function(name, 1, coordinate(at))
blob = lambda x, y: struct.pack("<2sBBiBIdd", b"GP", 0, 1, srs_id, 1, 1, x, y)
table = quote(layer)
for i in range(1, len(points) + 1, 7):
    edited.execute(f"DELETE FROM {table} WHERE fid = ?", (i,))
for i in range(2, len(points) + 1, 11):
    x, y = random.uniform(*x_span), random.uniform(*y_span)
    edited.execute(f"UPDATE {table} SET geom = ?, easting = ?, northing = ? WHERE fid = ?",
                   (blob(x, y), x, y, i))
for _ in range(len(points) // 13 + 1):
    x, y = random.uniform(*x_span), random.uniform(*y_span)
    edited.execute(f"INSERT INTO {table} (geom, easting, northing) VALUES (?, ?, ?)",
                   (blob(x, y), x, y))
expect(edited.execute("SELECT rtreecheck(?)", (index,)).fetchone()[0] == "ok", "edited: rtreecheck")
rows = edited.execute(f"SELECT fid, easting, northing FROM {table}").fetchall()
for x1, x2, y1, y2 in windows[:10]:
    found = {r[0] for r in edited.execute(
        f"SELECT id FROM {quote(index)} WHERE minx <= ? AND maxx >= ? AND miny <= ? AND maxy >= ?",
        (x2, x1, y2, y1))}
    inside = {fid for fid, x, y in rows if x1 <= x <= x2 and y1 <= y <= y2}
    expect(inside <= found, f"edited, window {(x1, x2, y1, y2)}: {len(inside - found)} missed")

# GDAL reads the layer: its count, extent, system, first and last features.
source = ogr.Open(path)
read = source.GetLayerByName(layer)
expect(read is not None and read.GetFeatureCount() == len(points), "GDAL: the count")
if read is not None and points:
    expect(read.GetExtent() == (min(xs), max(xs), min(ys), max(ys)), "GDAL: the extent")
    system = read.GetSpatialRef()
    if code is None:
        expect(system is None or system.GetAuthorityCode(None) is None, "GDAL: no system")
    else:
        expect(system is not None and system.GetAuthorityCode(None) == str(code),
               "GDAL: the system")
    for fid, (x, y, name) in ((1, points[0]), (len(points), points[-1])):
        feature = read.GetFeature(fid)
        point = feature.GetGeometryRef()
        expect((point.GetX(), point.GetY(), feature["easting"], feature["northing"],
                feature["ID"]) == (x, y, x, y, name), f"GDAL: feature {fid}")

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
