// What both systems' replacements share: the state every replacement keeps, the name of the
// hidden file it writes, the steps of the reservation, and the steps each system takes, declared
// here and defined in its own folder (unix/, windows/), the one the build chooses. replacement.cpp
// takes them in order, holding each system's state (its system_state.h) only by these steps:
// no shared file includes a system's, and no system's header includes the shared interface back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "file/replace_options.h"

namespace file {

namespace detail {

struct ReplacementState {
  // Advice for the folder the program runs in, where the file goes unless a link leads away.
  std::string Advice() const;

  ReplaceOptions options;
  std::string shown;                // the target, after links, as messages name it
  std::string shown_folder;         // its folder
  std::shared_ptr<NewFile> shared;  // the new file, for the writer
  bool committed = false;
  // Written in place (a writable file in a folder that takes no new one), the old file no
  // longer whole. Never on Windows, which always writes a new file beside the target.
  bool overwriting = false;
  // Why the given folder's lock could not be taken, with the folder, once LockNames found so.
  std::string unlocked;
};

// A File failure about the target: the system's reason and the target's path, and where it was
// written in place, that it is now empty.
[[noreturn]] void FailWriting(const ReplacementState& state, std::error_code error);
// A File failure of a new file only (ReplaceOptions::no_replace) whose name another file took
// during the run.
[[noreturn]] void FailNameTaken(const ReplacementState& state);

// Each system's state, and its steps (unix/new_file.cpp, windows/new_file.cpp); a state made
// by NewState is dropped by DropState (replacement.h).
struct SystemState;
SystemState* NewState();
ReplacementState& Shared(SystemState& state);
// Finds the file the target names (following links) and its folder, and keeps the folder of
// the name given; FindBeside does so for a name in the folder `beside` was given.
void Find(SystemState& state, const std::filesystem::path& target);
void FindBeside(SystemState& state, const SystemState& beside, const std::filesystem::path& name);
// Asks everything that could refuse the replacement at the end.
void CheckTarget(SystemState& state);
// Removes what runs that were killed left in the folder.
void SweepLeftovers(SystemState& state);
// Creates the new file beside the target with the old file's rights and `size` bytes reserved.
void Create(SystemState& state, std::uint64_t size);
// Whether the two lead to one file: the same file, or where there is none yet, the same name in
// the same folder (on Windows, without case).
bool SameTarget(const SystemState& a, const SystemState& b);
// The rest of Replacement's calls, as replacement.h says them.
void BeginWriting(SystemState& state);
void Commit(SystemState& state);
void Abandon(SystemState& state);
std::filesystem::path GivenName(const SystemState& state);
std::string ShownGiven(const SystemState& state);
bool NamedAs(const SystemState& state, std::string_view name);
// The first `size` bytes of the file the target names now, or fewer; none where it cannot be
// read.
std::string ReadStart(const SystemState& state, std::size_t size);
bool LockNames(SystemState& state, const std::function<bool()>& keep_going);
void UnlockNames(SystemState& state);

// The new file's name while it is written, where it needs one: ".tessaplan-" and 8 random
// letters and digits, which a later run recognises as left behind; followed by padding, a name
// that tried a folder for room for a longer one.
inline constexpr std::string_view kHiddenPrefix = ".tessaplan-";
inline constexpr std::size_t kHiddenRandom = 8;
inline constexpr std::string_view kHiddenLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
inline constexpr char kHiddenPadding = '-';
std::string HiddenName();
bool IsHiddenName(std::string_view name);

// Claims `size` bytes in steps of at most kReserveStep, each by `claim(offset, length)`, which
// says whether it could; `options.reserving` is asked before each step. False, at once, where a
// claim could not; raises Cancelled where `reserving` said stop.
bool ReserveInSteps(std::uint64_t size, const ReplaceOptions& options, std::string_view shown,
                    const std::function<bool(std::uint64_t offset, std::uint64_t length)>& claim);
}  // namespace detail

}  // namespace file
