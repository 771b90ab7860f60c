// Integration of the drawdown integrand over the wavenumber, from a tiny
// positive start to a practically infinite upper limit, as a sum of Romberg
// integrals over successive intervals that grow in decade bands of a width
// unit H: steps of H up to 10 H, of 10 H up to 100 H, ..., of 10^5 H beyond.
#pragma once

#include <cmath>

#include "numerics/romberg.h"
#include "numerics/trace.h"

namespace kelvorat {

namespace detail {
// The end of the next interval, which starts at `a`: exactly one step of
// the band in which `a` lies.  The top band includes its lower limit, every
// other band includes its upper limit only.
struct Bands {
  double H, b10, b100, b1000, b1e4, b1e5;
  explicit Bands(double h)
      : H(h),
        b10(10.0 * h),
        b100(100.0 * h),
        b1000(1000.0 * h),
        b1e4(10000.0 * h),
        b1e5(100000.0 * h) {}
  double next_end(double a) const {
    if (a <= b10) return a + H;
    if (a <= b100) return a + b10;
    if (a <= b1000) return a + b100;
    if (a <= b1e4) return a + b1000;
    if (a < b1e5) return a + b1e4;
    return a + b1e5;
  }
};
}  // namespace detail

// Integral of f from `lim.start` upward: the first interval ends at
// `lim.first_end` (lowered to `lim.upper` if beyond it), the others grow by
// the bands of H.  The sum stops when the newest interval changes the total
// by no more than `lim.reltol`, when the total is still exactly zero after
// more than 50 intervals, when an interval reaches `lim.upper`, or after 250
// intervals.  Every interval and ending is reported to `trace` (may be null).
template <class F>
IntegralResult rombint(F& f, const IntegrationLimits& lim, RombergState& st,
                       IntegrationTrace* trace) {
  const double upper = lim.upper;
  double TPS = 0.0;
  const detail::Bands bands(lim.H);
  double ERR = 100.0;
  IntegralResult out;
  if (!st.carry_measure) st.Q = 0.0;
  if (trace != nullptr) trace->on_integral_start();

  double A = lim.start;
  double ENDG = lim.first_end;
  double C = 0.0;
  bool stopped = false;
  int IR = 1;
  for (; IR <= 250; ++IR) {
    if (IR == 1) {
      A = lim.start;
      ENDG = lim.first_end;
    } else {
      A = ENDG;
    }
    if (ENDG > upper) ENDG = upper;
    if (IR > 1) ENDG = bands.next_end(ENDG);

    C = tromb(f, RombergInterval{A, ENDG, IR, TPS}, lim, st, trace).value;
    TPS = TPS + C;

    const bool zero_total = TPS == 0.0 && IR > 50;
    if (zero_total) {
      out.ending = IntegralEnding::zero_total;
      if (trace != nullptr) trace->on_integral_stop(out.ending, IR, ERR, TPS, C, ENDG);
    }
    if (trace != nullptr) trace->on_interval(IR, A, ENDG, TPS, C);
    if (zero_total) {
      stopped = true;
      break;
    }
    if (TPS != 0.0) ERR = std::fabs(C / TPS);
    if (ERR <= lim.reltol) {
      out.ending = IntegralEnding::converged;
      stopped = true;
      break;
    }
    if (ENDG >= upper) {
      out.ending = IntegralEnding::range_exhausted;
      if (trace != nullptr) trace->on_integral_stop(out.ending, IR, ERR, TPS, C, ENDG);
      stopped = true;
      break;
    }
  }
  if (!stopped) {
    // IR is 251 here: every interval ran without a stop.
    out.ending = IntegralEnding::interval_limit;
    out.error_indicator = ERR;
    if (trace != nullptr) trace->on_integral_stop(out.ending, IR, ERR, TPS, C, ENDG);
  }
  out.intervals = stopped ? IR : 250;
  out.integral = TPS;
  if (trace != nullptr) trace->on_integral_summary(ENDG, C, TPS, ERR, lim.reltol);
  return out;
}

}  // namespace kelvorat
