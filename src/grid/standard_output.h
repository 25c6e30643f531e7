// Streams the grid is written into as it comes, with no file to replace: standard output, and
// what an --output path names when that is a stream. Each system has its own way of writing and
// finding them (unix/standard_output.cpp, windows/standard_output.cpp).
#pragma once

#include <filesystem>

#include "grid/generate_grid.h"
#include "grid/replacement.h"

namespace grid {

// Writes every byte as it comes, binary on every system (a line end stays CR LF). When `sync`
// and standard output is a file on a disk, Finish puts it on the disk. A reader that went away
// is an error ("Broken pipe").
GridStream StandardOutput(bool sync);

// What `path` names, when that is a stream: on Linux one of this process's own descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N), written where it was opened and as it was opened
// (appending, for one opened to append), or a pipe, a terminal, a socket or a character device
// (/dev/null) reached by its path; on Windows the NUL device. Written as StandardOutput writes.
// Returns no file for a path that names a file to replace, or nothing yet. Raises a File error,
// before any byte, for what is neither: a disk device, another device on Windows, a pipe no
// program reads, a descriptor not open for writing.
GridStream OpenStream(const std::filesystem::path& path, bool sync);

}  // namespace grid
