// grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING
//
// Writes newgrid.txt in the current directory exactly as the Run button does, from the five
// texts as typed, and takes every option tessaplan-grid takes. Prints "<points> points, <bytes>
// bytes, <seconds> s, <rate> points/s" to standard error and exits 0; on a run-time error
// prints its number and description and exits 1; on a wrong command line exits 2. A stop
// request (INT, TERM and HUP on Linux; Ctrl+C, Ctrl+Break and closing the console on Windows)
// cancels the run, leaving newgrid.txt as it was: it says so and exits with 128 + the signal's
// number on Linux, 130 on Windows.
#include "console/console.h"
#include "console/grid_command.h"

int main(int argc, char** argv) {
  console::Exit(console::RunGridCommand(console::kGridBench, console::Arguments(argc, argv)));
}
