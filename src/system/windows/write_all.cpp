#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "system/windows/write_all.h"

#include <windows.h>

#include <algorithm>

namespace sys {
namespace {

constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// A synchronous handle's transfer at `at`: the offset goes in an OVERLAPPED the call waits on.
OVERLAPPED At(std::uint64_t at) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(at);
  overlapped.OffsetHigh = static_cast<DWORD>(at >> 32);
  return overlapped;
}

}  // namespace

unsigned long WriteAll(void* handle, const char* data, std::size_t size, std::uint64_t& written,
                       std::int64_t at) {
  while (size > 0) {
    DWORD taken = 0;
    OVERLAPPED overlapped = At(static_cast<std::uint64_t>(at));
    if (!::WriteFile(handle, data, static_cast<DWORD>(std::min(size, kMaxTransfer)), &taken,
                     at < 0 ? nullptr : &overlapped)) {
      return ::GetLastError();
    }
    if (taken == 0) {
      return ERROR_WRITE_FAULT;
    }
    data += taken;
    size -= taken;
    written += taken;
    at += at < 0 ? 0 : static_cast<std::int64_t>(taken);
  }
  return 0;
}

unsigned long ReadAt(void* handle, char* data, std::size_t size, std::uint64_t at,
                     std::size_t& got) {
  got = 0;
  while (got < size) {
    DWORD taken = 0;
    OVERLAPPED overlapped = At(at + got);
    if (!::ReadFile(handle, data + got, static_cast<DWORD>(std::min(size - got, kMaxTransfer)),
                    &taken, &overlapped)) {
      const DWORD error = ::GetLastError();
      return error == ERROR_HANDLE_EOF ? 0 : error;
    }
    if (taken == 0) {
      break;  // the file's end
    }
    got += taken;
  }
  return 0;
}

}  // namespace sys
