// What the tests share: a fresh folder for each test under a scratch root that goes with the
// process, the current folder moved there for a while, whole-file reads and writes, and the
// header line every grid begins with. Standard library only, for GoogleTest and Qt Test alike.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <cstdio>
#endif

namespace testing_support {

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// A path as the system takes it whatever its length: on Windows full, with backslashes and the
// "\\?\" prefix, which lifts the limit of 260 characters; elsewhere as it is.
inline std::filesystem::path LongPath(const std::filesystem::path& path) {
  if (!kOnWindows || path.native().starts_with(std::filesystem::path::string_type(2, '\\'))) {
    return path;
  }
  std::filesystem::path full = std::filesystem::absolute(path);
  full.make_preferred();
  return std::filesystem::path(std::filesystem::path::string_type{'\\', '\\', '?', '\\'} +
                               full.native());
}

// A new folder under `base`, with a name no other run can have (create_directory fails on a
// name that exists) and the permissions given; empty if none could be made.
inline std::filesystem::path NewFolder(const std::filesystem::path& base,
                                       std::filesystem::perms permissions) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("tessaplan-" + std::to_string(random()) + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      std::filesystem::permissions(candidate, permissions, std::filesystem::perm_options::replace,
                                   error);
      return candidate;
    }
  }
  return {};
}

// The folder that this process's test folders go into. On Linux it is a folder of the process's
// own under the system's temporary folder (TMPDIR), and a detached helper removes it, with
// whatever is in it, once the process has ended however it ended: ctest's time limit kills with
// SIGKILL, which leaves no TearDown to run, and a case stopped midway may have been writing
// gigabytes. The helper waits for the end of a pipe whose other end only this process holds.
inline const std::filesystem::path& ScratchRoot() {
  static const std::filesystem::path root = [] {
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
#ifdef _WIN32
    return temp;
#else
    using std::filesystem::perms;
    const std::filesystem::path folder = NewFolder(
        temp, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                  perms::others_exec);  // cases run as other users reach their folders in it
    const std::filesystem::path helper =
        std::filesystem::path(__FILE__).parent_path() / "remove_when_gone.sh";
    if (folder.empty()) {
      return temp;
    }
    // popen's pipe is the one the helper waits on: this process holds its write end (not
    // inherited by what the tests start, "e"), the detached helper its read end. It is never
    // closed: its end is the process's end.
    const std::string start =
        "exec setsid -f bash '" + helper.string() + "' '" + folder.string() + "' >/dev/null 2>&1";
    if (!::popen(start.c_str(), "we")) {
      std::fprintf(stderr, "nothing will remove %s if this process is killed\n", folder.c_str());
    }
    return folder;
#endif
  }();
  return root;
}

// The header line every grid begins with.
inline constexpr std::string_view kGridHeader = "\"easting\",\"northing\",\"ID\"\r\n";

// Removes `dir` and everything in it, what a test made read-only opened again first. Whether it
// is gone.
inline bool RemoveAll(const std::filesystem::path& dir) {
  std::error_code ignored;
  const std::filesystem::path long_dir = LongPath(dir);
  const auto open_up = [&](const std::filesystem::path& path) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  };
  open_up(long_dir);
  for (auto it = std::filesystem::recursive_directory_iterator(long_dir, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored)) {
      open_up(it->path());
    }
  }
  std::filesystem::remove_all(long_dir, ignored);
  return !std::filesystem::exists(long_dir, ignored);
}

// The names in `dir`, sorted: to see that no temporary file was left behind.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs a test in a fresh folder of its own, or in a folder `name` (UTF-8) made in it, as the
// current folder; then returns to the previous one and removes it.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& name = {})
      : previous_(std::filesystem::current_path()),
        dir_(NewFolder(ScratchRoot(), std::filesystem::perms::owner_all)),
        path_(dir_) {
    if (!name.empty()) {
      path_ = dir_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
      std::filesystem::create_directory(path_);
    }
    std::filesystem::current_path(path_);
  }
  ~WorkingFolder() {
    std::filesystem::current_path(previous_);
    RemoveAll(dir_);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::vector<std::string> Entries() const { return testing_support::Entries(path_); }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
  std::filesystem::path path_;
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

}  // namespace testing_support
