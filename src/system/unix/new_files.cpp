#include "system/unix/new_files.h"

#include <fcntl.h>
#include <sys/file.h>

#include <string>

namespace sys {

int OpenUnnamed(int folder, Fd& opened) {
  Fd fd(RetryOnInterrupt(
      [&] { return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666); }));
  if (!fd.valid() || RetryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX); }) != 0) {
    return errno;
  }
  opened = std::move(fd);
  return 0;
}

bool NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

int LinkUnnamed(int fd, int folder, const char* name) {
  const std::string by_descriptor = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, by_descriptor.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
    return errno;
  }
  return ::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

int StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length) {
  return RetryOnInterrupt([&] {
           return ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                                    SYNC_FILE_RANGE_WRITE);
         }) == 0
             ? 0
             : errno;
}

int WaitForWriteBack(int fd, std::uint64_t offset, std::uint64_t length) {
  if (RetryOnInterrupt([&] {
        return ::sync_file_range(
            fd, static_cast<off_t>(offset), static_cast<off_t>(length),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
      }) != 0) {
    return errno;
  }
  ::posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
  return 0;
}

bool NoWriteBack(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ESPIPE;
}

}  // namespace sys
