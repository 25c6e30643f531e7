#include "grid/generate_grid.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file/database.h"
#include "file/shown_text.h"
#include "file/writer.h"

namespace grid {
namespace {

// Memory held from the start of a run and let go when a failure must be said, so that a run that
// ran short of it can still say which files it leaves empty.
constexpr std::size_t kWordsRoom = 64 * 1024;

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

// Every file of the run found, checked and made, its space reserved, and kept apart from the
// grid's own file where it is a point file.
void MakeFiles(std::optional<FileSet>& files, const GridPlan& plan, const RunOptions& options,
               const std::function<bool(std::string_view, std::uint64_t)>& reserving) {
  files.emplace(options.output, plan.FileSize(), options.describing,
                file::ReplaceOptions{.sync = options.sync,
                                     .folder_advice = options.folder_advice,
                                     .what = plan.point_file ? "point file" : "grid",
                                     .reserving = reserving});
  if (plan.point_file) {
    files->KeepApartFrom(kGridFileName, "the grid's own format");
  }
}

// The files written in place that a run abandoned now leaves empty, the grid's first.
std::vector<std::string> Emptied(const file::Writer& file, const std::optional<FileSet>& files) {
  std::vector<std::string> emptied;
  if (file.OverwritingTarget()) {
    emptied.emplace_back(file.ShownPath());
  }
  if (files) {
    for (std::string& shown : files->WrittenInPlace()) {
      emptied.push_back(std::move(shown));
    }
  }
  return emptied;
}

// A run cancelled now, and the files written in place it leaves empty.
RunResult Cancelled(const std::optional<file::Writer>& file, const std::optional<FileSet>& files) {
  return {.cancelled = true,
          .emptied = file && file->OverwritingTarget(),
          .emptied_describing = files ? files->WrittenInPlace() : std::vector<std::string>()};
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
  const auto cancelled = [&] { return Cancelled(file, files); };
  try {
    // Everything the run can take, before the first byte of any file: each file found, checked,
    // made and its space reserved, the writer's buffers and thread, and room for the words of a
    // failure that comes later. Whatever refuses one leaves every file as it was, also those
    // written in place.
    if (options.stream.file) {
      file.emplace(options.stream.file, options.stream.shown, keep_going);
    } else {
      MakeFiles(files, plan, options, reserving);
      file.emplace(files->grid(), keep_going);
    }
    auto words = std::make_unique<char[]>(kWordsRoom);
    // From here on a file written in place is written over. The set's own steps say which files
    // a failure leaves empty; for the grid's writing, this does.
    if (files) {
      files->WriteDescribing();
    }
    const bool written = [&] {
      try {
        file->Begin();
        return WritePoints(*file, header, columns, rows, progress, keep_going, write_column);
      } catch (const file::Failure& error) {
        words.reset();
        if (files) {
          throw files->Abandoning(error);
        }
        throw;
      } catch (const std::bad_alloc&) {
        words.reset();
        throw OutOfMemory(LeftEmpty(Emptied(*file, files)));
      }
    }();
    if (!written || (files && !files->Commit(keep_going))) {
      return cancelled();
    }
  } catch (const file::Cancelled&) {
    return cancelled();
  }
  return {.points_written = progress.points_written,
          .bytes_written = file_size,
          .unlocked = files ? files->Unlocked() : std::string()};
}

// A new GeoPackage never replaces a file: one at the name, a GeoPackage or not, is a wrong
// command line, said before anything is made. One that appears during the run refuses the
// commit (ReplaceOptions::no_replace).
void CheckNewGeoPackage(const std::filesystem::path& output) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(output, error);
  if (!std::filesystem::exists(status)) {
    return;  // none, or one the replacement then says why it cannot reach
  }
  // SQLite's header, and the standard's application_id at its byte 68; read from a regular file
  // only, as opening a pipe would wait for its writer.
  char header[72] = {};
  if (std::filesystem::is_regular_file(status)) {
    std::ifstream(output, std::ios::binary).read(header, sizeof header);
  }
  const std::string_view id(header + 68, 4);
  const bool geopackage = std::string_view(header, 16) == std::string_view("SQLite format 3", 16) &&
                          (id == "GPKG" || id == "GP10" || id == "GP11");
  throw TargetClash(file::ShownPath(output) +
                    (geopackage ? " is a GeoPackage already, and --format=gpkg makes a new one"
                                : " exists and is not a GeoPackage") +
                    ": name a new file");
}

// The grid as a layer of a new GeoPackage: made under a hidden name with its space claimed, its
// tables and points written through SQLite, synced, then given a name no file has.
RunResult WriteNewGeoPackage(const GridPlan& plan, const RunOptions& options) {
  CheckNewGeoPackage(options.output);
  const GridCounts& counts = plan.grid.counts;
  const GridLines lines(plan.inputs, counts);
  GridProgress progress{.points_total = counts.points(), .bytes_total = GeoPackageBytes(counts)};
  const auto tell = [&] { return !options.progress || options.progress(progress); };
  // The progress is the points': how far SQLite has written says little of how far it is.
  const auto keep_going = [&](std::size_t columns) {
    progress.points_written = columns * lines.Rows();
    progress.bytes_done = counts.points() == 0
                              ? progress.bytes_total
                              : progress.bytes_total / counts.points() * progress.points_written;
    return tell();
  };
  try {
    file::Replacement target(
        options.output, progress.bytes_total,
        file::ReplaceOptions{.sync = options.sync,
                             .no_replace = true,
                             .keep_size = true,
                             .folder_advice = options.folder_advice,
                             .what = "GeoPackage",
                             .reserving = [&](std::string_view shown, std::uint64_t reserved) {
                               progress.path = shown;
                               progress.bytes_done = reserved;
                               return tell();
                             }});
    progress.path = target.ShownPath();
    progress.stage = GridStage::writing;
    file::Database database(target.file(), target.ShownPath(), kGeoPackagePage);
    if (!keep_going(0) || !WriteGeoPackage(database, lines, *options.geopackage, keep_going)) {
      return {.cancelled = true};
    }
    database.Close();
    progress.stage = GridStage::saving;
    progress.bytes_done = progress.bytes_total;
    if (!tell()) {
      return {.cancelled = true};
    }
    // A stop that came while the disk saved it is heard once it has: the file has no name yet.
    const std::shared_ptr<file::NewFile>& written = target.file();
    std::uint64_t size = 0;
    if (std::error_code error = written->Finish(); error || (error = written->Size(size))) {
      file::FailOnFile(error.message(), target.ShownPath());
    }
    if (!tell()) {
      return {.cancelled = true};
    }
    target.Commit();
    return {.points_written = counts.points(), .bytes_written = size};
  } catch (const file::Cancelled&) {
    return {.cancelled = true};
  }
}

}  // namespace

RunResult GenerateGrid(const GridPlan& plan, const RunOptions& options) {
  plan.Check();
  try {
    const GridCounts& counts = plan.grid.counts;
    const std::size_t rows = counts.points() == 0 ? 0 : static_cast<std::size_t>(counts.rows());
    const std::size_t columns = rows == 0 ? 0 : static_cast<std::size_t>(counts.columns());
    if (options.geopackage) {
      return WriteNewGeoPackage(plan, options);
    }
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
