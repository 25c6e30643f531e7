// A fresh directory for each test, and whole-file reads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace grid::testing_support {

class TempDirTest : public ::testing::Test {
 protected:
  // A folder of its own under the system's temporary folder (TMPDIR on Linux), made with a
  // name no other run can have: create_directory fails on a name that exists.
  void SetUp() override {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          base / ("tessaplan-" + std::to_string(random()) + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
        dir_ = candidate;
      }
    }
    ASSERT_FALSE(dir_.empty()) << "no folder of its own under " << base;
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

}  // namespace grid::testing_support
