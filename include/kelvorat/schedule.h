// Pumping schedules and several pumping wells by superposition.
//
// The engine gives the response of one pumping well at one rate from time 0.
// A schedule is a list of rate steps (start time t_i, rate Q_i); the rate Q_i
// holds from t_i until the next step starts.  By superposition in time and
// space the drawdown at (x, y) and time t is
//
//   s(x, y, t) = sum over wells w, over steps i with t > t_i, of the response
//                to the rate change Q_i - Q_{i-1} (Q_{-1} = 0) at lag t - t_i,
//
// each response formed by engine::step_values() from the transforms of the
// well's placement of (x, y).  The depletion rate, the depleted volume and
// the error estimate add up over the same terms, the error estimate as a sum
// of magnitudes.
//
// The cuts of the deck run (depletion ratios below 1e-8 set to 0, the rows up
// to ILAST left out of the tables, drawdown and depletion zeroed at full
// depletion after the stop) belong to the deck's tables and do not apply
// here; engine::well_series() reproduces them.  Summed in this order, the
// one-well schedule {(0, Q), (STOPT, 0)} gives the deck run's drawdown, and
// its depletion ratio wherever those cuts do not act, bit for bit: the term
// of the rate change -Q is exactly the negated recovery term.
//
// Unit responses are computed once per (well, point, lag), the lag compared
// bit for bit, and independent ones run on several threads.  Every result is
// summed in a fixed order, so no result depends on the number of threads.
// Each unit response starts its integrations from a fresh engine::Carry,
// where the deck run carries the relative measure of its Romberg integrals
// from one integral to the next; that measure is only read when a level's
// own test could not form it (a zero reference value), so the two agree but
// in that rare case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kelvorat/engine.h"

namespace kelvorat::schedule {

// From `start` (days) on, the well pumps at `Q` (m3/day) until the next step.
struct RateStep {
  double start = 0;
  double Q = 0;
};

struct ScheduledWell {
  engine::PumpingWell well;
  std::vector<RateStep> steps;  // start times strictly increasing, the first >= 0
};

struct Problem {
  engine::Aquifer aquifer;    // XLB and DN as distances (>= 0)
  engine::Settings settings;  // used as given: pass check_settings(...).settings
  std::vector<ScheduledWell> wells;
};

// Checks what the model cannot evaluate: a zone's T or S not positive, the
// stream zone or the streambed not physical, a well outside the strip
// (0 < XW < XRB), a schedule with no steps or with start times that do not
// increase, settings out of range, NaN or infinity anywhere.  Throws
// std::invalid_argument naming the parameter and the value.
void validate(const Problem& problem);

// The largest magnitude of the total pumping rate of all wells over the
// schedules: the reference of the depletion ratio.  0 when no well pumps.
double reference_rate(const Problem& problem);

// The exponential guard of the model tripped for one unit response: which
// well, point and lag.  Very short lags (an output time just after a rate
// step, even by a rounding error) are where it trips: p = k ln2 / lag grows
// without bound.
class GuardError : public engine::ExpGuardError {
 public:
  GuardError(double bar, std::string message)
      : engine::ExpGuardError(bar), message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Work done by one evaluation.
struct Stats {
  std::size_t terms = 0;         // (well, point, lag) terms of the sums
  std::size_t inversions = 0;    // distinct unit responses computed
  std::size_t integrations = 0;  // drawdown integrals: inversions * NTERMS
};

// Drawdown s (m) and its error estimate (m) at the points (x[i], y[i]) and
// times t[i], i < n.  Points must lie in the strip, -XLB <= x <= XRB.
// `threads` = 0 uses every core.  Throws std::invalid_argument for bad
// input and engine::ExpGuardError when the model's exponential guard trips.
Stats drawdown(const Problem& problem, std::span<const double> x, std::span<const double> y,
               std::span<const double> t, std::span<double> s, std::span<double> error,
               unsigned threads = 0);

// Stream depletion of all wells at the times t[i]: rate (m3/day taken from
// the stream), ratio (the rate over `reference`; pass reference_rate()), and
// volume (m3 taken since time 0).  Any of the outputs may be empty.  The
// ratio is summed as sum of ((Q_i - Q_{i-1}) / reference) * unit ratio, so
// that a single step of rate `reference` gives the unit ratio unchanged.
Stats depletion(const Problem& problem, std::span<const double> t, double reference,
                std::span<double> rate, std::span<double> ratio, std::span<double> volume,
                unsigned threads = 0);

}  // namespace kelvorat::schedule
