// The grid point file writer: newgrid.txt is written through a temporary file beside it, so
// that the file the user already has stays whole until the new one is complete.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace grid {

class GridFile {
 public:
  // LineStart always leaves this many writable bytes, so that a line may be assembled with
  // fixed-size copies that run past its end.
  static constexpr std::size_t kLineRoom = 64;

  // Creates a temporary file in `target`'s directory and reserves `size` bytes for it, so that
  // a file system that cannot hold the grid fails now rather than after minutes of writing.
  // `sync` makes Commit wait until the file is on the disk. Raises a File error.
  GridFile(const std::filesystem::path& target, std::uint64_t size, bool sync);
  // Removes the temporary file unless Commit succeeded; the target is left as it was.
  ~GridFile();
  GridFile(const GridFile&) = delete;
  GridFile& operator=(const GridFile&) = delete;

  // Where the next bytes go: at least kLineRoom bytes may be written there.
  char* LineStart() {
    if (static_cast<std::size_t>(buffer_end_ - next_) < kLineRoom) {
      HandOver();
    }
    return next_;
  }
  // Keeps what was written from LineStart() up to `end`.
  void LineEnd(char* end) { next_ = end; }
  void Append(std::string_view text);

  // Writes out everything, syncs it if asked, and renames the file over the target. Raises a
  // File error; the target is then left as it was.
  void Commit();

 private:
  void HandOver();
  void WriteBuffers();
  void StopWriting(bool abandon);
  [[noreturn]] void Fail(int error) const;

  // Closed and removed on destruction, also when the constructor fails, unless renamed.
  struct Temporary {
    std::filesystem::path path;
    int fd = -1;
    bool renamed = false;
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary();
  };

  std::filesystem::path target_;
  bool sync_;
  Temporary temporary_;

  // The caller fills one buffer while a second thread hands the full ones to the system.
  struct Filled {
    char* data;
    std::size_t size;
  };
  std::vector<std::unique_ptr<char[]>> buffers_;
  char* buffer_ = nullptr;
  char* next_ = nullptr;
  char* buffer_end_ = nullptr;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<char*> empty_;
  std::deque<Filled> filled_;  // in file order
  bool stopping_ = false;
  bool abandoned_ = false;
  int write_error_ = 0;
  std::thread writer_;
};

namespace detail {
// Writes all of `data`, retrying on EINTR and short counts. Returns 0 or the errno.
int WriteAll(int fd, const char* data, std::size_t size);
}  // namespace detail

}  // namespace grid
