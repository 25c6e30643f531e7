#include "file/writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numbered_lines.h"
#include "support/temp_dir_test.h"

namespace file {
namespace {

using testing_support::NumberedLines;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::WriteLines;

class WriterTest : public testing_support::TempDirTest {};

TEST_F(WriterTest, KeepsEveryByteAcrossBufferBoundaries) {
  const std::string body = NumberedLines(200'000);  // several buffers
  Writer file(output(), 8 + body.size(), {.sync = false});
  file.Append("header\r\n");
  WriteLines(file, body);
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(output()), "header\r\n" + body);
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

TEST_F(WriterTest, AppendsTextLongerThanABuffer) {
  const std::string text(3'500'000, 'x');
  Writer file(output(), text.size(), {});
  file.Append(text);
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(output()), text);
}

// Until Commit nothing is seen of the new file where unnamed files exist, and only a hidden
// temporary where they do not; without Commit, or when Commit is told to stop, nothing is left.
TEST_F(WriterTest, LeavesTheOldFileUntilCommitAndNothingWithoutIt) {
  WriteFile(output(), "old grid");
  for (const bool unnamed : {true, false}) {
    {
      Writer file(output(), 9, {.sync = false, .unnamed = unnamed});
      file.Append("new grid!");
      EXPECT_EQ(ReadFile(output()), "old grid");
      // Windows has no unnamed files: the new one is hidden, and deleted when its handle closes.
      EXPECT_EQ(Entries().size(), unnamed && !testing_support::kOnWindows ? 1u : 2u);
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
    EXPECT_EQ(ReadFile(output()), "old grid");
    {
      Writer file(output(), 9, {.unnamed = unnamed}, [] { return false; });
      file.Append("new grid!");
      EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
    EXPECT_EQ(ReadFile(output()), "old grid");
  }
}

}  // namespace
}  // namespace file
