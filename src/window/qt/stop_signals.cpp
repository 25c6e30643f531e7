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

namespace window {
namespace {

// A signal handler may do next to nothing: it writes a byte to a pipe, and the event loop
// reads it on the window's thread.
int signal_pipe[2] = {-1, -1};

void WakeEventLoop(int) {
  const int saved = errno;
  const char byte = 1;
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
    while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
    window->close();
    QCoreApplication::exit(0);  // also from inside a message box
  });
  struct sigaction action {};
  action.sa_handler = WakeEventLoop;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigaction(signal, &action, nullptr) != 0) {
      std::fprintf(stderr, "tessaplan: signals cannot be caught: %s\n", std::strerror(errno));
      return false;
    }
  }
  return true;
}

}  // namespace window
