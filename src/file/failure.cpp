#include "file/failure.h"

#include "file/shown_text.h"

namespace file {

void FailOnFile(const std::string& reason, const std::string& shown) {
  throw Failure(Failure::Kind::file, reason + " (" + shown + ")");
}

void FailInFolder(const std::string& reason, const std::string& shown_folder,
                  const std::string& advice) {
  // A folder known by no path names itself ("the current folder, which has been deleted").
  const bool described = shown_folder.starts_with("the ");
  throw Failure(Failure::Kind::file, reason + " (" + (described ? "" : "the folder ") +
                                         shown_folder + ")" +
                                         (advice.empty() ? "" : ". " + advice));
}

void FailForSpace(const std::string& reason, const std::string& what, std::uint64_t size,
                  const std::string& shown) {
  throw Failure(Failure::Kind::file,
                reason + ": the " + what + " needs " + SizeText(size) + " (" + shown + ")");
}

}  // namespace file
