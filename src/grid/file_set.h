// Every file a run writes, as one transaction: the grid (or a point file in its place) and the
// files that describe it, beside the name the grid was given. Every file is found, checked and
// made before the first byte of any of them, so that whatever refuses one refuses the run with
// every file as it was; the files that describe the grid are then written, the grid after them,
// and all take their names together, while the run holds its folder's lock (replacement.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "file/failure.h"
#include "file/replacement.h"

namespace grid {

// The extensions of the files that describe a grid to GIS programs: its system (ESRI WKT), its
// columns' types, and a virtual layer over it. A point file, which has no header and so no
// column names for a .csvt, has its system and the layer.
inline constexpr std::string_view kDescribingExtensions[] = {".prj", ".csvt", ".vrt"};
inline constexpr std::string_view kPointFileDescribingExtensions[] = {".prj", ".vrt"};
std::span<const std::string_view> DescribingExtensions(bool point_file);

// The files that describe a grid (or a point file) lying beside the name `grid` now (beside a
// link, not its target: that is where GIS programs look), found by whether they exist.
std::vector<std::filesystem::path> DescribingFilesBeside(const std::filesystem::path& grid,
                                                         bool point_file = false);

// A file that describes the grid: the grid's name with `extension` in its place, beside it.
struct DescribingFile {
  std::string extension;  // ".prj"
  // What it holds, for the grid's name in its folder (which it may refer to).
  std::function<std::string(const std::filesystem::path& grid_name)> content;
};

// Raised before anything is written when names a run was given lead to one file, or its file
// to one it must not write: a wrong command line rather than a failure of the run.
class TargetClash : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "; a and b, written in place, are now empty", or nothing for no file.
std::string LeftEmpty(const std::vector<std::string>& shown);

class FileSet {
 public:
  // Finds the grid's file and, beside its name, each describing file's, as their commits will
  // reach them; checks that each may be replaced and makes its new file with its size reserved.
  // Raises a File error, TargetClash where two of them lead to one file, or Cancelled where
  // `options.reserving` stopped the grid's reservation; every file is then as it was.
  FileSet(const std::filesystem::path& grid, std::uint64_t grid_size,
          const std::vector<DescribingFile>& describing, const file::ReplaceOptions& options);

  file::Replacement& grid() { return *grid_; }

  // Raises TargetClash where the grid's file is `name`, or the file `name` leads to beside the
  // grid's name or in the current folder, which is always `why`.
  void KeepApartFrom(std::string_view name, std::string_view why) const;

  // Writes each describing file out (onto the disk, for a synced run): all that is left to fail
  // is the names. Raises a File error, every file then as it was but for those written in place,
  // which it says are left empty.
  void WriteDescribing();

  // Once the grid is written out: gives every new file its name, the grid first, while this run
  // holds the folder's lock. False, nothing named, when `keep_going` said stop while another
  // run held it. Raises a File error that says which files now hold what.
  bool Commit(const std::function<bool()>& keep_going);

  // Once Commit went on without the folder's lock, which keeps runs at once from mixing their
  // files: a warning that says why; otherwise empty.
  std::string Unlocked() const;

  // Describing files written in place (in a folder that takes no new file), as messages name
  // them: a run abandoned now leaves them empty (see Replacement::Abandon).
  std::vector<std::string> WrittenInPlace() const;
  // `error`, which abandons the run, followed by LeftEmpty of those written in place.
  file::Failure Abandoning(const file::Failure& error) const;

 private:
  void CheckApart() const;
  void CheckNoGridDescribed() const;
  void CommitDescribing(const std::string& grid_shown);

  std::unique_ptr<file::Replacement> grid_;
  std::vector<std::unique_ptr<file::Replacement>> describing_;
  std::vector<std::string> contents_;
};

}  // namespace grid
