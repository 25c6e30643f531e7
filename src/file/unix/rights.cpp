// The rights of a Linux replacement's new file: the old file's, and never more.
#include <fcntl.h>
#include <sys/xattr.h>

#include <string>
#include <utility>
#include <vector>

#include "file/unix/system_state.h"

namespace file::detail {
namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";
// The list is a version word, then entries of a 16-bit tag, 16-bit permissions and a 32-bit id.
constexpr int kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kGroup = 0x08, kMask = 0x10,
              kOther = 0x20;

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

// The permissions one class of users (the owner, the group or others: 6, 3 or 0 bits up) has
// in `mode`, as the owner's bits.
mode_t ClassBits(mode_t mode, int shift) {
  return static_cast<mode_t>((mode >> shift) & 07) << 6;
}

// An access control list (system.posix_acl_access) with the owning group's entry emptied where
// the group is not kept, the owner's cut to `owner_bits` (rwx as 0700) and others' to
// `other_bits` (as 07). Others' entry is also cut to what the old group's members had (its entry
// within the mask) where the group is not kept, as they become others; and the mask only ever
// narrows, to what it still bounds.
std::string NarrowedAcl(std::string acl, bool group_kept, mode_t owner_bits, mode_t other_bits) {
  const auto tag = [&](std::size_t at) { return (acl[at] & 0xff) | (acl[at + 1] & 0xff) << 8; };
  int old_group = 07;
  int old_mask = 07;
  for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
    old_group = tag(at) == kGroupObj ? acl[at + 2] & 07 : old_group;
    old_mask = tag(at) == kMask ? acl[at + 2] & 07 : old_mask;
  }
  const int other_limit = static_cast<int>(other_bits) & (group_kept ? 07 : old_group & old_mask);
  int bounded = 0;
  std::size_t mask = 0;
  for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
    char& permissions = acl[at + 2];
    if (tag(at) == kUserObj) {
      permissions = static_cast<char>(permissions & static_cast<int>(owner_bits >> 6));
    } else if (tag(at) == kGroupObj && !group_kept) {
      permissions = 0;
    } else if (tag(at) == kOther) {
      permissions = static_cast<char>(permissions & other_limit);
    }
    if (tag(at) == kUser || tag(at) == kGroupObj || tag(at) == kGroup) {
      bounded |= permissions;
    }
    mask = tag(at) == kMask ? at : mask;
  }
  if (mask != 0) {
    acl[mask + 2] = static_cast<char>(old_mask & bounded);
  }
  return acl;
}

// The list `now` with no entry granting more than `start` did: an entry of a user or a group
// that `start` lacked grants nothing. A `start` without a list held only the permission bits
// `start_mode`, which its owner, group and others entries and its mask stand for.
std::string CommonAcl(std::string now, const std::string& start, mode_t start_mode) {
  const auto tag = [](const std::string& acl, std::size_t at) {
    return (acl[at] & 0xff) | (acl[at + 1] & 0xff) << 8;
  };
  const auto id = [](const std::string& acl, std::size_t at) { return acl.substr(at + 4, 4); };
  const auto in_start = [&](int entry_tag, const std::string& entry_id) {
    for (std::size_t at = 4; at + 8 <= start.size(); at += 8) {
      if (tag(start, at) == entry_tag && id(start, at) == entry_id) {
        return start[at + 2] & 07;
      }
    }
    switch (entry_tag) {
      case kUserObj:
        return static_cast<int>(start_mode >> 6) & 07;
      case kGroupObj:
      case kMask:
        return static_cast<int>(start_mode >> 3) & 07;
      case kOther:
        return static_cast<int>(start_mode) & 07;
      default:
        return 0;
    }
  };
  for (std::size_t at = 4; at + 8 <= now.size(); at += 8) {
    now[at + 2] = static_cast<char>(now[at + 2] & in_start(tag(now, at), id(now, at)));
  }
  return now;
}

}  // namespace

// The new file takes the old one's place with the old one's rights and no more: its group where
// the system allows, its permission bits but never set-user-id, set-group-id or sticky, its
// access control list and the extended attributes this user may set; its owner only at the
// commit (below). A group that cannot be kept keeps no rights, in the bits or the list: they were
// meant for the old group. An owner that cannot be kept (only root can give a file away) leaves
// this user the owner of the new file, with no right it lacked on the old one. Whoever leaves
// the owner's or the group's class for others' on the new file (the old owner, the old group's
// members) gains nothing by it: others get no right the class they leave lacked.
void SystemState::CopyRights() {
  const int fd = keeper.get();
  const uid_t me = ::geteuid();
  const bool group_kept =
      existing.st_gid == ::getegid() || ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
  mode_t other_bits = 07;
  const mode_t mode = NewFileMode(group_kept, other_bits);
  if (::fchmod(fd, mode) != 0) {
    Fail(errno);
  }
  CopyAttributes(fd, group_kept, mode, other_bits);
  // Root gives the file to the old owner just before it takes the name: until then it stays
  // root's, so that a run killed meanwhile leaves a hidden file root's next run removes.
  give_to = existing.st_uid != me && me == 0 ? existing.st_uid : static_cast<uid_t>(-1);
  struct stat granted {};
  if (::fstat(fd, &granted) != 0) {
    Fail(errno);
  }
  granted_mode = granted.st_mode & 0777;
}

