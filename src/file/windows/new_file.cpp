// Replacing a file on Windows: the new file goes into a hidden file in the target's folder
// that carries the delete-on-close disposition, so that however the run ends (an error, a
// cancel, Task Manager) the system removes it when its handle closes. At commit the file is
// flushed, the disposition cleared, and the file renamed by its handle over the target, which is
// atomic on NTFS. Paths are UTF-16 throughout, and given to the system with the \\?\ prefix, so
// that paths longer than 260 characters work.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <aclapi.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "file/replacement.h"
#include "file/replacement_state.h"
#include "file/shown_text.h"
#include "file/windows/path.h"
#include "file/windows/system_calls.h"
#include "file/windows/system_state.h"
#include "system/windows/text.h"

namespace file::detail {
namespace {

namespace fs = std::filesystem;
using sys::Utf8;
using windows::InFolder;
using windows::ShownSystemPath;
using windows::SystemPath;

constexpr const char* kHeldOpen =
    "another program has the file open; close it in the other program and run again";

// How long a rename refused by another handle is tried again: 20 times 50 ms.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenameRetryMilliseconds = 50;
// How often a run waiting for another's commit asks whether to go on.
constexpr DWORD kLockPollMilliseconds = 20;

bool DeleteOnClose(HANDLE file, bool on) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = on ? TRUE : FALSE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

}  // namespace

namespace {

// The path of the file or folder `path` leads to, links followed; empty where there is none.
// What the system opens for `path`, links followed, just to be looked at.
Handle OpenToLookAt(const std::wstring& path) {
  return Handle(::CreateFileW(path.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The path of what `opened` is, links followed; empty where there is none.
std::wstring FinalPath(const Handle& opened) {
  std::wstring final_path(32768, L'\0');
  const DWORD length = opened.valid()
                           ? ::GetFinalPathNameByHandleW(opened.get(), final_path.data(),
                                                         static_cast<DWORD>(final_path.size()), 0)
                           : 0;
  final_path.resize(length > 0 && length < final_path.size() ? length : 0);
  return final_path.empty() ? final_path : SystemPath(final_path);
}

// The longest name, in UTF-16 units, that the volume holding `folder` takes; 255 where it does
// not say, as NTFS, FAT32's long names and exFAT take.
std::size_t LongestName(const std::wstring& folder) {
  const Handle opened(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  DWORD longest = 0;
  if (!opened.valid() ||
      !::GetVolumeInformationByHandleW(opened.get(), nullptr, 0, nullptr, &longest, nullptr,
                                       nullptr, 0) ||
      longest == 0) {
    return 255;
  }
  return longest;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

// The target's folder and name. A target that is a link, of any kind, is followed to the file
// it names, which is replaced while the link stays: the path of the file the system opens for
// the target's name (its final path) names the folder and the name to replace. A target reached
// only through links on the way to its folder keeps the path it was found by, as the current
// folder and the Help text name it.
void SystemState::Find(const fs::path& target) {
  std::wstring path = SystemPath(target.wstring());
  const windows::FolderAndName given = windows::SplitPath(path);
  given_folder = given.folder;
  given_name = given.name;
  given_folder_held = Handle(::CreateFileW(given_folder.c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const Handle opened = OpenToLookAt(path);
  // A device or a pipe under the name (a console, NUL, a named pipe) is no file to replace.
  special = opened.valid() ? ::GetFileType(opened.get()) : FILE_TYPE_DISK;
  const std::wstring final_path = FinalPath(opened);
  if (!final_path.empty()) {
    const windows::FolderAndName found = windows::SplitPath(path);
    const windows::FolderAndName led_to = windows::SplitPath(final_path);
    if (!SamePath(led_to.name, found.name) ||
        !SamePath(led_to.folder, FinalPath(OpenToLookAt(found.folder)))) {
      path = final_path;  // the name itself is a link
    }
  }
  const windows::FolderAndName split = windows::SplitPath(path);
  folder = split.folder;
  name = split.name;
  shown = ShownSystemPath(path);
  shown_folder = ShownSystemPath(folder);
}

// Beside the name given: in the folder the handle held keeps where it was.
void SystemState::FindBeside(const SystemState& beside, const fs::path& name_beside) {
  Find(InFolder(beside.given_folder, name_beside.wstring()));
}

bool SameTarget(const SystemState& a, const SystemState& b) {
  const auto identity = [](const SystemState& state, BY_HANDLE_FILE_INFORMATION& info) {
    const Handle opened = OpenToLookAt(state.Path(state.name));
    return opened.valid() && ::GetFileInformationByHandle(opened.get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION info_a{};
  BY_HANDLE_FILE_INFORMATION info_b{};
  const bool found_a = identity(a, info_a);
  const bool found_b = identity(b, info_b);
  if (found_a || found_b) {
    return found_a && found_b && info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
           info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
           info_a.nFileIndexLow == info_b.nFileIndexLow;
  }
  return SamePath(a.Path(a.name), b.Path(b.name));
}

// Everything that would refuse the replacement at the end is asked now, before the first byte.
void SystemState::CheckTarget() {
  const DWORD folder_attributes = ::GetFileAttributesW(folder.c_str());
  if (folder_attributes == INVALID_FILE_ATTRIBUTES) {
    FailInFolder(::GetLastError());
  }
  if (!(folder_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    FailInFolder(ERROR_DIRECTORY);
  }
  // Said for what it is: a device or a pipe is no file to remove either.
  if (special != FILE_TYPE_DISK) {
    file::FailOnFile(std::string("not a regular file but ") +
                         (special == FILE_TYPE_PIPE ? "a pipe" : "a device") +
                         "; run in another folder",
                     shown);
  }
  // The name the commit gives, held to the volume's limit for a name now: the rename would
  // refuse one too long only once the file is written.
  if (name.size() > LongestName(folder)) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
  }
  const std::wstring target = Path(name);
  const DWORD found = ::GetFileAttributesW(target.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) {
      Fail(error);
    }
    return;
  }
  exists = true;
  attributes = found;
  if (found & FILE_ATTRIBUTE_DIRECTORY) {
    file::FailOnFile("a folder has this name; run in another folder", shown);
  }
  if (found & FILE_ATTRIBUTE_READONLY) {
    file::FailOnFile(
        "the file is read-only; clear Read-only in its Properties, or run in another folder",
        shown);
  }
  // Replacing the file needs it free of every other program: one that holds it open, however
  // it shares it (a spreadsheet showing it), may refuse the rename or keep reading the
  // old file. Asked now, with the access the rename needs and no sharing, which any other open
  // handle refuses.
  // Another run looks at the file for a moment as it starts, and holds it as it commits: a
  // refusal is tried again for as long as the commit tries its rename.
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
    const Handle probe(::CreateFileW(target.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    error = probe.valid() ? ERROR_SUCCESS : ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      break;
    }
    ::Sleep(kRenameRetryMilliseconds);
  }
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    file::FailOnFile(kHeldOpen, shown);
  }
  if (error != ERROR_SUCCESS) {
    Fail(error);
  }
}

// A hidden file of an earlier run that no living run holds open was left by a run that ended
// between clearing its file's disposition and renaming it. A living run's file cannot be
// deleted: it is open without sharing.
void SystemState::SweepLeftovers() {
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = Path(sys::Utf16(kHiddenPrefix) + L"*");
  HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if (IsHiddenName(sys::Utf8(entry.cFileName)) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ::DeleteFileW(Path(entry.cFileName).c_str());
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
}

void SystemState::Create(std::uint64_t size) {
  Handle created;
  for (int attempt = 0; !created.valid(); ++attempt) {
    hidden_name = sys::Utf16(HiddenName());
    created = Handle(::CreateFileW(Path(hidden_name).c_str(),
                                   GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC,
                                   0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!created.valid()) {
      const DWORD error = ::GetLastError();
      hidden_name.clear();
      if (error != ERROR_FILE_EXISTS || attempt == 100) {
        FailInFolder(error);
      }
    }
  }
  // From here on the system removes the file however the run ends, until Commit names it.
  if (!DeleteOnClose(created.get(), true)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(Path(hidden_name).c_str());
    FailInFolder(error);
  }
  file = std::make_shared<SystemFile>(std::move(created), options.sync);
  shared = file;
  if (exists) {
    CopyRights();
  }
  // The blocks are claimed now, in steps, where the file system can; elsewhere the free space
  // is asked.
  DWORD error = ERROR_SUCCESS;
  if (!ReserveInSteps(size, options, shown, [&](std::uint64_t offset, std::uint64_t length) {
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(offset + length);
        if (::SetFileInformationByHandle(file->handle(), FileAllocationInfo, &allocation,
                                         sizeof allocation)) {
          return true;
        }
        error = ::GetLastError();
        return false;
      })) {
    ULARGE_INTEGER available{};
    if (error == ERROR_DISK_FULL ||
        (::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) &&
         available.QuadPart < size)) {
      file::FailForSpace(Reason(ERROR_DISK_FULL), options.what, size, shown);
    }
  }
}

// The new file takes the old one's access rights, never more: the entries of the old file's list
// of who may do what (DACL) that were set on it rather than inherited, and whether that list is
// protected from the folder's. A list the old file only inherited is left to the new file's own
// inheritance from the same folder, which it took when it was made: copied, the inherited
// entries would become its own and outlast a change of the folder's rights (and Wine would widen
// the file's Unix rights to match). If the rights cannot be copied, nothing is written.
void SystemState::CopyRights() {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error =
      ::GetNamedSecurityInfoW(Path(name).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (error == ERROR_SUCCESS) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const bool protected_list = (control & SE_DACL_PROTECTED) != 0;
    std::vector<ACE_HEADER*> own;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (::GetAce(dacl, i, &ace) && !(static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE)) {
        own.push_back(static_cast<ACE_HEADER*>(ace));
      }
    }
    // A missing list (no DACL: everyone may do everything) is copied as it is.
    if (!dacl || protected_list || !own.empty()) {
      DWORD size = sizeof(ACL);
      for (const ACE_HEADER* ace : own) {
        size += ace->AceSize;
      }
      std::vector<unsigned char> list(size);
      auto* copy = reinterpret_cast<PACL>(list.data());
      bool built = !dacl || ::InitializeAcl(copy, size, ACL_REVISION);
      for (ACE_HEADER* ace : own) {
        built = built && ::AddAce(copy, ACL_REVISION, MAXDWORD, ace, ace->AceSize);
      }
      error = !built
                  ? ::GetLastError()
                  : ::SetSecurityInfo(file->handle(), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION |
                                          (protected_list ? PROTECTED_DACL_SECURITY_INFORMATION
                                                          : UNPROTECTED_DACL_SECURITY_INFORMATION),
                                      nullptr, nullptr, dacl ? copy : nullptr, nullptr);
    }
    ::LocalFree(descriptor);
  }
  if (error != ERROR_SUCCESS) {
    file::FailOnFile("its access rights cannot be copied to the new file: " + Reason(error), shown);
  }
}

void Commit(SystemState& s) {
  const HANDLE handle = s.file->handle();
  // It takes the old file's attributes (a new one, none), and no longer hides.
  FILE_BASIC_INFO basic{};  // times left at 0: unchanged
  constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  basic.FileAttributes =
      s.exists && (s.attributes & kKept) ? s.attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
    FailWriting(s, Error(::GetLastError()));
  }
  const std::wstring target = s.Path(s.name);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = s.options.no_replace ? FALSE : TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.data(), target.size() * sizeof(wchar_t));
  // What was claimed past the file's end and not written is given back, where the claim was
  // made: a file system that could not claim (Wine's, which does not implement the call) has
  // nothing to give back.
  if (s.options.keep_size) {
    FILE_ALLOCATION_INFO allocation{};
    if (::GetFileSizeEx(handle, &allocation.AllocationSize)) {
      ::SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation);
    }
  }
  if (!DeleteOnClose(handle, false)) {
    FailWriting(s, Error(::GetLastError()));
  }
  // Another run's start looks at the file for a moment, holding it as a program that has it
  // open would: a refusal is tried again for a moment before it counts.
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
    if (windows::calls::set_file_information(handle, FileRenameInfo, rename,
                                             static_cast<DWORD>(buffer.size()))) {
      error = ERROR_SUCCESS;
      break;
    }
    error = ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
      break;
    }
    ::Sleep(kRenameRetryMilliseconds);
  }
  if (error != ERROR_SUCCESS) {
    DeleteOnClose(handle, true);
    if (s.options.no_replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
      FailNameTaken(s);
    }
    // Not said to be "meanwhile": a handle that asks no access to the file's data, or a view
    // of it mapped into memory, refuses the rename without showing at the start.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
      file::FailOnFile(kHeldOpen, s.shown);
    }
    FailWriting(s, Error(error));
  }
  s.hidden_name.clear();
  s.committed = true;
  s.file->Close();  // named and flushed: nothing a close could report changes that now
}

void Abandon(SystemState& s) {
  if (s.committed) {
    return;
  }
  s.file.reset();
  s.shared.reset();
}

// Windows always writes a new file beside the target: nothing is written over.
void BeginWriting(SystemState&) {}

std::filesystem::path GivenName(const SystemState& s) {
  return s.given_name;
}

std::string ShownGiven(const SystemState& s) {
  return ShownSystemPath(InFolder(s.given_folder, s.given_name));
}

bool NamedAs(const SystemState& s, std::string_view name) {
  return SamePath(s.name, sys::Utf16(name));
}

std::string ReadStart(const SystemState& s, std::size_t size) {
  const Handle file(::CreateFileW(s.Path(s.name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string start(size, '\0');
  DWORD got = 0;
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::ReadFile(file.get(), start.data(), static_cast<DWORD>(size), &got, nullptr)) {
    got = 0;
  }
  start.resize(got);
  return start;
}

namespace {

// Why the folder's lock cannot be had, from the system's last error, with the folder.
void NoLock(SystemState& s) {
  s.unlocked = Reason(::GetLastError()) + " (the folder " + ShownSystemPath(s.given_folder) + ")";
}

// A mutex named after the given folder's identity (its volume and file ID), which every run
// writing there opens: the system hands an abandoned one (its owner killed) to the next waiter.
// It is named in this session's space, where the user's own runs meet. Opened as the new file is
// made, before the first byte; owned only at the commit.
void OpenNamesLock(SystemState& s) {
  BY_HANDLE_FILE_INFORMATION folder{};
  if (!s.given_folder_held.valid() ||
      !::GetFileInformationByHandle(s.given_folder_held.get(), &folder)) {
    NoLock(s);
    return;
  }
  wchar_t name[64];
  std::swprintf(name, std::size(name), L"tessaplan-names-%08lx-%08lx%08lx",
                folder.dwVolumeSerialNumber, folder.nFileIndexHigh, folder.nFileIndexLow);
  s.names_lock = Handle(::CreateMutexW(nullptr, FALSE, name));
  if (!s.names_lock.valid()) {
    NoLock(s);
  }
}

}  // namespace

bool LockNames(SystemState& s, const std::function<bool()>& keep_going) {
  if (!s.names_lock.valid()) {
    return true;  // a folder that cannot be locked is not waited for
  }
  for (;;) {
    const DWORD waited = ::WaitForSingleObject(s.names_lock.get(), kLockPollMilliseconds);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
      break;
    }
    if (waited != WAIT_TIMEOUT) {
      NoLock(s);
      return true;
    }
    if (keep_going && !keep_going()) {
      return false;
    }
  }
  s.names_locked = true;
  return true;
}

void UnlockNames(SystemState& s) {
  if (s.names_locked) {
    ::ReleaseMutex(s.names_lock.get());
    s.names_locked = false;
  }
}

SystemState* NewState() {
  return new SystemState();
}

void DropState::operator()(SystemState* state) const {
  delete state;
}

ReplacementState& Shared(SystemState& state) {
  return state;
}

void Find(SystemState& state, const fs::path& target) {
  state.Find(target);
}

void FindBeside(SystemState& state, const SystemState& beside, const fs::path& name) {
  state.FindBeside(beside, name);
}

void CheckTarget(SystemState& state) {
  state.CheckTarget();
}

void SweepLeftovers(SystemState& state) {
  state.SweepLeftovers();
}

void Create(SystemState& state, std::uint64_t size) {
  state.Create(size);
  OpenNamesLock(state);
}

}  // namespace file::detail
