// The loops that hand bytes to a descriptor and take them back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sys {

// Writes all of `data`, retrying on EINTR and short counts: at the descriptor's offset, or at
// `at` where it is given (pwrite, the offset untouched). Returns 0 or the errno; a write that
// makes no progress and gives no reason is EIO, never an endless loop.
int WriteAll(int fd, const char* data, std::size_t size, std::int64_t at = -1);

// Reads up to `size` bytes at `at` into `data`, retrying on EINTR and short counts until the
// file's end; `got` says how many. Returns 0 or the errno.
int ReadAt(int fd, char* data, std::size_t size, std::uint64_t at, std::size_t& got);

}  // namespace sys
