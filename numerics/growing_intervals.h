// Integration of the drawdown integrand over the wavenumber, from a tiny
// positive start to a practically infinite upper limit, as a sum of Romberg
// integrals over successive intervals that grow in decade bands of a width
// unit H: steps of H up to 10 H, of 10 H up to 100 H, ..., of 10^5 H beyond.
#pragma once

#include <cmath>

#include "driver/line_sink.h"
#include "numerics/romberg.h"

namespace kelvorat {

struct IntervalIntegral {
  double error_indicator;  // last relative change if 250 intervals ran out, else 0
  double integral;         // the total reached, in every ending
};

namespace detail {
// Lines of the interval loop (the first two go to adet.res, the header and
// the legend to the integration trace).
void rombint_trace_header(LineSink& sink);
void rombint_interval_line(LineSink& sink, int IR, double A, double ENDG, double TPS, double C);
void rombint_zero_total_line(LineSink& sink, double TPS);
void rombint_range_line(LineSink& sink, double TPS, double C);
void rombint_limit_line(LineSink& sink, int IR, double ERR, double TPS, double C, double ENDG);
void rombint_summary(LineSink& sink, double ENDG, double C, double TPS, double ERR, double reltol);
void rombint_legend(LineSink& sink);

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

// Integral of f from `start` upward: the first interval ends at `first_end`
// (lowered to `upper` if beyond it), the others grow by the bands of H.  The
// sum stops when the newest interval changes the total by no more than
// `reltol`, when the total is still exactly zero after more than 50
// intervals, when an interval reaches `upper`, or after 250 intervals.
template <class F>
IntervalIntegral rombint(F& f, double start, double first_end, double upper, double H,
                         double abstol, double reltol, int IPRT, RombergState& st, LineSink& sink) {
  double TPS = 0.0;
  const detail::Bands bands(H);
  double ERR = 100.0;
  IntervalIntegral out{0.0, 0.0};
  if (IPRT != 0) detail::rombint_trace_header(sink);

  double A = start;
  double ENDG = first_end;
  double C = 0.0;
  int status = 0;
  bool stopped = false;
  int IR = 1;
  for (; IR <= 250; ++IR) {
    if (IR == 1) {
      A = start;
      ENDG = first_end;
    } else {
      A = ENDG;
    }
    if (ENDG > upper) ENDG = upper;
    if (IR > 1) ENDG = bands.next_end(ENDG);

    C = tromb(f, A, ENDG, abstol, reltol, IR, TPS, IPRT, status, st, sink);
    TPS = TPS + C;

    const bool zero_total = TPS == 0.0 && IR > 50;
    if (zero_total) detail::rombint_zero_total_line(sink, TPS);
    detail::rombint_interval_line(sink, IR, A, ENDG, TPS, C);
    if (zero_total) {
      stopped = true;
      break;
    }
    if (TPS != 0.0) ERR = std::fabs(C / TPS);
    if (ERR <= reltol) {
      stopped = true;
      break;
    }
    if (ENDG >= upper) {
      detail::rombint_range_line(sink, TPS, C);
      stopped = true;
      break;
    }
  }
  if (!stopped) {
    // IR is 251 here: every interval ran without a stop.
    out.error_indicator = ERR;
    detail::rombint_limit_line(sink, IR, ERR, TPS, C, ENDG);
  }
  out.integral = TPS;
  if (IPRT != 0) {
    detail::rombint_summary(sink, ENDG, C, TPS, ERR, reltol);
    detail::rombint_legend(sink);
  }
  return out;
}

}  // namespace kelvorat
