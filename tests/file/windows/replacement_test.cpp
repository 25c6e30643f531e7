// Replacing newgrid.txt on Windows: the read-only attribute, a file another program holds open
// however it shares it, folders named in UTF-16, long paths, drive and share roots, and nothing
// left by an abandoned run.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "file/windows/path.h"
#include "file/windows/system_calls.h"
#include "file/writer.h"
#include "support/temp_dir_test.h"
#include "system/windows/text.h"
#include "system/windows/write_all.h"

namespace file {
namespace {

namespace fs = std::filesystem;
using sys::Utf8;
using testing_support::ReadFile;
using testing_support::WriteFile;

// Calls `visit` with the path (relative, '/' between names) and the find data of everything
// under `folder`, folders before what they hold. Through the system's own calls and the long-path
// prefix: the standard library's directory iterator takes no paths beyond 260 characters here.
void Walk(const std::wstring& folder, const std::wstring& relative,
          const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& visit) {
  WIN32_FIND_DATAW entry{};
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    const std::wstring path = relative.empty() ? name : relative + L"/" + name;
    visit(path, entry);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Walk(folder + L"\\" + name, path, visit);
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
}

// Everything under `dir`, one line an entry: "name/" for a folder, "name CONTENT" for a file,
// with " (hidden)" after a hidden one (but for names that begin with a dot, which Wine shows as
// hidden, as Unix does), in UTF-8 with '/' between names.
std::vector<std::string> Snapshot(const fs::path& folder) {
  const std::wstring dir = testing_support::LongPath(folder).wstring();
  std::vector<std::string> lines;
  Walk(dir, L"", [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
    std::wstring native = path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    lines.push_back(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                        ? Utf8(path) + "/"
                        : Utf8(path) + " " + ReadFile(fs::path(dir + L"\\" + native)) +
                              ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) && path[0] != L'.'
                                   ? " (hidden)"
                                   : ""));
  });
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Removes everything under `dir`, however deep.
void Empty(const fs::path& folder) {
  const std::wstring dir = testing_support::LongPath(folder).wstring();
  std::vector<std::pair<std::wstring, bool>> found;
  Walk(dir, L"", [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
    std::wstring native = dir + L"\\" + path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    found.emplace_back(native, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  });
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    ::SetFileAttributesW(it->first.c_str(), FILE_ATTRIBUTE_NORMAL);
    it->second ? ::RemoveDirectoryW(it->first.c_str()) : ::DeleteFileW(it->first.c_str());
  }
}

fs::path Utf8Path(const char8_t* text) {
  return fs::path(std::u8string(text));
}

// A folder name of 100 characters: three of them take a path past 260 characters.
const std::u8string kLongFolder(100, u8'f');

struct WindowsCase {
  const char* name;
  void (*prepare)(const fs::path& dir);
  fs::path target;    // relative to the test's folder
  const char* error;  // a part of the failure, or "" for none
  std::vector<std::string> after;
  // Another program holds the old file open meanwhile, sharing it as these FILE_SHARE_ flags say.
  DWORD held_sharing = kNotHeld;
  static constexpr DWORD kNotHeld = ~DWORD{0};
};

void PrintTo(const WindowsCase& c, std::ostream* out) {
  *out << c.name;
}

class WindowsReplaceTest : public testing_support::TempDirTest,
                           public testing::WithParamInterface<WindowsCase> {};

// What a run of "new" over `target` came to while another program held the file open, sharing
// as `sharing` says (or not held): the failure, or nothing, and whether the
// grid was begun before any refusal.
struct Attempt {
  std::string error;
  bool wrote = false;
};

Attempt RunWhileHeld(const fs::path& target, DWORD sharing) {
  HANDLE held = INVALID_HANDLE_VALUE;
  if (sharing != WindowsCase::kNotHeld) {
    held = ::CreateFileW(target.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(held, INVALID_HANDLE_VALUE) << "the file could not be held";
  }
  Attempt attempt;
  try {
    Writer file(target, 3, {});
    attempt.wrote = true;
    file.Append("new");
    file.Commit();
  } catch (const Failure& failure) {
    attempt.error = (failure.kind() == Failure::Kind::file ? "file: " : "system: ") +
                    std::string(failure.what());
  }
  if (held != INVALID_HANDLE_VALUE) {
    ::CloseHandle(held);
  }
  return attempt;
}

TEST_P(WindowsReplaceTest, ReplacesOrRefusesBeforeTheFirstByte) {
  const WindowsCase& c = GetParam();
  if (c.prepare) {
    c.prepare(dir());
  }
  const auto [error, wrote] = RunWhileHeld(dir() / c.target, c.held_sharing);
  if (*c.error) {
    EXPECT_TRUE(error.starts_with("file: ")) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_FALSE(wrote) << "refused only after the grid was written";
  } else {
    EXPECT_EQ(error, "");
  }
  EXPECT_EQ(Snapshot(dir()), c.after);
  Empty(dir());
}

void OldGrid(const fs::path& dir) {
  WriteFile(dir / "newgrid.txt", "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsReplaceTest,
    testing::Values(
        WindowsCase{"new_file", nullptr, "newgrid.txt", "", {"newgrid.txt new"}},
        WindowsCase{"old_file_replaced", OldGrid, "newgrid.txt", "", {"newgrid.txt new"}},
        WindowsCase{"read_only_attribute",
                    [](const fs::path& dir) {
                      OldGrid(dir);
                      ::SetFileAttributesW((dir / "newgrid.txt").c_str(), FILE_ATTRIBUTE_READONLY);
                    },
                    "newgrid.txt",
                    "clear Read-only in its Properties",
                    {"newgrid.txt old"}},
        WindowsCase{"held_open_without_sharing",
                    OldGrid,
                    "newgrid.txt",
                    "close it in the other program and run again",
                    {"newgrid.txt old"},
                    0},
        WindowsCase{"held_open_sharing_everything",
                    OldGrid,
                    "newgrid.txt",
                    "close it in the other program and run again",
                    {"newgrid.txt old"},
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        // A hidden old file keeps its attribute; a new file does not take the hidden file's.
        WindowsCase{"hidden_file_kept_hidden",
                    [](const fs::path& dir) {
                      OldGrid(dir);
                      ::SetFileAttributesW((dir / "newgrid.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
                    },
                    "newgrid.txt",
                    "",
                    {"newgrid.txt new (hidden)"}},
        WindowsCase{"utf16_folder_names",
                    [](const fs::path& dir) {
                      fs::create_directories(dir / Utf8Path(u8"Zürich Süd") / Utf8Path(u8"測量"));
                    },
                    Utf8Path(u8"Zürich Süd/測量/newgrid.txt"),
                    "",
                    {"Zürich Süd/", "Zürich Süd/測量/", "Zürich Süd/測量/newgrid.txt new"}},
        WindowsCase{"utf16_folder_named_in_the_message",
                    nullptr,
                    Utf8Path(u8"測量/newgrid.txt"),
                    "測量",
                    {}},
        WindowsCase{"path_longer_than_260_characters",
                    [](const fs::path& dir) {
                      fs::create_directories(testing_support::LongPath(dir) / kLongFolder /
                                             kLongFolder / kLongFolder);
                    },
                    fs::path(kLongFolder) / kLongFolder / kLongFolder / "newgrid.txt", "",
                    [] {
                      const std::string f(100, 'f');
                      return std::vector<std::string>{f + "/", f + "/" + f + "/",
                                                      f + "/" + f + "/" + f + "/",
                                                      f + "/" + f + "/" + f + "/newgrid.txt new"};
                    }()},
        WindowsCase{"folder_in_the_way",
                    [](const fs::path& dir) { fs::create_directory(dir / "newgrid.txt"); },
                    "newgrid.txt",
                    "a folder has this name",
                    {"newgrid.txt/"}},
        // A run that ended between naming its file and renaming it left this; nothing else.
        WindowsCase{"leftover_removed",
                    [](const fs::path& dir) { WriteFile(dir / ".tessaplan-abcd1234", "1"); },
                    "newgrid.txt",
                    "",
                    {"newgrid.txt new"}},
        WindowsCase{"files_not_certainly_leftovers_kept",
                    [](const fs::path& dir) { WriteFile(dir / ".tessaplan-abcd123", "2"); },
                    "newgrid.txt",
                    "",
                    {".tessaplan-abcd123 2", "newgrid.txt new"}}),
    testing_support::CaseName());

class WindowsCommitTest : public testing_support::TempDirTest {};

// A program that opens the old file during the run, sharing nothing, is found at the commit: a
// failure that says so (and not that it was opened meanwhile, which the commit cannot know),
// the old file as it was, and the new one gone with its handle.
TEST_F(WindowsCommitTest, AFileOpenedDuringTheRunIsFoundAtTheCommit) {
  WriteFile(output(), "old");
  HANDLE held = INVALID_HANDLE_VALUE;
  try {
    Writer file(output(), 3, {});
    file.Append("new");
    held = ::CreateFileW(output().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    file.Commit();
    ADD_FAILURE() << "committed over a file held open";
  } catch (const Failure& error) {
    EXPECT_NE(std::string(error.what()).find("another program has the file open; close it"),
              std::string::npos)
        << error.what();
  }
  ::CloseHandle(held);
  EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt old"});
}

// Held only for a moment at the commit (another run's start looks at the file so), the file is
// still replaced: the rename is tried again. The hold, which stands for that other run's look,
// ends once the rename has been refused for it.
HANDLE held_at_the_commit = nullptr;
int refused_renames = 0;
BOOL WINAPI RenameThenRelease(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                              DWORD size) {
  const BOOL done = ::SetFileInformationByHandle(file, kind, info, size);
  const DWORD error = ::GetLastError();
  if (!done && kind == FileRenameInfo && held_at_the_commit != nullptr) {
    ++refused_renames;
    ::CloseHandle(std::exchange(held_at_the_commit, nullptr));
  }
  ::SetLastError(error);
  return done;
}

TEST_F(WindowsCommitTest, AFileHeldForAMomentAtTheCommitIsReplaced) {
  WriteFile(output(), "old");
  Writer file(output(), 3, {});
  file.Append("new");
  held_at_the_commit =
      ::CreateFileW(output().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held_at_the_commit, INVALID_HANDLE_VALUE);
  refused_renames = 0;
  windows::calls::set_file_information = RenameThenRelease;
  std::string error;
  try {
    file.Commit();
  } catch (const Failure& raised) {
    error = raised.what();
  }
  windows::calls::set_file_information = ::SetFileInformationByHandle;
  EXPECT_EQ(error, "");
  EXPECT_EQ(refused_renames, 1);
  EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt new"});
}

// WriteAll adds what it wrote to the caller's count, which may hold a stream's earlier bytes.
// Every combination of where the file is, its attributes and another program holding it open
// keeps the promises: a refusal comes before the first byte and names what to mend; otherwise
// the complete grid has the name and the old file's hidden and system attributes; either way
// nothing is left beside it.
TEST_F(WindowsCommitTest, EveryCombinationKeepsThePromises) {
  const fs::path long_folder = fs::path(kLongFolder) / kLongFolder / kLongFolder;
  const std::pair<const char*, fs::path> places[] = {
      {"here", ""}, {"past 260 characters", long_folder}, {"non-BMP", Utf8Path(u8"𝔾rid 測量")}};
  const std::pair<const char*, DWORD> olds[] = {
      {"no old file", INVALID_FILE_ATTRIBUTES},
      {"normal", FILE_ATTRIBUTE_NORMAL},
      {"read-only", FILE_ATTRIBUTE_READONLY},
      {"hidden", FILE_ATTRIBUTE_HIDDEN},
      {"system", FILE_ATTRIBUTE_SYSTEM},
      {"hidden system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}};
  const std::pair<const char*, DWORD> holders[] = {
      {"not held", WindowsCase::kNotHeld},
      {"held sharing nothing", 0},
      {"held sharing reading", FILE_SHARE_READ},
      {"held sharing reading and writing", FILE_SHARE_READ | FILE_SHARE_WRITE},
      {"held sharing everything", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}};
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const auto& [place, folder] : places) {
    for (const auto& [old, attributes] : olds) {
      for (const auto& [holder, sharing] : holders) {
        if (attributes == INVALID_FILE_ATTRIBUTES && sharing != WindowsCase::kNotHeld) {
          continue;  // nothing to hold
        }
        SCOPED_TRACE(std::string(place) + ", " + old + ", " + holder);
        const fs::path target = testing_support::LongPath(dir() / folder / "newgrid.txt");
        fs::create_directories(target.parent_path());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
          WriteFile(target, "old");
          ::SetFileAttributesW(target.c_str(), attributes);
        }
        const auto [error, wrote] = RunWhileHeld(target, sharing);
        const bool refused =
            sharing != WindowsCase::kNotHeld || attributes == FILE_ATTRIBUTE_READONLY;
        if (refused) {
          EXPECT_FALSE(wrote) << "refused only after the grid was written";
          EXPECT_TRUE(error.find("close it in the other program") != std::string::npos ||
                      error.find("clear Read-only") != std::string::npos)
              << error;
          EXPECT_EQ(ReadFile(target), "old");
        } else {
          EXPECT_EQ(error, "");
          EXPECT_EQ(ReadFile(target), "new");
          const DWORD now = ::GetFileAttributesW(target.c_str());
          EXPECT_EQ(now & kKept, attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & kKept);
        }
        const std::vector<std::string> left = Snapshot(dir());
        EXPECT_EQ(std::count_if(left.begin(), left.end(),
                                [](const std::string& line) { return !line.ends_with("/"); }),
                  1)
            << "something left beside newgrid.txt";
        Empty(dir());
      }
    }
  }
}

// A synced run puts its file on the disk before it takes the name, and a disk that fails to
// (a stand-in for the flush, which no real disk fails to order) fails the run.
BOOL WINAPI FailingFlush(HANDLE) {
  ::SetLastError(ERROR_IO_DEVICE);
  return FALSE;
}
int flushes = 0;
BOOL WINAPI CountedFlush(HANDLE file) {
  ++flushes;
  return ::FlushFileBuffers(file);
}

TEST_F(WindowsCommitTest, ASyncedRunFlushesAndAFailedFlushFailsIt) {
  WriteFile(output(), "old");
  flushes = 0;
  windows::calls::flush_file_buffers = CountedFlush;
  {
    Writer file(output(), 3, {});  // synced
    file.Append("new");
    file.Commit();
  }
  EXPECT_EQ(flushes, 1);
  EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt new"});
  windows::calls::flush_file_buffers = FailingFlush;
  std::string error;
  try {
    Writer file(output(), 5, {});
    file.Append("newer");
    file.Commit();
  } catch (const Failure& raised) {
    error = raised.kind() == Failure::Kind::file ? raised.what() : "";
  }
  windows::calls::flush_file_buffers = ::FlushFileBuffers;
  EXPECT_FALSE(error.empty()) << "the failed flush was not a file failure";
  EXPECT_EQ(Snapshot(dir()), std::vector<std::string>{"newgrid.txt new"});
}

// The new file carries the delete-on-close disposition from its start: a run abandoned at any
// moment, or one whose process dies, leaves nothing.
TEST(WindowsReplace, AbandonedRunLeavesNothing) {
  const fs::path dir =
      fs::temp_directory_path() / ("tessaplan-abandon-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directory(dir);
  WriteFile(dir / "newgrid.txt", "old");
  {
    Writer file(dir / "newgrid.txt", 3'000'000, {});
    file.Append(std::string(3'000'000, 'x'));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) {
      ++entries;
    }
    EXPECT_LE(entries, 2u);  // the old file and, at most, the hidden new one
  }
  EXPECT_EQ(Snapshot(dir), std::vector<std::string>{"newgrid.txt old"});
  fs::remove_all(dir);
}

}  // namespace
}  // namespace file

namespace file::windows {
namespace {

struct PathCase {
  const char* name;
  const wchar_t* path;  // full, as the system gives it
  const wchar_t* folder;
  const wchar_t* in_folder;  // InFolder(folder, "n.txt")
  const char* shown;         // the folder as messages show it
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.name;
}

class PathTest : public testing::TestWithParam<PathCase> {};

// A root keeps its backslash, or the path names the volume; and nothing doubles one.
TEST_P(PathTest, SplitsAndJoinsAtEveryDepth) {
  const PathCase& c = GetParam();
  const std::wstring system = SystemPath(c.path);
  const FolderAndName split = SplitPath(system);
  EXPECT_EQ(Utf8(split.folder), Utf8(c.folder));
  EXPECT_EQ(Utf8(split.name), "newgrid.txt");
  EXPECT_EQ(Utf8(InFolder(split.folder, L"n.txt")), Utf8(c.in_folder));
  EXPECT_EQ(ShownSystemPath(split.folder), c.shown);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Paths, PathTest,
    testing::Values(
        PathCase{"drive_root", LR"(T:\newgrid.txt)", LR"(\\?\T:\)", LR"(\\?\T:\n.txt)", "T:\\"},
        PathCase{"drive_folder", LR"(T:\a\b\newgrid.txt)", LR"(\\?\T:\a\b)", LR"(\\?\T:\a\b\n.txt)", "T:\\a\\b"},
        PathCase{"share_root", LR"(\\server\share\newgrid.txt)", LR"(\\?\UNC\server\share\)", LR"(\\?\UNC\server\share\n.txt)", "\\\\server\\share\\"},
        PathCase{"share_folder", LR"(\\server\share\a\newgrid.txt)", LR"(\\?\UNC\server\share\a)", LR"(\\?\UNC\server\share\a\n.txt)", "\\\\server\\share\\a"},
        PathCase{"prefixed_already", LR"(\\?\T:\a\newgrid.txt)", LR"(\\?\T:\a)", LR"(\\?\T:\a\n.txt)", "T:\\a"}),
    testing_support::CaseName());
// clang-format on

}  // namespace
}  // namespace file::windows
