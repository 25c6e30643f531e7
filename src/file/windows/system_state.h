// What the Windows replacement keeps (new_file.cpp): the state of one replacement, the new
// file's handle, and how a system error is worded.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "file/replacement_state.h"
#include "file/windows/path.h"
#include "file/windows/system_calls.h"
#include "system/windows/handle.h"
#include "system/windows/text.h"
#include "system/windows/write_all.h"

namespace file::detail {

inline std::error_code Error(DWORD error) {
  return sys::SystemError(error);
}

inline std::string Reason(DWORD error) {
  return Error(error).message();
}

using sys::Handle;

// The new file's handle: whole buffers handed to WriteFile, and one flush at the end for a synced
// run.
class SystemFile final : public NewFile {
 public:
  SystemFile(Handle handle, bool sync) : handle_(std::move(handle)), sync_(sync) {}

  std::error_code Write(const char* data, std::size_t size) override {
    if (const unsigned long error = sys::WriteAll(handle_.get(), data, size, written_)) {
      return Error(error);
    }
    // Windows has no way to start write-back for a range: the bytes done are the bytes handed
    // to the system, and the flush at the end, the "saving" of a run, puts them on the disk.
    bytes_done_ = written_;
    return {};
  }
  std::error_code Finish() override {
    if (sync_ && !windows::calls::flush_file_buffers(handle_.get())) {
      return Error(::GetLastError());
    }
    bytes_done_ = written_;
    return {};
  }
  std::uint64_t BytesDone() const override { return bytes_done_; }

  // A database writes its pages where it chooses, and reads them back.
  std::error_code ReadAt(std::uint64_t offset, char* data, std::size_t size,
                         std::size_t& got) override {
    const unsigned long error = sys::ReadAt(handle_.get(), data, size, offset, got);
    return error == 0 ? std::error_code() : Error(error);
  }
  std::error_code WriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
    std::uint64_t written = 0;
    if (const unsigned long error =
            sys::WriteAll(handle_.get(), data, size, written, static_cast<std::int64_t>(offset))) {
      return Error(error);
    }
    written_ = std::max(written_, offset + size);
    bytes_done_ = written_;
    return {};
  }
  std::error_code Size(std::uint64_t& size) const override {
    LARGE_INTEGER end{};
    if (!::GetFileSizeEx(handle_.get(), &end)) {
      return Error(::GetLastError());
    }
    size = static_cast<std::uint64_t>(end.QuadPart);
    return {};
  }
  std::error_code Truncate(std::uint64_t size) override {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle_.get(), end, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_.get())) {
      return Error(::GetLastError());
    }
    written_ = size;
    return {};
  }

  HANDLE handle() const { return handle_.get(); }
  std::error_code Close() {
    return ::CloseHandle(handle_.release()) ? std::error_code() : Error(::GetLastError());
  }

 private:
  Handle handle_;
  bool sync_;
  std::uint64_t written_ = 0;
  std::atomic<std::uint64_t> bytes_done_{0};
};

struct SystemState final : ReplacementState {
  std::wstring folder;  // with the \\?\ prefix
  std::wstring name;
  // The folder of the name given, before a link there is followed, and that name. The folder is
  // held open without sharing its deletion, so that it cannot be renamed or moved while the run
  // writes the files beside it.
  std::wstring given_folder;
  std::wstring given_name;
  Handle given_folder_held;
  Handle names_lock;          // the given folder's mutex, opened before the first byte
  bool names_locked = false;  // owned, while the run's files take their names
  bool exists = false;
  DWORD special = FILE_TYPE_DISK;            // FILE_TYPE_CHAR or _PIPE: a device or a pipe
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;  // the old file's, kept
  std::wstring hidden_name;
  std::shared_ptr<SystemFile> file;  // the new file; `shared` for the writer

  std::wstring Path(const std::wstring& in_folder) const {
    return windows::InFolder(folder, in_folder);
  }
  void Find(const std::filesystem::path& target);
  void FindBeside(const SystemState& beside, const std::filesystem::path& name_beside);
  void CheckTarget();
  void SweepLeftovers();
  void Create(std::uint64_t size);
  void CopyRights();

  [[noreturn]] void Fail(DWORD error) const { file::FailOnFile(Reason(error), shown); }
  [[noreturn]] void FailInFolder(DWORD error) const {
    file::FailInFolder(Reason(error), shown_folder, Advice());
  }
};

}  // namespace file::detail
