// Replacing newgrid.txt on Linux: a transaction on the target's folder, held open for the run.
// The new grid goes into an unnamed file there (O_TMPFILE) or, where the file system has none,
// into a hidden file that the run holds locked; at commit it is linked in under a hidden name
// and renamed over the target. A hidden file that no living run holds is a leftover of a killed
// run, and the next run in the folder removes it.
#include "grid/replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#include "grid/replacement_state.h"
#include "grid/run_error.h"
#include "grid/shown_text.h"
#include "grid/unix/write_all.h"

namespace grid {
namespace {

namespace fs = std::filesystem;

// A synced run keeps at most this much of the grid dirty in the page cache: the disk is kept
// busy from the first megabyte, and what has reached it is dropped from the cache, so a run
// neither waits at the end nor pushes out what other programs had cached.
constexpr std::uint64_t kDirtyWindow = std::uint64_t{32} << 20;
// Write-back is started for this much at a time: requests large enough for the disk to merge.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
constexpr std::uint64_t kPage = 4096;
// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;
// The hidden file's name: short and of one length, so that it fits wherever the target's name
// does, and a pattern no user's file has.
constexpr const char* kAccessAcl = "system.posix_acl_access";

std::error_code Error(int error) {
  return {error, std::generic_category()};
}

std::string Reason(int error) {
  return Error(error).message();
}

template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// The kernel's own file systems, whose files pass for regular ones but are the system's settings
// and state (/proc, /sys and their kind): their name, or nothing for any other file system.
const char* KernelFileSystem(const int directory) {
  constexpr unsigned long kConfigFs = 0x62656570;  // not in linux/magic.h
  constexpr unsigned long kFuseControl = 0x65735543;
  struct statfs system {};
  if (RetryOnInterrupt([&] { return ::fstatfs(directory, &system); }) != 0) {
    return nullptr;
  }
  switch (static_cast<unsigned long>(system.f_type)) {
    case PROC_SUPER_MAGIC:
      return "proc";
    case SYSFS_MAGIC:
      return "sysfs";
    case DEBUGFS_MAGIC:
      return "debugfs";
    case TRACEFS_MAGIC:
      return "tracefs";
    case SECURITYFS_MAGIC:
      return "securityfs";
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
      return "cgroup";
    case kConfigFs:
      return "configfs";
    case BPF_FS_MAGIC:
      return "bpf";
    case PSTOREFS_MAGIC:
      return "pstore";
    case EFIVARFS_MAGIC:
      return "efivarfs";
    case SELINUX_MAGIC:
      return "selinuxfs";
    case SMACK_MAGIC:
      return "smackfs";
    case BINFMTFS_MAGIC:
      return "binfmt_misc";
    case kFuseControl:
      return "fusectl";
    default:
      return nullptr;
  }
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// sync_file_range is an optimisation: file systems that do not have it fall back to the one
// fsync at the end.
bool Unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ESPIPE;
}

// The new file's descriptor, and streaming it to the disk for a synced run.
class SystemFile final : public NewFile {
 public:
  SystemFile(Fd fd, bool sync) : fd_(std::move(fd)), sync_(sync), stream_(sync) {}

  std::error_code Write(const char* data, std::size_t size) override;
  std::error_code Finish() override;
  std::uint64_t BytesDone() const override { return bytes_done_; }

  int fd() const { return fd_.get(); }
  // Closes the descriptor and reports what the close reports: on a network file system that
  // can be the first word of a failed write.
  std::error_code Close() { return ::close(fd_.release()) == 0 ? std::error_code() : Error(errno); }

