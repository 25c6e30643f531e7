// Streams a file is written into as it comes, with no file to replace: standard output, and
// what a path names when that is a stream. Each system has its own way of writing and finding
// them (unix/streams.cpp, windows/streams.cpp).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "file/replace_options.h"

namespace file {

// Where a file goes as it is written, with no file to replace (standard output, a pipe, a
// terminal, a device): a run cut short leaves what was written there.
struct Stream {
  std::shared_ptr<NewFile> file = {};     // none: no stream, a file is replaced instead
  std::string shown = "standard output";  // as messages name it
  bool terminal = false;  // shows on a terminal, where a progress line would run into it
};

// Writes every byte as it comes, binary on every system (a line end stays CR LF). When `sync`
// and standard output is a file on a disk, Finish puts it on the disk. A reader that went away
// is an error ("Broken pipe").
Stream StandardOutput(bool sync);

// What `path` names, when that is a stream: on Linux one of this process's own descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N), written where it was opened and as it was opened
// (appending, for one opened to append), or a pipe, a terminal, a socket or a character device
// (/dev/null) reached by its path; on Windows the NUL device. Written as StandardOutput writes.
// Returns no file for a path that names a file to replace, or nothing yet. Raises a Failure,
// before any byte, for what is neither: a disk device, another device on Windows, a pipe no
// program reads, a descriptor not open for writing; `instead` ends those that the caller can
// mend by naming another path ("choose another --output").
Stream OpenStream(const std::filesystem::path& path, bool sync, std::string_view instead);

}  // namespace file
