// INT, TERM and HUP end the program as its close box does.
#pragma once

class QWidget;

namespace window {

// From now on INT, TERM and HUP close `window`, which cancels a run under way and leaves
// newgrid.txt as it was, and end the event loop with status 0. Returns false, with the system's
// reason on standard error, when the signals cannot be caught.
bool CloseOnStopSignals(QWidget* window);

}  // namespace window
