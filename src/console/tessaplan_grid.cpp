// tessaplan-grid: the grid that tessaplan's Run writes, from a command line, for scripts and
// batch files. See --help, or the manual page tessaplan-grid(1).
#include "console/console.h"
#include "console/grid_command.h"

int main(int argc, char** argv) {
  console::Exit(console::RunGridCommand(console::kTessaplanGrid, console::Arguments(argc, argv)));
}
