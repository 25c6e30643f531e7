#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "file/streams.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string_view>

#include "file/replacement_state.h"
#include "file/windows/path.h"
#include "system/windows/text.h"
#include "system/windows/write_all.h"

namespace file {
namespace {

// WriteFile on the handle itself: the bytes as they are, with no text mode to double a CR. An
// `owned` handle is closed at the end; standard output's is not.
class StreamFile final : public NewFile {
 public:
  StreamFile(HANDLE out, bool owned, bool sync) : out_(out), owned_(owned), sync_(sync) {}
  ~StreamFile() override {
    if (owned_) {
      ::CloseHandle(out_);
    }
  }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  std::error_code Write(const char* data, std::size_t size) override {
    std::uint64_t written = 0;
    const unsigned long error = sys::WriteAll(out_, data, size, written);
    done_ += written;
    return error == 0 ? std::error_code() : sys::SystemError(error);
  }

  // A pipe or a console has no disk to wait for.
  std::error_code Finish() override {
    if (!sync_ || ::GetFileType(out_) != FILE_TYPE_DISK || ::FlushFileBuffers(out_)) {
      return {};
    }
    return sys::SystemError(::GetLastError());
  }

  std::uint64_t BytesDone() const override { return done_; }

 private:
  HANDLE out_;
  bool owned_;
  bool sync_;
  std::atomic<std::uint64_t> done_{0};
};

}  // namespace

Stream StandardOutput(bool sync) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return {std::make_shared<StreamFile>(out, false, sync), "standard output",
          ::GetConsoleMode(out, &mode) != 0};
}

// A name the system takes for a device (NUL, CON, COM1, and in some folders on some versions
// of Windows the same with an extension) has the full path \\.\DEVICE, as GetFullPathName tells
// on each system by its own rules. NUL takes a file as a stream; any other device is a port, a
// printer or the console, which no file should go to unasked.
Stream OpenStream(const std::filesystem::path& path, bool sync, std::string_view instead) {
  constexpr std::wstring_view kDevicePrefix = LR"(\\.\)";
  const std::wstring full = windows::SystemPath(path.wstring());
  if (!full.starts_with(kDevicePrefix)) {
    return {};
  }
  const std::wstring device = full.substr(kDevicePrefix.size());
  const std::string shown = sys::Utf8(device);
  if (_wcsicmp(device.c_str(), L"NUL") != 0) {
    file::FailOnFile(
        "a device, not a file: tessaplan writes to no device but NUL; " + std::string(instead),
        shown);
  }
  const HANDLE nul = ::CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (nul == INVALID_HANDLE_VALUE) {
    file::FailOnFile(sys::SystemError(::GetLastError()).message(), shown);
  }
  return {std::make_shared<StreamFile>(nul, true, sync), shown, false};
}

}  // namespace file
