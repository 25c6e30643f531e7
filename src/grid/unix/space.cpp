// The space a Linux replacement's new file needs, claimed before the first byte.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include "grid/unix/system_state.h"

namespace grid::detail {

// Claims the blocks now. Where the file system cannot preallocate, its free space is asked; one
// that does not say (ramfs, some FUSE file systems report no blocks at all) is written to, and
// a real ENOSPC speaks.
// `keep_size` claims them without changing the file's length, for a file whose old content must
// stay as it is until the grid is written over it.
int Reserve(int fd, std::uint64_t size, bool keep_size) {
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
  if (RetryOnInterrupt([&] { return ::fallocate(fd, mode, 0, static_cast<off_t>(size)); }) == 0) {
    return 0;
  }
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    return errno;
  }
  // Nothing reserved: the free space is asked instead.
  struct statvfs space {};
  if (::fstatvfs(fd, &space) == 0 && space.f_blocks != 0 &&
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size) {
    return ENOSPC;
  }
  return 0;
}

}  // namespace grid::detail
