// kelvorat: drawdown and stream depletion for a well pumping from a strip
// aquifer cut by a leaky stream.  Reads kelvorat.dat in the working
// directory and writes its result files there; takes no arguments.
#include <cstdio>

#include "driver/run.h"

int main() {
  kelvorat::set_floating_point_mode();
  return kelvorat::run_program(".", stdout, stderr);
}
