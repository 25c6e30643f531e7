// The loops that hand bytes to a Windows handle and take them back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sys {

// Hands all of `data` to WriteFile, in as many calls as it takes, each far below its 4 GB limit:
// at the handle's position, or at `at` where it is given; `written` grows by what each takes.
// Returns 0, or the system's error code; a call that takes nothing and gives no reason is
// ERROR_WRITE_FAULT, never an endless loop.
unsigned long WriteAll(void* handle, const char* data, std::size_t size, std::uint64_t& written,
                       std::int64_t at = -1);

// Reads up to `size` bytes at `at` into `data`, until the file's end; `got` says how many.
// Returns 0, or the system's error code.
unsigned long ReadAt(void* handle, char* data, std::size_t size, std::uint64_t at,
                     std::size_t& got);

}  // namespace sys
