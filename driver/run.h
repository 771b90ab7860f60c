// Run control: the deck is read and echoed record by record with its checks,
// then every observation well is placed and computed in deck order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "model/model_state.h"
#include "simulation/time_loop.h"

namespace kelvorat {

// Everything the start-up records give, after their corrections.
struct StartUp {
  std::int32_t NOBS = 0;
  double RW = 0;
  double K = 0;                  // streambed hydraulic conductivity
  double thickness = 0;          // streambed thickness
  std::int32_t NTERMS_read = 0;  // as written in the deck (or the preset)
  std::int32_t NTERMS = 20;      // after the range and parity checks
  double ERRMAX_read = 0;
  PumpingTest test;  // test.ERRMAX is final
};

// Reads records 1 to 14 with their echo to adet.res, the sign corrections,
// the leakance values, the term-count checks and the error-bound check
// (messages to the console first, then to adet.res).  Fills the deck values
// of `state`.  Throws deck::DeckError.
StartUp read_start_up(deck::DeckReader& deck, ModelState& state, LineSink& sink);

// Sets the floating-point environment of the run: round to nearest,
// exceptions masked (overflow gives infinities, 0/0 a NaN).
void set_floating_point_mode();

// The whole program in `dir`: returns the exit status (0 normal end, 2 an
// input or output error, 3 stopped by the exponential guard, 128 + the
// signal when SIGINT or SIGTERM interrupted it).
int run_program(const std::filesystem::path& dir, std::FILE* console, std::FILE* errors);

}  // namespace kelvorat
