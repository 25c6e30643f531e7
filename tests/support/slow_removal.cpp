// Stands in for a loaded machine on which a program's deletions come late. Preloaded into a
// process (Wine's programs and its server alike), every removal of a path that contains
// TESSAPLAN_TEST_SLOW_REMOVAL (unlink, unlinkat, rmdir, remove) waits
// TESSAPLAN_TEST_SLOW_REMOVAL_MS milliseconds (default 3000) before it is made, so that a test
// which checks one sign of an end and then reads another meets the gap between them every time.
// Built by the test that uses it, with the machine's own compiler:
//   g++ -shared -fPIC -o slow_removal.so slow_removal.cpp -ldl
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void WaitIfWatched(const char* path) {
  const char* watched = std::getenv("TESSAPLAN_TEST_SLOW_REMOVAL");
  if (!path || !watched || !*watched || !std::strstr(path, watched)) {
    return;
  }
  const char* given = std::getenv("TESSAPLAN_TEST_SLOW_REMOVAL_MS");
  const long ms = given ? std::atol(given) : 3000;
  timespec left{ms / 1000, (ms % 1000) * 1000000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

extern "C" {

int unlink(const char* path) {
  WaitIfWatched(path);
  return Real<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int dir, const char* path, int flags) {
  WaitIfWatched(path);
  return Real<int (*)(int, const char*, int)>("unlinkat")(dir, path, flags);
}

int rmdir(const char* path) {
  WaitIfWatched(path);
  return Real<int (*)(const char*)>("rmdir")(path);
}

int remove(const char* path) {
  WaitIfWatched(path);
  return Real<int (*)(const char*)>("remove")(path);
}

}  // extern "C"
