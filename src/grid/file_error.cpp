#include "grid/replacement_state.h"
#include "grid/run_error.h"
#include "grid/shown_text.h"

namespace grid::detail {

void FailOnFile(const std::string& reason, const std::string& shown) {
  throw RunError(ErrorKind::file, reason + " (" + shown + ")");
}

void FailInFolder(const std::string& reason, const std::string& shown_folder,
                  const std::string& advice) {
  // A folder known by no path names itself ("the current folder, which has been deleted").
  const bool described = shown_folder.starts_with("the ");
  throw RunError(ErrorKind::file, reason + " (" + (described ? "" : "the folder ") + shown_folder +
                                      ")" + (advice.empty() ? "" : ". " + advice));
}

void FailForSpace(const std::string& reason, const std::string& contents, std::uint64_t size,
                  const std::string& shown) {
  throw RunError(ErrorKind::file,
                 reason + ": " + contents + " needs " + SizeText(size) + " (" + shown + ")");
}

}  // namespace grid::detail
