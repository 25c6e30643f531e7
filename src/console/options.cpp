#include "console/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "file/shown_text.h"
#include "grid/generate_grid.h"
#include "grid/wording.h"

namespace console {

namespace {

// Why --snap cannot align the extent, naming the values concerned as typed.
std::string SnapProblem(const grid::SnapRefused& refused, const grid::FieldTexts& texts) {
  const auto named = [&](grid::Field field) {
    return grid::Named(field, grid::Text(texts, field));
  };
  switch (refused.why) {
    case grid::SnapRefused::Why::spacing_not_above_zero: {
      const std::string used = std::to_string(refused.spacing);
      std::string problem =
          "'--snap' aligns to a spacing above 0, not " + named(grid::Field::spacing);
      if (named(grid::Field::spacing) != grid::Named(grid::Field::spacing, used)) {
        problem += " (used as " + used + ")";
      }
      return problem;
    }
    case grid::SnapRefused::Why::minimum_above_maximum:
      return "'--snap' needs each minimum at or below its maximum, not " + named(refused.min) +
             " above " + named(refused.max);
    case grid::SnapRefused::Why::no_multiple_inside:
      break;
  }
  return "'--snap=in' finds no multiple of " + std::to_string(refused.spacing) + " from " +
         named(refused.min) + " to " + named(refused.max);
}

// The options that name the four coordinates: "--min-x, --max-x, --min-y and --max-y".
std::string CoordinateOptions() {
  std::vector<std::string> options;
  for (const grid::FieldDescription& field : grid::kFieldTable) {
    if (field.field != grid::Field::spacing) {
      options.emplace_back(field.option);
    }
  }
  return grid::Listed(options, ", ", " and ");
}

// The values as the command line gives them, before they are merged into the five texts; and
// what is checked once every option is known.
struct GivenValues {
  std::array<std::optional<std::string>, std::size(grid::kFieldTable)> by_name;
  std::optional<std::string> extent;
  std::vector<std::string> in_order;
  std::optional<std::string> first_point;
  std::optional<std::string> elevation;
  std::optional<std::string> layer;
};

// One option: a flag sets a member; an option with a value takes it once and checks it as it
// comes, so that the first mistake on the line is the one told.
struct Option {
  std::string_view name;
  bool Command::*flag = nullptr;
  void (*take)(const std::string& value, Command& command, GivenValues& given) = nullptr;
};

void TakeDecimalSeparator(const std::string& separator, Command& command, GivenValues&) {
  if (separator.size() != 1 || static_cast<unsigned char>(separator.front()) > 0x7F) {
    throw UsageError{"'--decimal-separator' takes one ASCII character, not " +
                     InSingleQuotes(separator)};
  }
  command.decimal_separator = separator.front();
}

void TakeOutput(const std::string& output, Command& command, GivenValues&) {
  if (output.empty()) {
    throw UsageError{"'--output' needs a file name, or - for standard output"};
  }
  command.output = output;
  command.output_named = true;
}

void TakeSnap(const std::string& snap, Command& command, GivenValues&) {
  if (snap != "out" && snap != "in") {
    throw UsageError{"'--snap' takes out or in, not " + InSingleQuotes(snap)};
  }
  command.snap = snap == "out" ? grid::Snap::out : grid::Snap::in;
}

void TakeFormat(const std::string& format, Command& command, GivenValues&) {
  if (format == "gpkg") {
    command.geopackage.emplace();  // its layer once the output is known
    return;
  }
  if (format != "pnezd" && format != "penzd") {
    throw UsageError{"'--format' takes pnezd, penzd or gpkg, not " + InSingleQuotes(format)};
  }
  command.point_file = grid::PointFileOptions{};
  command.point_file->northing_first = format == "pnezd";
}

void TakeCrs(const std::string& crs, Command& command, GivenValues&) {
  command.crs = FindCoordinateSystem(crs);
}

void TakeFirstPoint(const std::string& first, Command&, GivenValues& given) {
  given.first_point = first;
}

void TakeElevation(const std::string& elevation, Command&, GivenValues& given) {
  given.elevation = elevation;
}

void TakeLayer(const std::string& layer, Command&, GivenValues& given) {
  given.layer = layer;
}

void TakeExtent(const std::string& extent, Command&, GivenValues& given) {
  given.extent = extent;
}

template <grid::Field field>
void TakeValue(const std::string& value, Command&, GivenValues& given) {
  given.by_name[static_cast<std::size_t>(field)] = value;
}

constexpr Option kOptions[] = {
    {"--help", &Command::help},
    {"--version", &Command::version},
    {"--dry-run", &Command::dry_run},
    {"--strict", &Command::strict},
    {"--quiet", &Command::quiet},
    {"--no-sync", &Command::no_sync},
    {"--decimal-separator", nullptr, TakeDecimalSeparator},
    {"--output", nullptr, TakeOutput},
    {"--snap", nullptr, TakeSnap},
    {"--format", nullptr, TakeFormat},
    {"--crs", nullptr, TakeCrs},
    {"--first-point", nullptr, TakeFirstPoint},
    {"--elevation", nullptr, TakeElevation},
    {"--layer", nullptr, TakeLayer},
    {"--extent", nullptr, TakeExtent},
    {grid::Describe(grid::Field::min_x).option, nullptr, TakeValue<grid::Field::min_x>},
    {grid::Describe(grid::Field::max_x).option, nullptr, TakeValue<grid::Field::max_x>},
    {grid::Describe(grid::Field::min_y).option, nullptr, TakeValue<grid::Field::min_y>},
    {grid::Describe(grid::Field::max_y).option, nullptr, TakeValue<grid::Field::max_y>},
    {grid::Describe(grid::Field::spacing).option, nullptr, TakeValue<grid::Field::spacing>},
};

// The options, up to the values in order, which it returns with the rest.
GivenValues ReadOptions(const std::vector<std::string>& arguments, Command& command) {
  GivenValues given;
  std::vector<std::string_view> taken;  // the options with a value given so far
  std::size_t at = 1;
  for (; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--") {
      ++at;
      break;
    }
    if (argument == "-h") {
      command.help = true;
      continue;
    }
    if (!argument.starts_with("--")) {
      break;  // the values, without "--" before them
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const auto* option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [&](const Option& known) { return known.name == name; });
    if (option == std::end(kOptions)) {
      throw UsageError{"Unknown option " + InSingleQuotes(argument)};
    }
    if (option->flag) {
      if (equals != std::string::npos) {
        throw UsageError{InSingleQuotes(name) + " takes no value"};
      }
      command.*option->flag = true;
      continue;
    }
    // Given twice, the second would silently win.
    if (std::find(taken.begin(), taken.end(), option->name) != taken.end()) {
      throw UsageError{InSingleQuotes(name) + " is given twice"};
    }
    taken.push_back(option->name);
    if (equals == std::string::npos && at + 1 == arguments.size()) {
      throw UsageError{InSingleQuotes(name) + " needs a value"};
    }
    option->take(equals != std::string::npos ? argument.substr(equals + 1) : arguments[++at],
                 command, given);
  }
  given.in_order.assign(arguments.begin() + static_cast<std::ptrdiff_t>(at), arguments.end());
  return given;
}

// Values in order are all five, and alone: never beside values by name or --extent, whose mix
// would leave it to guess which is which.
void CheckInOrder(const GivenValues& given) {
  const std::size_t in_order = given.in_order.size();
  const std::size_t five = std::size(grid::kFieldTable);
  std::vector<std::string> quoted;
  for (const std::string& value : given.in_order) {
    quoted.push_back(InSingleQuotes(value));
  }
  if (given.extent) {
    throw UsageError{"'--extent' gives the extent by name, so values in order (" +
                     grid::Listed(quoted, " ", " ") +
                     ") cannot go with it: give the spacing as --spacing"};
  }
  std::vector<std::string> by_name;
  for (const grid::FieldDescription& field : grid::kFieldTable) {
    if (given.by_name[static_cast<std::size_t>(field.field)]) {
      by_name.push_back(InSingleQuotes(field.option));
    }
  }
  if (!by_name.empty() && in_order != five) {
    throw UsageError{"values by name (" + grid::Listed(by_name) + ") and in order (" +
                     grid::Listed(quoted, " ", " ") +
                     ") cannot be mixed: give all five in order, or each by name"};
  }
  const std::string expected =
      "takes the five values " + grid::ValuesInOrder() + ", not " + std::to_string(in_order) + ": ";
  if (in_order < five) {
    std::vector<std::string> missing;
    for (std::size_t i = in_order; i < five; ++i) {
      missing.emplace_back(grid::kFieldTable[i].in_order);
    }
    throw UsageError{expected + grid::Listed(missing) + (missing.size() == 1 ? " is" : " are") +
                     " missing"};
  }
  if (in_order > five) {
    throw UsageError{expected + quoted[five] +
                     (in_order == five + 1 ? " is one too many" : " and on are too many")};
  }
}

// --extent's numbers, XMIN,XMAX,YMIN,YMAX.
std::array<std::string, 4> SplitExtent(const std::string& extent) {
  std::array<std::string, 4> parts;
  std::size_t at = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t comma = extent.find(',', at);
    if ((comma == std::string::npos) != (i == parts.size() - 1)) {
      throw UsageError{"'--extent' takes four numbers, XMIN,XMAX,YMIN,YMAX, not " +
                       InSingleQuotes(extent)};
    }
    parts[i] = extent.substr(at, comma - at);
    at = comma + 1;
  }
  return parts;
}

