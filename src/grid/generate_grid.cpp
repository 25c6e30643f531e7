#include "grid/generate_grid.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "file/writer.h"
#include "grid/fields.h"
#include "grid/format_single.h"
#include "grid/run_error.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

constexpr std::string_view kHeader = "\"easting\",\"northing\",\"ID\"\r\n";
static_assert(kHeader.substr(1, kEastingColumn.size()) == kEastingColumn &&
              kHeader.substr(kEastingColumn.size() + 4, kNorthingColumn.size()) == kNorthingColumn);
// The texts every line of the file is assembled from. A line is
//   x "," y ",\"r" row "c" column "\"\r\n"
// and within one column only y and the row number change, while every column repeats the same
// y values (each column starts again from minimum y and adds the same spacing). So the texts
// are formatted once for each column and once for each row, never once for each point, and
// kept in fixed-size slots that the writer copies whole.
struct ColumnText {
  std::array<char, 16> x;    // x
  std::array<char, 8> tail;  // column "\"\r\n"
  std::uint8_t x_size;
  std::uint8_t tail_size;
};
struct RowText {
  std::array<char, 32> middle;  // "," y ",\"r" row "c"
  std::uint8_t size;
};
// Copying whole slots writes past the line's end, up to the end of the middle slot.
static_assert(kMaxSingleText + sizeof(RowText::middle) <= file::Writer::kLineRoom);

struct GridLayout {
  std::vector<ColumnText> columns;
  std::vector<RowText> rows;
};

// What each line holds around its x, y and numbers: x, y, "r" row "c" column.
constexpr std::string_view kBeforeY = ",";
constexpr std::string_view kBeforeRow = ",\"r";
constexpr std::string_view kBeforeColumn = "c";
constexpr std::string_view kLineEnd = "\"\r\n";

char* AppendNumber(char* out, int number) {
  return std::to_chars(out, out + 5, number).ptr;
}

std::size_t NumberSize(int number) {
  return number < 10 ? 1 : number < 100 ? 2 : number < 1000 ? 3 : number < 10000 ? 4 : 5;
}

char* AppendText(char* out, std::string_view text) {
  return std::copy(text.begin(), text.end(), out);
}

// x and y advance by repeated addition, rounded to single precision at every step, never as
// minimum + index * spacing. The file shows the difference: beyond 2^24, adding 1 to a
// coordinate leaves it unchanged, so such a grid repeats its values.
GridLayout LayOut(const GridInputs& inputs, const GridCounts& counts) {
  GridLayout layout;
  if (counts.points() == 0) {
    return layout;
  }
  const auto step = static_cast<float>(inputs.spacing);

  layout.rows.resize(static_cast<std::size_t>(counts.rows()));
  float y = inputs.min_y;
  for (int row = 1; row <= counts.rows(); ++row) {
    RowText& text = layout.rows[static_cast<std::size_t>(row - 1)];
    char* end = AppendText(text.middle.data(), kBeforeY);
    end = FormatSingle(y, end);
    end = AppendText(end, kBeforeRow);
    end = AppendNumber(end, row);
    end = AppendText(end, kBeforeColumn);
    text.size = static_cast<std::uint8_t>(end - text.middle.data());
    y = y + step;
  }

  layout.columns.resize(static_cast<std::size_t>(counts.columns()));
  float x = inputs.min_x;
  for (int column = 1; column <= counts.columns(); ++column) {
    ColumnText& text = layout.columns[static_cast<std::size_t>(column - 1)];
    text.x_size = static_cast<std::uint8_t>(FormatSingle(x, text.x.data()) - text.x.data());
    char* end = AppendNumber(text.tail.data(), column);
    end = AppendText(end, kLineEnd);
    text.tail_size = static_cast<std::uint8_t>(end - text.tail.data());
    x = x + step;
  }
  return layout;
}

// The file's size from the sizes of the texts LayOut makes, without making them: a coordinate's
// text is made only where its size takes more than counting digits (SingleTextSize), so that
// the largest grid is measured in well under a millisecond.
GridMeasure Measure(const GridInputs& inputs, const GridCounts& counts) {
  GridMeasure measure{.counts = counts, .bytes = kHeader.size(), .last_point = {}};
  if (counts.points() == 0) {
    return measure;
  }
  const auto step = static_cast<float>(inputs.spacing);
  float y = inputs.min_y;
  float last_y = y;
  std::uint64_t rows_size = 0;
  for (int row = 1; row <= counts.rows(); ++row) {
    rows_size += kBeforeY.size() + SingleTextSize(y) + kBeforeRow.size() + NumberSize(row) +
                 kBeforeColumn.size();
    last_y = y;
    y = y + step;
  }
  float x = inputs.min_x;
  float last_x = x;
  std::uint64_t columns_size = 0;
  for (int column = 1; column <= counts.columns(); ++column) {
    columns_size += SingleTextSize(x) + NumberSize(column) + kLineEnd.size();
    last_x = x;
    x = x + step;
  }
  measure.bytes += columns_size * static_cast<std::uint64_t>(counts.rows()) +
                   rows_size * static_cast<std::uint64_t>(counts.columns());
  measure.last_point = FormatSingle(last_x) + "," + FormatSingle(last_y);
  return measure;
}

