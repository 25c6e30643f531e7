#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "grid/standard_output.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "grid/windows/text.h"

namespace grid {
namespace {

// WriteFile takes at most 4 GB a call; the writer's buffers are far smaller.
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

// WriteFile on the handle itself: the bytes as they are, with no text mode to double a CR.
class StandardOutputFile final : public NewFile {
 public:
  explicit StandardOutputFile(bool sync) : sync_(sync), out_(::GetStdHandle(STD_OUTPUT_HANDLE)) {}

  std::error_code Write(const char* data, std::size_t size) override {
    while (size > 0) {
      DWORD written = 0;
      const auto part = static_cast<DWORD>(std::min(size, kMaxWrite));
      if (!::WriteFile(out_, data, part, &written, nullptr)) {
        return windows::SystemError(::GetLastError());
      }
      if (written == 0) {
        return windows::SystemError(ERROR_WRITE_FAULT);
      }
      data += written;
      size -= written;
      done_ += written;
    }
    return {};
  }

  // A pipe or a console has no disk to wait for.
  std::error_code Finish() override {
    if (!sync_ || ::GetFileType(out_) != FILE_TYPE_DISK || ::FlushFileBuffers(out_)) {
      return {};
    }
    return windows::SystemError(::GetLastError());
  }

  std::uint64_t BytesDone() const override { return done_; }

 private:
  bool sync_;
  HANDLE out_;
  std::atomic<std::uint64_t> done_{0};
};

}  // namespace

std::shared_ptr<NewFile> StandardOutput(bool sync) {
  return std::make_shared<StandardOutputFile>(sync);
}

}  // namespace grid
