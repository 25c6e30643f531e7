// Stands in for disks the tests cannot have: preloaded into a test, it makes every fsync of a
// regular file take TESSAPLAN_TEST_SYNC_DELAY_MS milliseconds longer (a USB stick, a network
// drive), and with TESSAPLAN_TEST_NO_SYNC_FILE_RANGE set it answers sync_file_range as a file
// system without it does (ENOSYS).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern "C" int fsync(int fd) {
  using Fsync = int (*)(int);
  static const auto real_fsync = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
  struct stat status {};
  if (const char* delay = std::getenv("TESSAPLAN_TEST_SYNC_DELAY_MS");
      delay && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
  }
  return real_fsync(fd);
}

extern "C" int sync_file_range(int fd, off_t offset, off_t count, unsigned int flags) {
  using SyncFileRange = int (*)(int, off_t, off_t, unsigned int);
  static const auto real_sync_file_range =
      reinterpret_cast<SyncFileRange>(dlsym(RTLD_NEXT, "sync_file_range"));
  if (std::getenv("TESSAPLAN_TEST_NO_SYNC_FILE_RANGE")) {
    errno = ENOSYS;
    return -1;
  }
  return real_sync_file_range(fd, offset, count, flags);
}
