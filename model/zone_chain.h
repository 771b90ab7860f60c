// The zone chain: for one wavenumber lambda, the roots of the three zones,
// the zone-2 and zone-3 coefficients and the amplitude AMP of the transformed
// solution across the strip.  Shared by the depletion transform (lambda = 0)
// and the drawdown integrand.
//
// The chain proper is evaluated in doubles.  e^RXW (EWPOS), CP3*EWPOS and
// everything formed from them up to AMP need a wider exponent range; that
// tail exists twice: in Wide arithmetic (the definition), and in plain
// doubles together with a proof obligation -- every product and quotient of
// the tail is finite and above the least normal double -- under which both
// give the same bits.  Callers take the double tail when it holds and fall
// back to the Wide one otherwise.
#pragma once

#include <cfloat>
#include <cmath>

#include "model/guarded_exp.h"
#include "model/model_state.h"
#include "model/wide.h"

namespace kelvorat::chain {

inline constexpr double kOneFourteenth = 0.07142857142857142;

// Magnitude strictly inside the normal double range (false for 0, inf, NaN).
// A product or quotient whose double result passes this test equals the
// 53-bit result with an unbounded exponent.
inline bool normal_mag(double r) {
  const double a = std::fabs(r);
  return a > DBL_MIN && a <= DBL_MAX;
}

// Below this argument e^x lies under half the least subnormal and rounds to
// +0; the library's exp reaches that answer only through its slow underflow
// path, which large wavenumbers would otherwise take on most calls.
inline constexpr double kExpZeroBelow = -746.0;

// ddxp for the model's terms: the guard and the same value, with the
// certain underflows answered directly.  Such arguments never trip the guard.
inline double gexp(double arg) { return arg < kExpZeroBelow ? 0.0 : ddxp(arg); }

// The plain exponential with the same shortcut, for arguments already known
// to pass the guard.
inline double pexp(double arg) { return arg < kExpZeroBelow ? 0.0 : std::exp(arg); }

// x^14 by square-and-multiply from the highest bit: ((x^2*x)^2*x)^2.
template <class T>
inline T pow14(T x) {
  const T x3 = (x * x) * x;
  const T x7 = (x3 * x3) * x;
  return x7 * x7;
}

// EWPOS = EW14^14 in the extended range.  The significand's powers stay in
// [1, 2^14), so the double products round exactly as the Wide ones do (scaling
// by powers of two never changes a rounding), and the exponent is 14 e.
inline Wide pow14_wide(double x) {
  const Wide w = Wide::from(x);
  if (!w.regular()) return pow14(w);
  const double p = pow14(w.m);
  return {wide_detail::significand_of(p), 14 * w.e + wide_detail::exponent_of(p)};
}

// x^13 the same way: ((x^2*x)^2)^2*x.
inline double pow13(double x) {
  const double x3 = (x * x) * x;
  const double x6 = x3 * x3;
  return (x6 * x6) * x;
}

struct ZoneChain {
  double ROOT1, ROOT2, ROOT3;
  double FR12, FR23;
  double ARG_EP1, ARG_EM1, ARG_EP2, ARG_EM2;  // kept for the vanished-coefficient rescaling
  double EP1, EM1, EP2, EM2, EWNEG, EW14, EWRB;
  double CP2, CM2, CP3, CM3;
  double RXW;
  bool asymptotic;
};

// Zone-2 and zone-3 coefficients from the four zone-2 exponentials.
inline void coefficients(ZoneChain& z) {
  z.CP2 = 0.5 * (z.EP1 + z.EP2) + 0.5 * z.FR12 * (z.EP1 - z.EP2);
  z.CM2 = 0.5 * (z.EM2 + z.EM1) - 0.5 * z.FR12 * (z.EM1 - z.EM2);
  z.CP3 = 0.5 * (z.CP2 + z.CM2) + 0.5 * z.FR23 * (z.CP2 - z.CM2);
  z.CM3 = 0.5 * (z.CP2 + z.CM2) - 0.5 * z.FR23 * (z.CP2 - z.CM2);
}

// The double part of the chain at lambda^2 = lam2 (formed by the caller as
// lambda*lambda).  The seven guarded exponentials run in their fixed order,
// so the first argument above the guard is the one reported.
inline void evaluate(const ModelState& s, double lam2, ZoneChain& z) {
  z.ROOT1 = std::sqrt(lam2 + s.PD1);
  z.ROOT2 = std::sqrt(lam2 + s.STLEAKT + s.PD2);
  z.ROOT3 = std::sqrt(lam2 + s.PD3);
  z.FR12 = z.ROOT1 * s.R12 / z.ROOT2;
  z.FR23 = z.ROOT2 * s.R23 / z.ROOT3;

  const double two_root1 = 2.0 * z.ROOT1;
  z.ARG_EP1 = s.DN * z.ROOT2 - s.DN * two_root1;
  z.ARG_EM1 = -s.DN * two_root1 - s.DN * z.ROOT2;
  z.ARG_EP2 = z.ROOT2 * s.DN - two_root1 * s.XLB;
  z.ARG_EM2 = -two_root1 * s.XLB - z.ROOT2 * s.DN;
  z.EP1 = gexp(z.ARG_EP1);
  z.EM1 = gexp(z.ARG_EM1);
  z.EP2 = gexp(z.ARG_EP2);
  z.EM2 = gexp(z.ARG_EM2);

  z.RXW = z.ROOT3 * s.XW;
  z.EWNEG = gexp(-z.RXW);
  z.EW14 = gexp(z.RXW * kOneFourteenth);
  z.EWRB = gexp(z.RXW - (2.0 * z.ROOT3) * s.XRB);

  coefficients(z);
  z.asymptotic = z.RXW > 600.0 || z.ROOT3 > 60.0;
}

// When all four zone-2 exponentials have underflowed (CP2 = CM2 = 0) the
// chain degenerates to 0 * infinity.  It is homogeneous in (CP2, CM2): CP3,
// CM3, CNUM and DEN scale with them and AMP inversely, so a case term keeps
// its value when the four exponentials share a common factor.  Take the
// largest of their arguments out of all four and return it; the zone-1 terms
// of the caller carry the same factor.  The guarded calls have already run.
inline double rescale_vanished(ZoneChain& z) {
  const double shift = std::fmax(std::fmax(z.ARG_EP1, z.ARG_EM1), std::fmax(z.ARG_EP2, z.ARG_EM2));
  z.EP1 = pexp(z.ARG_EP1 - shift);
  z.EM1 = pexp(z.ARG_EM1 - shift);
  z.EP2 = pexp(z.ARG_EP2 - shift);
  z.EM2 = pexp(z.ARG_EM2 - shift);
  coefficients(z);
  return shift;
}

// The extended-range tail, from EWPOS to AMP, in arithmetic T.
template <class T>
struct Tail {
  T CNUM, DEN, AMP;
  bool ok;  // for T = double: the double values equal the Wide ones
};

inline Tail<Wide> wide_tail(const ZoneChain& z) {
  const Wide ewpos = pow14_wide(z.EW14);
  const Wide t = z.CP3 * ewpos;
  const double c = z.CM3 * z.EWNEG;
  const double rpn = z.EWRB + z.EWNEG;
  const double rmn = z.EWRB - z.EWNEG;
  const Wide sp = t + c;
  Tail<Wide> r{};
  r.CNUM = rmn * sp;
  r.DEN = r.CNUM - rpn * (t - c);
  r.AMP = z.asymptotic ? 1.0 / ((c - t) - sp) : rpn / r.DEN;
  r.ok = true;
  return r;
}

inline Tail<double> double_tail(const ZoneChain& z) {
  // pow14's intermediates lie between EW14 and EWPOS in magnitude (up to
  // rounding), so a normal EWPOS vouches for them.
  const double ewpos = pow14(z.EW14);
  const double t = z.CP3 * ewpos;
  const double c = z.CM3 * z.EWNEG;
  const double rpn = z.EWRB + z.EWNEG;
  const double rmn = z.EWRB - z.EWNEG;
  const double sp = t + c;
  Tail<double> r;
  r.CNUM = rmn * sp;
  const double dp = rpn * (t - c);
  r.DEN = r.CNUM - dp;
  // Sums of exact operands round alike in both arithmetics unless they
  // overflow, and an overflowed sum drives AMP to 0, infinity or NaN.
  if (z.asymptotic) {
    r.AMP = 1.0 / ((c - t) - sp);
    r.ok = normal_mag(ewpos) & normal_mag(t) & normal_mag(r.AMP);
  } else {
    r.AMP = rpn / r.DEN;
    r.ok =
        normal_mag(ewpos) & normal_mag(t) & normal_mag(r.CNUM) & normal_mag(dp) & normal_mag(r.AMP);
  }
  return r;
}

}  // namespace kelvorat::chain
