// Replacing a file as one transaction: the new file is written into one that has no name the
// user can see, in the target's folder, and takes the target's name only when it is complete
// (and on the disk, for a synced run). Until then the user's file stays as it was, and a run
// that dies, however it dies, leaves nothing behind. The steps are replacement.cpp's; each
// system's, declared in replacement_state.h, are in unix/ and windows/, the folder the build
// chooses.
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
struct SystemState;  // each system's own
struct DropState {
  void operator()(SystemState* state) const;
};
}  // namespace detail

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
  // The first `size` bytes of the file replaced, as it is now: fewer for a shorter one, none
  // where there is none or it cannot be read. Only looks.
  std::string ExistingStart(std::size_t size) const;
  // Whether `name`, beside the name this one was given or (`in_current_folder`) in the current
  // folder, leads to the file this one replaces. Only looks: a name that cannot be followed
  // leads nowhere.
  bool Reaches(const std::filesystem::path& name, bool in_current_folder) const;

  // Written in place, the old file is written over from here on: it is cut to the new size.
  // Otherwise nothing. Called once every file of the run has been checked and made.
  void BeginWriting();

  // Once the writer has finished: gives the new file the target's name, over the old file.
  // Raises a File error, the target then as it was; or, for a synced run whose folder the disk
  // then fails to sync, one that says the new file has the name but is not known to be saved.
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
  // Once LockNames went on without the lock (a folder that cannot be locked): why, and the
  // folder; otherwise empty.
  const std::string& NamesUnlocked() const;

  // A File error about the target: the system's reason and the target's path.
  [[noreturn]] void Fail(std::error_code error) const;

 private:
  Replacement();
  void Make(std::uint64_t size);

  std::unique_ptr<detail::SystemState, detail::DropState> state_;
};

}  // namespace file
