#include "console/coordinate_system.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <utility>

#include "console/crs_table.h"
#include "console/usage_error.h"
#include "file/shown_text.h"
#include "grid/generate_grid.h"
#include "grid/wording.h"

namespace console {
namespace {

constexpr std::string_view kPrefix = "epsg:";  // in lower case, as grid::AsciiLower makes it

// The table's text, unpacked once a run that needs it: a few MB for a few milliseconds. zlib
// refuses a stream whose codes or checksum are wrong; one that ends short is refused here.
std::string UnpackedTable() {
  std::string text(detail::kCrsTableSize, '\0');
  auto size = static_cast<uLongf>(text.size());
  if (uncompress(reinterpret_cast<Bytef*>(text.data()), &size, detail::kCrsTable,
                 static_cast<uLong>(detail::kCrsTablePacked)) != Z_OK ||
      size != text.size()) {
    throw UsageError{
        "'--crs': this program's table of coordinate systems is damaged; install "
        "tessaplan again"};
  }
  return text;
}

// The table's line for `code`, split at its tabs; none for a code it does not hold.
std::vector<std::string> TableLine(const std::string& table, int code) {
  const std::string start = std::to_string(code) + "\t";
  std::size_t at = table.starts_with(start) ? 0 : table.find("\n" + start);
  if (at == std::string::npos) {
    return {};
  }
  at += at == 0 ? 0 : 1;
  const std::string_view line(table.data() + at, table.find('\n', at) - at);
  std::vector<std::string> fields;
  for (std::size_t from = 0;;) {
    const std::size_t tab = line.find('\t', from);
    fields.emplace_back(line.substr(from, tab - from));
    if (tab == std::string_view::npos) {
      return fields;
    }
    from = tab + 1;
  }
}

// Text for an XML attribute or element.
std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The .vrt: a layer over the grid read by GDAL's CSV driver from the .vrt's own folder, so that
// the files may be moved together; its points from the grid's x and y, in the system.
constexpr std::string_view kLayerFile =
    "<OGRVRTDataSource>\r\n"
    "  <OGRVRTLayer name=\"{layer}\">\r\n"
    "    <SrcDataSource relativeToVRT=\"1\">CSV:{grid}</SrcDataSource>\r\n"
    "{open}"
    "    <LayerSRS>EPSG:{code}</LayerSRS>\r\n"
    "    <GeometryType>wkbPoint</GeometryType>\r\n"
    "    <GeometryField encoding=\"PointFromColumns\" x=\"{x}\" y=\"{y}\"/>\r\n"
    "  </OGRVRTLayer>\r\n"
    "</OGRVRTDataSource>\r\n";

// A point file has no header line, which GDAL would otherwise guess at from its first line; it
// names the fields by their places, field_1 (the number) to field_5 (the description), the
// coordinates being the second and third.
constexpr std::string_view kNoHeader =
    "    <OpenOptions><OOI key=\"HEADERS\">NO</OOI></OpenOptions>\r\n";
constexpr std::string_view kSecondField = "field_2";
constexpr std::string_view kThirdField = "field_3";

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

CoordinateSystem FindCoordinateSystem(std::string_view text) {
  const std::string_view digits = grid::AsciiLower(text.substr(0, kPrefix.size())) == kPrefix
                                      ? text.substr(kPrefix.size())
                                      : "";
  int code = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code);
  if (digits.empty() || digits.front() == '-' || error != std::errc() ||
      end != digits.data() + digits.size()) {
    throw UsageError{"'--crs' takes EPSG: and a system's code, as in --crs=EPSG:32615, not " +
                     InSingleQuotes(text)};
  }
  const std::vector<std::string> line = TableLine(UnpackedTable(), code);
  const std::string named = "EPSG:" + std::to_string(code);
  if (line.empty()) {
    throw UsageError{"'--crs': " + named + " names no projected system in EPSG's register (as " +
                     detail::kCrsSource + " holds it)"};
  }
  const std::string& kind = line[1];
  const std::string is = "'--crs': " + named + ", " + line[2] + ", is ";
  if (kind == "g") {
    throw UsageError{is +
                     "a geographic system, in degrees; the grid's values are projected "
                     "coordinates: name a projected system, in metres or feet"};
  }
  if (kind == "d") {
    throw UsageError{is + "deprecated in EPSG's register: name the system that replaces it"};
  }
  if (kind == "x") {
    throw UsageError{is + "projected by a method that a .prj file has no words for"};
  }
  if (kind == "e") {
    throw UsageError{is +
                     "one that a .prj file cannot tell apart from another system (its axes, "
                     "dimensions or method's variant are lost): GIS programs would read it wrong"};
  }
  return {.code = code, .name = line[2], .unit = line[3], .wkt = line[4], .ogc_wkt = line[5]};
}

grid::GeoPackageLayer GeoPackageLayer(std::string name,
                                      const std::optional<CoordinateSystem>& system) {
  grid::GeoPackageLayer layer;
  layer.name = std::move(name);
  const std::vector<std::string> wgs84 = TableLine(UnpackedTable(), 4326);
  if (wgs84.size() < 4) {
    throw UsageError{
        "'--format=gpkg': this program's table of coordinate systems has no WGS 84, which every "
        "GeoPackage describes; install tessaplan again"};
  }
  layer.wgs84_definition = wgs84[3];
  if (system) {
    layer.system = {.id = system->code,
                    .name = system->name,
                    .organization = "EPSG",
                    .organization_id = system->code,
                    .definition = system->ogc_wkt.empty() ? "undefined" : system->ogc_wkt,
                    .description = ""};
  }
  return layer;
}

std::string Described(const CoordinateSystem& system) {
  return "EPSG:" + std::to_string(system.code) + ", " + system.name + ", " + system.unit;
}

std::string DescribingExtension(std::string_view output, bool point_file) {
  const std::size_t name = output.find_last_of("/\\") + 1;  // npos + 1: from the start
  const std::size_t dot = output.rfind('.');
  const std::string extension =
      dot != std::string_view::npos && dot > name ? grid::AsciiLower(output.substr(dot)) : "";
  const auto extensions = grid::DescribingExtensions(point_file);
  return std::find(extensions.begin(), extensions.end(), extension) != extensions.end() ? extension
                                                                                        : "";
}

bool LayerCanName(std::string_view name) {
  return name.find('\\') == std::string_view::npos && file::Escaped(name) == name;
}

std::vector<grid::DescribingFile> DescribingFiles(
    const CoordinateSystem& system, const std::optional<grid::PointFileOptions>& point_file) {
  std::string x(grid::kEastingColumn);
  std::string y(grid::kNorthingColumn);
  if (point_file) {
    x = point_file->northing_first ? kThirdField : kSecondField;
    y = point_file->northing_first ? kSecondField : kThirdField;
  }
  const std::string open(point_file ? kNoHeader : "");
  const int code = system.code;
  // A .prj has one line and no line end, as GIS programs write it.
  std::vector<grid::DescribingFile> files{
      {".prj", [projection = system.wkt](const auto&) { return projection; }},
      // The grid's two coordinates make the point; its name stays text.
      {".csvt", [](const auto&) { return std::string("\"CoordX\",\"CoordY\",\"String\"\r\n"); }},
      {".vrt", [=](const std::filesystem::path& grid) {
         return grid::Filled(kLayerFile, {{"{layer}", XmlEscaped(Utf8(grid.stem()))},
                                          {"{grid}", XmlEscaped(Utf8(grid.filename()))},
                                          {"{open}", open},
                                          {"{code}", std::to_string(code)},
                                          {"{x}", x},
                                          {"{y}", y}});
       }}};
  const auto wanted = grid::DescribingExtensions(point_file.has_value());
  std::erase_if(files, [&](const grid::DescribingFile& file) {
    return std::find(wanted.begin(), wanted.end(), file.extension) == wanted.end();
  });
  return files;
}

}  // namespace console
