// The command line of the console programs: options first, then the five values in order; "--"
// ends the options, so that values after it may begin with a minus. Each value is given once:
// in order, by name, or (the extent) by --extent.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/coordinate_system.h"
#include "console/usage_error.h"
#include "grid/fields.h"
#include "grid/plan.h"
#include "grid/point_file.h"
#include "grid/snap_extent.h"

namespace console {

struct Command {
  grid::FieldTexts texts;
  char decimal_separator = '.';
  bool no_sync = false;
  std::string output = std::string(grid::kGridFileName);
  bool output_named = false;  // by --output: then a stream it names is written as a stream
  bool dry_run = false;
  bool strict = false;
  std::optional<grid::Snap> snap;                    // the extent moved to multiples of the spacing
  std::optional<grid::PointFileOptions> point_file;  // --format: a point file instead
  std::optional<CoordinateSystem> crs;               // files beside the grid that describe it
  std::optional<grid::GeoPackageLayer> geopackage;   // --format=gpkg: a new GeoPackage instead
  bool quiet = false;
  bool help = false;
  bool version = false;
  // What the texts make, planned once they are known (grid/plan.h).
  grid::GridPlan plan;
};

// `arguments` (UTF-8, the program's name first) read into a command, its extent snapped where
// --snap asks, and planned; raises a UsageError. With --help or --version the values are not
// looked at.
Command Parse(const std::vector<std::string>& arguments);

}  // namespace console
