#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "system/windows/write_all.h"

#include <windows.h>

#include <algorithm>

namespace sys {

namespace {
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;
}  // namespace

unsigned long WriteAll(void* handle, const char* data, std::size_t size, std::uint64_t& written) {
  while (size > 0) {
    DWORD taken = 0;
    if (!::WriteFile(handle, data, static_cast<DWORD>(std::min(size, kMaxWrite)), &taken,
                     nullptr)) {
      return ::GetLastError();
    }
    if (taken == 0) {
      return ERROR_WRITE_FAULT;
    }
    data += taken;
    size -= taken;
    written += taken;
  }
  return 0;
}

}  // namespace sys
