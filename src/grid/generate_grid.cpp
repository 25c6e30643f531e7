#include "grid/generate_grid.h"

#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "file/writer.h"

namespace grid {
namespace {

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
RunResult Write(const GridPlan& plan, std::string_view header, std::size_t columns,
                std::size_t rows, const RunOptions& options, WriteColumn write_column) {
  const std::uint64_t file_size = plan.FileSize();
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
                                         .what = plan.point_file ? "point file" : "grid",
                                         .reserving = reserving});
      if (plan.point_file) {
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

}  // namespace

RunResult GenerateGrid(const GridPlan& plan, const RunOptions& options) {
  plan.Check();
  try {
    const GridCounts& counts = plan.grid.counts;
    const std::size_t rows = counts.points() == 0 ? 0 : static_cast<std::size_t>(counts.rows());
    const std::size_t columns = rows == 0 ? 0 : static_cast<std::size_t>(counts.columns());
    if (plan.point_file) {
      PointLines lines(plan.inputs, counts, *plan.point_file);
      return Write(plan, {}, columns, rows, options, [&](file::Writer& file, std::size_t column) {
        lines.WriteColumn(file, column);
      });
    }
    const GridLines lines(plan.inputs, counts);
    return Write(plan, kGridHeader, columns, rows, options,
                 [&](file::Writer& file, std::size_t column) { lines.WriteColumn(file, column); });
  } catch (const file::Failure& failure) {
    throw RunErrorOf(failure);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  }
}

}  // namespace grid
