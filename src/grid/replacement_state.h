// What both systems' replacements share, private to them (the files of unix/, and
// windows/replacement.cpp):
// the state every replacement keeps, the steps it takes in the order replacement.cpp takes them,
// and the name of the hidden file it writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "grid/replacement.h"

namespace grid {

struct Replacement::State {
  virtual ~State() = default;

  // The steps before the first byte, each raising a File error: find the file the target names
  // (following links) and its folder; ask everything that could refuse the replacement at the
  // end; remove what runs that were killed left in the folder; create the new file beside the
  // target with the old file's rights and `size` bytes reserved.
  virtual void Find(const std::filesystem::path& target) = 0;
  virtual void CheckTarget() = 0;
  virtual void SweepLeftovers() = 0;
  virtual void Create(std::uint64_t size) = 0;

  // Advice for the folder the program runs in, where the grid goes unless a link leads away.
  std::string Advice() const;

  ReplaceOptions options;
  std::string shown;                // the target, after links, as messages name it
  std::string shown_folder;         // its folder
  std::shared_ptr<NewFile> shared;  // the new file, for the writer
  bool committed = false;
};

// Each system's state.
std::unique_ptr<Replacement::State> NewReplacementState();

namespace detail {
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
