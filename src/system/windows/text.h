// Text between Windows and the rest of the program: UTF-16 to UTF-8 and back, exactly, UTF-8
// written so that it shows as written, and the system's words for an error.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace sys {

std::string Utf8(std::wstring_view text);
std::wstring Utf16(std::string_view text);

// The process's command line, its program's name first, each argument in UTF-8, as the
// system splits it.
std::vector<std::string> CommandLineArguments();

// Writes UTF-8 `text` to `handle` (a HANDLE): a console shows UTF-16, whatever its code page; a
// file or pipe gets the UTF-8 bytes. Returns false, the reason in GetLastError, when not all of
// it was taken.
bool WriteText(void* handle, std::string_view text);

// A system error code (GetLastError's), whose message is the system's own words in the user's
// language, without the closing full stop.
std::error_code SystemError(unsigned long error);

}  // namespace sys
