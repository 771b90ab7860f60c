// Romberg integration of one function over one finite interval [A, B]:
// trapezoid rules with halved steps, refined by Richardson extrapolation,
// for at most 13 halvings.  The relative test of later intervals is made
// against the total the caller has accumulated over the earlier ones, and an
// interval whose trapezoid values stay exactly zero is given up after five
// halvings.
#pragma once

#include <cmath>

#include "driver/line_sink.h"

namespace kelvorat {

// Storage of the integrator.  It belongs to the run and lives from one call
// to the next: the table needs no clearing (a call reads only entries it has
// written), while the relative measure Q keeps its last value across calls
// and can be read by a later call before that call recomputes it.
struct RombergState {
  double R[14][14];
  double Q = 0.0;
};

namespace detail {
// Trace lines of an interval found to be zero or ending without convergence,
// written to the integration trace (the header line only for interval 1).
void tromb_trace_zero(LineSink& sink, int IR, double D, double A, double B);
void tromb_trace_exhausted(LineSink& sink, int IR, double D, double R1313, double final_diff,
                           double A, double B);
}  // namespace detail

// Integral of f over [A, B].  `status` becomes 0 (converged), 1 (the
// integral of the interval is taken as zero) or 2 (13 levels without
// convergence; R(13,13) is returned).  `TPS` is the sum of the earlier
// intervals of the caller, `IR` the number of this interval from 1.
template <class F>
double tromb(F& f, double A, double B, double abstol, double reltol, int IR, double TPS, int IPRT,
             int& status, RombergState& st, LineSink& sink) {
  auto& R = st.R;
  status = 2;
  const double h = B - A;
  const double fa = f(A);
  const double fb = f(B);
  R[0][0] = 0.5 * h * (fa + fb);

  double D = 0.0;
  double E = 0.0;
  int N = 1;
  for (int i = 1; i <= 13; ++i) {
    // Trapezoid stage: only the midpoints new at this level are evaluated.
    N *= 2;
    const double dN = static_cast<double>(N);
    const double step = h / dN;
    double S = 0.0;
    for (int k = 1; k < N; k += 2) {
      S += f(A + static_cast<double>(k) * step);
    }
    R[i][0] = 0.5 * R[i - 1][0] + h * S / dN;

    D = (IR > 1 && i > 1) ? TPS : R[i][0];
    if (i > 4 && R[i][0] == 0.0) {
      status = 1;
      if (IPRT != 0) detail::tromb_trace_zero(sink, IR, D, A, B);
      return 0.0;
    }
    E = std::fabs(R[i][0] - R[i - 1][0]);
    bool converged = R[i][0] != 0.0 && E <= abstol;
    if (D != 0.0) {
      st.Q = E / std::fabs(D);
      if (st.Q <= reltol) converged = true;
    }
    if (converged) {
      status = 0;
      return R[i][0];
    }

    // Extrapolation stage.  On the diagonal (j = i) no new difference exists,
    // so E and Q keep the values of the column before.
    double P = 1.0;
    for (int j = 1; j <= i; ++j) {
      P *= 4.0;
      R[i][j] = (P * R[i][j - 1] - R[i - 1][j - 1]) / (P - 1.0);
      if (j < i) E = std::fabs(R[i][j] - R[i - 1][j]);
      bool conv = E <= abstol && R[i][j] != 0.0;
      D = (IR > 1 && i > 1) ? TPS : R[i][j];
      if (j < i && D != 0.0) st.Q = E / std::fabs(D);
      if (D != 0.0 && st.Q <= reltol) conv = true;
      if (conv) {
        status = 0;
        return R[i][j];
      }
    }
  }

  if (IPRT != 0) {
    detail::tromb_trace_exhausted(sink, IR, D, R[13][13], std::fabs(R[13][12] - R[12][12]), A, B);
  }
  return R[13][13];
}

}  // namespace kelvorat
