// Run control: the deck is read, checked and echoed, then every observation
// well is placed and computed in deck order.
#pragma once

#include <cstdio>
#include <filesystem>

#include "driver/deck.h"

namespace kelvorat {

// Sets the floating-point environment of the run: round to nearest,
// exceptions masked (overflow gives infinities, 0/0 a NaN).
void set_floating_point_mode();

// The whole program in `dir`: returns the exit status (0 normal end, 2 an
// input or output error, 3 stopped by the exponential guard).
int run_program(const std::filesystem::path& dir, std::FILE* console, std::FILE* errors);

}  // namespace kelvorat
