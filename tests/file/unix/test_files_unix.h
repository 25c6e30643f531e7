// What only Linux can make for a test: a file size limit, and a user who is not root.
#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

namespace testing_support {

// Caps the size of any file this process writes, as a full file system would. Running as root
// does not lift it, unlike permissions. Restores the limit on destruction.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

// The user that permission cases run as: whoever runs the suite, or nobody when that is root,
// for whom no permission holds.
inline constexpr uid_t kNobody = 65534;

// Runs `work` as a user who is not root, in a child process when the suite runs as root, and
// returns what it returns.
inline std::string AsNonRootUser(const std::function<std::string()>& work) {
  if (::geteuid() != 0) {
    return work();
  }
  int ends[2];
  if (::pipe(ends) != 0) {
    return "no pipe";
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    std::string result = "could not become nobody";
    if (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
        ::setresuid(kNobody, kNobody, kNobody) == 0) {
      result = work();
    }
    const ssize_t ignored = ::write(ends[1], result.data(), result.size());
    static_cast<void>(ignored);
    ::_exit(0);
  }
  ::close(ends[1]);
  std::string result;
  char chunk[256];
  for (ssize_t got; (got = ::read(ends[0], chunk, sizeof chunk)) > 0;) {
    result.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

}  // namespace testing_support
