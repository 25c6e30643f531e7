#include "file/writer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "file/failure.h"

namespace file {
namespace {

// Large enough that system calls cost nothing next to the bytes, small enough to stay in cache.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr std::size_t kBufferCount = 3;
// What the writer's thread allocates as it starts, so that the allocator's state for the thread
// is made before the first byte rather than at its first allocation.
constexpr std::size_t kFirstAllocation = 64;
// How often the writer asks whether to go on while it waits for the disk.
constexpr auto kAskEvery = std::chrono::milliseconds(40);
// How long an abandoned run waits for its writer before leaving it to finish alone.
constexpr auto kStopWait = std::chrono::milliseconds(200);

// Waits, `lock` held, until `ready`; every kAskEvery it asks `keep_going`, the lock let go, so
// that a cancel never waits for the disk. Returns whether to go on.
template <typename Ready, typename KeepGoing>
bool WaitWhileGoing(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                    Ready ready, KeepGoing keep_going) {
  while (!changed.wait_for(lock, kAskEvery, ready)) {
    lock.unlock();
    const bool going_on = keep_going();
    lock.lock();
    if (!going_on) {
      return false;
    }
  }
  return true;
}

}  // namespace

// The writer thread and what it shares with the caller. The thread holds it too, so that a run
// abandoned while the disk is slow can return at once and leave the thread to finish alone.
// Nothing in it allocates once the thread has started: the buffers go round in fixed rings.
struct Writer::Shared {
  struct Filled {
    char* data;
    std::size_t size;
  };

  std::shared_ptr<NewFile> file;
  std::array<std::unique_ptr<char[]>, kBufferCount> buffers;
  // The thread's own first allocation (on glibc, the thread's arena), made before the first byte.
  std::unique_ptr<char[]> thread_first;

  std::mutex mutex;
  std::condition_variable changed;
  std::array<char*, kBufferCount> empty{};
  std::size_t empty_count = 0;
  std::array<Filled, kBufferCount> filled{};  // in file order, from filled_first
  std::size_t filled_first = 0;
  std::size_t filled_count = 0;
  bool started = false;  // the thread runs, and made its first allocation or could not
  bool start_failed = false;
  bool finishing = false;  // no more buffers come: write out, finish, and stop
  bool abandoned = false;  // stop at once
  bool done = false;
  std::error_code error;

  void PushFilled(char* data, std::size_t size) {
    filled[(filled_first + filled_count++) % kBufferCount] = {data, size};
  }
  Filled PopFilled() {
    const Filled next = filled[filled_first];
    filled_first = (filled_first + 1) % kBufferCount;
    --filled_count;
    return next;
  }
  char* PopEmpty() { return empty[--empty_count]; }
  void Run();
};

// Hands the filled buffers to the system in order. After a failure it goes on taking buffers
// without writing them, so that the caller never waits for it.
void Writer::Shared::Run() {
  std::unique_lock lock(mutex);
  try {
    thread_first = std::make_unique<char[]>(kFirstAllocation);
  } catch (const std::bad_alloc&) {
    start_failed = true;
  }
  started = true;
  changed.notify_all();
  for (;;) {
    changed.wait(lock, [this] { return filled_count > 0 || finishing || abandoned; });
    if (abandoned) {
      break;
    }
    if (filled_count == 0) {
      if (!error) {
        lock.unlock();
        const std::error_code finished = file->Finish();
        lock.lock();
        error = finished;
      }
      break;
    }
    const Filled next = PopFilled();
    if (!error) {
      lock.unlock();
      const std::error_code result = file->Write(next.data, next.size);
      lock.lock();
      error = result;
    }
    empty[empty_count++] = next.data;
    changed.notify_all();
  }
  done = true;
  changed.notify_all();
}

Writer::Writer(const std::filesystem::path& target, std::uint64_t size,
               const ReplaceOptions& options, std::function<bool()> keep_going)
    : owned_(std::make_unique<Replacement>(target, size, options)),
      replacement_(owned_.get()),
      keep_going_(std::move(keep_going)) {
  StartThread(replacement_->file());
  try {
    replacement_->BeginWriting();
  } catch (...) {
    Abandon();  // the thread stopped: no destructor follows a constructor that throws
    throw;
  }
}

Writer::Writer(Replacement& replacement, std::function<bool()> keep_going)
    : replacement_(&replacement), keep_going_(std::move(keep_going)) {
  StartThread(replacement_->file());
}

void Writer::Begin() {
  if (replacement_ && !owned_) {
    replacement_->BeginWriting();
  }
}

Writer::Writer(std::shared_ptr<NewFile> stream, std::string shown, std::function<bool()> keep_going)
    : shown_stream_(std::move(shown)), keep_going_(std::move(keep_going)) {
  StartThread(std::move(stream));
}

void Writer::StartThread(std::shared_ptr<NewFile> file) {
  shared_ = std::make_shared<Shared>();
  shared_->file = std::move(file);
  for (std::unique_ptr<char[]>& buffer : shared_->buffers) {
    buffer = std::make_unique<char[]>(kBufferBytes);
    shared_->empty[shared_->empty_count++] = buffer.get();
  }
  buffer_ = next_ = shared_->PopEmpty();
  buffer_end_ = buffer_ + kBufferBytes;
  try {
    thread_ = std::thread([shared = shared_] { shared->Run(); });
  } catch (const std::system_error& error) {
    throw Failure(Failure::Kind::system,
                  "a thread to write the file cannot be started: " + error.code().message());
  }
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return shared_->started; });
  if (shared_->start_failed) {
    shared_->abandoned = true;
    lock.unlock();
    shared_->changed.notify_all();
    thread_.join();
    throw std::bad_alloc();
  }
}

