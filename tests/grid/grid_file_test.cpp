#include "grid/grid_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "grid/run_error.h"
#include "grid/unix/write_all.h"
#include "test_files.h"

namespace grid {
namespace {

namespace fs = std::filesystem;
using testing_support::AsNonRootUser;
using testing_support::FileSizeLimit;
using testing_support::kNobody;
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

// Everything under `dir`, one line an entry: "name/" for a folder, "name -> target" for a link,
// "name MODE OWNER CONTENT" for a file, OWNER "me" when it is whoever runs the test. A folder
// that a case made unreadable is opened for its owner, so that it can be seen.
std::vector<std::string> Snapshot(const fs::path& dir) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& path = it->path();
    const std::string name = path.lexically_relative(dir).string();
    struct stat status {};
    ::lstat(path.c_str(), &status);
    if (S_ISLNK(status.st_mode)) {
      lines.push_back(name + " -> " + fs::read_symlink(path).string());
    } else if (S_ISDIR(status.st_mode)) {
      if (::access(path.c_str(), R_OK | X_OK) != 0) {
        ::chmod(path.c_str(), (status.st_mode & 07777) | S_IRWXU);
      }
      lines.push_back(name + "/");
    } else {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%o", status.st_mode & 07777);
      const std::string owner = status.st_uid == ::geteuid() ? "me" : std::to_string(status.st_uid);
      lines.push_back(name + " " + mode + " " + owner + " " + ReadFile(path));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(GridFileTest, KeepsEveryByteAcrossBufferBoundaries) {
  const std::string body = NumberedLines(200'000);  // several buffers
  GridFile file(output(), 8 + body.size(), {.sync = false});
  file.Append("header\r\n");
  WriteLines(file, body);
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(output()), "header\r\n" + body);
  EXPECT_EQ(Entries(), std::vector<std::string>{"newgrid.txt"});
}

TEST_F(GridFileTest, AppendsTextLongerThanABuffer) {
  const std::string text(3'500'000, 'x');
  GridFile file(output(), text.size(), {});
  file.Append(text);
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(output()), text);
}

// Until Commit nothing is seen of the new file where unnamed files exist, and only a hidden
// temporary where they do not; without Commit, or when Commit is told to stop, nothing is left.
TEST_F(GridFileTest, LeavesTheOldFileUntilCommitAndNothingWithoutIt) {
  WriteFile(output(), "old grid");
  for (const bool unnamed : {true, false}) {
    {
      GridFile file(output(), 9, {.sync = false, .unnamed = unnamed});
      file.Append("new grid!");
      EXPECT_EQ(ReadFile(output()), "old grid");
      EXPECT_EQ(Entries().size(), unnamed ? 1u : 2u);
    }
    EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt 644 me old grid"});
    {
      GridFile file(output(), 9, {.unnamed = unnamed}, [] { return false; });
      file.Append("new grid!");
      EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt 644 me old grid"});
  }
}

// How the new file takes the old one's place: each case prepares the folder, the new grid is
// written (by a user who is not root where `non_root`), and the folder must then hold `after`.
struct ReplaceCase {
  const char* name;
  const char* target;  // relative to the test's folder
  void (*prepare)(const fs::path& dir);
  void (*midway)(const fs::path& dir);  // done while the file is being written
  bool non_root;
  bool unnamed;
  std::vector<std::string> after;
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
  *out << c.name;
}

class ReplaceTest : public GridFileTest, public testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceTest, PutsTheNewGridInPlace) {
  const ReplaceCase& c = GetParam();
  const mode_t umask = ::umask(022);
  if (c.prepare) {
    c.prepare(dir());
  }
  if (c.non_root && ::geteuid() == 0) {
    ::chown(dir().c_str(), kNobody, kNobody);
  }
  const auto write = [&]() -> std::string {
    try {
      GridFile file(dir() / c.target, 3, {.unnamed = c.unnamed});
      file.Append("new");
      if (c.midway) {
        c.midway(dir());
      }
      file.Commit();
      return "";
    } catch (const RunError& error) {
      return error.description();
    }
  };
  const std::string error = c.non_root ? AsNonRootUser(write) : write();
  ::umask(umask);
  EXPECT_EQ(error, "");
  std::vector<std::string> after = Snapshot(dir());
  if (c.non_root && ::geteuid() == 0) {
    for (std::string& line : after) {  // written by nobody: nobody's is "me"
      if (const auto at = line.find(" 65534 "); at != std::string::npos) {
        line.replace(at, 7, " me ");
      }
    }
  }
  EXPECT_EQ(after, c.after);
}

void OldGrid(const fs::path& dir) {
  WriteFile(dir / "newgrid.txt", "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTest,
    testing::Values(ReplaceCase{"new_file_as_the_umask_says",
                                "newgrid.txt",
                                nullptr,
                                nullptr,
                                false,
                                true,
                                {"newgrid.txt 644 me new"}},
                    ReplaceCase{"permission_bits_but_never_set_id",
                                "newgrid.txt",
                                [](const fs::path& dir) {
                                  OldGrid(dir);
                                  ::chmod((dir / "newgrid.txt").c_str(), 07751);
                                },
                                nullptr,
                                false,
                                true,
                                {"newgrid.txt 751 me new"}},
                    ReplaceCase{"owner_and_group_kept",
                                "newgrid.txt",
                                [](const fs::path& dir) {
                                  OldGrid(dir);
                                  ::chmod((dir / "newgrid.txt").c_str(), 0640);
                                  ::chown((dir / "newgrid.txt").c_str(), kNobody, kNobody);
                                },
                                nullptr,
                                false,
                                true,
                                {"newgrid.txt 640 65534 new"}},
                    ReplaceCase{
                        "link_kept_and_its_target_replaced",
                        "newgrid.txt",
                        [](const fs::path& dir) {
                          fs::create_directory(dir / "sub");
                          WriteFile(dir / "sub" / "target.txt", "old");
                          fs::create_symlink("sub/target.txt", dir / "newgrid.txt");
                        },
                        nullptr,
                        false,
                        true,
                        {"newgrid.txt -> sub/target.txt", "sub/", "sub/target.txt 644 me new"}},
                    ReplaceCase{"hard_link_keeps_the_old_grid",
                                "newgrid.txt",
                                [](const fs::path& dir) {
                                  OldGrid(dir);
                                  fs::create_hard_link(dir / "newgrid.txt", dir / "other.txt");
                                },
                                nullptr,
                                false,
                                true,
                                {"newgrid.txt 644 me new", "other.txt 644 me old"}},
                    ReplaceCase{"dangling_link_creates_its_target",
                                "newgrid.txt",
                                [](const fs::path& dir) {
                                  fs::create_symlink("made.txt", dir / "newgrid.txt");
                                },
                                nullptr,
                                false,
                                true,
                                {"made.txt 644 me new", "newgrid.txt -> made.txt"}},
                    ReplaceCase{"own_link_in_a_sticky_folder",
                                "newgrid.txt",
                                [](const fs::path& dir) {
                                  ::chmod(dir.c_str(), 01777);
                                  WriteFile(dir / "target.txt", "old");
                                  fs::create_symlink("target.txt", dir / "newgrid.txt");
                                },
                                nullptr,
                                false,
                                true,
                                {"newgrid.txt -> target.txt", "target.txt 644 me new"}},
                    ReplaceCase{"folder_writable_but_not_readable",
                                "wx/newgrid.txt",
                                [](const fs::path& dir) {
                                  fs::create_directory(dir / "wx");
                                  ::chown((dir / "wx").c_str(), kNobody, kNobody);
                                  ::chmod((dir / "wx").c_str(), 0333);
                                },
                                nullptr,
                                true,
                                true,
                                {"wx/", "wx/newgrid.txt 644 me new"}},
                    ReplaceCase{"folder_renamed_midway",
                                "sub/newgrid.txt",
                                [](const fs::path& dir) { fs::create_directory(dir / "sub"); },
                                [](const fs::path& dir) { fs::rename(dir / "sub", dir / "moved"); },
                                false,
                                true,
                                {"moved/", "moved/newgrid.txt 644 me new"}},
                    ReplaceCase{"named_temporary_in_a_folder_renamed_midway",
                                "sub/newgrid.txt",
                                [](const fs::path& dir) {
                                  fs::create_directory(dir / "sub");
                                  OldGrid(dir / "sub");
                                },
                                [](const fs::path& dir) { fs::rename(dir / "sub", dir / "moved"); },
                                false,
                                false,
                                {"moved/", "moved/newgrid.txt 644 me new"}}),
    testing_support::CaseName());

// The failures a user meets: each a File error with the system's reason, naming the file or,
// when the folder is the problem, the folder; and the folder exactly as it was.
struct FailureCase {
  const char* name;
  const char* target;
  void (*prepare)(const fs::path& dir);
  bool non_root;
  std::uint64_t claimed;  // the size reserved
  std::size_t written;
  rlim_t size_limit;
  const char* reason;
  const char* named;  // relative to the test's folder: what the message names
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class GridFileFailureTest : public GridFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(GridFileFailureTest, RaisesAFileErrorAndChangesNothing) {
  const FailureCase& c = GetParam();
  if (c.prepare) {
    c.prepare(dir());
  }
  if (c.non_root && ::geteuid() == 0) {
    ::chown(dir().c_str(), kNobody, kNobody);
  }
  const std::vector<std::string> before = Snapshot(dir());
  const auto write = [&]() -> std::string {
    try {
      FileSizeLimit limit(c.size_limit);
      GridFile file(dir() / c.target, c.claimed, {.sync = false});
      WriteLines(file, NumberedLines(static_cast<int>(c.written / 33)));
      file.Commit();
      return "no error";
    } catch (const RunError& error) {
      return std::to_string(error.number()) + " " + error.description();
    }
  };
  const std::string error = c.non_root ? AsNonRootUser(write) : write();
  EXPECT_TRUE(error.starts_with("5 File error: ")) << error;
  EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  const std::string named = (dir() / c.named).string();
  EXPECT_TRUE(error.ends_with(" (" + named + ")") || error.ends_with(" (the folder " + named + ")"))
      << error;
  EXPECT_EQ(Snapshot(dir()), before);
}

constexpr std::size_t kMiB = 1 << 20;

INSTANTIATE_TEST_SUITE_P(
    Failures, GridFileFailureTest,
    testing::Values(
        FailureCase{"missing_folder", "none/newgrid.txt", nullptr, false, 10, 10, RLIM_INFINITY,
                    "No such file or directory", "none"},
        FailureCase{"folder_in_the_way", "newgrid.txt",
                    [](const fs::path& dir) { fs::create_directory(dir / "newgrid.txt"); }, false,
                    10, 10, RLIM_INFINITY, "Is a directory", "newgrid.txt"},
        FailureCase{"reserve_beyond_the_size_limit", "newgrid.txt", OldGrid, false, 5000, 5000,
                    1000, "File too large: the grid needs 5.0 kB", "newgrid.txt"},
        // The writer thread's failure must reach the caller, and the old file stay.
        FailureCase{"write_midway_beyond_the_size_limit", "newgrid.txt", OldGrid, false, 100,
                    4 * kMiB, 3 * kMiB, "File too large", "newgrid.txt"},
        // The last buffer is written in Commit: the rename must wait for it.
        FailureCase{"last_write_beyond_the_size_limit", "newgrid.txt", OldGrid, false, 100,
                    2 * kMiB + kMiB / 2, 2 * kMiB + kMiB / 5, "File too large", "newgrid.txt"},
        FailureCase{"read_only_file", "newgrid.txt",
                    [](const fs::path& dir) {
                      OldGrid(dir);
                      ::chmod((dir / "newgrid.txt").c_str(), 0444);
                      ::chown((dir / "newgrid.txt").c_str(), kNobody, kNobody);
                    },
                    true, 10, 10, RLIM_INFINITY, "Permission denied", "newgrid.txt"},
        FailureCase{"file_of_another_user", "newgrid.txt",
                    [](const fs::path& dir) {
                      OldGrid(dir);
                      ::chmod(dir.c_str(), 0777);
                    },
                    true, 10, 10, RLIM_INFINITY, "Permission denied", "newgrid.txt"},
        FailureCase{"read_only_folder", "ro/newgrid.txt",
                    [](const fs::path& dir) {
                      fs::create_directory(dir / "ro");
                      ::chmod((dir / "ro").c_str(), 0555);
                    },
                    true, 10, 10, RLIM_INFINITY, "Permission denied", "ro"},
        FailureCase{"link_of_another_user_in_a_sticky_folder", "newgrid.txt",
                    [](const fs::path& dir) {
                      ::chmod(dir.c_str(), 01777);
                      WriteFile(dir / "target.txt", "old");
                      fs::create_symlink("target.txt", dir / "newgrid.txt");
                      ::lchown((dir / "newgrid.txt").c_str(), ::geteuid() == 0 ? 1 : 0, 0);
                    },
                    false, 10, 10, RLIM_INFINITY, "not followed: a link that another user owns", "newgrid.txt"},
        FailureCase{
            "link_loop", "newgrid.txt",
            [](const fs::path& dir) { fs::create_symlink("newgrid.txt", dir / "newgrid.txt"); },
            false, 10, 10, RLIM_INFINITY, "Too many levels of symbolic links", "newgrid.txt"}),
    testing_support::CaseName());

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
