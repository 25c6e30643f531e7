// The signals that stop a run on Linux, for the console programs and the window alike.
#pragma once

#include <cerrno>
#include <csignal>

namespace sys {

// Every asynchronous signal that ends a process by default and can be caught: each ends a run
// as a cancel, the old file kept, and the program with 128 + its number. The real-time signals
// join them at run time (their numbers are not constants). Left out: the faults a process makes
// itself (SEGV, BUS, FPE, ILL, TRAP, SYS, ABRT), which no cancel can follow; PIPE and XFSZ,
// which the console ignores so that the write fails with its reason; KILL and STOP, which
// cannot be caught.
inline constexpr int kNamedStopSignals[] = {SIGHUP,  SIGINT,    SIGQUIT,   SIGTERM, SIGUSR1,
                                            SIGUSR2, SIGALRM,   SIGVTALRM, SIGPROF, SIGXCPU,
                                            SIGPWR,  SIGSTKFLT, SIGPOLL};

// Calls `action` with each stop signal, the named ones first.
template <typename Action>
void ForEachStopSignal(Action action) {
  for (const int signal : kNamedStopSignals) {
    action(signal);
  }
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
    action(signal);
  }
}

// Sets `handler` for each stop signal, but leaves one that was ignored when the program started
// ignored, as shells expect of a background job (which ignores INT and QUIT). Returns 0 or the
// errno of the first that failed.
inline int CatchStopSignals(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  int error = 0;
  ForEachStopSignal([&](int signal) {
    struct sigaction before {};
    if (error != 0) {
      return;
    }
    if (sigaction(signal, nullptr, &before) != 0 ||
        (before.sa_handler != SIG_IGN && sigaction(signal, &action, nullptr) != 0)) {
      error = errno;
    }
  });
  return error;
}

}  // namespace sys