// The five texts from the values given by name, in order, and by --extent: each once.
grid::FieldTexts MergeValues(GivenValues given, char decimal_separator) {
  if (!given.in_order.empty()) {
    CheckInOrder(given);
  }
  auto& values = given.by_name;
  const auto merge = [&](std::size_t i, const std::string& value, const char* how) {
    if (values[i]) {
      throw UsageError{InSingleQuotes(grid::kFieldTable[i].option) +
                       " is given twice: by name and " + how};
    }
    values[i] = value;
  };
  for (std::size_t i = 0; i < given.in_order.size(); ++i) {
    merge(i, given.in_order[i], "in order");
  }
  if (given.extent) {
    if (decimal_separator == ',') {
      throw UsageError{
          "'--extent' separates its numbers with commas, so with '--decimal-separator=,' give "
          "them as " +
          CoordinateOptions()};
    }
    const std::array<std::string, 4> parts = SplitExtent(*given.extent);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      merge(i, parts[i], "by '--extent'");
    }
  }
  grid::FieldTexts texts;
  for (const grid::FieldDescription& field : grid::kFieldTable) {
    const auto& value = values[static_cast<std::size_t>(field.field)];
    if (!value) {
      throw UsageError{given.in_order.empty() && !given.extent && field.field == grid::Field{}
                           ? "needs the five values " + grid::ValuesInOrder()
                           : "needs a value for " + InSingleQuotes(field.option)};
    }
    texts.*field.text = *value;
  }
  return texts;
}

