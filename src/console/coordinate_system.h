// --crs: a projected coordinate system of EPSG's register, as PROJ's database held it when the
// program was built, and the files beside the grid that tell GIS programs what its values are:
// NAME.prj (the system as ESRI WKT), NAME.csvt (the columns' types, which make each line a
// point) and NAME.vrt (a virtual layer over the grid, with its system and point geometry); beside
// a point file, its .prj and .vrt.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grid/file_set.h"
#include "grid/geopackage.h"
#include "grid/point_file.h"

namespace console {

struct CoordinateSystem {
  int code = 0;
  std::string name;  // "WGS 84 / UTM zone 15N"
  std::string unit;  // "metre", "US survey foot"
  std::string wkt;   // ESRI's WKT, one line
  // OGC WKT 1, one line, as a GeoPackage holds it; empty for a method it has no words for.
  std::string ogc_wkt;
};

// The system `text` names, as "EPSG:N" (EPSG in any case). Raises a UsageError for another
// form, a code the table does not hold, and a system --crs refuses, saying why.
CoordinateSystem FindCoordinateSystem(std::string_view text);

// The layer `name` of a GeoPackage, its points in `system`, or without one in the standard's
// undefined Cartesian system.
grid::GeoPackageLayer GeoPackageLayer(std::string name,
                                      const std::optional<CoordinateSystem>& system);

// "EPSG:32615, WGS 84 / UTM zone 15N, metre".
std::string Described(const CoordinateSystem& system);

// The extension of the name at the end of `output` (UTF-8), in lower case, when it is one of
// the files that describe it (DescribingFiles), in any case (as file systems that ignore case
// compare names): then the file would be one of its own descriptions. Empty otherwise.
std::string DescribingExtension(std::string_view output, bool point_file);

// Whether the .vrt can name the grid `name` (UTF-8) so that GDAL finds it: not with a backslash,
// which GDAL reads as a folder's end on every system, nor with what XML cannot carry or a
// message would show escaped (control characters, bytes that are not UTF-8).
bool LayerCanName(std::string_view name);

// The files that describe a file in `system`, made for its name as the run finds it; the same
// bytes on every system. A grid has three; a point file (`point_file`), which has no header and
// so no column names for a .csvt, its .prj and a .vrt that reads its fields by their places.
std::vector<grid::DescribingFile> DescribingFiles(
    const CoordinateSystem& system, const std::optional<grid::PointFileOptions>& point_file);

}  // namespace console
