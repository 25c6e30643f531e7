#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "console.h"

namespace console {
namespace {

volatile std::sig_atomic_t stop_signal = 0;

void Stop(int signal) {
  stop_signal = signal;
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
  struct sigaction stop {};
  stop.sa_handler = Stop;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &stop, nullptr);
  }
}

bool StopRequested() {
  return stop_signal != 0;
}

std::string StopName() {
  return "signal " + std::to_string(stop_signal);
}

int CancelledStatus() {
  return 128 + stop_signal;
}

void PrintError(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (written <= 0) {
      return;  // nowhere to say it; the exit status still tells
    }
    done += static_cast<std::size_t>(written);
  }
}

void Exit(int status) {
  std::exit(status);
}

}  // namespace console
