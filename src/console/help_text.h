// What --help prints for each console program.
#pragma once

#include <string>

#include "console/program.h"

namespace console {

std::string HelpText(const Program& program);

}  // namespace console
