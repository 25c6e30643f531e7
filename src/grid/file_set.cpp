#include "grid/file_set.h"

#include "file/shown_text.h"
#include "grid/grid_layout.h"
#include "grid/wording.h"

namespace grid {

std::string LeftEmpty(const std::vector<std::string>& shown) {
  if (shown.empty()) {
    return {};
  }
  return "; " + Listed(shown) + ", written in place, " + (shown.size() == 1 ? "is" : "are") +
         " now empty";
}

std::span<const std::string_view> DescribingExtensions(bool point_file) {
  if (point_file) {
    return kPointFileDescribingExtensions;
  }
  return kDescribingExtensions;
}

std::vector<std::filesystem::path> DescribingFilesBeside(const std::filesystem::path& grid,
                                                         bool point_file) {
  std::vector<std::filesystem::path> found;
  for (const std::string_view extension : DescribingExtensions(point_file)) {
    std::filesystem::path beside = std::filesystem::path(grid).replace_extension(extension);
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(beside, error))) {
      found.push_back(std::move(beside));
    }
  }
  return found;
}

FileSet::FileSet(const std::filesystem::path& grid, std::uint64_t grid_size,
                 const std::vector<DescribingFile>& describing, const file::ReplaceOptions& options)
    : grid_(std::make_unique<file::Replacement>(grid, grid_size, options)) {
  const std::filesystem::path grid_name = grid_->GivenName();
  file::ReplaceOptions describing_options = options;
  describing_options.what = "description";
  describing_options.reserving = {};  // the progress is the grid's
  for (const DescribingFile& file : describing) {
    contents_.push_back(file.content(grid_name));
    describing_.push_back(std::make_unique<file::Replacement>(
        *grid_, std::filesystem::path(grid_name).replace_extension(file.extension),
        contents_.back().size(), describing_options));
  }
  CheckApart();
  CheckNoGridDescribed();
}

// Two of the set that lead to one file would write one over the other.
void FileSet::CheckApart() const {
  std::vector<const file::Replacement*> all{grid_.get()};
  for (const auto& file : describing_) {
    all.push_back(file.get());
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      if (all[i]->SameTarget(*all[j])) {
        throw TargetClash(all[i]->ShownGiven() + " and " + all[j]->ShownGiven() +
                          " lead to one file, " + all[i]->ShownPath() +
                          ": the grid and each file that describes it need a file of their own");
      }
    }
  }
}

// A file that describes the grid never replaces a grid this run does not write: one named as the
// grid's own file is, or one that begins as a grid does.
void FileSet::CheckNoGridDescribed() const {
  const std::string_view first_line = kGridHeader.substr(0, kGridHeader.find('\r'));
  for (const auto& file : describing_) {
    std::string holds;
    if (!file->NamedAs(kGridFileName)) {
      const std::string start = file->ExistingStart(first_line.size() + 1);
      if (!start.starts_with(first_line) || start.size() == first_line.size() ||
          (start.back() != '\r' && start.back() != '\n')) {
        continue;
      }
      holds = ", which holds a grid";
    }
    throw TargetClash(file->ShownGiven() + " leads to " + file->ShownPath() + holds +
                      ", and a file that describes a grid never replaces one: name another file");
  }
}

std::string FileSet::Unlocked() const {
  if (describing_.empty() || grid_->NamesUnlocked().empty()) {
    return {};
  }
  return "the folder's lock cannot be taken: " + grid_->NamesUnlocked() +
         "; runs at once there may mix their files";
}

void FileSet::KeepApartFrom(std::string_view name, std::string_view why) const {
  const std::string given = grid_->ShownGiven();
  std::string clash;
  if (grid_->NamedAs(name)) {
    clash = given + " leads to " + grid_->ShownPath();
  } else if (grid_->Reaches(name, false)) {
    clash = given + " is the same file as the " + std::string(name) + " beside it";
  } else if (grid_->Reaches(name, true)) {
    clash = given + " is the same file as " + std::string(name) + " in the current folder";
  } else {
    return;
  }
  throw TargetClash(clash + ", and " + std::string(name) + " is always " + std::string(why) +
                    ": name another file");
}

void FileSet::WriteDescribing() {
  for (std::size_t i = 0; i < describing_.size(); ++i) {
    file::Replacement& file = *describing_[i];
    try {
      file.BeginWriting();
      const std::shared_ptr<file::NewFile>& written = file.file();
      if (std::error_code error = written->Write(contents_[i].data(), contents_[i].size());
          error || (error = written->Finish())) {
        // Abandoning names this one too where it was written in place.
        file::FailOnFile(error.message(), file.ShownPath());
      }
    } catch (const file::Failure& error) {
      throw Abandoning(error);
    }
  }
}

std::vector<std::string> FileSet::WrittenInPlace() const {
  std::vector<std::string> shown;
  for (const auto& file : describing_) {
    if (file->Overwriting()) {
      shown.push_back(file->ShownPath());
    }
  }
  return shown;
}

file::Failure FileSet::Abandoning(const file::Failure& error) const {
  return file::Failure(error.kind(), error.what() + LeftEmpty(WrittenInPlace()));
}

bool FileSet::Commit(const std::function<bool()>& keep_going) {
  if (!grid_->LockNames(keep_going)) {
    return false;
  }
  struct Unlock {
    file::Replacement& grid;
    ~Unlock() { grid.UnlockNames(); }
  } unlock{*grid_};
  try {
    grid_->Commit();
  } catch (const file::Failure& error) {
    throw Abandoning(error);
  }
  CommitDescribing(grid_->ShownPath());
  return true;
}

void FileSet::CommitDescribing(const std::string& grid_shown) {
  for (std::size_t failed = 0; failed < describing_.size(); ++failed) {
    try {
      describing_[failed]->Commit();
    } catch (const file::Failure& error) {
      // The grid is new; so are the files before this one, and the rest are as they were, but
      // for one written in place, which its abandoning leaves empty.
      std::vector<std::string> renewed;
      std::string rest;
      for (std::size_t i = 0; i < describing_.size(); ++i) {
        const std::string& shown = describing_[i]->ShownPath();
        if (i < failed) {
          renewed.push_back(shown);
        } else {
          rest.append("; ").append(shown).append(describing_[i]->Overwriting() ? " is now empty"
                                                                               : " is as it was");
        }
      }
      std::string holds = ". The new grid is in " + grid_shown;
      if (!renewed.empty()) {
        holds += ", described by the new " + Listed(renewed);
      }
      throw file::Failure(file::Failure::Kind::file,
                          error.what() + holds + rest + ": run again to describe the grid anew.");
    }
  }
}

}  // namespace grid
