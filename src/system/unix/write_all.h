// The one loop that hands bytes to a descriptor.
#pragma once

#include <cstddef>

namespace sys {

// Writes all of `data`, retrying on EINTR and short counts. Returns 0 or the errno; a write
// that makes no progress and gives no reason is EIO, never an endless loop.
int WriteAll(int fd, const char* data, std::size_t size);

}  // namespace sys
