#include "grid/generate_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "grid/run_error.h"
#include "support/temp_dir_test.h"

namespace grid {
namespace {

using testing_support::kOnWindows;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr const char* kHeader = testing_support::kGridHeader.data();

// The grid file as the rules describe it, one point at a time: x and y advanced by adding the
// spacing in single precision, y starting again for every column, each number through "%.7G".
std::string StraightforwardFile(const GridInputs& inputs) {
  std::string file = kHeader;
  const auto count = [&](float min, float max) {
    return static_cast<int>(std::floor((static_cast<double>(max) - static_cast<double>(min)) /
                                       static_cast<double>(inputs.spacing)));
  };
  const int last_row = count(inputs.min_y, inputs.max_y) + 1;
  const int last_column = count(inputs.min_x, inputs.max_x) + 1;
  float x = inputs.min_x;
  for (int i = 1; i <= last_column; ++i) {
    float y = inputs.min_y;
    for (int j = 1; j <= last_row; ++j) {
      char line[128];
      std::snprintf(line, sizeof line, "%.7G,%.7G,\"r%dc%d\"\r\n", static_cast<double>(x),
                    static_cast<double>(y), j, i);
      file += line;
      y = y + static_cast<float>(inputs.spacing);
    }
    x = x + static_cast<float>(inputs.spacing);
  }
  return file;
}

class GenerateGridTest : public testing_support::TempDirTest {
 protected:
  RunResult Run(const FieldTexts& texts, char separator = '.') {
    RunOptions options;
    options.sync = false;
    options.output = output();
    return GenerateGrid(PlanGrid(texts, separator), options);
  }
};

struct FileCase {
  const char* name;
  FieldTexts texts;
  std::string file;
};

void PrintTo(const FileCase& c, std::ostream* out) {
  *out << c.name;
}

class ExactFileTest : public GenerateGridTest, public testing::WithParamInterface<FileCase> {};

TEST_P(ExactFileTest, WritesTheseBytes) {
  const RunResult result = Run(GetParam().texts);
  const std::string file = ReadFile(output());
  EXPECT_EQ(file, GetParam().file);
  EXPECT_EQ(result.bytes_written, file.size());
  EXPECT_FALSE(result.cancelled);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, ExactFileTest,
    testing::Values(
        FileCase{"two_by_three",
                 {"0", "400", "0", "200", "200"},
                 std::string(kHeader) +
                     "0,0,\"r1c1\"\r\n0,200,\"r2c1\"\r\n200,0,\"r1c2\"\r\n200,200,\"r2c2\"\r\n"
                     "400,0,\"r1c3\"\r\n400,200,\"r2c3\"\r\n"},
        FileCase{"maximum_between_columns",
                 {"0", "450", "0", "200", "200"},
                 std::string(kHeader) +
                     "0,0,\"r1c1\"\r\n0,200,\"r2c1\"\r\n200,0,\"r1c2\"\r\n200,200,\"r2c2\"\r\n"
                     "400,0,\"r1c3\"\r\n400,200,\"r2c3\"\r\n"},
        FileCase{"descending",
                 {"400", "0", "200", "0", "-200"},
                 std::string(kHeader) +
                     "400,200,\"r1c1\"\r\n400,0,\"r2c1\"\r\n200,200,\"r1c2\"\r\n200,0,\"r2c2\"\r\n"
                     "0,200,\"r1c3\"\r\n0,0,\"r2c3\"\r\n"},
        FileCase{"one_point",
                 {"500000.5", "500000.5", "-3", "-3", "7"},
                 std::string(kHeader) + "500000.5,-3,\"r1c1\"\r\n"},
        FileCase{"rows_below_minimum", {"0", "400", "200", "0", "200"}, kHeader},
        FileCase{"columns_below_minimum", {"400", "0", "0", "200", "200"}, kHeader},
        // 32767 rows' worth of range, but with no column no row is ever numbered.
        FileCase{"row_count_32767_without_columns", {"1", "0", "0", "32767", "1"}, kHeader},
        // The difference 4.1f - 1.1f is just below 3 in double: three columns, not four.
        FileCase{"difference_kept_in_double",
                 {"1.1", "4.1", "0", "0", "1"},
                 std::string(kHeader) + "1.1,0,\"r1c1\"\r\n2.1,0,\"r1c2\"\r\n3.1,0,\"r1c3\"\r\n"},
        // At 2^24 adding 1 in single precision changes nothing: all 21 rows keep 2^24, where
        // min + 20 * spacing would reach 1.677724E+07.
        FileCase{"repeated_addition_at_2_24",
                 {"0", "0", "16777216", "16777236", "1"},
                 [] {
                   std::string file = kHeader;
                   for (int row = 1; row <= 21; ++row) {
                     file += "0,1.677722E+07,\"r" + std::to_string(row) + "c1\"\r\n";
                   }
                   return file;
                 }()},
        FileCase{"ten_million",
                 {"10000000", "10000000", "0", "0", "1"},
                 std::string(kHeader) + "1E+07,0,\"r1c1\"\r\n"},
        FileCase{"spacing_2_5_is_2",
                 {"0", "4", "0", "0", "2.5"},
                 std::string(kHeader) + "0,0,\"r1c1\"\r\n2,0,\"r1c2\"\r\n4,0,\"r1c3\"\r\n"}),
    testing_support::CaseName());

TEST_F(GenerateGridTest, CommaLocaleReadsCommaAndWritesFullStop) {
  Run({"2,5", "2,5", "-0,25", "-0,25", "1"}, ',');
  EXPECT_EQ(ReadFile(output()), std::string(kHeader) + "2.5,-0.25,\"r1c1\"\r\n");
}

// The layout of the file (texts formatted once per row and column, copied for every point)
// must give exactly the bytes of the point-by-point rules, across many buffers too.
TEST_F(GenerateGridTest, MatchesThePointByPointRules) {
  const std::vector<FieldTexts> grids = {
      {"500000", "504000", "4000000", "4004000", "10"},
      {"-1234.567", "8000.25", "9999000.5", "10000650", "13"},
      {"0.001", "-700.7", "1e7", "9990000", "-3"},
      {"123456.7", "133456.7", "0", "98", "1"},
      {"-3e30", "-3e30", "1e-40", "1", "1"},
  };
  for (const FieldTexts& texts : grids) {
    const RunResult result = Run(texts);
    const std::string expected = StraightforwardFile(ConvertInputs(texts, '.'));
    const std::string file = ReadFile(output());
    ASSERT_EQ(file.size(), expected.size()) << texts.min_x;
    ASSERT_TRUE(file == expected) << texts.min_x;
    EXPECT_EQ(result.bytes_written, file.size());
  }
}

// The largest grid that can be numbered completes, without an overflow after its last point.
TEST_F(GenerateGridTest, CountOf32766Completes) {
  const RunResult result = Run({"0", "32766", "0", "0", "1"});
  EXPECT_EQ(result.points_written, 32767u);
  const std::string file = ReadFile(output());
  EXPECT_TRUE(file.ends_with("32765,0,\"r1c32766\"\r\n32766,0,\"r1c32767\"\r\n"));
}

struct CountCase {
  const char* name;
  GridInputs inputs;
  int row_count;
  int column_count;
  std::optional<ErrorKind> error;
  const char* detail;  // part of the description
};

void PrintTo(const CountCase& c, std::ostream* out) {
  *out << c.name;
}

class CountGridTest : public testing::TestWithParam<CountCase> {};

TEST_P(CountGridTest, CountsOrRefuses) {
  const CountCase& c = GetParam();
  try {
    const GridCounts counts = CountGrid(c.inputs);
    ASSERT_FALSE(c.error) << "no error";
    EXPECT_EQ(counts.row_count, c.row_count);
    EXPECT_EQ(counts.column_count, c.column_count);
  } catch (const RunError& error) {
    ASSERT_TRUE(c.error) << error.description();
    EXPECT_EQ(error.kind(), *c.error);
    EXPECT_NE(error.description().find(c.detail), std::string::npos) << error.description();
  }
}

constexpr auto kOverflow = ErrorKind::overflow;
constexpr auto kZero = ErrorKind::division_by_zero;

INSTANTIATE_TEST_SUITE_P(
    Counts, CountGridTest,
    testing::Values(
        CountCase{"two_by_one", {0, 400, 0, 200, 200}, 1, 2, {}, ""},
        CountCase{"floor_not_truncation", {0, 0, 0, -100, 200}, -1, 0, {}, ""},
        CountCase{"negative_spacing", {400, 0, 200, 0, -200}, 1, 2, {}, ""},
        CountCase{"lowest_count", {0, -32768, 0, 0, 1}, 0, -32768, {}, ""},
        CountCase{"numbered_to_32767", {0, 32766, 0, 32766, 1}, 32766, 32766, {}, ""},
        CountCase{"zero_spacing", {0, 400, 0, 200, 0}, 0, 0, kZero, "\"Grid Spacing\" is 0"},
        CountCase{"zero_range_zero_spacing", {0, 0, 0, 0, 0}, 0, 0, kZero, "Grid Spacing"},
        CountCase{"rows_beyond_16_bits", {0, 0, 0, 40000, 1}, 0, 0, kOverflow, "32767 rows"},
        CountCase{"rows_below_16_bits", {0, 0, 0, -40000, 1}, 0, 0, kOverflow, "32767 rows"},
        CountCase{"huge_range", {0, 0, -3e38f, 3e38f, 1}, 0, 0, kOverflow, "rows"},
        CountCase{"columns_beyond_16_bits", {0, 40000, 0, 0, 1}, 0, 0, kOverflow, "columns"},
        CountCase{"rows_checked_before_columns", {0, 40000, 0, 40000, 1}, 0, 0, kOverflow, "rows"},
        CountCase{"column_count_32767", {0, 32767, 0, 0, 1}, 0, 0, kOverflow, "32767 columns"},
        CountCase{
            "column_count_32767_without_rows", {0, 32767, 0, -5, 1}, 0, 0, kOverflow, "columns"},
        CountCase{"row_count_32767", {0, 0, 0, 32767, 1}, 0, 0, kOverflow, "32767 rows"},
        CountCase{"row_count_32767_without_columns", {0, -1, 0, 32767, 1}, 32767, -1, {}, ""}),
    testing_support::CaseName());

struct BadInputCase {
  const char* name;
  FieldTexts texts;
  ErrorKind kind;
  std::string description;
};

void PrintTo(const BadInputCase& c, std::ostream* out) {
  *out << c.name;
}

class BadInputTest : public GenerateGridTest, public testing::WithParamInterface<BadInputCase> {};

// Every bad input is reported, in field order, and the user's previous grid is left untouched.
TEST_P(BadInputTest, ReportsAndKeepsThePreviousFile) {
  WriteFile(output(), "the previous grid");
  try {
    Run(GetParam().texts);
    FAIL() << "no error";
  } catch (const RunError& error) {
    EXPECT_EQ(error.kind(), GetParam().kind);
    EXPECT_EQ(error.description(), GetParam().description);
  }
  EXPECT_EQ(ReadFile(output()), "the previous grid");
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInputTest,
    testing::Values(
        BadInputCase{"all_empty",
                     {"", "", "", "", ""},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Minimum x value\" is empty; enter a number."},
        BadInputCase{"max_y_not_a_number",
                     {"0", "1", "0", "12a", "x"},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Maximum Y value\" is not a number: \"12a\". Enter digits, "
                     "with '.' before any decimal places."},
        BadInputCase{"spacing_blank",
                     {"0", "1", "0", "1", "  "},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Grid Spacing\" is empty; enter a number."},
        BadInputCase{"coordinate_too_large",
                     {"0", "1e39", "", "", ""},
                     ErrorKind::overflow,
                     "Overflow: \"Maximum x value\" must be between -3.402823E+38 and "
                     "3.402823E+38, not \"1e39\"."},
        BadInputCase{"spacing_rounds_to_32768",
                     {"0", "1", "0", "1", "32767.5"},
                     ErrorKind::overflow,
                     "Overflow: \"Grid Spacing\" must be a whole number from -32768 to 32767, "
                     "not \"32767.5\"."},
        BadInputCase{"spacing_rounds_to_zero",
                     {"0", "400", "0", "200", "0.5"},
                     ErrorKind::division_by_zero,
                     "Division by zero: \"Grid Spacing\" is 0 (any spacing from -0.5 to 0.5 "
                     "rounds to 0); enter a whole number other than 0."},
        BadInputCase{"first_field_in_order_wins",
                     {"0", "1", "y3", "y4", "1"},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Minimum Y value\" is not a number: \"y3\". Enter digits, "
                     "with '.' before any decimal places."},
        BadInputCase{"tab_only_is_empty",
                     {"\t", "", "", "", ""},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Minimum x value\" is empty; enter a number."},
        // Nothing typed or pasted can act on the terminal or box that shows it: escapes, DEL,
        // C1 controls, overlong UTF-8 and the characters that reorder or break a line are
        // written out.
        BadInputCase{
            "escapes_that_would_act_shown",
            {"1\x1b]0;t\x07\x7f\t\u202e2\u2066\u2028\u2029\xc2\x9b\xc0\xaf\xe0\x80\xaf", "", "", "",
             ""},
            ErrorKind::type_mismatch,
            "Type mismatch: \"Minimum x value\" is not a number: "
            "\"1\\x1B]0;"
            "t\\x07\\x7F\\t\\u202E2\\u2066\\u2028\\u2029\\u009B\\xC0\\xAF\\xE0\\x80\\xAF\". Enter "
            "digits, with '.' before any decimal places."},
        BadInputCase{"control_characters_shown",
                     {"12\r\n\x01", "", "", "", ""},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Minimum x value\" is not a number: \"12\\r\\n\\x01\". Enter "
                     "digits, with '.' before any decimal places."},
        // 50 two-byte characters: cut after the 40th, not inside one.
        BadInputCase{"long_text_cut_between_characters",
                     {[] {
                        std::string text;
                        for (int i = 0; i < 50; ++i)
                          text += "\u00e9";
                        return text;
                      }(),
                      "", "", "", ""},
                     ErrorKind::type_mismatch,
                     [] {
                       std::string text = "Type mismatch: \"Minimum x value\" is not a number: \"";
                       for (int i = 0; i < 40; ++i)
                         text += "\u00e9";
                       return text + "...\". Enter digits, with '.' before any decimal places.";
                     }()},
        BadInputCase{"column_count_32767",
                     {"0", "32767", "0", "0", "1"},
                     ErrorKind::overflow,
                     "Overflow: the x values span 32767 grid spacings or more, and a grid has at "
                     "most 32767 columns; enter a larger \"Grid Spacing\" or a smaller range."},
        BadInputCase{"long_text_shortened",
                     {std::string(100, '7') + "z", "", "", "", ""},
                     ErrorKind::type_mismatch,
                     "Type mismatch: \"Minimum x value\" is not a number: \"7777777777777777777777"
                     "777777777777777777...\". Enter digits, with '.' before any decimal "
                     "places."}),
    testing_support::CaseName());

// Reports come before each step of the reservation, of at most 64 MiB, with the bytes reserved
// (one only, where the system cannot reserve and the free space is asked instead); once
// the file is made; then after each column. A cancel at any of them leaves the file as it was
// and nothing beside it: here before the reservation's first step; before its third, or where
// there is none, once the first column is written; and once the second column is written.
TEST_F(GenerateGridTest, ReportsProgressAndCancelsWithoutTouchingTheFile) {
  std::vector<GridProgress> seen;
  std::vector<std::string> paths;
  for (const std::size_t cancel_at : {std::size_t{1}, std::size_t{3}, std::size_t{9}}) {
    WriteFile(output(), "the previous grid");
    seen.clear();
    paths.clear();
    RunOptions options;
    options.output = output();
    options.progress = [&](const GridProgress& progress) {
      seen.push_back(progress);
      paths.emplace_back(progress.path);
      return seen.size() < cancel_at;
    };
    EXPECT_TRUE(GenerateGrid(PlanGrid({"0", "4000", "0", "4000", "1"}, '.'), options).cancelled);
    EXPECT_EQ(ReadFile(output()), "the previous grid");
    EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
  }
  // 366,451,617 bytes: six steps, the last of 46,011,553 bytes.
  std::size_t steps = 0;
  while (steps < seen.size() && seen[steps].stage == GridStage::reserving) {
    EXPECT_EQ(seen[steps].bytes_done, steps * 64 * 1024 * 1024);
    ++steps;
  }
  // Wine reserves nothing, as Windows does on a file system that cannot.
  EXPECT_TRUE(steps == 6 || (kOnWindows && steps == 1)) << steps;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].stage, i < steps ? GridStage::reserving : GridStage::writing);
    EXPECT_EQ(seen[i].points_written, i < steps ? 0 : 4001 * (i - steps));
    EXPECT_EQ(seen[i].points_total, 16'008'001u);
    EXPECT_EQ(paths[i], output().string());
  }
}

