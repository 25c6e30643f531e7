// The signals that stop a run on Linux, for the console programs and the window alike.
#pragma once

#include <cerrno>
#include <csignal>

namespace grid {

// Every signal that ends a process by default and can be caught: each ends a run as a cancel,
// the old file kept, and the program with 128 + its number. XFSZ is not among them: the file
// size limit fails the write ("File too large") instead. KILL and STOP cannot be caught.
inline constexpr int kStopSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1,
                                       SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

// Sets `handler` for each stop signal, but leaves one that was ignored when the program started
// ignored, as shells expect of a background job (which ignores INT and QUIT). Returns 0 or the
// errno.
inline int CatchStopSignals(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0) {
      return errno;
    }
    if (before.sa_handler != SIG_IGN && sigaction(signal, &action, nullptr) != 0) {
      return errno;
    }
  }
  return 0;
}

}  // namespace grid
