#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "system/windows/text.h"

#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include "system/windows/write_all.h"

namespace sys {

std::string Utf8(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

std::wstring Utf16(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring utf16(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf16.data(), size);
  return utf16;
}

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 0; i < count; ++i) {
    utf8.push_back(Utf8(arguments[i]));
  }
  ::LocalFree(arguments);
  return utf8;
}

bool WriteText(void* handle, std::string_view text) {
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Utf16(text);
    return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) != 0;
  }
  std::uint64_t taken = 0;
  if (const unsigned long error = WriteAll(handle, text.data(), text.size(), taken)) {
    ::SetLastError(error);
    return false;
  }
  return true;
}

namespace {

class WindowsCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int error) const override {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
      message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(error) : Utf8(message);
  }
};

}  // namespace

std::error_code SystemError(unsigned long error) {
  static const WindowsCategory category;
  return {static_cast<int>(error), category};
}

}  // namespace sys
