// Replacing newgrid.txt on Linux: links, rights, owners, leftovers of killed runs and the
// refusals a user meets, each case laid out in a fresh folder with a shell script.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "file/writer.h"
#include "numbered_lines.h"
#include "support/temp_dir_test.h"
#include "system/unix/write_all.h"
#include "unix/test_files_unix.h"

namespace file {
namespace {

namespace fs = std::filesystem;
using testing_support::AsNonRootUser;
using testing_support::FileSizeLimit;
using testing_support::kNobody;
using testing_support::NumberedLines;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::WriteLines;

class LinuxFileTest : public testing_support::TempDirTest {};

// A file's access control list as getfacl writes it ("u::rw-,u:65534:rw-,g::---,m::rw-,o::---")
// and its user.* attributes, each after a blank; nothing for a file that has neither.
std::string Attributes(const fs::path& path) {
  std::string shown;
  unsigned char acl[256];
  const ssize_t size = ::lgetxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl);
  // A version word, then entries of a 16-bit tag, 16-bit permissions and a 32-bit id.
  for (ssize_t at = 4; at + 8 <= size; at += 8) {
    const int tag = acl[at] | acl[at + 1] << 8;
    const int permissions = acl[at + 2];
    const unsigned id = unsigned{acl[at + 4]} | unsigned{acl[at + 5]} << 8 |
                        unsigned{acl[at + 6]} << 16 | unsigned{acl[at + 7]} << 24;
    const char* kind = tag == 0x01 || tag == 0x02   ? "u"
                       : tag == 0x04 || tag == 0x08 ? "g"
                       : tag == 0x10                ? "m"
                                                    : "o";
    shown += std::string(at == 4 ? " acl=" : ",") + kind + ":" +
             (tag == 0x02 || tag == 0x08 ? std::to_string(id) : "") + ":" +
             (permissions & 4 ? "r" : "-") + (permissions & 2 ? "w" : "-") +
             (permissions & 1 ? "x" : "-");
  }
  char names[1024];
  const ssize_t length = ::llistxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const std::string attribute = names + at;
    if (attribute.starts_with("user.")) {
      char value[256];
      const ssize_t got = ::lgetxattr(path.c_str(), attribute.c_str(), value, sizeof value);
      shown += " " + attribute + "=" +
               std::string(value, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
  }
  return shown;
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
      // A pipe or a socket is no file to read: reading a pipe would wait for a writer.
      lines.push_back(name + " " + mode + " " + owner + " " +
                      (S_ISREG(status.st_mode) ? ReadFile(path) + Attributes(path) : "(special)"));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Whether a case needs root to lay out its folder (another user's files, attributes only root
// sets, mounts) and is run by someone else, for whom it is skipped, saying so.
bool NeedsRootHere(std::string_view name) {
  return ::geteuid() != 0 && (name.find("another_user") != std::string_view::npos ||
                              name.find("root_only") != std::string_view::npos);
}

// Runs `script` with sh in `dir`: how a case lays out its folder, as a user would in a shell.
void Shell(const fs::path& dir, const std::string& script) {
  if (script.empty()) {
    return;
  }
  const std::string command = "cd '" + dir.string() + "' && { " + script + "; }";
  ASSERT_EQ(std::system(command.c_str()), 0) << script;
}

const std::string kLongName(250, 'n');  // near the system's limit of 255 bytes for a name

// How the new file takes the old one's place: each case lays out the folder with a shell script,
// the new grid is written (by a user who is not root where `non_root`), and the folder must then
// hold `after`. Cases whose names contain "another_user" or "root_only" need root to lay out
// their folder: anyone else skips them.
struct ReplaceCase {
  const char* name;
  std::string prepare;
  std::vector<std::string> after;
  const char* target = "newgrid.txt";  // relative to the test's folder
  bool non_root = false;
  bool unnamed = true;
  const char* midway = "";  // a script run while the file is being written
  const char* error = "";   // a part of the failure the commit then raises, if any
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
  *out << c.name;
}

class ReplaceTest : public LinuxFileTest, public testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceTest, PutsTheNewGridInPlace) {
  const ReplaceCase& c = GetParam();
  if (NeedsRootHere(c.name)) {
    GTEST_SKIP() << "needs root to lay out its folder";
  }
  const mode_t umask = ::umask(022);
  Shell(dir(), c.prepare);
  if (c.non_root && ::geteuid() == 0) {
    ::chown(dir().c_str(), kNobody, kNobody);
  }
  const auto write = [&]() -> std::string {
    try {
      Writer file(dir() / c.target, 3, {.unnamed = c.unnamed});
      file.Append("new");
      Shell(dir(), c.midway);
      file.Commit();
      return "";
    } catch (const Failure& error) {
      return error.what();
    }
  };
  const std::string error = c.non_root ? AsNonRootUser(write) : write();
  ::umask(umask);
  if (*c.error) {
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  } else {
    EXPECT_EQ(error, "");
  }
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

// One line a case.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTest,
    testing::Values(
        ReplaceCase{"new_file_as_the_umask_says", "", {"newgrid.txt 644 me new"}},
        ReplaceCase{"permission_bits_but_never_set_id", "printf old >newgrid.txt; chmod 7751 newgrid.txt", {"newgrid.txt 751 me new"}},
        ReplaceCase{"owner_and_group_kept_root_only", "printf old >newgrid.txt; chmod 640 newgrid.txt; chown 65534:65534 newgrid.txt", {"newgrid.txt 640 65534 new"}},
        // The group's bits were the old group's; a group this user cannot give keeps none.
        ReplaceCase{"group_that_cannot_be_kept_keeps_no_rights_root_only", "printf old >newgrid.txt; chmod 666 newgrid.txt; chown :0 newgrid.txt", {"newgrid.txt 606 me new"}, "newgrid.txt", true},
        ReplaceCase{"group_that_cannot_be_kept_keeps_no_rights_in_the_acl_root_only", "printf old >newgrid.txt; chmod 660 newgrid.txt; chown 65534:0 newgrid.txt; setfacl -m u:1:r newgrid.txt", {"newgrid.txt 640 me new acl=u::rw-,u:1:r--,g::---,m::r--,o::---"}, "newgrid.txt", true},
        // The new owner had only the others' rights on the old file, and gets no more; the old
        // group's members, who had none, become others, who so get none either.
        ReplaceCase{"owner_that_cannot_be_kept_gives_the_new_one_no_right_root_only", "printf old >newgrid.txt; chmod 706 newgrid.txt; chown 1:1 newgrid.txt", {"newgrid.txt 600 me new"}, "newgrid.txt", true},
        // What the access list gave this user, the new owner keeps: it can open what it leaves.
        ReplaceCase{"owner_that_cannot_be_kept_keeps_what_the_acl_gave_root_only", "printf old >newgrid.txt; chmod 600 newgrid.txt; chown 1:1 newgrid.txt; setfacl -m u:65534:rw newgrid.txt", {"newgrid.txt 660 me new acl=u::rw-,u:65534:rw-,g::---,m::rw-,o::---"}, "newgrid.txt", true},
        // Until it takes the name, the hidden file is root's, whose next run removes it if killed.
        ReplaceCase{"owner_given_only_at_the_commit_root_only", "printf old >newgrid.txt; chown 65534:65534 newgrid.txt", {"newgrid.txt 644 65534 new"}, "newgrid.txt", false, false, "test \"$(stat -c %u .tessaplan-*)\" = 0"},
        ReplaceCase{"acl_and_attributes_kept", "printf old >newgrid.txt; chmod 600 newgrid.txt; setfacl -m u:65534:rw,g::-,m::rw newgrid.txt; setfattr -n user.survey -v north newgrid.txt", {"newgrid.txt 660 me new acl=u::rw-,u:65534:rw-,g::---,m::rw-,o::--- user.survey=north"}},
        ReplaceCase{"folder_default_acl_not_added", "setfacl -d -m u:65534:rwx .; printf old >newgrid.txt; setfacl -b newgrid.txt; chmod 640 newgrid.txt", {"newgrid.txt 640 me new"}},
        ReplaceCase{"link_kept_and_its_target_replaced", "mkdir sub; printf old >sub/target.txt; ln -s sub/target.txt newgrid.txt", {"newgrid.txt -> sub/target.txt", "sub/", "sub/target.txt 644 me new"}},
        ReplaceCase{"link_through_a_folder_link", "mkdir real; printf old >real/target.txt; ln -s real sub; ln -s sub/target.txt newgrid.txt", {"newgrid.txt -> sub/target.txt", "real/", "real/target.txt 644 me new", "sub -> real"}},
        ReplaceCase{"link_to_a_name_near_the_limit", "printf old >" + kLongName + "; ln -s " + kLongName + " newgrid.txt", {"newgrid.txt -> " + kLongName, kLongName + " 644 me new"}},
        ReplaceCase{"hard_link_keeps_the_old_grid", "printf old >newgrid.txt; ln newgrid.txt other.txt", {"newgrid.txt 644 me new", "other.txt 644 me old"}},
        ReplaceCase{"dangling_link_creates_its_target", "ln -s made.txt newgrid.txt", {"made.txt 644 me new", "newgrid.txt -> made.txt"}},
        ReplaceCase{"own_link_in_a_sticky_folder", "chmod 1777 .; printf old >target.txt; ln -s target.txt newgrid.txt", {"newgrid.txt -> target.txt", "target.txt 644 me new"}},
        // In a sticky folder its owner may replace another user's file.
        ReplaceCase{"folder_owner_replaces_another_users_file_in_a_sticky_folder_root_only", "mkdir -m 1777 tmp; chown 65534 tmp; printf old >tmp/newgrid.txt; chmod 666 tmp/newgrid.txt", {"tmp/", "tmp/newgrid.txt 606 me new"}, "tmp/newgrid.txt", true},
        // The folder's owner may own the links in it, as the system's own rule allows.
        ReplaceCase{"folder_owners_link_in_a_sticky_folder_root_only", "mkdir -m 1777 tmp; chown 1 tmp; printf old >tmp/target.txt; chmod 666 tmp/target.txt; chown 65534:65534 tmp/target.txt; ln -s target.txt tmp/newgrid.txt; chown -h 1 tmp/newgrid.txt", {"tmp/", "tmp/newgrid.txt -> target.txt", "tmp/target.txt 666 me new"}, "tmp/newgrid.txt", true},
        ReplaceCase{"folder_writable_but_not_readable", "mkdir -m 333 wx; chown 65534:65534 wx 2>/dev/null || true", {"wx/", "wx/newgrid.txt 644 me new"}, "wx/newgrid.txt", true},
        // Only the file may be written: the grid goes into it, as nothing else can take it.
        ReplaceCase{"writable_file_in_a_read_only_folder", "mkdir ro; printf 'a longer old grid' >ro/newgrid.txt; chmod 666 ro/newgrid.txt; chmod 555 ro", {"ro/", "ro/newgrid.txt 666 me new"}, "ro/newgrid.txt", true},
        ReplaceCase{"folder_renamed_midway", "mkdir sub", {"moved/", "moved/newgrid.txt 644 me new"}, "sub/newgrid.txt", false, true, "mv sub moved"},
        // The commit takes what has the name then: rights changed since the start narrow the
        // new file's, never widen them; a link or a pipe swapped in, or a removal, is left as it is.
        // Links are refused only in sticky folders anyone may write; the sticky rule for files
        // does not bind root.
        ReplaceCase{"link_of_another_user_in_a_sticky_folder_not_all_may_write_root_only", "mkdir -m 1775 st; chown 2 st; printf old >st/target.txt; ln -s target.txt st/newgrid.txt; chown -h 1 st/newgrid.txt", {"st/", "st/newgrid.txt -> target.txt", "st/target.txt 644 me new"}, "st/newgrid.txt"},
        ReplaceCase{"root_replaces_another_users_file_in_a_sticky_folder_root_only", "mkdir -m 1777 tmp; chown 2 tmp; printf old >tmp/newgrid.txt; chown 1 tmp/newgrid.txt", {"tmp/", "tmp/newgrid.txt 644 1 new"}, "tmp/newgrid.txt"},
        ReplaceCase{"narrowed_midway_by_chmod", "printf old >newgrid.txt", {"newgrid.txt 600 me new"}, "newgrid.txt", false, true, "chmod 600 newgrid.txt"},
        ReplaceCase{"widened_midway_by_chmod", "printf old >newgrid.txt; chmod 600 newgrid.txt", {"newgrid.txt 600 me new"}, "newgrid.txt", false, true, "chmod 666 newgrid.txt"},
        ReplaceCase{"narrowed_midway_by_setfacl", "printf old >newgrid.txt; chmod 640 newgrid.txt; setfacl -m u:1:r newgrid.txt", {"newgrid.txt 640 me new acl=u::rw-,g::r--,m::r--,o::---"}, "newgrid.txt", false, true, "setfacl -x u:1 newgrid.txt"},
        ReplaceCase{"widened_midway_by_setfacl", "printf old >newgrid.txt; chmod 640 newgrid.txt", {"newgrid.txt 640 me new acl=u::rw-,u:1:---,g::r--,m::r--,o::---"}, "newgrid.txt", false, true, "setfacl -m u:1:rw newgrid.txt"},
        ReplaceCase{"another_run_committed_first", "printf old >newgrid.txt", {"newgrid.txt 600 me new"}, "newgrid.txt", false, true, "printf other >x; chmod 600 x; mv x newgrid.txt"},
        ReplaceCase{"made_midway", "", {"newgrid.txt 640 me new"}, "newgrid.txt", false, false, "printf other >x; chmod 640 x; mv x newgrid.txt"},
        ReplaceCase{"link_swapped_in_midway", "printf old >newgrid.txt; printf t >t.txt", {"newgrid.txt -> t.txt", "t.txt 644 me t"}, "newgrid.txt", false, true, "rm newgrid.txt; ln -s t.txt newgrid.txt", "replaced by a link during the run; the link is left as it is"},
        ReplaceCase{"pipe_swapped_in_midway", "printf old >newgrid.txt", {"newgrid.txt 644 me (special)"}, "newgrid.txt", false, true, "rm newgrid.txt; mkfifo newgrid.txt", "not a regular file, left as it is"},
        ReplaceCase{"removed_midway", "printf old >newgrid.txt", {}, "newgrid.txt", false, false, "rm newgrid.txt", "removed by another program during the run"},
        ReplaceCase{"named_temporary_in_a_folder_renamed_midway", "mkdir sub; printf old >sub/newgrid.txt", {"moved/", "moved/newgrid.txt 644 me new"}, "sub/newgrid.txt", false, false, "mv sub moved"},
        ReplaceCase{"named_temporary_keeps_the_old_files_mode_while_written", "printf old >newgrid.txt; chmod 600 newgrid.txt", {"newgrid.txt 600 me new"}, "newgrid.txt", false, false, "test \"$(stat -c %a .tessaplan-*)\" = 600"},
        // Hidden files of killed runs go; anything that is not certainly one stays.
        ReplaceCase{"leftovers_of_killed_runs_removed", "printf 1 >.tessaplan-abcd1234; printf 2 >.tessaplan-0000zzzz; : >.tessaplan-0000zzzz---", {"newgrid.txt 644 me new"}},
        ReplaceCase{"files_not_certainly_leftovers_kept", "printf 1 >.tessaplan-ABCD1234; printf 2 >.tessaplan-abcd123; printf 3 >.tessaplan-abcd12345; printf 4 >.tessaplan-abcd1234-x; ln -s newgrid.txt .tessaplan-link0000; mkdir .tessaplan-dir00000", {".tessaplan-ABCD1234 644 me 1", ".tessaplan-abcd123 644 me 2", ".tessaplan-abcd1234-x 644 me 4", ".tessaplan-abcd12345 644 me 3", ".tessaplan-dir00000/", ".tessaplan-link0000 -> newgrid.txt", "newgrid.txt 644 me new"}},
        ReplaceCase{"leftover_of_another_user_kept", "printf 1 >.tessaplan-abcd1234; chown 1 .tessaplan-abcd1234", {".tessaplan-abcd1234 644 1 1", "newgrid.txt 644 me new"}}),
    testing_support::CaseName());
// clang-format on

// A new file only (a database's): its space claimed while its size stays 0, written where it
// chooses, and given back past its end at the commit, which takes only a free name; with and
// without unnamed files. A file that took the name meanwhile is left as it is, and nothing else.
TEST_F(LinuxFileTest, ANewFileOnlyTakesAFreeName) {
  for (const bool unnamed : {true, false}) {
    for (const bool taken : {false, true}) {
      SCOPED_TRACE(std::string(unnamed ? "unnamed" : "hidden") + (taken ? ", taken" : ""));
      fs::remove(output());
      Replacement file(
          output(), 4 << 20,
          {.no_replace = true, .keep_size = true, .unnamed = unnamed, .what = "database"});
      std::uint64_t size = 1;
      ASSERT_FALSE(file.file()->Size(size));
      EXPECT_EQ(size, 0u);
      ASSERT_FALSE(file.file()->WriteAt(5, "page", 4));
      ASSERT_FALSE(file.file()->WriteAt(0, "first", 5));
      char back[9] = {};
      std::size_t got = 0;
      ASSERT_FALSE(file.file()->ReadAt(0, back, sizeof back, got));
      EXPECT_EQ(std::string(back, got), "firstpage");
      if (taken) {
        WriteFile(output(), "someone else's");
        EXPECT_THROW(
            {
              try {
                file.Commit();
              } catch (const Failure& failure) {
                EXPECT_NE(std::string(failure.what())
                              .find("another program made a file of this "
                                    "name during the run"),
                          std::string::npos);
                throw;
              }
            },
            Failure);
        file.Abandon();
        EXPECT_EQ(ReadFile(output()), "someone else's");
      } else {
        file.Commit();
        struct stat status {};
        ASSERT_EQ(::stat(output().c_str(), &status), 0);
        EXPECT_EQ(ReadFile(output()), "firstpage");
        EXPECT_LT(status.st_blocks * 512, 1 << 20);  // the claim past the end given back
      }
      EXPECT_EQ(Snapshot(dir()).size(), 1u);  // nothing hidden beside it
    }
  }
}

// A hidden file that a living run holds locked is that run's file, not a leftover.
TEST_F(LinuxFileTest, LeavesTheHiddenFileOfALivingRun) {
  WriteFile(dir() / ".tessaplan-abcd1234", "held");
  const int held = ::open((dir() / ".tessaplan-abcd1234").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  {
    Writer file(output(), 3, {.unnamed = false});
    file.Append("new");
    EXPECT_TRUE(file.Commit());
  }
  ::close(held);
  EXPECT_EQ(Snapshot(dir()), (std::vector<std::string>{".tessaplan-abcd1234 644 me held",
                                                       "newgrid.txt 644 me new"}));
}

// Another program swaps the links on the way while runs start: whatever moment a run meets, it
// either works or says that the path changed, never something untrue.
// A grid exactly as large as the file size limit fits it: where no space can be reserved
// (ramfs, in the file systems' run of these tables) the limit is asked, not met.
TEST_F(LinuxFileTest, AGridExactlyAtTheSizeLimitIsWritten) {
  const std::string lines = NumberedLines(100);
  {
    FileSizeLimit limit(lines.size());
    Writer file(output(), lines.size(), {.sync = false});
    WriteLines(file, lines);
    file.Commit();
  }
  EXPECT_EQ(ReadFile(output()), lines);
}

// Written in place (a writable file in a folder that takes no new one), a second run on the
// file is refused before its first byte while the first writes, and the first's grid is whole.
TEST_F(LinuxFileTest, InPlaceRunsExcludeEachOther) {
  Shell(dir(),
        "mkdir ro; printf 'old grid' >ro/newgrid.txt; chmod 666 ro/newgrid.txt; chmod 555 ro");
  if (::geteuid() == 0) {
    ::chown(dir().c_str(), kNobody, kNobody);
  }
  const fs::path target = dir() / "ro" / "newgrid.txt";
  const std::string second = AsNonRootUser([&] {
    std::string said = "not refused";
    Writer first(target, 5, {.sync = false});
    first.Append("fir");
    try {
      Writer other(target, 6, {.sync = false});
      other.Append("second");
      other.Commit();
    } catch (const Failure& error) {
      said = error.what();
    }
    first.Append("st");
    first.Commit();
    return said;
  });
  EXPECT_EQ(second,
            "another run is writing this file in place, and this run left it "
            "untouched; run again once that run has ended (" +
                target.string() + ")");
  EXPECT_EQ(ReadFile(target), "first");
}

TEST_F(LinuxFileTest, SaysSoWhenALinkChangesUnderIt) {
  Shell(dir(),
        "mkdir real; printf old >real/target.txt; ln -s real alt; ln -s sub/target.txt "
        "newgrid.txt; ln -s real/./target.txt other; mkdir sub");
  std::atomic<bool> done{false};
  std::thread swapper([&] {
    const int folder = ::open(dir().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    while (!done) {
      ::renameat2(folder, "sub", folder, "alt", RENAME_EXCHANGE);
      ::renameat2(folder, "newgrid.txt", folder, "other", RENAME_EXCHANGE);
    }
    ::close(folder);
  });
  std::map<std::string, int> outcomes;
  for (int i = 0; i < 500; ++i) {
    try {
      Writer file(output(), 3, {.sync = false});
      ++outcomes["opened"];
    } catch (const Failure& error) {
      const std::string text = error.what();
      ++outcomes[text.substr(0, text.find(" ("))];
    }
  }
  done = true;
  swapper.join();
  for (const auto& [outcome, count] : outcomes) {
    EXPECT_TRUE(outcome == "opened" ||
                outcome.find("changed by another program") != std::string::npos)
        << count << " times: " << outcome;
  }
}

// The failures a user meets: each a file failure with the system's reason or what to do, naming
// the file or, when the folder is the problem, the folder; and the folder exactly as it was.
struct FailureCase {
  const char* name;
  std::string prepare;
  const char* reason;
  const char* named;  // relative to the test's folder: what the message names
  const char* target = "newgrid.txt";
  bool non_root = false;
  std::uint64_t claimed = 10;  // the size reserved
  std::size_t written = 10;
  rlim_t size_limit = RLIM_INFINITY;
  const char* cleanup = "";
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

constexpr std::size_t kMiB = 1 << 20;

class WriterFailureTest : public LinuxFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(WriterFailureTest, RaisesAFileErrorAndChangesNothing) {
  const FailureCase& c = GetParam();
  if (NeedsRootHere(c.name)) {
    GTEST_SKIP() << "needs root to lay out its folder";
  }
  Shell(dir(), c.prepare);
  if (c.non_root && ::geteuid() == 0) {
    ::chown(dir().c_str(), kNobody, kNobody);
  }
  const std::vector<std::string> before = Snapshot(dir());
  std::size_t handed_over = 0;
  bool committing = false;
  const auto write = [&]() -> std::string {
    try {
      FileSizeLimit limit(c.size_limit);
      Writer file(dir() / c.target, c.claimed, {.sync = false, .what = "grid"});
      const std::string lines = NumberedLines(static_cast<int>(c.written / 33));
      handed_over = lines.size();
      WriteLines(file, lines);
      committing = true;
      file.Commit();
      return "no error";
    } catch (const Failure& error) {
      return (error.kind() == Failure::Kind::file ? "file: " : "system: ") +
             std::string(error.what());
    }
  };
  const std::string error = c.non_root ? AsNonRootUser(write) : write();
  const std::vector<std::string> after = Snapshot(dir());
  Shell(dir(), c.cleanup);
  EXPECT_TRUE(error.starts_with("file: ")) << error;
  EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  const std::string named = (dir() / c.named).string();
  EXPECT_TRUE(error.ends_with(" (" + named + ")") || error.ends_with(" (the folder " + named + ")"))
      << error;
  EXPECT_EQ(after, before);
  // A refusal that the start can know comes before the first byte, and a failed write stops
  // the writing within two buffers, not at the end.
  if (c.size_limit == RLIM_INFINITY) {
    EXPECT_EQ(handed_over, 0u) << "refused only after the grid was written";
  } else if (c.written >= c.size_limit + 3 * kMiB && !c.non_root) {
    EXPECT_FALSE(committing) << "a failed write reported only at the end";
  }
}

constexpr const char* kOldGrid = "printf old >newgrid.txt";

// One line a case.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Failures, WriterFailureTest,
    testing::Values(
        FailureCase{"missing_folder", "", "No such file or directory", "none", "none/newgrid.txt"},
        FailureCase{"folder_in_the_way", "mkdir newgrid.txt", "Is a directory", "newgrid.txt"},
        FailureCase{"the_root_folder_named", "", "Is a directory", "/", "/"},
        // Said for what it is, with no advice to remove what the program did not make.
        FailureCase{"pipe_under_the_name", "mkfifo newgrid.txt", "not a regular file but a pipe (FIFO); run in another folder", "newgrid.txt"},
        FailureCase{"socket_under_the_name", "python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"newgrid.txt\")'", "not a regular file but a socket; run in another folder", "newgrid.txt"},
        FailureCase{"device_behind_a_link", "ln -s /dev/null newgrid.txt", "not a regular file but a device; run in another folder", "/dev/null"},
        FailureCase{"reserve_beyond_the_size_limit", kOldGrid, "File too large: the grid needs 5.0 kB", "newgrid.txt", "newgrid.txt", false, 5000, 5000, 1000},
        // The writer thread's failure must reach the caller, and the old file stay.
        FailureCase{"write_midway_beyond_the_size_limit", kOldGrid, "File too large", "newgrid.txt", "newgrid.txt", false, 100, 8 * kMiB, 3 * kMiB},
        // The last buffer is written in Commit: the rename must wait for it.
        FailureCase{"last_write_beyond_the_size_limit", kOldGrid, "File too large", "newgrid.txt", "newgrid.txt", false, 100, 2 * kMiB + kMiB / 2, 2 * kMiB + kMiB / 5},
        FailureCase{"read_only_file", "printf old >newgrid.txt; chmod 444 newgrid.txt", "Permission denied", "newgrid.txt", "newgrid.txt", true},
        FailureCase{"file_of_another_user", "printf old >newgrid.txt; chmod 777 .", "Permission denied", "newgrid.txt", "newgrid.txt", true},
        FailureCase{"read_only_folder", "mkdir -m 555 ro", "Permission denied", "ro", "ro/newgrid.txt", true},
        FailureCase{"another_users_file_in_a_sticky_folder_root_only", "mkdir -m 1777 tmp; printf old >tmp/newgrid.txt; chmod 666 tmp/newgrid.txt; chown 1 tmp/newgrid.txt", "the file belongs to another user, and in this folder (sticky, such as /tmp) only its owner may replace it; run in another folder", "tmp/newgrid.txt", "tmp/newgrid.txt", true},
        FailureCase{"link_of_another_user_in_a_sticky_folder", "chmod 1777 .; printf old >target.txt; ln -s target.txt newgrid.txt; chown -h 1 newgrid.txt", "not followed: a link that another user owns", "newgrid.txt"},
        // Every link on the way counts, folder links too.
        FailureCase{"folder_link_of_another_user_in_a_sticky_folder", "chmod 1777 .; mkdir real; printf old >real/target.txt; ln -s real evil; chown -h 1 evil; ln -s evil/target.txt newgrid.txt", "not followed: a link that another user owns", "evil"},
        // Behind a link, the message names the folder where the problem is.
        FailureCase{"missing_folder_behind_a_link", "mkdir real; ln -s real/none/target.txt newgrid.txt", "No such file or directory", "real/none"},
        FailureCase{"read_only_folder_behind_a_link", "mkdir -m 555 ro; ln -s ro/target.txt newgrid.txt", "Permission denied", "ro", "newgrid.txt", true},
        // Written in place, a refusal before the first byte leaves the old grid whole.
        FailureCase{"writable_file_in_a_read_only_folder_beyond_the_size_limit", "mkdir ro; printf 'old grid' >ro/newgrid.txt; chmod 666 ro/newgrid.txt; chmod 555 ro", "File too large: the grid needs 5.0 kB", "ro/newgrid.txt", "ro/newgrid.txt", true, 5000, 5000, 1000},
        FailureCase{"link_loop", "ln -s newgrid.txt newgrid.txt", "Too many levels of symbolic links", "newgrid.txt"},
        // The system refuses these only when the grid is renamed into place: asked at the start.
        FailureCase{"append_only_file_root_only", "printf old >newgrid.txt; chattr +a newgrid.txt", "append-only", "newgrid.txt", "newgrid.txt", false, 10, 10, RLIM_INFINITY, "chattr -a newgrid.txt"},
        FailureCase{"append_only_folder_root_only", "mkdir log; chattr +a log", "the folder is append-only", "log", "log/newgrid.txt", false, 10, 10, RLIM_INFINITY, "chattr -a log"},
        FailureCase{"immutable_folder_root_only", "mkdir frozen; chattr +i frozen", "the folder is immutable", "frozen", "frozen/newgrid.txt", false, 10, 10, RLIM_INFINITY, "chattr -i frozen"},
        FailureCase{"writable_file_of_another_user_in_a_sticky_folder", "mkdir -m 1777 tmp; printf old >tmp/newgrid.txt; chmod 666 tmp/newgrid.txt", "only its owner may replace it", "tmp/newgrid.txt", "tmp/newgrid.txt", true},
        FailureCase{"mount_point_root_only", "printf old >newgrid.txt; printf other >other.txt; mount --bind other.txt newgrid.txt", "mounted over this name", "newgrid.txt", "newgrid.txt", false, 10, 10, RLIM_INFINITY, "umount newgrid.txt"},
        // A folder's name cannot act on the terminal or box that shows it.
        FailureCase{"folder_name_escaped", "mkdir \"$(printf 'a\\033]0;x\\007\\342\\200\\256b')\"", "No such file or directory", "a\\x1B]0;x\\x07\\u202Eb/none", "a\033]0;x\007\u202eb/none/newgrid.txt"}),
    testing_support::CaseName());
// clang-format on

}  // namespace
}  // namespace file
