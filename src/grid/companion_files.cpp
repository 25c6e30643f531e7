#include "grid/companion_files.h"

#include "grid/run_error.h"
#include "grid/shown_text.h"

namespace grid {

std::string LeftEmpty(const std::vector<std::string>& shown) {
  if (shown.empty()) {
    return {};
  }
  return "; " + Listed(shown) + ", written in place, " + (shown.size() == 1 ? "is" : "are") +
         " now empty";
}

CompanionFiles::CompanionFiles(const std::vector<CompanionFile>& files,
                               const ReplaceOptions& options) {
  for (const CompanionFile& file : files) {
    try {
      auto replacement = std::make_unique<Replacement>(file.path, file.content.size(), options);
      const std::shared_ptr<NewFile>& written = replacement->file();
      if (std::error_code error = written->Write(file.content.data(), file.content.size());
          error || (error = written->Finish())) {
        replacement->Fail(error);  // which says so of this one, written in place
      }
      replacements_.push_back(std::move(replacement));
    } catch (const RunError& error) {
      throw Abandoning(error);
    }
  }
}

std::vector<std::string> CompanionFiles::WrittenInPlace() const {
  std::vector<std::string> shown;
  for (const auto& replacement : replacements_) {
    if (replacement->Overwriting()) {
      shown.push_back(replacement->ShownPath());
    }
  }
  return shown;
}

RunError CompanionFiles::Abandoning(const RunError& error) const {
  return RunError(error.kind(), error.detail() + LeftEmpty(WrittenInPlace()), error.field());
}

void CompanionFiles::Commit(std::string_view grid_shown) {
  for (std::size_t failed = 0; failed < replacements_.size(); ++failed) {
    try {
      replacements_[failed]->Commit();
    } catch (const RunError& error) {
      // The grid is new; so are the files before this one, and the rest are as they were, but
      // for one written in place, which its abandoning leaves empty.
      std::vector<std::string> renewed;
      std::string rest;
      for (std::size_t i = 0; i < replacements_.size(); ++i) {
        const std::string& shown = replacements_[i]->ShownPath();
        if (i < failed) {
          renewed.push_back(shown);
        } else {
          rest.append("; ").append(shown).append(replacements_[i]->Overwriting() ? " is now empty"
                                                                                 : " is as it was");
        }
      }
      std::string holds = ". The new grid is in " + std::string(grid_shown);
      if (!renewed.empty()) {
        holds += ", described by the new " + Listed(renewed);
      }
      throw RunError(ErrorKind::file,
                     error.detail() + holds + rest + ": run again to describe the grid anew.");
    }
  }
}

}  // namespace grid
