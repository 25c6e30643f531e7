// The target of a Linux replacement: the path walked one name at a time by the links rule, and
// everything the target may refuse asked before the first byte.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>

#include <charconv>
#include <deque>
#include <string>
#include <vector>

#include "file/shown_text.h"
#include "file/unix/system_state.h"

namespace file::detail {
namespace {

namespace fs = std::filesystem;

// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;

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

// Whether `link`, read in /proc, stands for an open file, a folder or a program rather than a
// path (/proc/self/fd/1, /proc/self/exe, /proc/N/root): its text is then an absolute path the
// file once had, or a kind and a number ("pipe:[1234]"), and following it would replace another
// file than the one open, or make a new one named after it. /proc's other links ("self",
// "self/mounts") are relative paths, followed as any link is.
bool IsKernelLink(const std::string& link) {
  return link.starts_with('/') || link.find(':') != std::string::npos;
}

bool OnProc(const int directory) {
  struct statfs system {};
  return RetryOnInterrupt([&] { return ::fstatfs(directory, &system); }) == 0 &&
         system.f_type == PROC_SUPER_MAGIC;
}

int DescriptorNumber(const std::string& name) {
  int number = -1;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  return error == std::errc() && end == name.data() + name.size() ? number : -1;
}

[[noreturn]] void FailOnPath(const std::string& reason, const std::string& shown_folder,
                             const std::string& name) {
  file::FailOnFile(reason, Within(shown_folder, name));
}

[[noreturn]] void FailChanged(const std::string& shown_folder, const std::string& name) {
  FailOnPath("changed by another program while tessaplan was following it; run again", shown_folder,
             name);
}

}  // namespace

// In a folder that is not known by its path (a deleted current folder) the folder alone is named.
std::string Within(const std::string& shown_folder, const std::string& name) {
  if (!shown_folder.empty() && shown_folder.front() != '/') {
    return shown_folder;
  }
  return (shown_folder == "/" ? "" : shown_folder) + "/" + Escaped(name);
}

bool SameTarget(const SystemState& a, const SystemState& b) {
  if (a.exists || b.exists) {
    return a.exists && b.exists && SameFile(a.existing, b.existing);
  }
  struct stat folder_a {};
  struct stat folder_b {};
  return a.name == b.name && ::fstat(a.directory.get(), &folder_a) == 0 &&
         ::fstat(b.directory.get(), &folder_b) == 0 && SameFile(folder_a, folder_b);
}

bool IsOwnDescriptorFolder(const int directory) {
  struct stat folder {};
  if (::fstat(directory, &folder) != 0) {
    return false;
  }
  for (const char* own : {"/proc/self/fd", "/proc/thread-self/fd"}) {
    struct stat status {};
    if (::stat(own, &status) == 0 && SameFile(status, folder)) {
      return true;
    }
  }
  return false;
}

// Walks `target` one name at a time, following every link on the way as the system would, but
// only where the system's protected-links rule allows it, whether or not that rule is on: in a
// sticky folder anyone may write to (such as /tmp), a link is followed only if this user or the
// folder's owner owns it. Ends holding the folder of the final target and its name.
void SystemState::Find(const fs::path& target) {
  std::deque<std::string> parts;
  for (const fs::path& part : target.relative_path()) {
    parts.push_back(part.string());
  }
  StartWalkAt(target.is_absolute());
  Walk(std::move(parts));
}

// The walk for a name in the folder that holds `beside`'s given name, from its handle.
void SystemState::FindBeside(const SystemState& beside, const fs::path& name_beside) {
  directory = Fd(::fcntl(beside.GivenFolder(), F_DUPFD_CLOEXEC, 0));
  shown_folder = beside.shown_given_folder;
  if (!directory.valid()) {
    FailInFolder(errno);
  }
  Walk({name_beside.string()});
}

// From the folder held, one name of `parts` at a time; the first time the last name given is
// reached, its folder is kept as the given one.
void SystemState::Walk(std::deque<std::string> parts) {
  if (parts.empty()) {
    file::FailOnFile(Reason(EISDIR), shown_folder);  // "/": a folder, not a missing one
  }
  for (int links = 0; !parts.empty();) {
    const std::string part = parts.front();
    parts.pop_front();
    const bool last = parts.empty();
    if (last && given_name.empty()) {
      given_folder = Fd(::fcntl(directory.get(), F_DUPFD_CLOEXEC, 0));
      if (!given_folder.valid()) {
        FailInFolder(errno);
      }
      given_name = part;
      shown_given_folder = shown_folder;
    }
    if (part.empty() || part == ".") {
      if (last) {
        file::FailOnFile(Reason(EISDIR), shown_folder);
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
      if (!FollowLink(part, status, last, parts)) {
        return;  // at one of this process's own descriptors
      }
      continue;
    }
    if (last) {
      if (part == "..") {
        FailOnPath(Reason(EISDIR), shown_folder, part);
      }
      HoldTarget(part, status);
      break;
    }
    EnterFolder(part, status);
  }
  shown = Within(shown_folder, name);
  KeepGivenFolder();
  // The folder is read to find leftovers and synced at the end, which needs it open for reading.
  // One that may be written but not read can still take the file, held by path only.
  Fd readable(::openat(directory.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.valid()) {
    directory = std::move(readable);
    directory_readable = true;
  }
}

// The target found, held from here: runs at once that replace these names free old files as they
// go, and a number freed could pass to another file while this run compares two names.
void SystemState::HoldTarget(const std::string& part, const struct stat& status) {
  name = part;
  exists = true;
  existing = status;
  held_target = Fd(::openat(directory.get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (held_target.valid()) {
    ::fstat(held_target.get(), &existing);
  }
}

// The given name's folder is held apart only where a link led away from it: otherwise it is the
// folder held, and costs no descriptor. Held apart, it is opened for reading where it may be, so
// that it can be locked.
void SystemState::KeepGivenFolder() {
  struct stat given {};
  struct stat held {};
  if (::fstat(given_folder.get(), &given) == 0 && ::fstat(directory.get(), &held) == 0 &&
      SameFile(given, held)) {
    given_folder = Fd();
    return;
  }
  Fd readable(::openat(given_folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.valid()) {
    given_folder = std::move(readable);
  }
}

int SystemState::GivenFolder() const {
  return given_folder.valid() ? given_folder.get() : directory.get();
}

void SystemState::StartWalkAt(bool root) {
  directory = Fd(::open(root ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  shown_folder = root ? "/" : ShownCurrentFolder();
  if (!directory.valid()) {
    file::FailInFolder(Reason(errno), root ? "/" : shown_folder);
  }
}

// The link `part` (`status`) of the folder held, if the protected-links rule allows it: its
// path goes before the `parts` still to walk. False where it ends the walk at one of this
// process's own descriptors (/dev/stdout), which a stream is written into.
bool SystemState::FollowLink(const std::string& part, const struct stat& status, bool last,
                             std::deque<std::string>& parts) {
  struct stat folder {};
  if (::fstat(directory.get(), &folder) != 0) {
    FailOnPath(Reason(errno), shown_folder, part);
  }
  if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) && status.st_uid != ::geteuid() &&
      status.st_uid != folder.st_uid) {
    FailOnPath(
        "not followed: a link that another user owns, in a folder anyone may write "
        "to (such as /tmp), could lead to any of your files",
        shown_folder, part);
  }
  // Links of the kernel's file systems (/proc/self) tell no size: room for any path then.
  std::string link(status.st_size > 0 ? static_cast<std::size_t>(status.st_size) + 1 : PATH_MAX,
                   '\0');
  const ssize_t length = ::readlinkat(directory.get(), part.c_str(), link.data(), link.size());
  const bool on_proc = OnProc(directory.get());
  if (!on_proc && (length < 0 || static_cast<std::size_t>(length) >= link.size())) {
    FailChanged(shown_folder, part);
  }
  link.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
  // One that may not even be read (another user's process) is such a link too.
  if (on_proc && (length < 0 || IsKernelLink(link))) {
    if (streams && last && IsOwnDescriptorFolder(directory.get())) {
      own_descriptor = DescriptorNumber(part);
      if (own_descriptor >= 0) {
        return false;
      }
    }
    FailOnPath(
        "a link of the kernel's (/proc) that stands for an open file or folder, not a path "
        "to one: tessaplan replaces nothing reached that way; name the file by its own path",
        shown_folder, part);
  }
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
    StartWalkAt(true);
  }
  return true;
}

// The folder `part` (`status`) of the folder held, which the walk holds next. No link is
// followed here: one that appeared since it was looked at means someone is changing the path
// under the run.
void SystemState::EnterFolder(const std::string& part, const struct stat& status) {
  if (!S_ISDIR(status.st_mode)) {
    FailOnPath(Reason(ENOTDIR), shown_folder, part);
  }
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

// Everything that would refuse the replacement at the end is asked now, before the first byte.
void SystemState::CheckTarget() {
  const struct statx folder = CheckFolder();
  const bool folder_writable = ::faccessat(directory.get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
  const int folder_error = folder_writable ? 0 : errno;
  if (const char* kernel = KernelFileSystem(directory.get())) {
    file::FailOnFile("a file of the kernel's " + std::string(kernel) +
                         " file system, which holds the system's settings, not data; run in "
                         "another folder",
                     shown);
  }
  if (exists) {
    CheckExistingFile(folder);
  }
  if (!folder_writable) {
    if (!exists || (folder_error != EACCES && folder_error != EPERM)) {
      FailInFolder(folder_error);
    }
    // The file may be written but the folder may not take a new one: the new file goes into
    // the old one itself, which cannot keep it whole if the run fails midway.
    in_place = true;
  }
}

// The folder held: still there, and not one whose files cannot be replaced.
struct statx SystemState::CheckFolder() const {
  struct statx folder {};
  if (::statx(directory.get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &folder) != 0) {
    FailInFolder(errno);
  }
  if (folder.stx_nlink == 0) {
    file::FailInFolder("the folder no longer exists; run in one that does", shown_folder, Advice());
  }
  if (folder.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) {
    file::FailInFolder(
        (folder.stx_attributes & STATX_ATTR_IMMUTABLE ? "the folder is immutable"
                                                      : "the folder is append-only") +
            std::string(", so no file in it can be replaced (chattr -ia removes "
                        "that); run in another folder"),
        shown_folder, Advice());
  }
  return folder;
}

// The old file: a regular file, neither immutable, append-only nor mounted over, that this user
// may write and, in a sticky `folder`, replace.
void SystemState::CheckExistingFile(const struct statx& folder) const {
  if (S_ISDIR(existing.st_mode)) {
    Fail(EISDIR);
  }
  // Said for what it is: a device, a pipe or a socket is no file to remove either.
  if (!S_ISREG(existing.st_mode)) {
    const char* what = S_ISFIFO(existing.st_mode)   ? "a pipe (FIFO)"
                       : S_ISSOCK(existing.st_mode) ? "a socket"
                       : S_ISBLK(existing.st_mode)  ? "a disk device"
                                                    : "a device";
    file::FailOnFile("not a regular file but " + std::string(what) + "; run in another folder",
                     shown);
  }
  struct statx target {};
  if (::statx(directory.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &target) !=
      0) {
    Fail(errno);
  }
  if (target.stx_attributes & STATX_ATTR_IMMUTABLE) {
    file::FailOnFile("the file is immutable (chattr -i removes that); run in another folder",
                     shown);
  }
  if (target.stx_attributes & STATX_ATTR_APPEND) {
    file::FailOnFile(
        "the file is append-only, so it can only grow (chattr -a removes that); run in another "
        "folder",
        shown);
  }
  if ((target.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
      (target.stx_attributes & STATX_ATTR_MOUNT_ROOT)) {
    file::FailOnFile(
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
    file::FailOnFile(
        "the file belongs to another user, and in this folder (sticky, such as /tmp) only its "
        "owner may replace it; run in another folder",
        shown);
  }
}

}  // namespace file::detail
