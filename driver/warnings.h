// Checks that warn and change nothing: decks that read well but describe no
// physical aquifer or are numerically unsafe, wells moved far by the bore
// correction, and result tables that cannot be right.  Each warning is one
// line on stderr naming the value; the run goes on exactly as without it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.h"
#include "model/model_state.h"
#include "simulation/time_loop.h"

namespace kelvorat {

class RunChecks {
 public:
  explicit RunChecks(std::FILE* errors) : errors_(errors) {}

  // After the start-up records: T and S of every zone, Q, the pumping well
  // against the strip, the left boundary against the stream zone, the output
  // times and the number of Stehfest terms.
  void start_up(const StartUp& u, const ModelState& s);
  // Before the geometry step of `well`, with its location as read: a move
  // out of the pumping well's bore by more than 1 m.
  void before_placement(int well, const ModelState& s);
  // After the geometry step: the location the well is computed at.
  void placed(const ModelState& s) { XO_placed_ = s.XO; }
  // After the well's tables: keeps its summary line, if any.
  void well_done(int well, const WellSeries& w);
  // Writes the summary lines of the wells, after a normal end.
  void report_summaries();

  // The likely cause of an exponential-guard stop at the current well, named
  // from the deck; empty when the deck shows none.
  std::string guard_cause() const;

 private:
  void warn(const std::string& text);

  std::FILE* errors_;
  PumpingTest test_;
  double RW_ = 0, XW_ = 0, XLB_ = 0, XRB_ = 0;
  int well_ = 0;
  bool bore_move_ = false;
  double XO_placed_ = 0;
  std::vector<std::string> summaries_;
};

}  // namespace kelvorat