// The new file's permission bits, and in `other_bits` those others may keep.
mode_t SystemState::NewFileMode(bool group_kept, mode_t& other_bits) const {
  mode_t mode = existing.st_mode & 0777;
  if (!group_kept) {
    mode &= ~static_cast<mode_t>(0070);
    other_bits &= ClassBits(existing.st_mode, 3) >> 6;
  }
  const uid_t me = ::geteuid();
  if (existing.st_uid != me && me != 0) {
    // What this user may do with the old file, its access list included, is all the new owner
    // may: so it can still open a file it leaves behind, which its next run then removes.
    mode_t mine = 0;
    for (const auto& [right, bit] : {std::pair{R_OK, 0400}, {W_OK, 0200}, {X_OK, 0100}}) {
      if (::faccessat(directory.get(), name.c_str(), right, AT_EACCESS | AT_SYMLINK_NOFOLLOW) ==
          0) {
        mine |= static_cast<mode_t>(bit);
      }
    }
    mode = (mode & ~static_cast<mode_t>(0700)) | mine;
    const mode_t old_owner = ClassBits(existing.st_mode, 6);
    mode &= ~static_cast<mode_t>(0070) | (old_owner >> 3);  // the old owner may be in the group
    other_bits &= old_owner >> 6;
  }
  return mode & (~static_cast<mode_t>(07) | other_bits);
}

// The old file's extended attributes that this user may set, its access list narrowed as the
// bits are, onto the new file `fd`; and no list where the old file had none.
void SystemState::CopyAttributes(int fd, bool group_kept, mode_t mode, mode_t other_bits) {
  std::vector<std::pair<std::string, std::string>> attributes;
  if (const int error = ReadAttributes(directory.get(), name, attributes); error != 0) {
    file::FailOnFile("its access control list cannot be read: " + Reason(error), shown);
  }
  bool has_acl = false;
  granted_acl.clear();
  for (auto& [attribute, value] : attributes) {
    const bool acl = attribute == kAccessAcl;
    has_acl = has_acl || acl;
    if (acl) {
      value = NarrowedAcl(value, group_kept, mode & 0700, other_bits);
      granted_acl = value;
    }
    if (::fsetxattr(fd, attribute.c_str(), value.data(), value.size(), 0) != 0 && acl) {
      file::FailOnFile("its access control list cannot be copied to the new file: " + Reason(errno),
                       shown);
    }
  }
  // A folder's default list gives a new file entries the old one did not have.
  if (!has_acl && ::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    file::FailOnFile(
        "the folder's default access control list cannot be taken off the new "
        "file: " +
            Reason(errno),
        shown);
  }
}

// Just before the new file takes the name, what has the name now decides. Written in place, it
// must still be the file written. Otherwise a link, something other than a regular file, or
// nothing where the old file was, is left as it is and the run refused. A file whose rights
// changed during the run (chmod, setfacl, chown), or another in its place (a run that committed
// first), gives its rights again, and the new file keeps no right the old one lacked at the start
// either.
void SystemState::RecheckTarget() {
  struct stat now {};
  if (in_place) {
    struct stat written {};
    if (::fstat(keeper.get(), &written) != 0 ||
        ::fstatat(directory.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameFile(written, now)) {
      file::FailOnFile(
          "written in place, but another program moved or replaced the file during the run, "
          "so the " +
              options.what + " is in a file that no longer has its name; run again",
          shown);
    }
    return;
  }
  if (::fstatat(directory.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) {
      Fail(errno);
    }
    if (exists) {
      file::FailOnFile("removed by another program during the run, so no " + options.what +
                           " took its place; run again",
                       shown);
    }
    return;
  }
  if (S_ISLNK(now.st_mode)) {
    file::FailOnFile("replaced by a link during the run; the link is left as it is; run again",
                     shown);
  }
  if (!S_ISREG(now.st_mode)) {
    file::FailOnFile(
        "replaced during the run by something that is not a regular file, left as it is; run "
        "again",
        shown);
  }
  // Read again whatever the file's change time says: it moves in steps of a clock tick, and a
  // chmod within the tick the run started in would not show.
  const bool narrow = exists;
  const mode_t start_mode = granted_mode;
  const std::string start_acl = granted_acl;
  existing = now;
  exists = true;
  CopyRights();
  if (!narrow) {
    return;
  }
  if (!granted_acl.empty()) {
    const std::string acl = CommonAcl(granted_acl, start_acl, start_mode);
    if (::fsetxattr(keeper.get(), kAccessAcl, acl.data(), acl.size(), 0) != 0) {
      file::FailOnFile("its access control list cannot be copied to the new file: " + Reason(errno),
                       shown);
    }
  }
  if (::fchmod(keeper.get(), granted_mode & start_mode) != 0) {
    Fail(errno);
  }
}

}  // namespace file::detail
