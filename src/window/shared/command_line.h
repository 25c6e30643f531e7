// The program's command line, the same in both windows: --help and --version are answered on the
// console without a window; anything else is refused.
#pragma once

#include <string>
#include <vector>

namespace window {

struct CommandLineAnswer {
  int status = -1;     // the exit status when the program is to end now, or -1 to go on
  std::string output;  // for standard output
  std::string error;   // for standard error
};

// `arguments` as typed, the program's name first, in UTF-8.
CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments);

}  // namespace window