 private:
  Fd fd_;
  bool sync_;
  std::atomic<std::uint64_t> bytes_done_{0};
  // The writer thread's own: how far the file is written, how far its write-back is started,
  // how far it is on the disk, and whether the file system can stream.
  std::uint64_t written_ = 0;
  std::uint64_t started_ = 0;
  std::uint64_t on_disk_ = 0;
  bool stream_;
};

// A synced file streams to the disk: write-back starts for every kWriteBackStep written, and
// what lies more than kDirtyWindow behind is waited for and dropped from the page cache.
std::error_code SystemFile::Write(const char* data, std::size_t size) {
  if (const int failed = detail::WriteAll(fd(), data, size); failed != 0) {
    return Error(failed);
  }
  written_ += size;
  if (stream_) {
    int result = 0;
    if (written_ - started_ >= kWriteBackStep) {
      result = RetryOnInterrupt([&] {
        return ::sync_file_range(fd(), static_cast<off_t>(started_),
                                 static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
      });
      started_ = written_;
    }
    const std::uint64_t behind =
        written_ > kDirtyWindow ? (written_ - kDirtyWindow) / kPage * kPage : 0;
    if (result == 0 && behind > on_disk_) {
      result = RetryOnInterrupt([&] {
        return ::sync_file_range(
            fd(), static_cast<off_t>(on_disk_), static_cast<off_t>(behind - on_disk_),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
      });
      if (result == 0) {
        ::posix_fadvise(fd(), static_cast<off_t>(on_disk_), static_cast<off_t>(behind - on_disk_),
                        POSIX_FADV_DONTNEED);
        on_disk_ = behind;
      }
    }
    if (result != 0) {
      if (!Unsupported(errno)) {
        return Error(errno);
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

// Claims the blocks now. Where the file system cannot preallocate, its free space is asked; one
// that does not say (ramfs, some FUSE file systems report no blocks at all) is written to, and
// a real ENOSPC speaks.
// `keep_size` claims them without changing the file's length, for a file whose old content must
// stay as it is until the grid is written over it.
int Reserve(int fd, std::uint64_t size, bool keep_size) {
  if (size == 0) {
    return 0;
  }
  // Not posix_fallocate: where the file system has no fallocate, it writes every block.
  const int mode = keep_size ? FALLOC_FL_KEEP_SIZE : 0;
  if (RetryOnInterrupt([&] { return ::fallocate(fd, mode, 0, static_cast<off_t>(size)); }) == 0) {
    return 0;
  }
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    return errno;
  }
  // Nothing reserved: the file size limit and the free space are asked instead.
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < size) {
    return EFBIG;
  }
  struct statvfs space {};
  if (::fstatvfs(fd, &space) == 0 && space.f_blocks != 0 &&
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size) {
    return ENOSPC;
  }
  return 0;
}

// The extended attributes of the old file, the access control list among them, read through
// /proc by name (opening the file would show as an event to programs that watch it) or, where
// /proc is missing, through a descriptor. Returns the attributes and 0, or the errno.
int ReadAttributes(int directory, const std::string& name,
                   std::vector<std::pair<std::string, std::string>>& attributes) {
  const std::string by_name = "/proc/self/fd/" + std::to_string(directory) + "/" + name;
  Fd opened;
  const auto list = [&](char* names, std::size_t size) {
    return opened.valid() ? ::flistxattr(opened.get(), names, size)
                          : ::llistxattr(by_name.c_str(), names, size);
  };
  const auto get = [&](const char* attribute, char* value, std::size_t size) {
    return opened.valid() ? ::fgetxattr(opened.get(), attribute, value, size)
                          : ::lgetxattr(by_name.c_str(), attribute, value, size);
  };
  ssize_t length = list(nullptr, 0);
  int error = length < 0 ? errno : 0;
  if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
    opened = Fd(::openat(directory, name.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!opened.valid()) {
      return errno;
    }
    length = list(nullptr, 0);
    error = length < 0 ? errno : 0;
  }
  if (length < 0) {
    return error == ENOTSUP ? 0 : error;  // a file system without attributes has none to copy
  }
  std::string names(static_cast<std::size_t>(length), '\0');
  length = list(names.data(), names.size());
  if (length < 0) {
    return errno == ERANGE ? EAGAIN : errno;  // grew meanwhile
  }
  names.resize(static_cast<std::size_t>(length));
  for (std::size_t start = 0; start < names.size();) {
    const std::string attribute = names.c_str() + start;
    start += attribute.size() + 1;
    const ssize_t size = get(attribute.c_str(), nullptr, 0);
    if (size < 0) {
      if (attribute == kAccessAcl) {
        return errno;
      }
      continue;  // one this user may not read, such as another's trusted.*: not copied
    }
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t got = get(attribute.c_str(), value.data(), value.size());
    if (got < 0) {
      if (attribute == kAccessAcl) {
        return errno;
      }
      continue;
    }
    value.resize(static_cast<std::size_t>(got));
    attributes.emplace_back(attribute, std::move(value));
  }
  return 0;
}

struct SystemState final : Replacement::State {
  static SystemState& Of(Replacement::State& state) { return static_cast<SystemState&>(state); }

  Fd directory;  // the folder, held for the whole run
  bool directory_readable = false;
  std::string name;  // the name the file takes there
  bool exists = false;
  struct stat existing {};
  bool in_place = false;             // a writable file in a folder this user may not write
  bool overwriting = false;          // in place, and the old grid no longer whole
  std::string hidden_name;           // the new file's name meanwhile, once it has one
  std::shared_ptr<SystemFile> file;  // the new file; `shared` for the writer
  // A second descriptor of the new file, taken with it: it keeps the lock while the first is
  // closed at the commit, and so the commit needs no descriptor it might not get.
  Fd keeper;
  uid_t give_to = static_cast<uid_t>(-1);  // the old owner, given the file at the commit

  void Find(const fs::path& target) override;
  void CheckTarget() override;
  void SweepLeftovers() override;
  void Create(std::uint64_t size) override;
  void CopyRights();
  void LinkUnnamed(int fd);

  [[noreturn]] void Fail(int error) const { detail::FailOnFile(Reason(error), shown); }
  [[noreturn]] void FailInFolder(int error) const {
    detail::FailInFolder(Reason(error), shown_folder, Advice());
  }
};

// A name in a folder as messages show it. In a folder that is not known by its path (a deleted
// current folder) the folder alone is named.
std::string Within(const std::string& shown_folder, const std::string& name) {
  if (!shown_folder.empty() && shown_folder.front() != '/') {
    return shown_folder;
  }
  return (shown_folder == "/" ? "" : shown_folder) + "/" + Escaped(name);
}

[[noreturn]] void FailOnPath(const std::string& reason, const std::string& shown_folder,
                             const std::string& name) {
  detail::FailOnFile(reason, Within(shown_folder, name));
}

[[noreturn]] void FailChanged(const std::string& shown_folder, const std::string& name) {
  FailOnPath("changed by another program while tessaplan was following it; press Run again",
             shown_folder, name);
}

}  // namespace

// Walks `target` one name at a time, following every link on the way as the system would, but
// only where the system's protected-links rule allows it, whether or not that rule is on: in a
// sticky folder anyone may write to (such as /tmp), a link is followed only if this user or the
// folder's owner owns it. Ends holding the folder of the final target and its name.
void SystemState::Find(const fs::path& target) {
  std::deque<std::string> parts;
  for (const fs::path& part : target.relative_path()) {
    parts.push_back(part.string());
  }
  const auto start_at = [&](bool root) {
    directory = Fd(::open(root ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    shown_folder = root ? "/" : ShownCurrentFolder();
    if (!directory.valid()) {
      detail::FailInFolder(Reason(errno), root ? "/" : shown_folder);
    }
  };
  start_at(target.is_absolute());
  for (int links = 0; !parts.empty();) {
    const std::string part = parts.front();
    parts.pop_front();
    const bool last = parts.empty();
    if (part.empty() || part == ".") {
      if (last) {
        detail::FailOnFile(Reason(EISDIR), shown_folder);
      }
      continue;
    }
    struct stat status {};
    if (::fstatat(directory.get(), part.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (last && errno == ENOENT) {
        name = part;
        break;
      }
      FailOnPath(Reason(errno), shown_folder, part);
    }
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMaxLinks) {
        FailOnPath(Reason(ELOOP), shown_folder, part);
      }
      struct stat folder {};
      if (::fstat(directory.get(), &folder) != 0) {
        FailOnPath(Reason(errno), shown_folder, part);
      }
      if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) &&
          status.st_uid != ::geteuid() && status.st_uid != folder.st_uid) {
        FailOnPath(
            "not followed: a link that another user owns, in a folder anyone may write "
            "to (such as /tmp), could lead to any of your files",
            shown_folder, part);
      }
      // Links of the kernel's file systems (/proc/self) tell no size: room for any path then.
      std::string link(status.st_size > 0 ? static_cast<std::size_t>(status.st_size) + 1 : PATH_MAX,
                       '\0');
      const ssize_t length = ::readlinkat(directory.get(), part.c_str(), link.data(), link.size());
      if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
        FailChanged(shown_folder, part);
      }
      link.resize(static_cast<std::size_t>(length));
      const fs::path next = link;
      std::vector<std::string> link_parts;
      for (const fs::path& link_part : next.relative_path()) {
        link_parts.push_back(link_part.string());
      }
      if (link.ends_with('/')) {
        link_parts.push_back("");
      }
      parts.insert(parts.begin(), link_parts.begin(), link_parts.end());
      if (next.is_absolute()) {
        start_at(true);
      }
      continue;
    }
    if (last) {
      if (part == "..") {
        FailOnPath(Reason(EISDIR), shown_folder, part);
      }
      name = part;
      exists = true;
      existing = status;
      break;
    }
    if (!S_ISDIR(status.st_mode)) {
      FailOnPath(Reason(ENOTDIR), shown_folder, part);
    }
    // No link is followed here: one that appeared since it was looked at means someone is
    // changing the path under the run.
    Fd next(::openat(directory.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid()) {
      if (errno == ELOOP || errno == ENOTDIR) {
        FailChanged(shown_folder, part);
      }
      FailOnPath(Reason(errno), shown_folder, part);
    }
    directory = std::move(next);
    shown_folder =
        part == ".." ? fs::path(shown_folder).parent_path().string() : Within(shown_folder, part);
  }
  shown = Within(shown_folder, name);
  // The folder is read to find leftovers and synced at the end, which needs it open for reading.
  // One that may be written but not read can still take the file, held by path only.
  Fd readable(::openat(directory.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.valid()) {
    directory = std::move(readable);
    directory_readable = true;
  }
}

// Everything that would refuse the replacement at the end is asked now, before the first byte.
void SystemState::CheckTarget() {
  struct statx folder {};
  if (::statx(directory.get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &folder) != 0) {
    FailInFolder(errno);
  }
  if (folder.stx_nlink == 0) {
    detail::FailInFolder("the folder no longer exists; run in one that does", shown_folder,
                         Advice());
  }
  if (folder.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) {
    detail::FailInFolder(
        (folder.stx_attributes & STATX_ATTR_IMMUTABLE ? "the folder is immutable"
                                                      : "the folder is append-only") +
            std::string(", so no file in it can be replaced (chattr -ia removes "
                        "that); run in another folder"),
        shown_folder, Advice());
  }
  const bool folder_writable = ::faccessat(directory.get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
  const int folder_error = folder_writable ? 0 : errno;
  if (!exists) {
    if (!folder_writable) {
      FailInFolder(folder_error);
    }
    return;
  }
  if (S_ISDIR(existing.st_mode)) {
    Fail(EISDIR);
  }
  if (!S_ISREG(existing.st_mode)) {
    detail::FailOnFile("not a regular file; remove it, or run in another folder", shown);
  }
  if (const char* kernel = KernelFileSystem(directory.get())) {
    detail::FailOnFile("a file of the kernel's " + std::string(kernel) +
                           " file system, which holds the system's settings, not data; run in "
                           "another folder",
                       shown);
  }
  struct statx target {};
  if (::statx(directory.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &target) !=
      0) {
    Fail(errno);
  }
  if (target.stx_attributes & STATX_ATTR_IMMUTABLE) {
    detail::FailOnFile("the file is immutable (chattr -i removes that); run in another folder",
                       shown);
  }
  if (target.stx_attributes & STATX_ATTR_APPEND) {
    detail::FailOnFile(
        "the file is append-only, so it can only grow (chattr -a removes that); run in another "
        "folder",
        shown);
  }
  if ((target.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
      (target.stx_attributes & STATX_ATTR_MOUNT_ROOT)) {
    detail::FailOnFile(
        "a file mounted over this name cannot be replaced; unmount it, or run in "
        "another folder",
        shown);
  }
  // A file this user may not write is not replaced behind the user's back. Asked, not opened:
  // opening it for writing would tell programs that watch it that it changed.
  if (::faccessat(directory.get(), name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
    Fail(errno);
  }
  // In a sticky folder only the file's owner, the folder's owner or root may replace it.
  const uid_t me = ::geteuid();
  if ((folder.stx_mode & S_ISVTX) && existing.st_uid != me && folder.stx_uid != me && me != 0) {
    detail::FailOnFile(
        "the file belongs to another user, and in this folder (sticky, such as /tmp) only its "
        "owner may replace it; ask them to remove it, or run in another folder",
        shown);
  }
  if (!folder_writable) {
    if (folder_error != EACCES && folder_error != EPERM) {
      FailInFolder(folder_error);
    }
    // The file may be written but the folder may not take a new one: the grid goes into the
    // file itself, which cannot keep the old grid if the run fails midway.
    in_place = true;
  }
}

// Hidden files of earlier runs that no living run holds locked were left by a run that was
// killed between naming its file and renaming it. Only files that are certainly such are
// removed: the pattern, a regular file, owned by this user, and not locked.
void SystemState::SweepLeftovers() {
  if (!directory_readable || in_place) {
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
    if (!detail::IsHiddenName(entry->d_name)) {
      continue;
    }
    struct stat before {};
    if (::fstatat(directory.get(), entry->d_name, &before, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(before.st_mode) || before.st_uid != ::geteuid()) {
      continue;
    }
    Fd leftover(::openat(directory.get(), entry->d_name,
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!leftover.valid()) {
      leftover = Fd(::openat(directory.get(), entry->d_name,
                             O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    }
    struct stat locked {};
    struct stat now {};
    if (leftover.valid() && ::flock(leftover.get(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstat(leftover.get(), &locked) == 0 &&
        ::fstatat(directory.get(), entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(locked, now) && SameFile(locked, before)) {
      ::unlinkat(directory.get(), entry->d_name, 0);
    }
  }
  ::closedir(entries);
}

void SystemState::Create(std::uint64_t size) {
  Fd fd;
  if (in_place) {
    fd = Fd(RetryOnInterrupt([&] {
      return ::openat(directory.get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    }));
    if (!fd.valid()) {
      Fail(errno);
    }
  } else if (options.unnamed) {
    fd = Fd(RetryOnInterrupt(
        [&] { return ::openat(directory.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); }));
    if (!fd.valid() && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      FailInFolder(errno);
    }
    // Locked before it has a name, so that no run ever sees it unlocked.
    if (fd.valid() && RetryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX); }) != 0) {
      FailInFolder(errno);
    }
  }
  // No unnamed files here (some network and FAT file systems): a hidden named one instead,
  // locked for as long as it has its name. Between creating and locking it another run may
  // take it for a leftover and remove it: the name must still lead to the locked file.
  for (int attempt = 0; !fd.valid(); ++attempt) {
    if (attempt == 100) {
      FailInFolder(EEXIST);
    }
    const std::string hidden = detail::HiddenName();
    Fd created(RetryOnInterrupt([&] {
      return ::openat(directory.get(), hidden.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
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
      fd = std::move(created);
    }
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
  const auto fail_for_space = [&](int error) {
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) {
      detail::FailForSpace(Reason(error), size, shown);
    }
    Fail(error);
  };
  if (const int error = Reserve(file->fd(), size, in_place); error != 0) {
    fail_for_space(error);
  }
  // Written in place, the file holds exactly the grid: what lay beyond it goes now, and from
  // here on the old grid is being written over.
  if (in_place) {
    if (RetryOnInterrupt([&] { return ::ftruncate(file->fd(), static_cast<off_t>(size)); }) != 0) {
      fail_for_space(errno);
    }
    overwriting = true;
  }
}

namespace {

// The permissions one class of users (the owner, the group or others: 6, 3 or 0 bits up) has
// in `mode`, as the owner's bits.
mode_t ClassBits(mode_t mode, int shift) {
  return static_cast<mode_t>((mode >> shift) & 07) << 6;
}

// Whether this process is in group `group`, as the system decides a file's group class.
bool InGroup(gid_t group) {
  if (group == ::getegid()) {
    return true;
  }
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(count, 0), group) !=
         groups.begin() + std::max(count, 0);
}

// An access control list (system.posix_acl_access) with the owning group's entry emptied, and
// the owner's cut to `owner_bits` (rwx as 0700), its mask made again from what it bounds.
std::string NarrowedAcl(std::string acl, bool group_kept, mode_t owner_bits) {
  // A version word, then entries of a 16-bit tag, 16-bit permissions and a 32-bit id.
  constexpr int kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kGroup = 0x08, kMask = 0x10;
  const auto tag = [&](std::size_t at) { return (acl[at] & 0xff) | (acl[at + 1] & 0xff) << 8; };
  int bounded = 0;
  std::size_t mask = 0;
  for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
    char& permissions = acl[at + 2];
    if (tag(at) == kUserObj) {
      permissions = static_cast<char>(permissions & static_cast<int>(owner_bits >> 6));
    } else if (tag(at) == kGroupObj && !group_kept) {
      permissions = 0;
    }
    if (tag(at) == kUser || tag(at) == kGroupObj || tag(at) == kGroup) {
      bounded |= permissions;
    }
    mask = tag(at) == kMask ? at : mask;
  }
  if (mask != 0) {
    acl[mask + 2] = static_cast<char>(bounded);
  }
  return acl;
}

}  // namespace

// The new file takes the old one's place with the old one's rights and no more: its group where
// the system allows, its permission bits but never set-user-id, set-group-id or sticky, its
// access control list and the extended attributes this user may set; its owner only at the
// commit (below). A group that cannot be kept keeps no rights, in the bits or the list: they were
// meant for the old group. An owner that cannot be kept (only root can give a file away) leaves
// this user the owner of the new file, with no right it lacked on the old one.
void SystemState::CopyRights() {
  const int fd = file->fd();
  const uid_t me = ::geteuid();
  mode_t mode = existing.st_mode & 0777;
  const bool group_kept =
      existing.st_gid == ::getegid() || ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
  if (!group_kept) {
    mode &= ~static_cast<mode_t>(0070);
  }
  if (existing.st_uid != me && me != 0) {
    const mode_t mine = ClassBits(existing.st_mode, InGroup(existing.st_gid) ? 3 : 0);
    mode = (mode & ~static_cast<mode_t>(0700)) | (mode & mine);
  }
  if (::fchmod(fd, mode) != 0) {
    Fail(errno);
  }
  std::vector<std::pair<std::string, std::string>> attributes;
  if (const int error = ReadAttributes(directory.get(), name, attributes); error != 0) {
    detail::FailOnFile("its access control list cannot be read: " + Reason(error), shown);
  }
  bool has_acl = false;
  for (auto& [attribute, value] : attributes) {
    const bool acl = attribute == kAccessAcl;
    has_acl = has_acl || acl;
    if (acl) {
      value = NarrowedAcl(value, group_kept, mode & 0700);
    }
    if (::fsetxattr(fd, attribute.c_str(), value.data(), value.size(), 0) != 0 && acl) {
      detail::FailOnFile(
          "its access control list cannot be copied to the new file: " + Reason(errno), shown);
    }
  }
  // A folder's default list gives a new file entries the old one did not have.
  if (!has_acl && ::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    detail::FailOnFile(
        "the folder's default access control list cannot be taken off the new "
        "file: " +
            Reason(errno),
        shown);
  }
  // Root gives the file to the old owner just before it takes the name: until then it stays
  // root's, so that a run killed meanwhile leaves a hidden file root's next run removes.
  give_to = existing.st_uid != me && me == 0 ? existing.st_uid : static_cast<uid_t>(-1);
}

// An unnamed file gets a hidden name first, as a link cannot replace an existing name. It is
// linked through /proc; only where /proc is missing through AT_EMPTY_PATH, which older kernels
// refuse to users who are not root.
void SystemState::LinkUnnamed(int fd) {
  const std::string by_descriptor = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; hidden_name.empty(); ++attempt) {
    const std::string hidden = detail::HiddenName();
    int error = ::linkat(AT_FDCWD, by_descriptor.c_str(), directory.get(), hidden.c_str(),
                         AT_SYMLINK_FOLLOW) == 0
                    ? 0
                    : errno;
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
      error = ::linkat(fd, "", directory.get(), hidden.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    if (error == 0) {
      hidden_name = hidden;
    } else if (error != EEXIST || attempt == 100) {
      FailInFolder(error);
    }
  }
}

std::unique_ptr<Replacement::State> NewReplacementState() {
  return std::make_unique<SystemState>();
}

void Replacement::Commit() {
  SystemState& s = SystemState::Of(*state_);
  // The lock goes with the descriptor: the keeper holds it while the first is closed, and that
  // close is checked.
  if (const std::error_code error = s.file->Close(); error) {
    Fail(error);
  }
  if (s.give_to != static_cast<uid_t>(-1) &&
      ::fchown(s.keeper.get(), s.give_to, static_cast<gid_t>(-1)) != 0) {
    Fail(Error(errno));
  }
  if (!s.in_place) {
    if (s.hidden_name.empty()) {
      s.LinkUnnamed(s.keeper.get());
    }
    if (::renameat(s.directory.get(), s.hidden_name.c_str(), s.directory.get(), s.name.c_str()) !=
        0) {
      Fail(Error(errno));
    }
    s.hidden_name.clear();
  }
  s.committed = true;
  // The rename is durable once the folder is; the grid is in place either way.
  if (s.options.sync && s.directory_readable) {
    RetryOnInterrupt([&] { return ::fsync(s.directory.get()); });
  }
}

void Replacement::Abandon() {
  SystemState& s = SystemState::Of(*state_);
  if (s.directory.valid() && !s.hidden_name.empty()) {
    ::unlinkat(s.directory.get(), s.hidden_name.c_str(), 0);
    s.hidden_name.clear();
  }
  // Written in place, a file cut midway would pass for a grid: it is left empty instead. One
  // refused before it was touched stays as it was.
  if (s.overwriting && s.file) {
    ::ftruncate(s.file->fd(), 0);
  }
  s.file.reset();
  s.shared.reset();
}

bool Replacement::Overwriting() const {
  return SystemState::Of(*state_).overwriting;
}

void Replacement::Fail(std::error_code error) const {
  detail::FailOnFile(
      error.message() +
          (SystemState::Of(*state_).overwriting ? "; written in place, the file is now empty" : ""),
      state_->shown);
}

}  // namespace grid
