// Standard output as a place the grid streams to, for a pipe: each system's own way of writing
// it (unix/standard_output.cpp, windows/standard_output.cpp).
#pragma once

#include <memory>

#include "grid/replacement.h"

namespace grid {

// Writes every byte as it comes, binary on every system (a line end stays CR LF). When `sync`
// and standard output is a file on a disk, Finish puts it on the disk. A reader that went away
// is an error ("Broken pipe").
std::shared_ptr<NewFile> StandardOutput(bool sync);

}  // namespace grid
