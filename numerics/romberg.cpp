// Trace lines of the one-interval Romberg integrator.  They are written only
// when an interval ends without convergence or is found to be zero, so the
// formatting stays out of the integrator's inner loops.
#include "numerics/romberg.h"

#include <cstdint>

#include "driver/field_format.h"

namespace kelvorat::detail {

namespace {
// D, the estimate, the absolute difference, IR, A, B after the marker.
constexpr char kZeroLine[] = "'@@ ',3E12.4,I4,2E12.4";
constexpr char kExhaustedLine[] = "'$$ ',3E12.4,I4,2E12.4";
}  // namespace

void tromb_trace_zero(LineSink& sink, int IR, double D, double A, double B) {
  if (IR == 1) sink.line(Channel::tromb, " SOLUTION FOR INTEGRATION IS ZERO");
  sink.line(Channel::tromb,
            fmt::format_line(kZeroLine, {D, 0.0, 0.0, static_cast<std::int32_t>(IR), A, B}));
}

void tromb_trace_exhausted(LineSink& sink, int IR, double D, double R1313, double final_diff,
                           double A, double B) {
  if (IR == 1) sink.line(Channel::tromb, " SOLUTION FOR INTEGRATION DOES NOT CONVERGE ");
  sink.line(Channel::tromb,
            fmt::format_line(kExhaustedLine,
                             {D, R1313, final_diff, static_cast<std::int32_t>(IR), A, B}));
}

}  // namespace kelvorat::detail