Writer::~Writer() {
  if (!committed_) {
    Abandon();
  }
}

void Writer::Append(std::string_view text) {
  while (!text.empty()) {
    char* start = LineStart();
    const std::size_t part = std::min(text.size(), static_cast<std::size_t>(buffer_end_ - start));
    std::copy_n(text.data(), part, start);
    LineEnd(start + part);
    text.remove_prefix(part);
  }
}

std::uint64_t Writer::BytesDone() const {
  return shared_->file->BytesDone();
}

// Queues the filled buffer and takes an empty one. A writer held up by the disk keeps every
// buffer: then the wait asks whether to go on, so that a cancel never waits for the disk.
void Writer::HandOver() {
  std::unique_lock lock(shared_->mutex);
  if (shared_->error) {
    Fail(shared_->error);
  }
  shared_->PushFilled(buffer_, static_cast<std::size_t>(next_ - buffer_));
  shared_->changed.notify_all();
  if (!WaitWhileGoing(
          shared_->changed, lock, [this] { return shared_->empty_count > 0; },
          [this] { return KeepGoing(); })) {
    throw Cancelled{};
  }
  buffer_ = next_ = shared_->PopEmpty();
  buffer_end_ = buffer_ + kBufferBytes;
}

bool Writer::Commit() {
  if (!Finish()) {
    return false;
  }
  if (owned_) {
    owned_->Commit();
  }
  committed_ = true;
  return true;
}

bool Writer::Finish() {
  std::error_code error;
  {
    std::unique_lock lock(shared_->mutex);
    if (next_ != buffer_) {
      shared_->PushFilled(buffer_, static_cast<std::size_t>(next_ - buffer_));
      next_ = buffer_;
    }
    shared_->finishing = true;
    shared_->changed.notify_all();
    if (!WaitWhileGoing(
            shared_->changed, lock, [this] { return shared_->done; },
            [this] { return KeepGoing(); })) {
      return false;
    }
    error = shared_->error;
  }
  thread_.join();
  if (error) {
    Fail(error);
  }
  return KeepGoing();
}

// Stops the writer and drops the new file. A writer held up by a slow disk is left to finish
// alone, on a file that no longer has a name, so that the caller never waits for the disk.
void Writer::Abandon() {
  if (thread_.joinable()) {
    std::unique_lock lock(shared_->mutex);
    shared_->abandoned = true;
    shared_->changed.notify_all();
    const bool stopped =
        shared_->changed.wait_for(lock, kStopWait, [this] { return shared_->done; });
    lock.unlock();
    if (stopped) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }
  if (owned_) {
    owned_->Abandon();
  }
}

void Writer::Fail(std::error_code error) const {
  if (replacement_) {
    replacement_->Fail(error);
  }
  FailOnFile(error.message(), shown_stream_);
}

}  // namespace file
