#include "window/shared/command_line.h"

#include "grid/shown_text.h"
#include "window/shared/texts.h"

namespace window {

CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments) {
  CommandLineAnswer answer;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "-?") {
      return {0, UsageText(), ""};
    }
    if (argument == "--version" || argument == "-v") {
      answer = {0, VersionText(), ""};
    } else if (argument.size() > 1 && argument.front() == '-') {
      const std::string name = argument.substr(argument.find_first_not_of('-'));
      return {2, "", CommandLineError("Unknown option '" + grid::Escaped(name) + "'")};
    } else {
      return {2, "", CommandLineError("takes no arguments, not '" + grid::Escaped(argument) + "'")};
    }
  }
  return answer;
}

}  // namespace window
