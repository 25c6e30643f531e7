// The stop signals (HUP, INT, QUIT, TERM and the others of system/unix/stop_signals.h) end the
// program as its close box does.
#pragma once

class QWidget;

namespace window {

// From now on each stop signal closes `window`, which cancels a run under way and leaves
// newgrid.txt as it was, and ends the event loop with status 128 + the signal's number. Returns
// false, with the system's reason on standard error, when the signals cannot be caught.
bool CloseOnStopSignals(QWidget* window);

}  // namespace window
