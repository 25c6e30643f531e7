// Stands in for disks and kernels the tests cannot have on demand. Preloaded into a test, and
// each switched on by its environment variable:
// - TESSAPLAN_TEST_SYNC_DELAY_MS, TESSAPLAN_TEST_WRITE_DELAY_MS: every fsync, or write or pwrite
//   (a database's), of a regular file takes that many milliseconds longer (a USB stick, a
//   stalled network drive);
// - TESSAPLAN_TEST_NO_SYNC_FILE_RANGE: sync_file_range fails as where it is missing (ENOSYS);
// - TESSAPLAN_TEST_NO_TMPFILE: no unnamed files (O_TMPFILE), as on some network and FAT file
//   systems;
// - TESSAPLAN_TEST_NAME_COLLISIONS=N: the first N hidden names are taken, as by another run,
//   and linkat with AT_EMPTY_PATH is refused as older kernels refuse it to users who are not
//   root;
// - TESSAPLAN_TEST_WRITE_RETURNS_ZERO=N: a write of N bytes or more to a regular file returns 0
//   and no reason (N=1: every write);
// - TESSAPLAN_TEST_CLOSE_FAILS: closing a regular file open for writing reports EIO, as a
//   network file system reports a write that failed on the server;
// - TESSAPLAN_TEST_ACL_REFUSED: setting an access control list fails (EPERM), as on a file
//   system or server that keeps the list but will not take one from this user;
// - TESSAPLAN_TEST_ACL_UNREADABLE: reading an access control list fails (EIO), as on a server
//   that lists the attribute but will not give it;
// - TESSAPLAN_TEST_SYNC_FAILS: an fsync of a regular file reports EIO, as a disk that failed to
//   write what it had taken;
// - TESSAPLAN_TEST_FOLDER_SYNC_FAILS: an fsync of a folder, or a syncfs, reports EIO, as a
//   disk that failed to write the folder's change;
// - TESSAPLAN_TEST_CHOWN_FAILS: giving a file to another user fails (EDQUOT), as where that
//   user's disk quota is full (this machine's kernel may have no quotas);
// - TESSAPLAN_TEST_NO_FALLOCATE: fallocate is not supported (EOPNOTSUPP), as on file systems
//   that cannot reserve space, whatever the disk under the test can;
// - TESSAPLAN_TEST_QUOTA_MET: fallocate fails with EDQUOT, as where this user's disk quota is
//   met (this machine's kernel may have no quotas to meet);
// - TESSAPLAN_TEST_FALLOCATE_DELAY_MS: fallocate takes that many milliseconds longer for each
//   gigabyte it claims, as on a disk that reserves by writing, slow or over a network (noted
//   "reserving");
// - TESSAPLAN_TEST_RENAME_DELAY_MS: each rename of a hidden file to its name is followed by that
//   many milliseconds, noted "renamed NAME" as it begins (a commit held up between names);
// - TESSAPLAN_TEST_UNLINK_DELAY_MS: each removal of a hidden name waits that many milliseconds,
//   noted "removing hidden" as it begins (a run held up between making a name and removing it);
// - TESSAPLAN_TEST_STALL_UNTIL=FILE: each delay above ends as soon as FILE exists (a test that
//   acts during the stall makes it once it has acted), its length then only a deadline;
//   TESSAPLAN_TEST_STALL_FROM=N: of the writes and syncs, only the Nth and later are delayed;
// - TESSAPLAN_TEST_CALL_LOG=FILE: each fsync (of a file or a folder), each request to drop
//   pages from the cache, each delayed call as its delay begins ("stall"), the mode each hidden
//   file is created with ("create 600") and the first write of a regular file ("first write")
//   is noted in FILE, one line each, for what a test cannot see.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// A regular file the program opened itself: not standard output or error, which a test may
// send to a file.
bool IsRegularFile(int fd) {
  struct stat status {};
  return fd > STDERR_FILENO && fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

void Note(const char* call);

// The stall itself, noted as it begins: the slow call the stand-in is, which the tests wait for
// by its note. A test that acts during the stall names a file in TESSAPLAN_TEST_STALL_UNTIL and
// makes it once it has acted: the stall ends then, its delay only a deadline, so that nothing
// hangs on how fast a loaded machine is.
void Stall(int milliseconds, const char* note) {
  Note(note);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  const char* until = std::getenv("TESSAPLAN_TEST_STALL_UNTIL");
  if (!until) {
    std::this_thread::sleep_until(deadline);  // the slow disk itself
    return;
  }
  // Woken by the change of the file's folder, watched before the file is first looked for.
  const std::string path = until;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
    std::this_thread::sleep_until(deadline);
  }
  while (watch >= 0 && access(until, F_OK) != 0) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd changed{watch, POLLIN, 0};
    if (left.count() <= 0 || poll(&changed, 1, static_cast<int>(left.count())) <= 0) {
      break;
    }
    char events[4096];
    static_cast<void>(read(watch, events, sizeof events));
  }
  if (watch >= 0) {
    close(watch);
  }
}

