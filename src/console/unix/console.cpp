#include "console/console.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "system/unix/stop_signals.h"
#include "system/unix/write_all.h"

namespace console {
namespace {

// Set by the handler on whichever thread the signal lands, read by the writer's progress calls
// on another: a lock-free atomic is both safe in a handler and free of a data race.
std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The first stop names the cancel.
void Stop(int signal) {
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal);
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

void CatchStopRequests() {
  // A file size limit makes the write fail with "File too large" rather than kill the process,
  // and a closed standard error must not decide the exit status: it tells what happened to
  // newgrid.txt.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  sys::CatchStopSignals(Stop, 0);
}

bool StopRequested() {
  return stop_signal != 0;
}

std::string StopName() {
  return "signal " + std::to_string(stop_signal.load());
}

int CancelledStatus() {
  return 128 + stop_signal;
}

std::string StopsHelp() {
  return "128 + N after signal N stopped it (130 INT, 143 TERM, 129 HUP; also\n"
         "QUIT, USR1, USR2, ALRM, VTALRM, PROF, XCPU, PWR, STKFLT, POLL and the\n"
         "real-time signals), which leave the file as it was.";
}

// SIGPIPE is ignored from the start (CatchStopRequests): a reader that went away is told by
// the write's error.
std::error_code PrintOutput(const std::string& text) {
  const int error = sys::WriteAll(STDOUT_FILENO, text.data(), text.size());
  return {error, std::generic_category()};
}

// A failure has nowhere to be said; the exit status still tells what became of the file.
void PrintError(const std::string& text) {
  sys::WriteAll(STDERR_FILENO, text.data(), text.size());
}

bool ErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void Exit(int status) {
  std::exit(status);
}

}  // namespace console
