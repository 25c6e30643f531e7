// A wrong command line, as the console programs say it: what is wrong, in the user's words,
// the values it names quoted.
#pragma once

#include <string>
#include <string_view>

#include "file/shown_text.h"

namespace console {

// A wrong command line: what is wrong, as the user reads it.
struct UsageError {
  std::string problem;
};

// A value as a usage error quotes it: in single quotes, escaped.
inline std::string InSingleQuotes(std::string_view text) {
  std::string quoted = "'";
  quoted.append(file::Escaped(text)).append("'");
  return quoted;
}

}  // namespace console