// The delay of a file's write or sync, from the Nth such call on where
// TESSAPLAN_TEST_STALL_FROM=N says so.
void DelayBy(const char* variable, int fd) {
  static std::atomic<int> calls{0};
  const char* from = std::getenv("TESSAPLAN_TEST_STALL_FROM");
  if (const char* delay = std::getenv(variable);
      delay && IsRegularFile(fd) && (!from || ++calls >= std::atoi(from))) {
    Stall(std::atoi(delay), "stall\n");
  }
}

// Whether this call is one of the first N that find their hidden name taken.
bool Collides() {
  static std::atomic<int> collisions{-1};
  if (collisions < 0) {
    const char* count = std::getenv("TESSAPLAN_TEST_NAME_COLLISIONS");
    collisions = count ? std::atoi(count) : 0;
  }
  return collisions.fetch_sub(1) > 0;
}

bool IsHidden(const char* path) {
  const char* name = std::strrchr(path, '/');
  return std::strncmp(name ? name + 1 : path, ".tessaplan-", 11) == 0;
}

void Note(const char* call) {
  if (const char* log = std::getenv("TESSAPLAN_TEST_CALL_LOG")) {
    static const auto real_open = Real<int (*)(const char*, int, ...)>("open");
    const int fd = real_open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      static const auto real_write = Real<ssize_t (*)(int, const void*, size_t)>("write");
      real_write(fd, call, std::strlen(call));
      static const auto real_close = Real<int (*)(int)>("close");
      real_close(fd);
    }
  }
}

}  // namespace

extern "C" int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  if (std::getenv("TESSAPLAN_TEST_SYNC_FAILS") && IsRegularFile(fd)) {
    errno = EIO;
    return -1;
  }
  DelayBy("TESSAPLAN_TEST_SYNC_DELAY_MS", fd);
  struct stat status {};
  const bool folder = fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
  if (folder && std::getenv("TESSAPLAN_TEST_FOLDER_SYNC_FAILS")) {
    errno = EIO;
    return -1;
  }
  Note(folder ? "fsync folder\n" : "fsync file\n");
  return real(fd);
}

extern "C" int syncfs(int fd) {
  static const auto real = Real<int (*)(int)>("syncfs");
  if (std::getenv("TESSAPLAN_TEST_FOLDER_SYNC_FAILS")) {
    errno = EIO;
    return -1;
  }
  Note("syncfs\n");
  return real(fd);
}

extern "C" int fallocate(int fd, int mode, off_t offset, off_t length) {
  static const auto real = Real<int (*)(int, int, off_t, off_t)>("fallocate");
  if (std::getenv("TESSAPLAN_TEST_NO_FALLOCATE")) {
    errno = EOPNOTSUPP;
    return -1;
  }
  if (std::getenv("TESSAPLAN_TEST_QUOTA_MET")) {
    errno = EDQUOT;
    return -1;
  }
  if (const char* per_gigabyte = std::getenv("TESSAPLAN_TEST_FALLOCATE_DELAY_MS")) {
    Stall(static_cast<int>(std::atof(per_gigabyte) * static_cast<double>(length) / 1e9),
          "reserving\n");
  }
  return real(fd, mode, offset, length);
}

extern "C" int fchown(int fd, uid_t owner, gid_t group) {
  static const auto real = Real<int (*)(int, uid_t, gid_t)>("fchown");
  if (std::getenv("TESSAPLAN_TEST_CHOWN_FAILS") && owner != static_cast<uid_t>(-1) &&
      owner != geteuid()) {
    errno = EDQUOT;
    return -1;
  }
  return real(fd, owner, group);
}

