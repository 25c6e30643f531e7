// Replacing a file on Linux: a transaction on the target's folder, held open for the run.
// The new file goes into an unnamed file there (O_TMPFILE) or, where the file system has none,
// into a hidden file that the run holds locked; at commit it is linked in under a hidden name
// and renamed over the target. A hidden file that no living run holds is a leftover of a killed
// run, and the next run in the folder removes it.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "file/replacement.h"
#include "file/unix/system_state.h"
#include "system/unix/new_files.h"
#include "system/unix/write_all.h"

namespace file::detail {
namespace {

// A synced run keeps at most this much of the file dirty in the page cache: the disk is kept
// busy from the first megabyte, and what has reached it is dropped from the cache, so a run
// neither waits at the end nor pushes out what other programs had cached.
constexpr std::uint64_t kDirtyWindow = std::uint64_t{32} << 20;
// Write-back is started for this much at a time: requests large enough for the disk to merge.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
constexpr std::uint64_t kPage = 4096;
// How often a run waiting for another's commit asks whether to go on.
constexpr useconds_t kLockPollMicroseconds = 10000;

}  // namespace

// A synced file streams to the disk: write-back starts for every kWriteBackStep written, and
// what lies more than kDirtyWindow behind is waited for and dropped from the page cache.
std::error_code SystemFile::Write(const char* data, std::size_t size) {
  if (const int failed = sys::WriteAll(fd(), data, size); failed != 0) {
    return Error(failed);
  }
  written_ += size;
  if (stream_) {
    int error = 0;
    if (written_ - started_ >= kWriteBackStep) {
      error = sys::StartWriteBack(fd(), started_, written_ - started_);
      started_ = written_;
    }
    const std::uint64_t behind =
        written_ > kDirtyWindow ? (written_ - kDirtyWindow) / kPage * kPage : 0;
    if (error == 0 && behind > on_disk_) {
      error = sys::WaitForWriteBack(fd(), on_disk_, behind - on_disk_);
      if (error == 0) {
        on_disk_ = behind;
      }
    }
    // Streaming is an optimisation: file systems that cannot fall back to the one fsync at the
    // end.
    if (error != 0) {
      if (!sys::NoWriteBack(error)) {
        return Error(error);
      }
      stream_ = false;
    }
  }
  bytes_done_ = stream_ ? on_disk_ : written_;
  return {};
}

// The one fsync that makes the file durable; streaming left little for it to do.
std::error_code SystemFile::Finish() {
  if (sync_) {
    if (RetryOnInterrupt([this] { return ::fsync(fd()); }) != 0) {
      return Error(errno);
    }
    ::posix_fadvise(fd(), static_cast<off_t>(on_disk_), 0, POSIX_FADV_DONTNEED);
  }
  bytes_done_ = written_;
  return {};
}

// A database writes its pages where it chooses, and reads them back.
std::error_code SystemFile::ReadAt(std::uint64_t offset, char* data, std::size_t size,
                                   std::size_t& got) {
  const int error = sys::ReadAt(fd(), data, size, offset, got);
  return error == 0 ? std::error_code() : Error(error);
}

std::error_code SystemFile::WriteAt(std::uint64_t offset, const char* data, std::size_t size) {
  if (const int error = sys::WriteAll(fd(), data, size, static_cast<std::int64_t>(offset));
      error != 0) {
    return Error(error);
  }
  written_ = std::max(written_, offset + size);
  bytes_done_ = written_;
  return {};
}

std::error_code SystemFile::Size(std::uint64_t& size) const {
  struct stat status {};
  if (::fstat(fd(), &status) != 0) {
    return Error(errno);
  }
  size = static_cast<std::uint64_t>(status.st_size);
  return {};
}

std::error_code SystemFile::Truncate(std::uint64_t size) {
  if (RetryOnInterrupt([&] { return ::ftruncate(fd(), static_cast<off_t>(size)); }) != 0) {
    return Error(errno);
  }
  written_ = size;
  return {};
}

// The hidden names this user's runs try first for `name`, slot by slot: the same in every run,
// so that a folder this user may not list (a drop box) can still be swept of them. Only then a
// random one, should others hold all these.
std::string SystemState::PredictedHiddenName(int slot) const {
  // FNV-1a over the user, the name and the slot: no secret, only spread.
  std::uint64_t hash = 14695981039346656037u;
  const auto mix = [&](std::string_view bytes) {
    for (const char byte : bytes) {
      hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211u;
    }
  };
  mix(std::to_string(::geteuid()) + "/" + std::to_string(slot) + "/");
  mix(name);
  std::string hidden(detail::kHiddenPrefix);
  for (std::size_t i = 0; i < detail::kHiddenRandom; ++i, hash /= detail::kHiddenLetters.size()) {
    hidden += detail::kHiddenLetters[hash % detail::kHiddenLetters.size()];
  }
  return hidden;
}

std::string SystemState::NextHiddenName(int attempt) const {
  return attempt < kPredictedSlots ? PredictedHiddenName(attempt) : detail::HiddenName();
}

// The name that tries the folder for room: hidden, and as long as the longest name the commit
// gives the file there. It ends in padding, which no file's hidden name does: the probe is
// removed by its name, and another run's sweep may have removed it first, so that name must
// never be one a run's file has meanwhile been given.
std::string SystemState::ProbeName(int attempt) const {
  std::string probe = NextHiddenName(attempt);
  const std::size_t length = std::max(exists ? 0 : name.size(), probe.size() + 1);
  probe.append(length - probe.size(), detail::kHiddenPadding);
  return probe;
}

// An unnamed file takes a name only at the commit, where a folder with no room for one more (a
// full disk on which the folder needs another block, a full table of names) would refuse it
// after the whole file is written. A hidden name as long is made and removed now instead. A
// folder filled during the run is still found only at the commit.
void SystemState::CheckRoomForName() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string probe = ProbeName(attempt);
    const Fd made(RetryOnInterrupt([&] {
      return ::openat(directory.get(), probe.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    }));
    if (made.valid()) {
      // Another run's sweep may have taken it for a leftover and removed it first.
      if (RetryOnInterrupt([&] { return ::unlinkat(directory.get(), probe.c_str(), 0); }) != 0 &&
          errno != ENOENT) {
        file::FailOnFile(Reason(errno) +
                             ": a name made to try the folder for room cannot be removed; the "
                             "next run there removes it",
                         Within(shown_folder, probe));
      }
      return;
    }
    if (errno == ENOSPC || errno == EDQUOT) {
      file::FailInFolder(Reason(errno) + ": no room for one more name", shown_folder, Advice());
    }
    if (errno != EEXIST) {
      FailInFolder(errno);
    }
  }
  FailInFolder(EEXIST);
}

