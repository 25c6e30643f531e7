// What the console programs need of their system, one file per system (unix/, windows/): their
// arguments in UTF-8, requests to stop (signals on Linux; Ctrl+C, Ctrl+Break and closing the
// console on Windows), a standard output and error that show UTF-8, and whether they are
// terminals.
#pragma once

#include <string>
#include <system_error>
#include <vector>

namespace console {

std::vector<std::string> Arguments(int argc, char** argv);

// From now on a stop request is caught, not fatal: StopRequested() turns true.
void CatchStopRequests();
bool StopRequested();
// How the message names the request ("signal 15", "Ctrl+C"), and the exit status it gives.
std::string StopName();
int CancelledStatus();
// What --help says of the stops this system has and the statuses they give, after "command
// line; " in its lines of at most 80 characters.
std::string StopsHelp();

// Write UTF-8 text to standard output or error so that it shows as written. What standard
// output could not take is returned, since the answer was the program's work; standard error's
// failure is not, and never decides the exit status: that tells what became of the file.
std::error_code PrintOutput(const std::string& text);
void PrintError(const std::string& text);

// Whether standard error is a terminal (a console on Windows), which a person reads.
bool ErrorIsTerminal();

// Ends the process with `status`, once everything is done.
[[noreturn]] void Exit(int status);

}  // namespace console
