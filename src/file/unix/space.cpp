// The space a Linux replacement's new file needs, claimed before the first byte.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "file/unix/system_state.h"

namespace file::detail {

// Claims the blocks now, in steps (ReserveInSteps). Where the file system cannot preallocate,
// its free space is asked; one that does not say (ramfs, some FUSE file systems report no blocks
// at all) is written to, and a real ENOSPC speaks.
// `keep_size` claims them without changing the file's length, for a file whose old content must
// stay as it is until the new file is written over it.
int Reserve(int fd, std::uint64_t size, bool keep_size, const ReplaceOptions& options,
            std::string_view shown) {
  if (size == 0) {
    return 0;
  }
  // Asked first: a reservation beside an old file (keep_size) is not held to the limit, and
  // one that is would stop the process with SIGXFSZ where it is not ignored.
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < size) {
    return EFBIG;
  }
  // Not posix_fallocate: where the file system has no fallocate, it writes every block.
  const int mode = keep_size ? FALLOC_FL_KEEP_SIZE : 0;
  int error = 0;
  if (ReserveInSteps(size, options, shown, [&](std::uint64_t offset, std::uint64_t length) {
        error =
            RetryOnInterrupt([&] {
              return ::fallocate(fd, mode, static_cast<off_t>(offset), static_cast<off_t>(length));
            }) == 0
                ? 0
                : errno;
        return error == 0;
      })) {
    return 0;
  }
  if (error != EOPNOTSUPP && error != ENOSYS) {
    return error;
  }
  // Nothing reserved: the free space is asked instead.
  struct statvfs space {};
  if (::fstatvfs(fd, &space) == 0 && space.f_blocks != 0 &&
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size) {
    return ENOSPC;
  }
  return 0;
}

// Cutting a file to the length it has frees the blocks claimed past its end (ext4, XFS, tmpfs).
// The cut counts as a change, so the file's times are put back, where this user may.
void ReleaseBeyondEnd(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) == 0 &&
      RetryOnInterrupt([&] { return ::ftruncate(fd, status.st_size); }) == 0) {
    const timespec times[2] = {status.st_atim, status.st_mtim};
    ::futimens(fd, times);
  }
}

}  // namespace file::detail