// `header`, then each column's lines as `write_column` appends them, with the progress and the
// cancel between columns; then the file written out. False where `keep_going` said stop.
template <typename KeepGoing, typename WriteColumn>
bool WritePoints(file::Writer& file, std::string_view header, std::size_t columns, std::size_t rows,
                 GridProgress& progress, const KeepGoing& keep_going, WriteColumn& write_column) {
  progress.path = file.ShownPath();
  progress.stage = GridStage::writing;
  if (!keep_going()) {
    return false;
  }
  file.Append(header);
  for (std::size_t column = 0; column < columns; ++column) {
    write_column(file, column);
    progress.points_written += rows;
    if (!keep_going()) {
      return false;
    }
  }
  progress.stage = GridStage::saving;
  return file.Finish();
}

// The file the run replaces, or the stream: `header`, then each column's lines as
// `write_column` appends them, with the progress and the cancel between columns.
template <typename WriteColumn>
RunResult Write(std::string_view header, std::uint64_t file_size, std::size_t columns,
                std::size_t rows, const RunOptions& options, WriteColumn write_column) {
  GridProgress progress{.points_total = columns * rows, .bytes_total = file_size};
  std::optional<FileSet> files;
  std::optional<file::Writer> file;
  const auto tell = [&] { return !options.progress || options.progress(progress); };
  const auto keep_going = [&] {
    progress.bytes_done = file ? file->BytesDone() : 0;
    return tell();
  };
  const auto reserving = [&](std::string_view shown, std::uint64_t reserved) {
    progress.path = shown;
    progress.bytes_done = reserved;
    return tell();
  };
  const auto cancelled = [&] {
    return RunResult{
        .cancelled = true,
        .emptied = file && file->OverwritingTarget(),
        .emptied_describing = files ? files->WrittenInPlace() : std::vector<std::string>()};
  };
  try {
    if (options.stream.file) {
      file.emplace(options.stream.file, options.stream.shown, keep_going);
    } else {
      files.emplace(options.output, file_size, options.describing,
                    file::ReplaceOptions{.sync = options.sync,
                                         .folder_advice = options.folder_advice,
                                         .what = options.point_file ? "point file" : "grid",
                                         .reserving = reserving});
      if (options.point_file) {
        files->KeepApartFrom(kGridFileName, "the grid's own format");
      }
      files->WriteDescribing();
    }
    // An error of the grid's own writing abandons the set, said with the files it leaves empty;
    // the set's own steps say so themselves.
    const bool written = [&] {
      try {
        if (files) {
          file.emplace(files->grid(), keep_going);
        }
        return WritePoints(*file, header, columns, rows, progress, keep_going, write_column);
      } catch (const file::Failure& error) {
        if (files) {
          throw files->Abandoning(error);
        }
        throw;
      }
    }();
    if (!written || (files && !files->Commit(keep_going))) {
      return cancelled();
    }
  } catch (const file::Cancelled&) {
    return cancelled();
  }
  return {.points_written = progress.points_written, .bytes_written = file_size};
}

// A column's lines of the grid's own format: three slots copied whole a line.
void WriteGridColumn(file::Writer& file, const ColumnText& column,
                     const std::vector<RowText>& rows) {
  for (const RowText& row : rows) {
    char* line = file.LineStart();
    std::memcpy(line, column.x.data(), sizeof column.x);
    line += column.x_size;
    std::memcpy(line, row.middle.data(), sizeof row.middle);
    line += row.size;
    std::memcpy(line, column.tail.data(), sizeof column.tail);
    file.LineEnd(line + column.tail_size);
  }
}

}  // namespace

GridMeasure MeasureGrid(const FieldTexts& texts, char decimal_separator) {
  try {
    const GridInputs inputs = ConvertInputs(texts, decimal_separator);
    const GridCounts counts = CountGrid(inputs);
    return Measure(inputs, counts);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  }
}

std::optional<RunError> RefusalOf(const FieldTexts& texts, char decimal_separator) {
  const Checked<GridInputs> inputs = CheckInputs(texts, decimal_separator);
  return inputs.error ? inputs.error : CheckCounts(inputs.value).error;
}

std::optional<GridMeasure> MeasureIfValid(const FieldTexts& texts, char decimal_separator) {
  const Checked<GridInputs> inputs = CheckInputs(texts, decimal_separator);
  if (inputs.error) {
    return std::nullopt;
  }
  const Checked<GridCounts> counts = CheckCounts(inputs.value);
  if (counts.error) {
    return std::nullopt;
  }
  return Measure(inputs.value, counts.value);
}

RunResult GenerateGrid(const FieldTexts& texts, const RunOptions& options) {
  try {
    const GridInputs inputs = ConvertInputs(texts, options.decimal_separator);
    const GridCounts counts = CountGrid(inputs);
    if (options.point_file) {
      PointLines lines(inputs, counts, *options.point_file);
      const std::size_t rows = counts.points() == 0 ? 0 : static_cast<std::size_t>(counts.rows());
      const std::size_t columns = rows == 0 ? 0 : static_cast<std::size_t>(counts.columns());
      return Write(
          {}, lines.Bytes(), columns, rows, options,
          [&](file::Writer& file, std::size_t column) { lines.WriteColumn(file, column); });
    }
    const GridLayout layout = LayOut(inputs, counts);
    return Write(kHeader, Measure(inputs, counts).bytes, layout.columns.size(), layout.rows.size(),
                 options, [&](file::Writer& file, std::size_t column) {
                   WriteGridColumn(file, layout.columns[column], layout.rows);
                 });
  } catch (const file::Failure& failure) {
    throw RunErrorOf(failure);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  }
}

}  // namespace grid
