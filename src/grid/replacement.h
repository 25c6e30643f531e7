// Replacing newgrid.txt as one transaction: the new grid is written into a file that has no name
// the user can see, in the target's folder, and takes the target's name only when it is
// complete (and on the disk, for a synced run). Until then the user's file stays as it was, and
// a run that dies, however it dies, leaves nothing behind. The steps are replacement.cpp's; each
// system's part, chosen by the build, is in unix/ (new_file.cpp and the parts its
// system_state.h names) and windows/ (new_file.cpp, system_state.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace grid {

namespace detail {
struct SystemState;  // each system's own, in its system_state.h
}

// Raised where the run's `keep_going` or `reserving` said stop in the middle of a step that
// waits: reserving the space, or writing to a slow disk. Whatever was made is dropped.
struct Cancelled {};

// The space for a new file is claimed in steps of at most this many bytes, so that a run that is
// stopped while the disk reserves ten gigabytes stops within a step's time.
inline constexpr std::uint64_t kReserveStep = std::uint64_t{64} << 20;

// The new file, open for writing, and the calls the writer makes on it. The writer's thread and
// the replacement share it, so that a writer held up by a slow disk can finish alone, on a file
// that no longer has a name, after the run has been abandoned.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Appends all of `data`. A synced file streams to the disk as it grows.
  virtual std::error_code Write(const char* data, std::size_t size) = 0;
  // Puts what the system still holds on the disk, for a synced file.
  virtual std::error_code Finish() = 0;
  // The bytes done so far: on the disk for a synced file, handed to the system otherwise. Safe
  // from any thread.
  virtual std::uint64_t BytesDone() const = 0;
};

struct ReplaceOptions {
  // Commit only once the file is on the disk.
  bool sync = true;
  // Tests turn this off to take the way of file systems that have no unnamed files.
  bool unnamed = true;
  // Said after a File error about the folder the program runs in (the window tells where it
  // writes and how to start it elsewhere).
  std::string folder_advice = {};
  // What the file holds, as a refusal for its size names it.
  std::string contents = "the grid";
  // Asked before each step of the space's reservation, with the file as messages name it and
  // the bytes reserved so far; false stops the run there (Cancelled).
  std::function<bool(std::string_view shown, std::uint64_t reserved)> reserving = {};
};

class Replacement {
 public:
  // Finds the file that `target` names (following links), checks that this user may replace it
  // and that nothing will refuse the replacement at the end, and creates the new file beside it
  // with the old file's rights and `size` bytes reserved. Raises a File error before anything is
  // written, naming the file or, when it is the problem, its folder; or Cancelled where
  // `options.reserving` said stop. Either way nothing is left of the new file.
  Replacement(const std::filesystem::path& target, std::uint64_t size,
              const ReplaceOptions& options);
  // The same for the file named `name` beside the name `beside` was given (beside a link, not
  // its target), found from the folder `beside` holds for that name: a folder renamed or a link
  // swapped during the run cannot part the two.
  Replacement(const Replacement& beside, const std::filesystem::path& name, std::uint64_t size,
              const ReplaceOptions& options);
  // Abandons the new file unless Commit gave it its name.
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  const std::shared_ptr<NewFile>& file() const;
  // The file replaced, after links, as messages name it.
  const std::string& ShownPath() const;
  // The name given, in its folder, before a link there is followed (the Windows name as the
  // system reads it: no trailing dots or blanks); and as messages name it.
  std::filesystem::path GivenName() const;
  std::string ShownGiven() const;

  // Whether the two replace one file: the same file (a hard link counts), or where there is
  // none yet, the same name in the same folder; on Windows, names compared without case.
  bool SameTarget(const Replacement& other) const;
  // Whether the file replaced has the name `name` in its folder, by the system's rule for names.
  bool NamedAs(std::string_view name) const;
  // Whether `name`, beside the name this one was given or (`in_current_folder`) in the current
  // folder, leads to the file this one replaces. Only looks: a name that cannot be followed
  // leads nowhere.
  bool Reaches(const std::filesystem::path& name, bool in_current_folder) const;

  // Written in place, the old file is written over from here on: it is cut to the new size.
  // Otherwise nothing. Called once every file of the run has been checked and made.
  void BeginWriting();

  // Once the writer has finished: gives the new file the target's name, over the old file.
  // Raises a File error, the target then as it was; or, for a synced run whose folder the disk
  // then fails to sync, one that says the new grid has the name but is not known to be saved.
  void Commit();
  // Drops the new file; the target stays as it was, but for one case: written in place (a
  // writable file in a folder that cannot take a new one), a target already written over is
  // left empty rather than half-written.
  void Abandon();
  // Whether Abandon would now leave the target empty.
  bool Overwriting() const;

  // Runs at once that replace files in one folder give them their names one run at a time:
  // waits, asking `keep_going` every few tens of milliseconds, until this run holds the
  // folder's lock. False, nothing held, once `keep_going` says stop. The lock is the
  // system's, on the folder that holds the given name, and goes with the process however it
  // ends; a folder that cannot be locked (one this user may not read) is not waited for.
  bool LockNames(const std::function<bool()>& keep_going);
  void UnlockNames();

  // A File error about the target: the system's reason and the target's path.
  [[noreturn]] void Fail(std::error_code error) const;

 private:
  Replacement();
  void Make(std::uint64_t size);

  std::unique_ptr<detail::SystemState> state_;
};

namespace detail {
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
