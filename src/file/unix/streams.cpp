#include "file/streams.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "file/unix/system_state.h"
#include "system/unix/write_all.h"

namespace file {
namespace {

using detail::Fd;
using detail::Reason;
using detail::RetryOnInterrupt;

// Writes into a descriptor as it was opened: where it stands, or at the end for one opened to
// append. `owned` is closed at the end; standard output is not.
class StreamFile final : public NewFile {
 public:
  StreamFile(int fd, Fd owned, bool sync) : fd_(fd), owned_(std::move(owned)), sync_(sync) {}

  std::error_code Write(const char* data, std::size_t size) override {
    if (const int error = sys::WriteAll(fd_, data, size)) {
      return detail::Error(error);
    }
    done_ += size;
    return {};
  }

  // A pipe or a terminal has no disk to wait for.
  std::error_code Finish() override {
    struct stat status {};
    if (!sync_ || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
      return {};
    }
    if (RetryOnInterrupt([this] { return ::fsync(fd_); }) != 0) {
      return detail::Error(errno);
    }
    return {};
  }

  std::uint64_t BytesDone() const override { return done_; }

 private:
  int fd_;
  Fd owned_;
  bool sync_;
  std::atomic<std::uint64_t> done_{0};
};

Stream StreamOf(int fd, Fd owned, bool sync, std::string shown) {
  const bool terminal = ::isatty(fd) != 0;
  return {std::make_shared<StreamFile>(fd, std::move(owned), sync), std::move(shown), terminal};
}

std::string DescriptorName(int number) {
  return number == STDOUT_FILENO   ? "standard output"
         : number == STDERR_FILENO ? "standard error"
         : number == STDIN_FILENO  ? "standard input"
                                   : "descriptor " + std::to_string(number);
}

// One of this process's descriptors, named by /dev/stdout or its like: written where it stands,
// as the shell opened it (">>" appends), never replaced.
Stream OwnDescriptor(int number, bool sync, std::string_view instead) {
  const std::string shown = DescriptorName(number);
  const int flags = ::fcntl(number, F_GETFL);
  if (flags < 0) {
    file::FailOnFile("not open", shown);
  }
  if ((flags & O_PATH) || (flags & O_ACCMODE) == O_RDONLY) {
    file::FailOnFile("open for reading only; open it for writing, or " + std::string(instead),
                     shown);
  }
  Fd copy(::fcntl(number, F_DUPFD_CLOEXEC, 3));
  if (!copy.valid()) {
    file::FailOnFile(Reason(errno), shown);
  }
  const int fd = copy.get();
  return StreamOf(fd, std::move(copy), sync, shown);
}

// A listening socket's path takes a connection, not an open.
Fd Connect(int directory, const std::string& name) {
  Fd socket_file(::openat(directory, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  Fd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_file.valid() || !connection.valid()) {
    return {};
  }
  // The socket by its descriptor's /proc path: no path of any length, and no link, between.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d", socket_file.get());
  if (RetryOnInterrupt([&] {
        return ::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address),
                         sizeof address);
      }) != 0) {
    return {};
  }
  return connection;
}

// A pipe, a terminal, a socket or a device reached by its path: opened as the shell's ">" opens
// it, but never created or truncated.
Stream ByPath(const detail::SystemState& found, bool sync, std::string_view instead) {
  const mode_t type = found.existing.st_mode & S_IFMT;
  if (type == S_IFBLK) {
    file::FailOnFile(
        "a disk device, which holds a file system, not a file; " + std::string(instead),
        found.shown);
  }
  Fd stream;
  if (type == S_IFSOCK) {
    stream = Connect(found.directory.get(), found.name);
  } else {
    // Not waiting: a pipe no program reads would hold the run here with no way to say why.
    stream = Fd(::openat(found.directory.get(), found.name.c_str(),
                         O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!stream.valid()) {
    if (type == S_IFIFO && errno == ENXIO) {
      file::FailOnFile(
          "a pipe (FIFO) that no program reads; start its reader first, or " + std::string(instead),
          found.shown);
    }
    file::FailOnFile(Reason(errno), found.shown);
  }
  struct stat opened {};
  if (::fstat(stream.get(), &opened) != 0 ||
      (type != S_IFSOCK && !detail::SameFile(opened, found.existing))) {
    file::FailOnFile("changed by another program while tessaplan was opening it; run again",
                     found.shown);
  }
  const int flags = ::fcntl(stream.get(), F_GETFL);
  if (flags >= 0) {
    ::fcntl(stream.get(), F_SETFL, flags & ~O_NONBLOCK);
  }
  const int fd = stream.get();
  return StreamOf(fd, std::move(stream), sync, found.shown);
}

}  // namespace

Stream StandardOutput(bool sync) {
  return StreamOf(STDOUT_FILENO, Fd(), sync, "standard output");
}

Stream OpenStream(const std::filesystem::path& path, bool sync, std::string_view instead) {
  detail::SystemState found;
  found.streams = true;
  found.Find(path);
  if (found.own_descriptor >= 0) {
    return OwnDescriptor(found.own_descriptor, sync, instead);
  }
  if (!found.exists) {
    if (detail::IsOwnDescriptorFolder(found.directory.get())) {
      file::FailOnFile("not an open descriptor of this run", found.shown);
    }
    return {};
  }
  const mode_t type = found.existing.st_mode & S_IFMT;
  if (type == S_IFREG || type == S_IFDIR) {
    return {};  // a file replaced, or a folder refused, as any run does
  }
  return ByPath(found, sync, instead);
}

}  // namespace file