// The last report of a whole run says every byte is done and the file is being saved.
TEST_F(GenerateGridTest, ReportsEveryByteDoneAtTheEnd) {
  GridProgress last;
  RunOptions options;
  options.output = output();
  options.progress = [&](const GridProgress& progress) {
    last = progress;
    return true;
  };
  GenerateGrid(PlanGrid({"0", "400", "0", "200", "200"}, '.'), options);
  EXPECT_EQ(last.stage, GridStage::saving);
  EXPECT_EQ(last.points_written, 6u);
  EXPECT_EQ(last.bytes_total, 113u);
  EXPECT_EQ(last.bytes_done, 113u);
}

// Files that describe the grid go with it: written beside it when the run is, refused with it
// before its first byte, and, when one fails after the grid took its name, the error says which
// files hold what. A describing name that leads to the grid's own file (a hard link here), or a
// point file's that leads to newgrid.txt, is refused before anything is written.
struct DescribingCase {
  const char* name;
  const char* vrt_before;     // "": none; "folder"; "grid": a hard link to the grid
  bool vrt_taken_during_run;  // a folder takes the .vrt's name once the run has begun
  bool cancel;                // the run is cancelled once begun
  bool fails;                 // with a File error
  bool clash;                 // refused as two names of one file
  bool new_grid;
  bool new_prj;
};
void PrintTo(const DescribingCase& c, std::ostream* out) {
  *out << c.name;
}