extern "C" int posix_fadvise(int fd, off_t offset, off_t length, int advice) {
  static const auto real = Real<int (*)(int, off_t, off_t, int)>("posix_fadvise");
  if (advice == POSIX_FADV_DONTNEED) {
    Note("drop pages\n");
  }
  return real(fd, offset, length, advice);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  if (const char* from = std::getenv("TESSAPLAN_TEST_WRITE_RETURNS_ZERO");
      from && size >= std::strtoull(from, nullptr, 10) && IsRegularFile(fd)) {
    return 0;
  }
  static std::atomic<bool> written{false};
  if (std::getenv("TESSAPLAN_TEST_CALL_LOG") && IsRegularFile(fd) && !written.exchange(true)) {
    Note("first write\n");
  }
  DelayBy("TESSAPLAN_TEST_WRITE_DELAY_MS", fd);
  return real(fd, data, size);
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  DelayBy("TESSAPLAN_TEST_WRITE_DELAY_MS", fd);
  return real(fd, data, size, offset);
}

extern "C" int sync_file_range(int fd, off_t offset, off_t count, unsigned int flags) {
  static const auto real = Real<int (*)(int, off_t, off_t, unsigned int)>("sync_file_range");
  if (std::getenv("TESSAPLAN_TEST_NO_SYNC_FILE_RANGE")) {
    errno = ENOSYS;
    return -1;
  }
  return real(fd, offset, count, flags);
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
  static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("TESSAPLAN_TEST_NO_TMPFILE")) {
    errno = EOPNOTSUPP;
    return -1;
  }
  if ((flags & O_EXCL) && IsHidden(path) && Collides()) {
    errno = EEXIST;
    return -1;
  }
  if ((flags & O_CREAT) && IsHidden(path)) {
    char line[32];
    std::snprintf(line, sizeof line, "create %o\n", static_cast<unsigned>(mode));
    Note(line);
  }
  return real(dir, path, flags, mode);
}

extern "C" int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
  if (std::getenv("TESSAPLAN_TEST_NAME_COLLISIONS")) {
    if (flags & AT_EMPTY_PATH) {
      errno = ENOENT;
      return -1;
    }
    if (IsHidden(to) && Collides()) {
      errno = EEXIST;
      return -1;
    }
  }
  return real(from_dir, from, to_dir, to, flags);
}

extern "C" int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  const bool fails = std::getenv("TESSAPLAN_TEST_CLOSE_FAILS") && IsRegularFile(fd) &&
                     (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
  const int result = real(fd);
  if (fails && result == 0) {
    errno = EIO;
    return -1;
  }
  return result;
}

extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  static const auto real = Real<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr");
  if (std::getenv("TESSAPLAN_TEST_ACL_REFUSED") &&
      std::strcmp(name, "system.posix_acl_access") == 0) {
    errno = EPERM;
    return -1;
  }
  return real(fd, name, value, size, flags);
}

namespace {

bool AclUnreadable(const char* name) {
  return std::getenv("TESSAPLAN_TEST_ACL_UNREADABLE") &&
         std::strcmp(name, "system.posix_acl_access") == 0;
}

}  // namespace

extern "C" ssize_t lgetxattr(const char* path, const char* name, void* value, size_t size) {
  static const auto real = Real<ssize_t (*)(const char*, const char*, void*, size_t)>("lgetxattr");
  if (AclUnreadable(name)) {
    errno = EIO;
    return -1;
  }
  return real(path, name, value, size);
}

extern "C" ssize_t fgetxattr(int fd, const char* name, void* value, size_t size) {
  static const auto real = Real<ssize_t (*)(int, const char*, void*, size_t)>("fgetxattr");
  if (AclUnreadable(name)) {
    errno = EIO;
    return -1;
  }
  return real(fd, name, value, size);
}

extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  const int result = real(from_dir, from, to_dir, to);
  if (const char* delay = std::getenv("TESSAPLAN_TEST_RENAME_DELAY_MS");
      delay && result == 0 && IsHidden(from)) {
    char line[300];
    std::snprintf(line, sizeof line, "renamed %s\n", to);
    Stall(std::atoi(delay), line);
  }
  return result;
}

extern "C" int unlinkat(int dir, const char* path, int flags) {
  static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
  if (const char* delay = std::getenv("TESSAPLAN_TEST_UNLINK_DELAY_MS"); delay && IsHidden(path)) {
    Stall(std::atoi(delay), "removing hidden\n");
  }
  return real(dir, path, flags);
}
