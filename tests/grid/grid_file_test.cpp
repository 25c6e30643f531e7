#include "grid/grid_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "grid/run_error.h"
#include "test_files.h"

namespace grid {
namespace {

using testing_support::FileSizeLimit;
using testing_support::ReadFile;
using testing_support::WriteFile;

class GridFileTest : public testing_support::TempDirTest {};

// Lines of every length from 1 to kLineRoom, numbered so that a lost or repeated one shows.
std::string NumberedLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = std::to_string(i) + ",";
    line.resize(static_cast<std::size_t>(i) % GridFile::kLineRoom + 1, '-');
    text += line;
  }
  return text;
}

// Writes `text` through LineStart and LineEnd, the way the grid's lines are written.
void WriteLines(GridFile& file, const std::string& text) {
  for (std::size_t pos = 0, i = 0; pos < text.size(); ++i) {
    const std::size_t size = std::min(i % GridFile::kLineRoom + 1, text.size() - pos);
    char* start = file.LineStart();
    std::copy_n(text.data() + pos, size, start);
    file.LineEnd(start + size);
    pos += size;
  }
}

TEST_F(GridFileTest, KeepsEveryByteAcrossBufferBoundaries) {
  const std::string body = NumberedLines(200'000);  // several buffers
  GridFile file(output(), 8 + body.size(), false);
  file.Append("header\r\n");
  WriteLines(file, body);
  file.Commit();
  EXPECT_EQ(ReadFile(output()), "header\r\n" + body);
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

TEST_F(GridFileTest, AppendsTextLongerThanABuffer) {
  const std::string text(3'500'000, 'x');
  GridFile file(output(), text.size(), true);
  file.Append(text);
  file.Commit();
  EXPECT_EQ(ReadFile(output()), text);
}

TEST_F(GridFileTest, LeavesTheOldFileUntilCommitAndRemovesTheTemporaryWithoutIt) {
  WriteFile(output(), "old grid");
  {
    GridFile file(output(), 9, false);
    file.Append("new grid!");
    EXPECT_EQ(ReadFile(output()), "old grid");
    EXPECT_EQ(Entries().size(), 2u);  // the old file and the temporary one
  }
  EXPECT_EQ(ReadFile(output()), "old grid");
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

TEST_F(GridFileTest, NewFileGetsTheModeTheUmaskGives) {
  const mode_t previous = ::umask(022);
  GridFile file(output(), 1, false);
  file.Append("x");
  file.Commit();
  ::umask(previous);
  struct stat status {};
  ASSERT_EQ(::stat(output().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
}

TEST_F(GridFileTest, ReplacedFileKeepsItsMode) {
  WriteFile(output(), "old");
  ASSERT_EQ(::chmod(output().c_str(), 0640), 0);
  GridFile file(output(), 1, false);
  file.Append("x");
  file.Commit();
  struct stat status {};
  ASSERT_EQ(::stat(output().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// The failures a user meets, each a File error that names the file and the system's reason.
struct FailureCase {
  const char* name;
  const char* reason;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class GridFileFailureTest : public GridFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(GridFileFailureTest, RaisesAFileErrorAndLeavesNothing) {
  const std::string which = GetParam().name;
  std::filesystem::path target = output();
  if (which == "missing directory") {
    target = dir() / "no such folder" / "newgrid.txt";
  } else if (which == "directory in the way") {
    std::filesystem::create_directory(output());
  }
  try {
    FileSizeLimit limit(which == "too large" ? 1000 : RLIM_INFINITY);
    GridFile file(target, 5000, false);
    file.Append(std::string(5000, 'x'));
    file.Commit();
    FAIL() << "no error";
  } catch (const RunError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::file);
    EXPECT_EQ(error.number(), 5);
    EXPECT_TRUE(error.description().starts_with("File error: ")) << error.description();
    EXPECT_NE(error.description().find(GetParam().reason), std::string::npos)
        << error.description();
    EXPECT_NE(error.description().find(target.string()), std::string::npos) << error.description();
  }
  std::vector<std::string> expected;
  if (which == "directory in the way") {
    expected.push_back("newgrid.txt");
  }
  EXPECT_EQ(Entries(), expected);
}

INSTANTIATE_TEST_SUITE_P(Failures, GridFileFailureTest,
                         testing::Values(FailureCase{"missing directory",
                                                     "No such file or directory"},
                                         FailureCase{"directory in the way", "Is a directory"},
                                         FailureCase{"too large", "File too large"}),
                         testing_support::CaseName());

// A file that grows past what the file system takes while being written: the error comes from
// the writer thread and must still reach the caller, and the old file stay.
TEST_F(GridFileTest, WriteFailureMidwayReachesTheCaller) {
  WriteFile(output(), "old grid");
  FileSizeLimit limit(3'000'000);
  try {
    GridFile file(output(), 100, false);  // claims less than it will write
    WriteLines(file, NumberedLines(400'000));
    file.Commit();
    FAIL() << "no error";
  } catch (const RunError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::file);
    EXPECT_NE(error.description().find("File too large"), std::string::npos) << error.description();
  }
  EXPECT_EQ(ReadFile(output()), "old grid");
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

TEST(WriteAll, ReportsTheSystemsReason) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const std::string data(10, 'x');
  EXPECT_EQ(detail::WriteAll(full, data.data(), data.size()), ENOSPC);
  ::close(full);

  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  EXPECT_EQ(detail::WriteAll(pipe_ends[1], data.data(), data.size()), 0);
  char read_back[10];
  EXPECT_EQ(::read(pipe_ends[0], read_back, sizeof read_back), 10);
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
}

}  // namespace
}  // namespace grid