class DescribingTest : public GenerateGridTest,
                       public testing::WithParamInterface<DescribingCase> {};

TEST_P(DescribingTest, GoWithTheGrid) {
  const DescribingCase& c = GetParam();
  const std::filesystem::path prj = dir() / "newgrid.prj";
  const std::filesystem::path vrt = dir() / "newgrid.vrt";
  WriteFile(output(), "the previous grid");
  WriteFile(prj, "the previous system");
  if (c.vrt_before == std::string_view("folder")) {
    std::filesystem::create_directory(vrt);
  } else if (c.vrt_before == std::string_view("grid")) {
    std::filesystem::create_hard_link(output(), vrt);
  }
  RunOptions options;
  options.output = output();
  // The layer names the grid it was made for.
  options.describing = {{".prj", [](const auto&) { return std::string("the system"); }},
                        {".vrt", [](const std::filesystem::path& grid) {
                           return "the layer over " + grid.string() + "\r\n";
                         }}};
  options.progress = [&](const GridProgress& progress) {
    if (c.vrt_taken_during_run && progress.stage != GridStage::reserving &&
        !std::filesystem::exists(vrt)) {
      std::filesystem::create_directory(vrt);
    }
    return !c.cancel;
  };
  std::string error;
  std::string clash;
  try {
    EXPECT_EQ(GenerateGrid(PlanGrid({"0", "400", "0", "200", "200"}, '.'), options).cancelled,
              c.cancel);
  } catch (const RunError& raised) {
    error = raised.description();
  } catch (const TargetClash& raised) {
    clash = raised.what();
  }
  // The file refused is named; one named after the grid, with which files hold what.
  const std::string holds = ". The new grid is in " + output().string() +
                            ", described by the new " + prj.string() + "; " + vrt.string() +
                            " is as it was: run again to describe the grid anew.";
  // The system's reason comes first, in its own words.
  EXPECT_EQ(error.starts_with("File error: "), c.fails) << error;
  EXPECT_TRUE(error.ends_with(!c.fails ? "" : vrt.string() + ")" + (c.new_grid ? holds : "")))
      << error;
  EXPECT_EQ(clash.starts_with(output().string() + " and " + vrt.string() + " lead to one file"),
            c.clash)
      << clash;
  EXPECT_EQ(ReadFile(output()).size(), c.new_grid ? 113u : 17u);
  EXPECT_EQ(ReadFile(prj), c.new_prj ? "the system" : "the previous system");
  std::vector<std::string> entries = {"newgrid.prj", "newgrid.txt"};
  if (std::filesystem::exists(vrt)) {
    entries.insert(entries.end(), "newgrid.vrt");
    const std::string expected = c.vrt_taken_during_run || *c.vrt_before == 'f' ? "a folder"
                                 : *c.vrt_before == 'g' ? "the previous grid"
                                                        : "the layer over newgrid.txt\r\n";
    EXPECT_EQ(std::filesystem::is_regular_file(vrt) ? ReadFile(vrt) : "a folder", expected);
  }
  EXPECT_EQ(Entries(), entries);  // nothing hidden left behind
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, DescribingTest, testing::Values(
    DescribingCase{"written_with_the_grid", "", false, false, false, false, true, true},
    DescribingCase{"refused_before_the_grid", "folder", false, false, true, false, false, false},
    DescribingCase{"one_file_with_the_grid", "grid", false, false, false, true, false, false},
    DescribingCase{"cancelled", "", false, true, false, false, false, false},
    DescribingCase{"refused_after_the_grid", "", true, false, true, false, true, true}),
    testing_support::CaseName());
