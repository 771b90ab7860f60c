// Romberg integration of one function over one finite interval [A, B]:
// trapezoid rules with halved steps, refined by Richardson extrapolation,
// for at most 13 halvings.  The relative test of later intervals is made
// against the total the caller has accumulated over the earlier ones, and an
// interval whose trapezoid values stay exactly zero is given up after five
// halvings.
#pragma once

#include <cmath>

#include "numerics/trace.h"

namespace kelvorat {

// Storage of the integrator, owned by the caller and handed to every call.
// The table needs no clearing (a call reads only entries it has written),
// while the relative measure Q keeps its last value across calls and can be
// read by a later call before that call recomputes it: a run carries it
// from each integral to the next.  With `carry_measure` false every integral
// over growing intervals starts from Q = 0 instead.
struct RombergState {
  double R[14][14];
  double Q = 0.0;
  bool carry_measure = true;
};

// One interval of a sum: [A, B], its number IR from 1, and TPS, the sum of
// the caller's earlier intervals.
struct RombergInterval {
  double A = 0.0;
  double B = 0.0;
  int IR = 1;
  double TPS = 0.0;
};

// Integral of f over the interval with the tolerances of `lim` (abstol,
// reltol).  An interval that ends other than converged is reported to
// `trace` (may be null).
template <class F>
RombergResult tromb(F& f, const RombergInterval& iv, const IntegrationLimits& lim, RombergState& st,
                    IntegrationTrace* trace) {
  const double A = iv.A;
  const double B = iv.B;
  const int IR = iv.IR;
  const double TPS = iv.TPS;
  const double abstol = lim.abstol;
  const double reltol = lim.reltol;
  auto& R = st.R;
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
      const RombergResult r{0.0, RombergStatus::zero_interval, i};
      if (trace != nullptr) trace->on_romberg_end(IR, D, r, 0.0, A, B);
      return r;
    }
    E = std::fabs(R[i][0] - R[i - 1][0]);
    bool converged = R[i][0] != 0.0 && E <= abstol;
    if (D != 0.0) {
      st.Q = E / std::fabs(D);
      if (st.Q <= reltol) converged = true;
    }
    if (converged) return {R[i][0], RombergStatus::converged, i};

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
      if (conv) return {R[i][j], RombergStatus::converged, i};
    }
  }

  const RombergResult r{R[13][13], RombergStatus::exhausted, 13};
  if (trace != nullptr) trace->on_romberg_end(IR, D, r, std::fabs(R[13][12] - R[12][12]), A, B);
  return r;
}

}  // namespace kelvorat