// --format's file, its first number and its elevation, checked once the decimal separator and
// the output are known.
void CheckPointFile(const GivenValues& given, Command& command) {
  if (!command.point_file) {
    for (const auto& [option, value] : {std::pair{"'--first-point'", &given.first_point},
                                        std::pair{"'--elevation'", &given.elevation}}) {
      if (*value) {
        throw UsageError{std::string(option) + " goes with --format=pnezd or --format=penzd"};
      }
    }
    return;
  }
  if (!command.output_named ||
      std::filesystem::path(command.output).filename() == grid::kGridFileName) {
    throw UsageError{"'--format' writes a file of its own: name it with --output=PATH (" +
                     std::string(grid::kGridFileName) + " is always the grid's own format)"};
  }
  if (given.first_point) {
    const std::string& first = *given.first_point;
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(first.data(), first.data() + first.size(), number);
    if (first.empty() || error != std::errc() || end != first.data() + first.size() ||
        number == 0 || number >= grid::kPointNumberLimit) {
      throw UsageError{"'--first-point' takes a whole number from 1 to " +
                       std::to_string(grid::kPointNumberLimit - 1) + ", not " +
                       InSingleQuotes(first)};
    }
    command.point_file->first_number = number;
  }
  if (given.elevation) {
    command.point_file->elevation = grid::PlainDecimal(*given.elevation, command.decimal_separator);
    if (command.point_file->elevation.empty()) {
      throw UsageError{"'--elevation' takes a number of at most " +
                       std::to_string(grid::kPlainDigitsLimit) + " digits written out, not " +
                       InSingleQuotes(*given.elevation)};
    }
  }
}