// clang-format on

// A point file never goes into newgrid.txt, whatever name leads to it: refused before anything
// is written.
TEST_F(GenerateGridTest, PointFileKeepsOffTheGrid) {
  WriteFile(output(), "the previous grid");
  const std::filesystem::path points = dir() / "points.csv";
  std::filesystem::create_hard_link(output(), points);
  RunOptions options;
  options.output = points;
  const GridPlan plan = PlanGrid({"0", "400", "0", "200", "200"}, '.', PointFileOptions{});
  EXPECT_THROW(GenerateGrid(plan, options), TargetClash);
  EXPECT_EQ(ReadFile(output()), "the previous grid");
  options.output = dir() / "other.csv";
  GenerateGrid(plan, options);
  EXPECT_EQ(ReadFile(output()), "the previous grid");
}

TEST_F(GenerateGridTest, SecondRunReplacesTheFirst) {
  Run({"0", "400", "0", "200", "200"});
  Run({"0", "0", "0", "0", "1"});
  EXPECT_EQ(ReadFile(output()), std::string(kHeader) + "0,0,\"r1c1\"\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

// The space a GeoPackage claims is the most it takes, not far more, for grids of every shape and
// length of name (rows and columns past 10, 100 and 1000); the progress never runs past it.
TEST_F(GenerateGridTest, AGeoPackageTakesNoMoreThanItClaims) {
  for (const int rows : {1, 9, 101, 1001}) {
    for (const int columns : {1, 12, 1003}) {
      if (rows * columns > 200000) {
        continue;
      }
      const std::filesystem::path output = this->output().parent_path() / "g.gpkg";
      std::filesystem::remove(output);
      RunOptions options;
      options.sync = false;
      options.output = output;
      options.geopackage.emplace();
      options.geopackage->name = "g";
      std::uint64_t done = 0;
      std::uint64_t claimed = 0;
      options.progress = [&](const GridProgress& progress) {
        EXPECT_LE(progress.bytes_done, progress.bytes_total);
        if (progress.stage != GridStage::reserving) {
          EXPECT_GE(progress.bytes_done, done);
          done = progress.bytes_done;
        }
        claimed = progress.bytes_total;
        return true;
      };
      const GridPlan plan =
          PlanGrid({"0", std::to_string(columns - 1), "0", std::to_string(rows - 1), "1"}, '.');
      const RunResult result = GenerateGrid(plan, options);
      const std::uintmax_t size = std::filesystem::file_size(output);
      EXPECT_EQ(result.points_written, static_cast<std::uint64_t>(rows * columns));
      EXPECT_EQ(result.bytes_written, size);
      EXPECT_LE(size, claimed) << rows << " x " << columns;
      EXPECT_GE(static_cast<double>(size), 0.6 * static_cast<double>(claimed))
          << rows << " x " << columns;
    }
  }
}

}  // namespace
}  // namespace grid
