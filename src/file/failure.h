// How writing a file fails, in this layer's own words, which its callers turn into their own
// errors: a Failure into a failed run, a Cancelled into a cancelled one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace file {

// Raised where the caller's `keep_going` or `reserving` said stop in the middle of a step that
// waits: reserving the space, or writing to a slow disk. Whatever was made is dropped.
struct Cancelled {};

// A file that cannot be found, checked, made, written or named, said with the file (or its
// folder) it concerns and what to mend; or what writing it needs that the machine refused.
class Failure : public std::runtime_error {
 public:
  enum class Kind {
    file,    // the file, its folder or its disk
    system,  // the machine: a thread to write with
  };
  Failure(Kind kind, const std::string& detail) : std::runtime_error(detail), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// File failures as both systems word them. `shown` is a path already made safe to show.
[[noreturn]] void FailOnFile(const std::string& reason, const std::string& shown);
// `advice`, when there is some, follows the folder.
[[noreturn]] void FailInFolder(const std::string& reason, const std::string& shown_folder,
                               const std::string& advice = {});
// `what`: what the file holds ("grid").
[[noreturn]] void FailForSpace(const std::string& reason, const std::string& what,
                               std::uint64_t size, const std::string& shown);

}  // namespace file