// --format=gpkg's file, a new one of its own, and its layer: named --layer, or as the file.
void CheckGeoPackage(const GivenValues& given, Command& command) {
  if (!command.geopackage) {
    if (given.layer) {
      throw UsageError{"'--layer' names a GeoPackage's layer: it goes with --format=gpkg"};
    }
    return;
  }
  if (!command.output_named || command.output == "-") {
    throw UsageError{
        "'--format=gpkg' writes a GeoPackage, a file of its own: name it with "
        "--output=NAME.gpkg"};
  }
  const std::u8string file_name =
      std::filesystem::path(std::u8string(command.output.begin(), command.output.end()))
          .filename()
          .u8string();
  std::string name(file_name.begin(), file_name.end());
  const std::size_t stem = name.size() - std::min(name.size(), grid::kGeoPackageExtension.size());
  if (grid::AsciiLower(name.substr(stem)) != grid::kGeoPackageExtension) {
    throw UsageError{"'--format=gpkg' writes a GeoPackage, whose name ends in .gpkg, not " +
                     InSingleQuotes(command.output)};
  }
  const std::string layer = given.layer ? *given.layer : name.substr(0, stem);
  if (layer.empty()) {
    throw UsageError{given.layer ? "'--layer' needs a name"
                                 : "'--format=gpkg' names the layer as the file, and " +
                                       InSingleQuotes(name) +
                                       " leaves no name: give one with --layer=NAME"};
  }
  if (const std::string_view reserved = grid::ReservedLayerPrefix(layer); !reserved.empty()) {
    throw UsageError{"a GeoPackage keeps the names beginning " + std::string(reserved) +
                     " for its own tables, so its layer cannot be named " + InSingleQuotes(layer) +
                     ": name it with --layer=NAME"};
  }
  command.geopackage = GeoPackageLayer(layer, command.crs);
}

// --crs's files go beside the file, which they describe, under names of their own; the .vrt
// names the grid.
void CheckCrs(const Command& command) {
  if (!command.crs) {
    return;
  }
  if (command.output == "-") {
    throw UsageError{
        "'--crs' writes files beside the grid, which standard output has none of: "
        "name the grid's file with --output=PATH"};
  }
  if (command.geopackage) {
    return;  // the system goes inside, and no file beside
  }
  const bool point_file = command.point_file.has_value();
  if (const std::string extension = DescribingExtension(command.output, point_file);
      !extension.empty()) {
    const std::string file = point_file ? "point file" : "grid";
    throw UsageError{"'--crs' writes " + extension + " beside the " + file + ", so the " + file +
                     "'s own name cannot end in it: name it NAME.txt or NAME.csv"};
  }
  const std::u8string name =
      std::filesystem::path(std::u8string(command.output.begin(), command.output.end()))
          .filename()
          .u8string();
  if (!LayerCanName({reinterpret_cast<const char*>(name.data()), name.size()})) {
    const std::string file = point_file ? "point file" : "grid";
    throw UsageError{"'--crs' names the " + file +
                     " in its .vrt, where GDAL cannot read a backslash, a control character, a "
                     "character that reorders or breaks a line, or bytes that are not UTF-8: "
                     "name the " +
                     file + " without them, not " + InSingleQuotes(command.output)};
  }
}

// The last point's number, where the texts make a grid, stays below 10^15.
void CheckLastNumber(const Command& command) {
  if (!command.point_file) {
    return;
  }
  if (!command.plan.refusal) {
    const std::uint64_t points = command.plan.grid.counts.points();
    if (points > 0 && command.point_file->first_number + (points - 1) >= grid::kPointNumberLimit) {
      throw UsageError{
          "'--first-point' numbers the last of the " + std::to_string(points) + " points " +
          std::to_string(command.point_file->first_number + (points - 1)) +
          ": a point number has at most " +
          std::to_string(std::to_string(grid::kPointNumberLimit - 1).size()) + " digits"};
    }
  }
}

}  // namespace

Command Parse(const std::vector<std::string>& arguments) {
  Command command;
  GivenValues given = ReadOptions(arguments, command);
  if (command.help || command.version) {
    return command;
  }
  CheckPointFile(given, command);
  CheckGeoPackage(given, command);
  CheckCrs(command);
  command.texts = MergeValues(std::move(given), command.decimal_separator);
  if (command.snap) {
    try {
      command.texts = grid::SnapExtent(command.texts, command.decimal_separator, *command.snap);
    } catch (const grid::SnapRefused& refused) {
      throw UsageError{SnapProblem(refused, command.texts)};
    }
  }
  command.plan = grid::PlanGrid(command.texts, command.decimal_separator, command.point_file);
  CheckLastNumber(command);
  return command;
}

}  // namespace console
