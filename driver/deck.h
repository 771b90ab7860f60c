// The start-up records of a deck (records 1 to 14): read into typed values,
// checked, and echoed to adet.res, in three separate steps.  Reading stops at
// the first record that cannot be read; the checks and the echo then cover
// the records before it, and the run ends with the read error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "model/model_state.h"
#include "simulation/time_loop.h"

namespace kelvorat {

// Records 1 to 14 as written.  A null value or a slash leaves a variable at
// the value given here.
struct StartRecords {
  std::int32_t NOBS = 0;                                // record 1
  double XO = 0, YO = 0;                                // 2: the first observation well
  double XW = 0, YW = 0;                                // 3: the pumping well
  double RW = 0;                                        // 4
  double T1 = 0, S1 = 0;                                // 5
  double T2 = 0, S2 = 0;                                // 6
  double T3 = 0, S3 = 0;                                // 7
  double XLB = 0, XRB = 0;                              // 8
  double DN = 0;                                        // 9
  double K = 0, thickness = 0;                          // 10: streambed
  double Q = 0, STOPT = 0, T0 = 0, T0STEP = 0, TA = 0;  // 11
  std::int32_t NT = 0, IPRT = 0;                        // 12 (fixed columns)
  std::int32_t NTERMS = 20;                             // 13
  double ERRMAX = 0;                                    // 14
};

inline constexpr int kStartRecordCount = 14;

// Records 1..complete were read; `error` is the read error of record
// complete + 1 when there is one.
struct StartRead {
  StartRecords records;
  int complete = 0;
  std::optional<deck::DeckError> error;
};
StartRead read_start_records(deck::DeckReader& reader);

// The number of Stehfest terms after its checks: the accepted range 6..20
// (else 6), then an even count.
struct TermCount {
  std::int32_t NTERMS = 20;
  bool out_of_range = false;
  bool raised = false;  // odd: raised by one
};
TermCount check_term_count(std::int32_t read);

// The relative tolerance after its check against ERRBND, the reciprocal of
// the largest Stehfest weight in use: one above it becomes 0.1 * ERRBND.
struct Tolerance {
  double ERRMAX = 0;
  double ERRBND = 0;
  bool lowered = false;
};
Tolerance check_tolerance(std::int32_t nterms, double errmax);

// The values the checks correct or derive.
struct StartChecks {
  double XLB = 0;      // the left boundary as a distance, |XLB|
  double DN = 0;       // |DN|
  double STLEAK = 0;   // K / thickness
  double STLEAKT = 0;  // K / (thickness * T2)
  TermCount terms;
  Tolerance tolerance;
};
StartChecks check_start_records(const StartRecords& r);

// The echo of records 1..complete with the notes of their checks, in deck
// order; a note goes to the console first, then into the echo.
void echo_start_records(const StartRecords& r, const StartChecks& c, int complete, LineSink& sink);

// The echo line of an observation well's location.
void echo_location(double XO, double YO, LineSink& sink);

// The deck values of the pumping test after the checks, in the pieces the
// computation reads.
struct PumpingTest {
  double Q = 0, STOPT = 0, T0 = 0, T0STEP = 0, TA = 0;
  std::int32_t NT = 0;
  std::int32_t IPRT = 0;
  double T1 = 0, S1 = 0, T2 = 0, S2 = 0, T3 = 0, S3 = 0;
  double STLEAK = 0;  // streambed K / streambed thickness
  double ERRMAX = 0;  // relative tolerance of the integration, after its checks

  PumpingSchedule schedule() const { return {Q, STOPT, T0, T0STEP, TA, NT}; }
  ZoneProperties zones() const { return {T1, S1, T2, S2, T3, S3}; }
  InversionSettings inversion() const { return {ERRMAX, STLEAK}; }
};

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

// Reads, checks and echoes records 1 to 14 and fills the deck values of
// `state` (well locations, boundaries, DN, STLEAKT).  A read error is thrown
// (deck::DeckError) after the echo of the records before it.
StartUp read_start_up(deck::DeckReader& reader, ModelState& state, LineSink& sink);

}  // namespace kelvorat
