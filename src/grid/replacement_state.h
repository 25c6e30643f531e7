// What both systems' replacements share, private to them: the state every replacement keeps,
// and the name of the hidden file it writes. Each system's detail::SystemState (system_state.h
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
#include <memory>
#include <string>
#include <string_view>

#include "grid/replacement.h"

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
}  // namespace detail

}  // namespace grid
