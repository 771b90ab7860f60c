// What the integrators report while they work.  The computing layers hand
// every event to an IntegrationTrace and never format anything themselves; a
// null trace pointer means nobody listens, and then nothing is built at all.
// Calls happen once per interval, per Stehfest term or per integral, never
// per evaluation of the integrand.
#pragma once

#include <cstdint>

namespace kelvorat {

// How a Romberg integral over one interval ended.
enum class RombergStatus : std::uint8_t {
  converged,      // the absolute or the relative test passed
  zero_interval,  // the trapezoid values stayed exactly zero: taken as 0
  exhausted,      // 13 levels without convergence: R(13,13) is returned
};

struct RombergResult {
  double value = 0.0;
  RombergStatus status = RombergStatus::exhausted;
  int levels = 0;  // halvings made (1..13)
};

// How the sum over growing intervals ended.
enum class IntegralEnding : std::uint8_t {
  converged,        // the newest interval changed the total by at most reltol
  zero_total,       // the total was still exactly zero after 50 intervals
  range_exhausted,  // an interval reached the upper limit
  interval_limit,   // 250 intervals ran without a stop
};

struct IntegralResult {
  double integral = 0.0;         // the total reached, in every ending
  double error_indicator = 0.0;  // last relative change after interval_limit, else 0
  IntegralEnding ending = IntegralEnding::converged;
  int intervals = 0;  // intervals integrated (1..250)
};

// Limits and tolerances of one integral over the wavenumber.
struct IntegrationLimits {
  double start = 0.0;      // lower limit
  double first_end = 0.0;  // end of the first interval (lowered to `upper` if beyond it)
  double upper = 0.0;      // practical infinity
  double H = 0.0;          // width unit of the interval bands
  double abstol = 0.0;
  double reltol = 0.0;
};

class IntegrationTrace {
 public:
  virtual ~IntegrationTrace() = default;

  // An integral over growing intervals begins.
  virtual void on_integral_start() {}
  // Interval IR of [A, B] ended without converging (zero_interval or
  // exhausted).  D is the measure of the last test, final_diff
  // |R(13,12) - R(12,12)| for an exhausted interval (else 0).
  virtual void on_romberg_end(int /*IR*/, double /*D*/, const RombergResult& /*r*/,
                              double /*final_diff*/, double /*A*/, double /*B*/) {}
  // Interval IR over [A, ENDG] gave C; TPS is the total so far.
  virtual void on_interval(int /*IR*/, double /*A*/, double /*ENDG*/, double /*TPS*/,
                           double /*C*/) {}
  // The sum stopped other than by converging: zero_total comes before the
  // interval's on_interval, the other endings after it.  `IR` is the number
  // the loop counter reached (251 after interval_limit).
  virtual void on_integral_stop(IntegralEnding /*ending*/, int /*IR*/, double /*ERR*/,
                                double /*TPS*/, double /*C*/, double /*ENDG*/) {}
  // The integral is complete.
  virtual void on_integral_summary(double /*ENDG*/, double /*C*/, double /*TPS*/, double /*ERR*/,
                                   double /*reltol*/) {}
  // Running Stehfest sums after a term of the inversion.
  virtual void on_term(double /*DP*/, double /*XP*/) {}
};

}  // namespace kelvorat
