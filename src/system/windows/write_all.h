// The one loop that hands bytes to a Windows handle.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sys {

// Hands all of `data` to WriteFile, in as many calls as it takes, each far below its 4 GB limit;
// `written` grows by what each takes. Returns 0, or the system's error code; a call that takes
// nothing and gives no reason is ERROR_WRITE_FAULT, never an endless loop.
unsigned long WriteAll(void* handle, const char* data, std::size_t size, std::uint64_t& written);

}  // namespace sys
