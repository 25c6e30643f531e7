#include "window/qt/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "system/unix/stop_signals.h"

namespace window {
namespace {

// A signal handler may do next to nothing: it writes a byte to a pipe, and the event loop
// reads it on the window's thread.
int signal_pipe[2] = {-1, -1};

void WakeEventLoop(int signal) {
  const int saved = errno;
  const auto byte = static_cast<char>(signal);
  const ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
  static_cast<void>(ignored);
  errno = saved;
}

}  // namespace

bool CloseOnStopSignals(QWidget* window) {
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "tessaplan: signals cannot be caught: %s\n", std::strerror(errno));
    return false;
  }
  auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char bytes[16];
    int signal = 0;
    for (ssize_t got; (got = ::read(signal_pipe[0], bytes, sizeof bytes)) > 0;) {
      signal = signal == 0 ? bytes[0] : signal;  // the first stop tells the status
    }
    window->close();
    QCoreApplication::exit(128 + signal);  // also from inside a message box
  });
  if (const int error = sys::CatchStopSignals(WakeEventLoop, SA_RESTART); error != 0) {
    std::fprintf(stderr, "tessaplan: signals cannot be caught: %s\n", std::strerror(error));
    return false;
  }
  return true;
}

}  // namespace window
