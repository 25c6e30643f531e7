// Stands in for a slow disk (a USB stick, a network drive): preloaded into a test, it makes
// every fsync of a regular file take TESSAPLAN_TEST_SYNC_DELAY_MS milliseconds longer, while
// that variable is set.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

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
