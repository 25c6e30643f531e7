// What both systems' replacements share, private to the core: the state every replacement keeps,
// the name of the hidden file it writes, the File errors as both word them, and the steps of
// the reservation. Each system's detail::SystemState (system_state.h
// in unix/ and windows/, the one the build chooses) adds its own and the steps:
// - Find(target): finds the file the target names (following links) and its folder, and keeps
//   the folder of the name given; FindBeside(state, name) does so for a name in that folder;
// - CheckTarget(): asks everything that could refuse the replacement at the end;
// - SweepLeftovers(): removes what runs that were killed left in the folder;
// - Create(size): creates the new file beside the target with the old file's rights and `size`
//   bytes reserved;
// each raising a File error, and taken in that order by replacement.cpp. Only Find is taken to
// look at what a name reaches (SameTarget, in each system's new_file.cpp, compares two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "grid/replace_options.h"

namespace grid {

namespace detail {

struct ReplacementState {
  // Advice for the folder the program runs in, where the grid goes unless a link leads away.
  std::string Advice() const;

  ReplaceOptions options;
  std::string shown;                // the target, after links, as messages name it
  std::string shown_folder;         // its folder
  std::shared_ptr<NewFile> shared;  // the new file, for the writer
  bool committed = false;
};

// The new file's name while it is written, where it needs one: ".tessaplan-" and 8 random
// letters and digits, which a later run recognises as left behind; followed by padding, a name
// that tried a folder for room for a longer one.
inline constexpr std::string_view kHiddenPrefix = ".tessaplan-";
inline constexpr std::size_t kHiddenRandom = 8;
inline constexpr std::string_view kHiddenLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
inline constexpr char kHiddenPadding = '-';
std::string HiddenName();
bool IsHiddenName(std::string_view name);

// File errors as both systems word them. `shown` is a path already made safe to show.
[[noreturn]] void FailOnFile(const std::string& reason, const std::string& shown);
// `advice`, when there is some, follows the folder.
[[noreturn]] void FailInFolder(const std::string& reason, const std::string& shown_folder,
                               const std::string& advice = {});
[[noreturn]] void FailForSpace(const std::string& reason, const std::string& contents,
                               std::uint64_t size, const std::string& shown);
// Claims `size` bytes in steps of at most kReserveStep, each by `claim(offset, length)`, which
// says whether it could; `options.reserving` is asked before each step. False, at once, where a
// claim could not; raises Cancelled where `reserving` said stop.
bool ReserveInSteps(std::uint64_t size, const ReplaceOptions& options, std::string_view shown,
                    const std::function<bool(std::uint64_t offset, std::uint64_t length)>& claim);
}  // namespace detail

}  // namespace grid
