// The guarded exponential of the model.  Every exponential of the zone chain
// and of the case terms goes through ddxp, which refuses arguments above 700
// so that no term can overflow unnoticed; callers that need e^z for larger z
// ask for e^(z/14) and raise it to the 14th power themselves.
#pragma once

#include <cmath>
#include <exception>

namespace kelvorat {

// The stop message of a trip; the run follows it with bar in E10.4.
inline constexpr char kExpGuardStopText[] =
    " STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =";

// Raised by ddxp for an argument above 700.  The run catches it, writes
// the stop message with bar() and stops.
class ExpGuardTrip : public std::exception {
 public:
  explicit ExpGuardTrip(double bar) : bar_(bar) {}
  double bar() const noexcept { return bar_; }
  const char* what() const noexcept override;

 private:
  double bar_;
};

// The failure path, kept out of line so that ddxp stays a compare and an exp.
[[noreturn, gnu::cold, gnu::noinline]] void throw_exp_guard_trip(double bar);

// e^bar.  A NaN fails the comparison and passes through; large negative
// arguments underflow quietly to 0.
inline double ddxp(double bar) {
  if (bar > 700.0) [[unlikely]]
    throw_exp_guard_trip(bar);
  return std::exp(bar);
}

}  // namespace kelvorat
