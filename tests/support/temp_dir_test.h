// A GoogleTest fixture with a fresh folder for each case, and names for parameterised cases.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace testing_support {

class TempDirTest : public ::testing::Test {
 protected:
  // A folder of its own in the scratch root, its owner's alone.
  void SetUp() override {
    dir_ = NewFolder(ScratchRoot(), std::filesystem::perms::owner_all);
    ASSERT_FALSE(dir_.empty()) << "no folder of its own under " << ScratchRoot();
  }
  void TearDown() override { EXPECT_TRUE(RemoveAll(dir_)) << "left behind: " << dir_; }

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path output() const { return dir_ / "newgrid.txt"; }

  // Everything in the directory, to see that no temporary file was left behind.
  std::vector<std::string> Entries() const { return testing_support::Entries(dir_); }

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

}  // namespace testing_support
