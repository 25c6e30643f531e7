// What a replacement is asked to do, and the new file it writes into: what the replacement's
// interface (replacement.h) and each system's steps (replacement_state.h) share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "file/failure.h"

namespace file {

// The space for a new file is claimed in steps of at most this many bytes, so that a run that is
// stopped while the disk reserves ten gigabytes stops within a step's time.
inline constexpr std::uint64_t kReserveStep = std::uint64_t{64} << 20;

// The new file, open for writing, and the calls the writer makes on it. The writer's thread and
// the replacement share it, so that a writer held up by a slow disk can finish alone, on a file
// that no longer has a name, after the run has been abandoned.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Appends all of `data`. A synced file streams to the disk as it grows.
  virtual std::error_code Write(const char* data, std::size_t size) = 0;
  // Puts what the system still holds on the disk, for a synced file.
  virtual std::error_code Finish() = 0;
  // The bytes done so far: on the disk for a synced file, handed to the system otherwise. Safe
  // from any thread.
  virtual std::uint64_t BytesDone() const = 0;

  // For a file that its writer writes where it chooses (a database): reads and writes at
  // `offset`, its size so far, and cutting it there. A stream has no places, and refuses them.
  virtual std::error_code ReadAt(std::uint64_t offset, char* data, std::size_t size,
                                 std::size_t& got) {
    (void)offset, (void)data, (void)size, got = 0;
    return std::make_error_code(std::errc::not_supported);
  }
  virtual std::error_code WriteAt(std::uint64_t offset, const char* data, std::size_t size) {
    (void)offset, (void)data, (void)size;
    return std::make_error_code(std::errc::not_supported);
  }
  virtual std::error_code Size(std::uint64_t& size) const {
    size = 0;
    return std::make_error_code(std::errc::not_supported);
  }
  virtual std::error_code Truncate(std::uint64_t size) {
    (void)size;
    return std::make_error_code(std::errc::not_supported);
  }
};

struct ReplaceOptions {
  // Commit only once the file is on the disk.
  bool sync = true;
  // A new file only: the commit never replaces a file, and one that took the name during the
  // run is left as it is and refuses the commit.
  bool no_replace = false;
  // The space is claimed without changing the file's size, which stays 0 until it is written:
  // for a writer that reads an empty file as a new one (a database), where zeros are not. What
  // was claimed and not written is given back at the commit.
  bool keep_size = false;
  // Tests turn this off to take the way of file systems that have no unnamed files.
  bool unnamed = true;
  // Said after a File error about the folder the program runs in (the window tells where it
  // writes and how to start it elsewhere).
  std::string folder_advice = {};
  // What the file holds, in the caller's word ("grid", "point file"), as the messages about
  // its size and its commit name it.
  std::string what = "file";
  // Asked before each step of the space's reservation, with the file as messages name it and
  // the bytes reserved so far; false stops the run there (Cancelled).
  std::function<bool(std::string_view shown, std::uint64_t reserved)> reserving = {};
};

}  // namespace file
