#include "system/unix/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace sys {

int WriteAll(int fd, const char* data, std::size_t size, std::int64_t at) {
  while (size > 0) {
    const ssize_t written = at < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, at);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    if (written == 0) {
      return EIO;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    at += at < 0 ? 0 : written;
  }
  return 0;
}

int ReadAt(int fd, char* data, std::size_t size, std::uint64_t at, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t read = ::pread(fd, data + got, size - got, static_cast<off_t>(at + got));
    if (read < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    if (read == 0) {
      break;  // the file's end
    }
    got += static_cast<std::size_t>(read);
  }
  return 0;
}

}  // namespace sys
