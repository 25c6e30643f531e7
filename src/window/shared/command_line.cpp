#include "window/shared/command_line.h"

#include "file/shown_text.h"
#include "window/shared/texts.h"

namespace window {

CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments) {
  CommandLineAnswer answer;
  bool options = true;  // until "--", which ends them
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && (argument == "--help" || argument == "-h" || argument == "-?")) {
      return {0, UsageText(), ""};
    } else if (options && (argument == "--version" || argument == "-v")) {
      answer = {0, VersionText(), ""};
    } else if (options && argument.size() > 1 && argument.front() == '-') {
      return {2, "", CommandLineError("Unknown option '" + file::Escaped(argument) + "'")};
    } else {
      return {2, "", CommandLineError("takes no arguments, not '" + file::Escaped(argument) + "'")};
    }
  }
  return answer;
}

}  // namespace window
