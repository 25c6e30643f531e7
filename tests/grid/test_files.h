// A fresh directory for each test, and whole-file reads.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace grid::testing_support {

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tessaplan-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << pattern;
    dir_ = pattern;
  }
  void TearDown() override {
    // Folders a case made read-only are opened again first, so that everything can go.
    std::error_code ignored;
    const auto open_up = [&](const std::filesystem::path& folder) {
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    };
    open_up(dir_);
    for (auto it = std::filesystem::recursive_directory_iterator(dir_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        open_up(it->path());
      }
    }
    std::filesystem::remove_all(dir_, ignored);
    EXPECT_FALSE(std::filesystem::exists(dir_)) << "left behind: " << dir_;
  }

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path output() const { return dir_ / "newgrid.txt"; }

  // Everything in the directory, to see that no temporary file was left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path dir_;
};

// Names each case of a parameterised test by its `name` field.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& test_case) const {
    std::string name = test_case.param.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
  }
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

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

}  // namespace grid::testing_support
