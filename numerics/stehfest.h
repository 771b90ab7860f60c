// Stehfest inversion of the Laplace transform: a time-domain value at t is
// a weighted sum of transform values at the real points p_k = k ln2 / t.
#pragma once

#include "numerics/trace.h"

namespace kelvorat {

// Weights V_i of the Stehfest formula, 15 significant digits: row i - 1,
// column j - 1 holds V_i for N = 2j + 4 terms (j = 1..8); rows past N hold 0.
extern const double STEHV[20][8];

// The weights in use for a number of terms from 6 to 20.  An odd count uses
// the first `nterms` weights of the column for `nterms` + 1.
class StehfestColumn {
 public:
  explicit StehfestColumn(int nterms) : nterms_(nterms), column_((nterms - 3) / 2) {}
  int nterms() const { return nterms_; }
  // V_k, k = 1..nterms.
  double weight(int k) const { return STEHV[k - 1][column_ - 1]; }
  // 1 / max |V_i| over the weights in use: the smallest relative error the
  // integration can usefully be asked for.
  double errbnd() const;

 private:
  int nterms_;
  int column_;  // 1..8
};

// Transform values at one p: the drawdown integral with its error indicator,
// and the depletion transform.
struct TermValues {
  double integral;
  double error_indicator;
  double depletion;
};

// a XP (drawdown), a DP (depletion), a ESUM (drawdown error estimate).
struct Inversion {
  double aXP;
  double aDP;
  double aESUM;
};

// Inversion at base rate a = ln2 / t.  `term(p)` evaluates the transforms at
// p.  Each value is divided by its p before weighting, so the sums invert
// F(p)/p.  With a `trace` (pumping phase) the running sums are reported
// after every term; the recovery inversion passes nullptr.
template <class TermFn>
Inversion invert(const StehfestColumn& col, double a, TermFn&& term, IntegrationTrace* trace) {
  double XP = 0.0;
  double DP = 0.0;
  double ESUM = 0.0;
  double k = 1.0;  // real counter: p_k = k a
  for (int n = 1; n <= col.nterms(); ++n, k += 1.0) {
    const double p = k * a;
    const TermValues tv = term(p);
    const double V = col.weight(n);
    XP = XP + V * tv.integral / p;
    DP = DP + V * tv.depletion / p;
    ESUM = ESUM + V * tv.integral * tv.error_indicator / p;
    if (trace != nullptr) trace->on_term(DP, XP);
  }
  return {a * XP, a * DP, a * ESUM};
}

}  // namespace kelvorat
