#include "grid/grid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include "grid/run_error.h"

namespace grid {
namespace {

// Large enough that system calls cost nothing next to the bytes, small enough to stay in cache.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr int kBufferCount = 3;

std::string Reason(int error) {
  return std::generic_category().message(error);
}

std::string MegabytesText(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes + 50'000) / 100'000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// Opens a new file with a name no other file has, beside the target. Mode 0666 lets the umask
// decide, as for any new file; a random suffix keeps two programs from colliding.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
  std::random_device seed;
  std::mt19937 random(seed());
  constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    for (int i = 0; i < 8; ++i) {
      name += kLetters[pick(random)];
    }
    temporary = target.parent_path() / (name + ".tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;
}

// Claims the blocks now. Where the file system cannot preallocate, its free space is asked.
int Reserve(int fd, std::uint64_t size) {
  if (size == 0) {
    return 0;
  }
  // Not posix_fallocate: where the file system has no fallocate, it writes every block.
  int result;
  do {
    result = ::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0 ? 0 : errno;
  } while (result == EINTR);
  if (result != EOPNOTSUPP && result != ENOSYS) {
    return result;
  }
  struct statvfs space {};
  if (::fstatvfs(fd, &space) == 0 &&
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size) {
    return ENOSPC;
  }
  return 0;
}

int SyncDirectory(const std::filesystem::path& directory) {
  const int fd =
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
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

GridFile::GridFile(const std::filesystem::path& target, std::uint64_t size, bool sync)
    : target_(target), sync_(sync) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(target, ignored);
  if (!absolute.empty()) {
    target_ = absolute;
  }
  // A directory in the file's place would only fail the rename at the very end.
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    Fail(EISDIR);
  }
  temporary_.fd = CreateTemporary(target_, temporary_.path);
  if (temporary_.fd < 0) {
    const int error = errno;
    temporary_.path.clear();
    Fail(error);
  }
  // The new file takes the place of the old one, so it takes its permissions too.
  if (exists && ::fchmod(temporary_.fd, existing.st_mode & 07777) != 0) {
    Fail(errno);
  }
  if (const int error = Reserve(temporary_.fd, size); error != 0) {
    if (error == ENOSPC || error == EFBIG) {
      throw RunError(ErrorKind::file, Reason(error) + ": the grid needs " + MegabytesText(size) +
                                          " (" + target_.string() + ")");
    }
    Fail(error);
  }

  for (int i = 0; i < kBufferCount; ++i) {
    buffers_.push_back(std::make_unique<char[]>(kBufferBytes));
    empty_.push_back(buffers_.back().get());
  }
  buffer_ = next_ = empty_.back();
  buffer_end_ = buffer_ + kBufferBytes;
  empty_.pop_back();
  writer_ = std::thread(&GridFile::WriteBuffers, this);
}

GridFile::~GridFile() {
  if (writer_.joinable()) {
    StopWriting(/*abandon=*/true);
  }
}

GridFile::Temporary::~Temporary() {
  if (fd >= 0) {
    ::close(fd);
  }
  if (!renamed && !path.empty()) {
    ::unlink(path.c_str());
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

void GridFile::HandOver() {
  std::unique_lock lock(mutex_);
  if (write_error_ != 0) {
    Fail(write_error_);
  }
  filled_.push_back({buffer_, static_cast<std::size_t>(next_ - buffer_)});
  changed_.notify_all();
  changed_.wait(lock, [this] { return !empty_.empty(); });
  buffer_ = next_ = empty_.back();
  buffer_end_ = buffer_ + kBufferBytes;
  empty_.pop_back();
}

// The writer thread: hands the filled buffers to the system in order. After a failure it
// goes on taking buffers without writing them, so that the caller never waits for it.
void GridFile::WriteBuffers() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !filled_.empty() || stopping_; });
    if (filled_.empty() || abandoned_) {
      return;
    }
    const Filled filled = filled_.front();
    filled_.pop_front();
    if (write_error_ == 0) {
      lock.unlock();
      const int error = detail::WriteAll(temporary_.fd, filled.data, filled.size);
      lock.lock();
      write_error_ = error;
    }
    empty_.push_back(filled.data);
    changed_.notify_all();
  }
}

void GridFile::StopWriting(bool abandon) {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    abandoned_ = abandon;
  }
  changed_.notify_all();
  writer_.join();
}

void GridFile::Commit() {
  if (next_ != buffer_) {
    HandOver();
  }
  StopWriting(/*abandon=*/false);
  if (write_error_ != 0) {
    Fail(write_error_);
  }
  if (sync_ && ::fsync(temporary_.fd) != 0) {
    Fail(errno);
  }
  const int closed = ::close(temporary_.fd);
  temporary_.fd = -1;
  if (closed != 0) {
    Fail(errno);
  }
  if (::rename(temporary_.path.c_str(), target_.c_str()) != 0) {
    Fail(errno);
  }
  temporary_.renamed = true;
  // The rename itself is only durable once the directory is.
  if (sync_) {
    if (const int error = SyncDirectory(target_.parent_path()); error != 0) {
      Fail(error);
    }
  }
}

void GridFile::Fail(int error) const {
  throw RunError(ErrorKind::file, Reason(error) + " (" + target_.string() + ")");
}

}  // namespace grid
