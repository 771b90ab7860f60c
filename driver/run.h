// Run control: the deck is read, checked and echoed, then every observation
// well is placed and computed in deck order.
#pragma once

#include <cstdio>
#include <filesystem>
#include <vector>

#include "driver/deck.h"
#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "simulation/time_loop.h"

namespace kelvorat {

// Sets the floating-point environment of the run: round to nearest,
// exceptions masked (overflow gives infinities, 0/0 a NaN).
void set_floating_point_mode();

class RunChecks;

// The computation of a run once its files are open: the start-up records,
// then every observation well in deck order with its lines and tables
// written to `sink`.  `well` is the number of the well being computed (0
// while the start-up records are read); `checks` (may be null) sees the
// start-up values and every well.  Returns the wells' series.  Throws
// deck::DeckError and GuardStopAtStep.
std::vector<WellSeries> run_wells(deck::DeckReader& deck, LineSink& sink, int& well,
                                  RunChecks* checks = nullptr);

// The whole program in `dir`: returns the exit status (0 normal end, 2 an
// input or output error, 3 stopped by the exponential guard, 128 + the
// signal when SIGINT or SIGTERM interrupted it).
int run_program(const std::filesystem::path& dir, std::FILE* console, std::FILE* errors);

}  // namespace kelvorat
