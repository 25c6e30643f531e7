// The grid as a point layer of a GeoPackage (OGC GeoPackage 1.2), an SQLite database: the
// standard's tables, the layer's table of points in the grid's order, with the same x, y and
// names the grid's file writes (each number the nearest double to its text there), and its
// spatial index (the R-tree extension).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "grid/grid_inputs.h"
#include "grid/grid_layout.h"

namespace file {
class Database;
}

namespace grid {

// The extension a GeoPackage's name ends in.
inline constexpr std::string_view kGeoPackageExtension = ".gpkg";
// SQLite's page size for a new GeoPackage.
inline constexpr int kGeoPackagePage = 4096;

// A coordinate system as a GeoPackage describes it (its gpkg_spatial_ref_sys).
struct SpatialSystem {
  int id = -1;
  std::string name = "Undefined cartesian SRS";
  std::string organization = "NONE";
  int organization_id = -1;
  std::string definition = "undefined";  // OGC WKT 1
  std::string description = "undefined cartesian coordinate reference system";
};

struct GeoPackageLayer {
  std::string name;  // the layer's table
  // The points' system; without one, the standard's undefined Cartesian system.
  SpatialSystem system = {};
  // WGS 84's definition, which every GeoPackage holds.
  std::string wgs84_definition;
};

// The layer's name, when it begins as the names a GeoPackage keeps for its own tables (in any
// case): that beginning, as the standard writes it. Empty otherwise.
std::string_view ReservedLayerPrefix(std::string_view layer);

// The most bytes a GeoPackage of `counts` points takes.
std::uint64_t GeoPackageBytes(const GridCounts& counts);

// Writes the GeoPackage into `database`, new and empty: its tables, then the points column by
// column, each with its entry in the spatial index, asking `keep_going` with the columns done
// after each. False where it said stop. Raises a file Failure.
bool WriteGeoPackage(file::Database& database, const GridLines& lines, const GeoPackageLayer& layer,
                     const std::function<bool(std::size_t columns_done)>& keep_going);

}  // namespace grid
