// The grid point file writer. Replacing newgrid.txt is one transaction on its directory: the
// directory is opened once, the new grid is written into an unnamed file there, and only when it
// is complete (and on the disk, for a synced run) is it given its name, over the old file. Until
// then the user's file stays as it was, and a run that dies, however it dies, leaves nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace grid {

class GridFile {
 public:
  // LineStart always leaves this many writable bytes, so that a line may be assembled with
  // fixed-size copies that run past its end.
  static constexpr std::size_t kLineRoom = 64;

  // Opens the directory of `target` (of its final target, when `target` is a symbolic link),
  // checks that the file there may be replaced by this user, and creates the new file, unnamed
  // where the file system allows, with `size` bytes reserved so that a file system that cannot
  // hold the grid fails now rather than after minutes of writing. `sync` makes Commit wait until
  // the file is on the disk. Raises a File error before anything is written.
  GridFile(const std::filesystem::path& target, std::uint64_t size, bool sync);
  // Drops the new file unless Commit gave it its name; the target is left as it was.
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

  // The bytes done so far: on the disk for a synced file, handed to the system otherwise.
  std::uint64_t BytesDone() const;

  // Writes out everything, waits for the disk if asked, and renames the new file over the
  // target. While it waits it calls `keep_going` every few tens of milliseconds; when that
  // returns false the new file is dropped at once and Commit returns false, the target as it
  // was. Raises a File error, the target then as it was too. Once the new file has its name the
  // commit has succeeded: a directory that cannot then be synced does not fail it.
  bool Commit(const std::function<bool()>& keep_going = {});

 private:
  struct Writer;

  void Open(const std::filesystem::path& target, std::uint64_t size, bool sync);
  void HandOver();
  void Abandon();
  [[noreturn]] void Fail(int error) const;
  [[noreturn]] void FailInFolder(int error) const;

  std::string shown_;                // the target as the user knows it, for messages
  std::string shown_folder_;         // its folder, for messages about the folder
  int directory_ = -1;               // the directory the file is written in, held for the whole run
  bool directory_readable_ = false;  // an fsync of the directory needs it
  std::string name_;                 // the name the file takes there
  std::string temporary_name_;       // the name it has meanwhile, where it cannot be unnamed

  std::shared_ptr<Writer> writer_;
  std::thread writer_thread_;

  char* buffer_ = nullptr;
  char* next_ = nullptr;
  char* buffer_end_ = nullptr;
  bool committed_ = false;
};

namespace detail {
// Writes all of `data`, retrying on EINTR and short counts. Returns 0 or the errno.
int WriteAll(int fd, const char* data, std::size_t size);
// Tests turn this off to take the path of file systems that have no unnamed files (O_TMPFILE).
extern bool use_unnamed_files;
}  // namespace detail

}  // namespace grid
