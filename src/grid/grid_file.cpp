#include "grid/grid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <system_error>
#include <vector>

#include "grid/run_error.h"

namespace grid {

namespace detail {
bool use_unnamed_files = true;
}  // namespace detail

namespace {

// Large enough that system calls cost nothing next to the bytes, small enough to stay in cache.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr int kBufferCount = 3;
// A synced run keeps at most this much of the grid dirty in the page cache: the disk is kept
// busy from the first megabyte, and what has reached it is dropped from the cache, so a run
// neither waits at the end nor pushes out what other programs had cached.
constexpr std::uint64_t kDirtyWindow = std::uint64_t{32} << 20;
// Write-back is started for this much at a time: requests large enough for the disk to merge.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
constexpr std::uint64_t kPage = 4096;
// How often Commit asks whether to go on while it waits for the disk.
constexpr auto kAskEvery = std::chrono::milliseconds(40);
// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;

std::string Reason(int error) {
  return std::generic_category().message(error);
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1000) {
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  }
  constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
  std::uint64_t unit = 1000;
  int index = 0;
  while (index < 3 && bytes >= unit * 1000 - unit / 20) {
    unit *= 1000;
    ++index;
  }
  const std::uint64_t tenths = (bytes + unit / 20) / (unit / 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[index];
}

template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// A name no other file in the directory has yet, for the file while it is not yet newgrid.txt.
std::string TemporaryName(const std::string& name) {
  static thread_local std::mt19937 random(std::random_device{}());
  constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
  std::string temporary = "." + name + ".";
  for (int i = 0; i < 8; ++i) {
    temporary += kLetters[pick(random)];
  }
  return temporary + ".tmp";
}

// Opens a directory for the run. One that may be written but not read can still take the file,
// but cannot be opened for reading, and so cannot be synced: it is then held by path only.
int OpenDirectory(int at, const char* path, bool& readable) {
  int fd = RetryOnInterrupt([&] { return ::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  readable = fd >= 0;
  if (fd < 0 && errno == EACCES) {
    fd = ::openat(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  return fd;
}

// Claims the blocks now. Where the file system cannot preallocate, its free space is asked.
int Reserve(int fd, std::uint64_t size) {
  if (size == 0) {
    return 0;
  }
  // Not posix_fallocate: where the file system has no fallocate, it writes every block.
  if (RetryOnInterrupt([&] { return ::fallocate(fd, 0, 0, static_cast<off_t>(size)); }) == 0) {
    return 0;
  }
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    return errno;
  }
  struct statvfs space {};
  if (::fstatvfs(fd, &space) == 0 &&
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size) {
    return ENOSPC;
  }
  return 0;
}

// sync_file_range is an optimisation: file systems that do not have it fall back to the one
// fsync at the end.
bool Unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ESPIPE;
}

}  // namespace

namespace detail {

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    if (written == 0) {
      return EIO;  // no progress and no reason: never loop forever
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace detail

// The writer thread and what it shares with the caller. The thread holds it too, so that a run
// abandoned while the disk is slow can return at once and leave the thread to finish alone.
struct GridFile::Writer {
  struct Filled {
    char* data;
    std::size_t size;
  };

  int fd = -1;
  bool sync = false;
  std::vector<std::unique_ptr<char[]>> buffers;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char*> empty;
  std::deque<Filled> filled;  // in file order
  bool finishing = false;     // no more buffers come: write out, sync, and stop
  bool abandoned = false;     // stop at once
  bool done = false;
  int error = 0;
  std::atomic<std::uint64_t> bytes_done{0};

  ~Writer() {
    if (fd >= 0) {
      ::close(fd);
    }
  }

  void Run();
  int Write(const Filled& filled);
  int Finish();

  // The writer thread's own: how far the file is written, how far its write-back is started,
  // how far it is on the disk, and whether the file system can stream.
  std::uint64_t written = 0;
  std::uint64_t started = 0;
  std::uint64_t on_disk = 0;
  bool stream = false;
};

// Hands the filled buffers to the system in order. After a failure it goes on taking buffers
// without writing them, so that the caller never waits for it.
void GridFile::Writer::Run() {
  stream = sync;
  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [this] { return !filled.empty() || finishing || abandoned; });
    if (abandoned) {
      break;
    }
    if (filled.empty()) {
      if (error == 0) {
        lock.unlock();
        const int finished = Finish();
        lock.lock();
        error = finished;
      }
      break;
    }
    const Filled next = filled.front();
    filled.pop_front();
    if (error == 0) {
      lock.unlock();
      const int result = Write(next);
      lock.lock();
      error = result;
    }
    empty.push_back(next.data);
    changed.notify_all();
  }
  done = true;
  changed.notify_all();
}

// Writes one buffer. A synced file streams to the disk: write-back starts for every
// kWriteBackStep written, and what lies more than kDirtyWindow behind is waited for and dropped
// from the page cache.
int GridFile::Writer::Write(const Filled& next) {
  if (const int failed = detail::WriteAll(fd, next.data, next.size); failed != 0) {
    return failed;
  }
  written += next.size;
  if (stream) {
    int result = 0;
    if (written - started >= kWriteBackStep) {
      result = RetryOnInterrupt([&] {
        return ::sync_file_range(fd, static_cast<off_t>(started),
                                 static_cast<off_t>(written - started), SYNC_FILE_RANGE_WRITE);
      });
      started = written;
    }
    const std::uint64_t behind =
        written > kDirtyWindow ? (written - kDirtyWindow) / kPage * kPage : 0;
    if (result == 0 && behind > on_disk) {
      result = RetryOnInterrupt([&] {
        return ::sync_file_range(
            fd, static_cast<off_t>(on_disk), static_cast<off_t>(behind - on_disk),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
      });
      if (result == 0) {
        ::posix_fadvise(fd, static_cast<off_t>(on_disk), static_cast<off_t>(behind - on_disk),
                        POSIX_FADV_DONTNEED);
        on_disk = behind;
      }
    }
    if (result != 0) {
      if (!Unsupported(errno)) {
        return errno;
      }
      stream = false;
    }
  }
  bytes_done = stream ? on_disk : written;
  return 0;
}

// The one fsync that makes the file durable; streaming left little for it to do.
int GridFile::Writer::Finish() {
  if (sync) {
    if (RetryOnInterrupt([this] { return ::fsync(fd); }) != 0) {
      return errno;
    }
    ::posix_fadvise(fd, static_cast<off_t>(on_disk), 0, POSIX_FADV_DONTNEED);
  }
  bytes_done = written;
  return 0;
}

GridFile::GridFile(const std::filesystem::path& target, std::uint64_t size, bool sync) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(target, ignored);
  shown_ = (absolute.empty() ? target : absolute).string();
  try {
    Open(target, size, sync);
  } catch (...) {
    Abandon();
    throw;
  }
}

GridFile::~GridFile() {
  if (!committed_) {
    Abandon();
  }
}

void GridFile::Open(const std::filesystem::path& target, std::uint64_t size, bool sync) {
  // The folder is opened once: whatever happens to paths during the run, the grid goes there.
  std::filesystem::path folder = target.parent_path();
  shown_folder_ = std::filesystem::path(shown_).parent_path().string();
  directory_ = OpenDirectory(AT_FDCWD, folder.empty() ? "." : folder.c_str(), directory_readable_);
  if (directory_ < 0) {
    FailInFolder(errno);
  }
  name_ = target.filename().string();
  if (name_.empty() || name_ == "." || name_ == "..") {
    Fail(EISDIR);
  }

  // newgrid.txt may be a link: the new grid then replaces the link's final target, beside it,
  // and the link stays. A link is followed only where the system itself would follow it: in a
  // sticky, world-writable folder (such as /tmp) only if this user or the folder's owner owns it.
  struct stat existing {};
  bool exists = false;
  for (int links = 0;; ++links) {
    if (::fstatat(directory_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) {
        Fail(errno);
      }
      break;
    }
    if (!S_ISLNK(existing.st_mode)) {
      exists = true;
      break;
    }
    struct stat folder_status {};
    if (links == kMaxLinks || ::fstat(directory_, &folder_status) != 0) {
      Fail(links == kMaxLinks ? ELOOP : errno);
    }
    if ((folder_status.st_mode & S_ISVTX) && (folder_status.st_mode & S_IWOTH) &&
        existing.st_uid != ::geteuid() && existing.st_uid != folder_status.st_uid) {
      Fail(EACCES);
    }
    std::string link(static_cast<std::size_t>(existing.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(directory_, name_.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
      Fail(length < 0 ? errno : ELOOP);  // changed under us: give up rather than guess
    }
    link.resize(static_cast<std::size_t>(length));
    const std::filesystem::path next = link;
    if (next.has_parent_path()) {
      bool readable = false;
      const int next_directory = OpenDirectory(directory_, next.parent_path().c_str(), readable);
      if (next_directory < 0) {
        Fail(errno);
      }
      ::close(directory_);
      directory_ = next_directory;
      directory_readable_ = readable;
    }
    name_ = next.filename().string();
    if (name_.empty() || name_ == "." || name_ == "..") {
      Fail(EISDIR);
    }
  }
  if (exists) {
    if (S_ISDIR(existing.st_mode)) {
      Fail(EISDIR);  // it would only fail the rename at the very end
    }
    if (!S_ISREG(existing.st_mode)) {
      throw RunError(ErrorKind::file, shown_ +
                                          " is not a regular file; remove it, or run in "
                                          "another folder.");
    }
    // A file this user may not write is not replaced behind the user's back. Asked, not opened:
    // opening it for writing would tell programs that watch it that it changed.
    if (::faccessat(directory_, name_.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
      Fail(errno);
    }
  }

  writer_ = std::make_shared<Writer>();
  writer_->sync = sync;
  writer_->fd = detail::use_unnamed_files ? RetryOnInterrupt([&] {
    return ::openat(directory_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  })
                                          : -1;
  if (writer_->fd < 0) {
    if (detail::use_unnamed_files && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      FailInFolder(errno);
    }
    // No unnamed files here (some network and FAT file systems): a hidden named one instead.
    for (int attempt = 0; attempt < 100 && writer_->fd < 0; ++attempt) {
      temporary_name_ = TemporaryName(name_);
      writer_->fd = RetryOnInterrupt([&] {
        return ::openat(directory_, temporary_name_.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      });
      if (writer_->fd < 0 && errno != EEXIST) {
        temporary_name_.clear();
        FailInFolder(errno);
      }
    }
    if (writer_->fd < 0) {
      temporary_name_.clear();
      FailInFolder(EEXIST);
    }
  }

  // The new file takes the place of the old one: its owner and group where the system allows
  // (a user who is not root cannot give a file away, and that is fine), and its permission bits,
  // but never set-user-id, set-group-id or sticky.
  if (exists) {
    if (::fchown(writer_->fd, existing.st_uid, existing.st_gid) != 0) {
      ::fchown(writer_->fd, static_cast<uid_t>(-1), existing.st_gid);
    }
    if (::fchmod(writer_->fd, existing.st_mode & 0777) != 0) {
      Fail(errno);
    }
  }
  if (const int error = Reserve(writer_->fd, size); error != 0) {
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) {
      throw RunError(ErrorKind::file,
                     Reason(error) + ": the grid needs " + SizeText(size) + " (" + shown_ + ")");
    }
    Fail(error);
  }

  for (int i = 0; i < kBufferCount; ++i) {
    writer_->buffers.push_back(std::make_unique<char[]>(kBufferBytes));
    writer_->empty.push_back(writer_->buffers.back().get());
  }
  buffer_ = next_ = writer_->empty.back();
  buffer_end_ = buffer_ + kBufferBytes;
  writer_->empty.pop_back();
  try {
    writer_thread_ = std::thread([writer = writer_] { writer->Run(); });
  } catch (const std::system_error& error) {
    throw RunError(ErrorKind::system,
                   "a thread to write the file cannot be started: " + error.code().message());
  }
}

void GridFile::Append(std::string_view text) {
  while (!text.empty()) {
    char* start = LineStart();
    const std::size_t part = std::min(text.size(), static_cast<std::size_t>(buffer_end_ - start));
    std::copy_n(text.data(), part, start);
    LineEnd(start + part);
    text.remove_prefix(part);
  }
}

std::uint64_t GridFile::BytesDone() const {
  return writer_->bytes_done;
}

void GridFile::HandOver() {
  std::unique_lock lock(writer_->mutex);
  if (writer_->error != 0) {
    Fail(writer_->error);
  }
  writer_->filled.push_back({buffer_, static_cast<std::size_t>(next_ - buffer_)});
  writer_->changed.notify_all();
  writer_->changed.wait(lock, [this] { return !writer_->empty.empty(); });
  buffer_ = next_ = writer_->empty.back();
  buffer_end_ = buffer_ + kBufferBytes;
  writer_->empty.pop_back();
}

bool GridFile::Commit(const std::function<bool()>& keep_going) {
  const auto go_on = [&] { return !keep_going || keep_going(); };
  int error = 0;
  {
    std::unique_lock lock(writer_->mutex);
    if (next_ != buffer_) {
      writer_->filled.push_back({buffer_, static_cast<std::size_t>(next_ - buffer_)});
      next_ = buffer_;
    }
    writer_->finishing = true;
    writer_->changed.notify_all();
    while (!writer_->changed.wait_for(lock, kAskEvery, [this] { return writer_->done; })) {
      lock.unlock();
      const bool going_on = go_on();
      lock.lock();
      if (!going_on) {
        lock.unlock();
        Abandon();
        return false;
      }
    }
    error = writer_->error;
  }
  writer_thread_.join();
  if (error != 0) {
    Fail(error);
  }
  if (!go_on()) {
    Abandon();
    return false;
  }

  // An unnamed file gets a temporary name first: a link cannot replace an existing name.
  if (temporary_name_.empty()) {
    const std::string by_descriptor = "/proc/self/fd/" + std::to_string(writer_->fd);
    for (int attempt = 0; temporary_name_.empty(); ++attempt) {
      const std::string name = TemporaryName(name_);
      if (::linkat(AT_FDCWD, by_descriptor.c_str(), directory_, name.c_str(), AT_SYMLINK_FOLLOW) ==
              0 ||
          ::linkat(writer_->fd, "", directory_, name.c_str(), AT_EMPTY_PATH) == 0) {
        temporary_name_ = name;
      } else if (errno != EEXIST || attempt == 100) {
        FailInFolder(errno);
      }
    }
  }
  if (::renameat(directory_, temporary_name_.c_str(), directory_, name_.c_str()) != 0) {
    Fail(errno);
  }
  temporary_name_.clear();
  committed_ = true;
  // The rename is durable once the directory is; the grid is in place either way.
  if (writer_->sync && directory_readable_) {
    RetryOnInterrupt([this] { return ::fsync(directory_); });
  }
  ::close(directory_);
  directory_ = -1;
  return true;
}

// Drops the new file and stops the writer. A writer held up by a slow disk is left to finish
// alone, on a file that no longer has a name, so that the caller never waits for the disk.
void GridFile::Abandon() {
  if (directory_ >= 0 && !temporary_name_.empty()) {
    ::unlinkat(directory_, temporary_name_.c_str(), 0);
    temporary_name_.clear();
  }
  if (writer_thread_.joinable()) {
    std::unique_lock lock(writer_->mutex);
    writer_->abandoned = true;
    writer_->changed.notify_all();
    const bool stopped =
        writer_->changed.wait_for(lock, 5 * kAskEvery, [this] { return writer_->done; });
    lock.unlock();
    if (stopped) {
      writer_thread_.join();
    } else {
      writer_thread_.detach();
    }
  }
  if (directory_ >= 0) {
    ::close(directory_);
    directory_ = -1;
  }
}

void GridFile::Fail(int error) const {
  throw RunError(ErrorKind::file, Reason(error) + " (" + shown_ + ")");
}

void GridFile::FailInFolder(int error) const {
  throw RunError(ErrorKind::file, Reason(error) + " (the folder " + shown_folder_ + ")");
}

}  // namespace grid
