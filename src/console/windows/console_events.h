// The handler CatchStopRequests sets for the console's events (Ctrl+C, Ctrl+Break, closing the
// console): named here so that the tests can send it what Wine cannot.
#pragma once

#include <windows.h>

namespace console {

// Takes Ctrl+C, Ctrl+Break and closing the console as a stop request. For a closing console it
// never returns: the system ends the process as soon as the handler returns, and the run must
// first cancel, leaving the file as it was, and the process exit on its own.
BOOL WINAPI OnConsoleEvent(DWORD event);

}  // namespace console
