// The table of coordinate systems, made from PROJ's database when the program is built
// (tools/crs_table/make_crs_table.cpp): a text of one line a system, sorted by code,
//   code TAB kind TAB name [TAB unit TAB wkt TAB ogc_wkt] LF
// where kind is p for a projected system, which has its unit, its ESRI WKT and its OGC WKT 1;
// the others, which --crs refuses, have their name only (but WGS 84, EPSG:4326, which every
// GeoPackage holds, has its OGC WKT 1 after its name): g a geographic system, d a deprecated one, x
// a projected one whose method ESRI's WKT has no words for, e one whose ESRI WKT reads back as
// another system. Packed by zlib (a zlib stream, as compress() makes it).
#pragma once

#include <cstddef>

namespace console::detail {

extern const unsigned char kCrsTable[];
extern const std::size_t kCrsTablePacked;  // its bytes, packed
extern const std::size_t kCrsTableSize;    // the text's bytes, unpacked
extern const char kCrsSource[];            // the database's maker, "PROJ 9.1.1"

}  // namespace console::detail