// A hidden file of an earlier run that no living run holds locked was left by a run that was
// killed between naming its file and renaming it. Only files that are certainly such are
// removed: the pattern, a regular file, owned by this user, and not locked.
void SystemState::RemoveIfLeftover(const char* hidden) {
  struct stat before {};
  if (!detail::IsHiddenName(hidden) ||
      ::fstatat(directory.get(), hidden, &before, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(before.st_mode) || before.st_uid != ::geteuid()) {
    return;
  }
  Fd leftover(
      ::openat(directory.get(), hidden, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!leftover.valid()) {
    leftover = Fd(::openat(directory.get(), hidden,
                           O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  }
  struct stat locked {};
  struct stat now {};
  if (leftover.valid() && ::flock(leftover.get(), LOCK_EX | LOCK_NB) == 0 &&
      ::fstat(leftover.get(), &locked) == 0 &&
      ::fstatat(directory.get(), hidden, &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(locked, now) &&
      SameFile(locked, before)) {
    ::unlinkat(directory.get(), hidden, 0);
  }
}

// Every hidden name in a folder this user may list; in one it may not, the names its runs try
// first.
void SystemState::SweepLeftovers() {
  if (in_place) {
    return;
  }
  if (!directory_readable) {
    for (int slot = 0; slot < kPredictedSlots; ++slot) {
      RemoveIfLeftover(PredictedHiddenName(slot).c_str());
      RemoveIfLeftover(ProbeName(slot).c_str());
    }
    return;
  }
  const int listed = ::dup(directory.get());
  if (listed < 0) {
    return;
  }
  DIR* entries = ::fdopendir(listed);
  if (!entries) {
    ::close(listed);
    return;
  }
  ::rewinddir(entries);
  while (const dirent* entry = ::readdir(entries)) {
    RemoveIfLeftover(entry->d_name);
  }
  ::closedir(entries);
}

void SystemState::Create(std::uint64_t size) {
  Fd fd = in_place ? OpenInPlace() : options.unnamed ? OpenUnnamed() : Fd();
  if (!fd.valid()) {
    fd = CreateHidden();
  }
  keeper = Fd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
  if (!keeper.valid()) {
    Fail(errno);
  }
  file = std::make_shared<SystemFile>(std::move(fd), options.sync);
  shared = file;
  if (exists && !in_place) {
    CopyRights();
  }
  ClaimSpace(size);
}

// The old file itself, locked: two runs writing one file in place would mix their files, so the
// second is refused before its first byte, from the window or a console program alike.
Fd SystemState::OpenInPlace() const {
  Fd fd(RetryOnInterrupt([&] {
    return ::openat(directory.get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  }));
  if (!fd.valid()) {
    Fail(errno);
  }
  if (RetryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
    if (errno == EWOULDBLOCK) {
      file::FailOnFile(
          "another run is writing this file in place, and this run left it untouched; run "
          "again once that run has ended",
          shown);
    }
    Fail(errno);
  }
  return fd;
}

// A file with no name in the folder, locked before it has one, so that no run ever sees it
// unlocked; none where the file system has no unnamed files.
Fd SystemState::OpenUnnamed() const {
  Fd fd;
  if (const int error = sys::OpenUnnamed(directory.get(), fd);
      error != 0 && !sys::NoUnnamedFiles(error)) {
    FailInFolder(error);
  }
  return fd;
}

// No unnamed files here (some network and FAT file systems): a hidden named one instead, locked
// for as long as it has its name. Between creating and locking it another run may take it for a
// leftover and remove it: the name must still lead to the locked file.
Fd SystemState::CreateHidden() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string hidden = NextHiddenName(attempt);
    Fd created(RetryOnInterrupt([&] {
      return ::openat(directory.get(), hidden.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
    }));
    if (!created.valid()) {
      if (errno == EEXIST) {
        continue;
      }
      FailInFolder(errno);
    }
    if (RetryOnInterrupt([&] { return ::flock(created.get(), LOCK_EX); }) != 0) {
      const int error = errno;
      ::unlinkat(directory.get(), hidden.c_str(), 0);
      FailInFolder(error);
    }
    struct stat mine {};
    struct stat named {};
    if (::fstat(created.get(), &mine) == 0 &&
        ::fstatat(directory.get(), hidden.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(mine, named)) {
      hidden_name = hidden;
      return created;
    }
  }
  FailInFolder(EEXIST);
}

// The file's `size` bytes, within the limits, and room for its name. Written in place, they are
// claimed beside the old content, which stays as it is until BeginWriting.
void SystemState::ClaimSpace(std::uint64_t size) {
  const auto fail_for_space = [&](int error) {
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) {
      file::FailForSpace(Reason(error), options.what, size, shown);
    }
    Fail(error);
  };
  claimed_beyond_end = in_place && size > static_cast<std::uint64_t>(existing.st_size);
  if (const int error = Reserve(file->fd(), size, in_place || options.keep_size, options, shown);
      error != 0) {
    fail_for_space(error);
  }
  if (hidden_name.empty() && !in_place) {
    CheckRoomForName();
  }
  size_claimed = size;
}

// Whether `name` in the folder is the file `fd` holds.
bool SystemState::Holds(const std::string& name_there, int fd) const {
  struct stat there {};
  struct stat held {};
  return ::fstatat(directory.get(), name_there.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &held) == 0 && SameFile(there, held);
}

// The hidden name renamed to the target's. A rename a signal interrupted may still have been
// done: the hidden name gone and the target this run's file say so, and it is tried again only
// where it was not, so that a commit that happened is never said to have failed.
int SystemState::RenameIntoPlace() const {
  for (;;) {
    if (::renameat(directory.get(), hidden_name.c_str(), directory.get(), name.c_str()) == 0) {
      return 0;
    }
    if (errno != EINTR) {
      return errno;
    }
    struct stat hidden {};
    if (::fstatat(directory.get(), hidden_name.c_str(), &hidden, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == ENOENT && Holds(name, keeper.get())) {
      return 0;
    }
  }
}

// A new file only takes a name that is free: an unnamed file is linked in under it, a hidden
// one renamed without replacing, or, where the file system cannot, linked and its hidden name
// removed. EEXIST where a file took the name meanwhile. Interrupted, the name may still have
// been given: the name holding this run's file says so.
int SystemState::NameNewFile() {
  for (;;) {
    int error = 0;
    if (hidden_name.empty()) {
      error = sys::LinkUnnamed(keeper.get(), directory.get(), name.c_str());
    } else if (::renameat2(directory.get(), hidden_name.c_str(), directory.get(), name.c_str(),
                           RENAME_NOREPLACE) != 0) {
      error = errno;
      if (error == EINVAL || error == ENOSYS) {
        error =
            ::linkat(directory.get(), hidden_name.c_str(), directory.get(), name.c_str(), 0) == 0
                ? 0
                : errno;
        if (error == 0) {
          ::unlinkat(directory.get(), hidden_name.c_str(), 0);
        }
      }
    }
    if (error == EINTR && Holds(name, keeper.get())) {
      error = 0;
    }
    if (error != EINTR) {
      return error;
    }
  }
}

// An unnamed file gets a hidden name first, as a link cannot replace an existing name.
void SystemState::LinkUnnamed(int fd) {
  for (int attempt = 0; hidden_name.empty(); ++attempt) {
    const std::string hidden = NextHiddenName(attempt);
    int error = sys::LinkUnnamed(fd, directory.get(), hidden.c_str());
    // Interrupted, the link may still have been made: this run's file under the name says so.
    // Otherwise the same name is tried again.
    if (error == EINTR && Holds(hidden, fd)) {
      error = 0;
    }
    if (error == 0) {
      hidden_name = hidden;
    } else if (error == EINTR) {
      --attempt;
    } else if (error != EEXIST || attempt == 100) {
      FailInFolder(error);
    }
  }
}

SystemState* NewState() {
  return new SystemState();
}

void DropState::operator()(SystemState* state) const {
  delete state;
}

ReplacementState& Shared(SystemState& state) {
  return state;
}

void Find(SystemState& state, const std::filesystem::path& target) {
  state.Find(target);
}

void FindBeside(SystemState& state, const SystemState& beside, const std::filesystem::path& name) {
  state.FindBeside(beside, name);
}

void CheckTarget(SystemState& state) {
  state.CheckTarget();
}

void SweepLeftovers(SystemState& state) {
  state.SweepLeftovers();
}

void Create(SystemState& state, std::uint64_t size) {
  state.Create(size);
}

void Commit(SystemState& s) {
  // The lock goes with the descriptor: the keeper holds it while the first is closed, and that
  // close is checked.
  if (const std::error_code error = s.file->Close(); error) {
    FailWriting(s, error);
  }
  s.RecheckTarget();
  if (s.give_to != static_cast<uid_t>(-1) &&
      ::fchown(s.keeper.get(), s.give_to, static_cast<gid_t>(-1)) != 0) {
    FailWriting(s, Error(errno));
  }
  if (s.options.keep_size) {
    ReleaseBeyondEnd(s.keeper.get());
  }
  if (s.options.no_replace) {
    if (const int error = s.NameNewFile(); error == EEXIST) {
      FailNameTaken(s);
    } else if (error != 0) {
      FailWriting(s, Error(error));
    }
    s.hidden_name.clear();
  } else if (!s.in_place) {
    if (s.hidden_name.empty()) {
      s.LinkUnnamed(s.keeper.get());
    }
    if (const int error = s.RenameIntoPlace(); error != 0) {
      FailWriting(s, Error(error));
    }
    s.hidden_name.clear();
  }
  s.committed = true;
  // The rename is durable once the folder is. A folder this user may not read (a drop box)
  // cannot be opened to be synced: its whole file system is, instead.
  if (s.options.sync) {
    const int synced = RetryOnInterrupt([&] {
      return s.directory_readable ? ::fsync(s.directory.get()) : ::syncfs(s.keeper.get());
    });
    if (synced != 0) {
      file::FailOnFile("the new " + s.options.what +
                           " has taken the name, but the disk did not confirm it (" +
                           Reason(errno) + "); run again to be sure it is saved",
                       s.shown);
    }
  }
}

void Abandon(SystemState& s) {
  if (s.committed) {
    return;
  }
  if (s.directory.valid() && !s.hidden_name.empty()) {
    ::unlinkat(s.directory.get(), s.hidden_name.c_str(), 0);
    s.hidden_name.clear();
  }
  // Written in place, a file cut midway would pass for a whole one: it is left empty instead. One
  // refused before it was touched stays as it was, without the space claimed for the new one.
  if (s.overwriting && s.file) {
    ::ftruncate(s.file->fd(), 0);
  } else if (s.claimed_beyond_end && s.file) {
    ReleaseBeyondEnd(s.file->fd());
  }
  s.file.reset();
  s.shared.reset();
}

std::filesystem::path GivenName(const SystemState& s) {
  return s.given_name;
}

std::string ShownGiven(const SystemState& s) {
  return Within(s.shown_given_folder, s.given_name);
}

bool NamedAs(const SystemState& s, std::string_view name) {
  return s.name == name;
}

std::string ReadStart(const SystemState& s, std::size_t size) {
  if (!s.exists || !S_ISREG(s.existing.st_mode)) {
    return {};
  }
  const Fd fd(RetryOnInterrupt([&] {
    return ::openat(s.directory.get(), s.name.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  }));
  struct stat opened {};
  if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || !SameFile(opened, s.existing)) {
    return {};
  }
  std::string start(size, '\0');
  const ssize_t got = RetryOnInterrupt([&] { return ::pread(fd.get(), start.data(), size, 0); });
  start.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return start;
}

// Written in place, the file holds exactly the new one: what lay beyond it goes now, and from here
// on the old one is being written over.
void BeginWriting(SystemState& s) {
  if (!s.in_place) {
    return;
  }
  if (RetryOnInterrupt(
          [&] { return ::ftruncate(s.file->fd(), static_cast<off_t>(s.size_claimed)); }) != 0) {
    if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) {
      file::FailForSpace(Reason(errno), s.options.what, s.size_claimed, s.shown);
    }
    FailWriting(s, Error(errno));
  }
  s.overwriting = true;
}

// An advisory lock on the given folder, taken on the descriptor held: not on whatever has its
// path now. A folder held by path only (one this user may not read) and a file system without
// locks (some network ones) commit unordered.
bool LockNames(SystemState& s, const std::function<bool()>& keep_going) {
  while (::flock(s.GivenFolder(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      // A folder held by path only (one this user may not read) cannot be locked.
      s.unlocked = (errno == EBADF ? std::string("this user may not read it") : Reason(errno)) +
                   " (the folder " + s.shown_given_folder + ")";
      return true;
    }
    if (keep_going && !keep_going()) {
      return false;
    }
    ::usleep(kLockPollMicroseconds);
  }
  s.names_locked = true;
  return true;
}

void UnlockNames(SystemState& s) {
  if (s.names_locked) {
    ::flock(s.GivenFolder(), LOCK_UN);
    s.names_locked = false;
  }
}

}  // namespace file::detail
