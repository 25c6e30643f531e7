// Files that go with the grid and describe it (the coordinate system's, from the command line):
// each replaces the file at its path as the grid replaces its own (replacement.h). They are made
// and written before the grid's first byte, so that a folder or file that refuses them refuses
// the run while the grid is still as it was, and they take their names right after the grid.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "grid/replacement.h"
#include "grid/run_error.h"

namespace grid {

struct CompanionFile {
  std::filesystem::path path;
  std::string content;
};

// "; a and b, written in place, are now empty", or nothing for no file.
std::string LeftEmpty(const std::vector<std::string>& shown);

class CompanionFiles {
 public:
  // Checks that each may be replaced, creates its new file and writes it out (onto the disk,
  // for a synced run): all that is left to fail is the names. Raises a File error, every file
  // then as it was but for those written in place, which it says are left empty.
  CompanionFiles(const std::vector<CompanionFile>& files, const ReplaceOptions& options);

  // Once the grid, which messages name `grid_shown`, has its name: gives each new file its own.
  // Raises a File error that says which files now hold what.
  void Commit(std::string_view grid_shown);

  // Those written in place (in a folder that takes no new file), as messages name them: a run
  // abandoned now leaves them empty (see Replacement::Abandon).
  std::vector<std::string> WrittenInPlace() const;
  // `error`, which abandons the run, followed by LeftEmpty of those written in place.
  RunError Abandoning(const RunError& error) const;

 private:
  std::vector<std::unique_ptr<Replacement>> replacements_;
};

}  // namespace grid
