// What grid_bench needs of its system, one file per system: its arguments in UTF-8, requests to
// stop (signals on Linux; Ctrl+C, Ctrl+Break and closing the console on Windows), and a standard
// error that shows UTF-8.
#pragma once

#include <string>
#include <vector>

namespace console {

std::vector<std::string> Arguments(int argc, char** argv);

// From now on a stop request is caught, not fatal: StopRequested() turns true.
void CatchStopRequests();
bool StopRequested();
// How the message names the request ("signal 15", "Ctrl+C"), and the exit status it gives.
std::string StopName();
int CancelledStatus();

// Writes UTF-8 text to standard error so that it shows as written.
void PrintError(const std::string& text);

// Ends the process with `status`, once everything is done.
[[noreturn]] void Exit(int status);

}  // namespace console
