#include "console/help_text.h"

#include "console/console.h"
#include "grid/fields.h"

namespace console {

std::string HelpText(const Program& program) {
  const std::string name = program.name;
  return "Usage: " + name + " [OPTION]... [--] " + grid::ValuesInOrder() + "\n" + "       " + name +
         " [OPTION]... --extent=XMIN,XMAX,YMIN,YMAX --spacing=SPACING\n" +
         "\n"
         "Writes a regular, square grid of points to newgrid.txt in the current folder, as\n"
         "tessaplan's Run button does, byte for byte: a header line, then one line per point,\n"
         "column by column, each with its row and column. The previous file is replaced only\n"
         "once the new grid is complete and on the disk.\n"
         "\n"
         "The values, in the window's field order or by name (each given once):\n"
         "  --min-x=X --max-x=X --min-y=Y --max-y=Y --spacing=S\n"
         "  --extent=XMIN,XMAX,YMIN,YMAX   the extent in the order desktop GIS uses\n"
         "Values that begin with a minus follow --, or are given by name: --min-x=-5.\n"
         "\n"
         "Options:\n"
         "  --decimal-separator=C  the values' decimal separator, one ASCII character; a full\n"
         "                         stop unless given, whatever the locale\n"
         "  --output=PATH          write PATH instead of newgrid.txt; - for standard output.\n"
         "                         A pipe, a terminal or a device (/dev/stdout, /dev/null;\n"
         "                         on Windows NUL only) is written into, never replaced\n"
         "  --dry-run              write nothing; print the points, rows, columns, bytes and\n"
         "                         the last point, then a warning line for each way the file\n"
         "                         would differ from the typed values\n"
         "  --strict               refuse a grid that would differ from the typed values,\n"
         "                         before its first byte (with --dry-run: exit 1)\n"
         "  --snap=out|in          move the extent to whole multiples of the spacing: out,\n"
         "                         the smallest that holds it; in, the largest inside it\n"
         "  --format=pnezd|penzd   write a point file for survey software to --output's PATH\n"
         "                         instead: point number, northing and easting (penzd:\n"
         "                         easting first), elevation and the r1c1 name; no header\n"
         "  --first-point=N        the first point's number, 1 unless given\n"
         "  --elevation=Z          every point's elevation, none unless given\n"
         "  --format=gpkg          write a new GeoPackage, --output=NAME.gpkg, which must not\n"
         "                         exist: the grid as a point layer with its spatial index,\n"
         "                         in --crs's system (or an undefined one), and no files beside\n"
         "  --layer=NAME           the GeoPackage's layer, NAME of NAME.gpkg unless given\n"
         "  --crs=EPSG:N           the projected system of the values: beside the grid, write\n"
         "                         NAME.prj, NAME.csvt and NAME.vrt, which GIS programs read\n"
         "                         (open NAME.vrt in QGIS); beside a point file, NAME.prj and\n"
         "                         NAME.vrt\n"
         "  --no-sync              do not wait for the disk before the grid counts as written\n"
         "  --quiet                no progress line on a terminal\n"
         "  -h, --help, --version\n"
         "\n"
         "Exit status: 0 written; 1 a run-time error, described on standard error; 2 a wrong\n"
         "command line; " +
         StopsHelp() + "\n";
}

}  // namespace console
