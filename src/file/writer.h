// Writing a file line by line: lines are assembled in large buffers, which a thread of its own
// hands to the system while the next is filled. Where the bytes go, and how the new file takes
// the place of the old, is the replacement's business (replacement.h); the writer knows no
// system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>

#include "file/replacement.h"

namespace file {

class Writer {
 public:
  // LineStart leaves this many writable bytes unless asked for more, so that a line may be
  // assembled with fixed-size copies that run past its end.
  static constexpr std::size_t kLineRoom = 64;

  // Every writer takes all it needs before its file's first byte: its buffers, and its thread,
  // started, its first allocation made, then waiting for the first buffer. Raises a Failure of
  // the system's kind (out of memory, no thread) with nothing written.

  // Starts replacing `target` with a new file of `size` bytes (see Replacement), and begins it.
  // Whenever the writer waits for the disk it asks `keep_going` every few tens of milliseconds;
  // when that returns false the run is abandoned at once: LineStart and Append raise Cancelled.
  // Raises a Failure before anything is written.
  Writer(const std::filesystem::path& target, std::uint64_t size, const ReplaceOptions& options,
         std::function<bool()> keep_going = {});
  // Writes into `replacement`'s new file, for a caller that begins it, commits it and drops it
  // with others (grid/file_set.h).
  explicit Writer(Replacement& replacement, std::function<bool()> keep_going = {});
  // Streams to `stream`, which messages name `shown`, as it is written, with no file to replace
  // (standard output, a pipe): what was written stays written, whatever ends the run.
  Writer(std::shared_ptr<NewFile> stream, std::string shown, std::function<bool()> keep_going = {});
  // The first byte: from here on a file written in place is written over
  // (Replacement::BeginWriting). Nothing for a stream, or a writer that began on its own.
  void Begin();
  // Drops the new file unless Commit gave it its name; the target is left as it was.
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Where the next bytes go: at least `room` bytes may be written there. A room of up to a few
  // kB is far within a buffer.
  char* LineStart(std::size_t room = kLineRoom) {
    if (static_cast<std::size_t>(buffer_end_ - next_) < room) {
      HandOver();
    }
    return next_;
  }
  // Keeps what was written from LineStart() up to `end`.
  void LineEnd(char* end) { next_ = end; }
  void Append(std::string_view text);

  // The bytes done so far: on the disk for a synced file, handed to the system otherwise.
  std::uint64_t BytesDone() const;
  // Whether the run, if it ends now without a commit, leaves the target empty: written in
  // place, the old file is being written over (see Replacement::Abandon).
  bool OverwritingTarget() const { return replacement_ && replacement_->Overwriting(); }
  // The file replaced, after links, as messages name it; empty for a stream.
  std::string_view ShownPath() const {
    return replacement_ ? std::string_view(replacement_->ShownPath()) : std::string_view();
  }

  // Writes out everything and waits for the disk if asked. Returns false when `keep_going` said
  // stop meanwhile. Raises a File error.
  bool Finish();
  // Finish, then gives the new file the target's name. Returns false, the target as it was,
  // when `keep_going` said stop meanwhile. Raises a File error, the target then as it was too.
  bool Commit();

 private:
  struct Shared;

  void StartThread(std::shared_ptr<NewFile> file);
  void HandOver();
  [[noreturn]] void Fail(std::error_code error) const;
  bool KeepGoing() const { return !keep_going_ || keep_going_(); }
  void Abandon();

  std::unique_ptr<Replacement> owned_;  // the replacement this writer commits itself
  Replacement* replacement_ = nullptr;  // none for a stream
  std::string shown_stream_;
  std::function<bool()> keep_going_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;

  char* buffer_ = nullptr;
  char* next_ = nullptr;
  char* buffer_end_ = nullptr;
  bool committed_ = false;
};

}  // namespace file
