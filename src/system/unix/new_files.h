// Linux's calls for a new file that takes its name only once it is complete, and for streaming
// it to the disk as it is written. Each returns 0 or the errno, and says nothing: the caller
// puts the words around it.
#pragma once

#include <cstdint>

#include "system/unix/descriptor.h"

namespace sys {

// A new file with no name in `folder` (O_TMPFILE), open for reading and writing and locked (flock) before
// any other process can see it. Where the file system has no unnamed files: EOPNOTSUPP, EISDIR
// or EINVAL, as NoUnnamedFiles tells.
int OpenUnnamed(int folder, Fd& opened);
bool NoUnnamedFiles(int error);

// Gives the unnamed file `fd` the name `name` in `folder`: through /proc, or only where /proc
// is missing through AT_EMPTY_PATH, which older kernels refuse to users who are not root. EEXIST
// where the name is taken.
int LinkUnnamed(int fd, int folder, const char* name);

// Starts the write-back of `length` bytes of `fd` from `offset`, without waiting.
int StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length);
// Waits until those bytes are on the disk, and drops them from the page cache.
int WaitForWriteBack(int fd, std::uint64_t offset, std::uint64_t length);
// Whether an error of the two above says only that the file system cannot stream, so that the
// one sync at the end must do.
bool NoWriteBack(int error);

}  // namespace sys
