#include "model/drawdown_integrand.h"

#include <cfloat>
#include <cmath>

#include "model/zone_chain.h"

namespace kelvorat {

namespace {

using chain::normal_mag;

// The final rounding of a double times a wide factor: the double product
// equals the Wide one rounded to double unless it lands at or below the
// least normal double (a second rounding there could differ), except for an
// exact zero from a zero factor.
inline bool product_ok(double g, double a) { return !(std::fabs(g) <= DBL_MIN) || a == 0.0; }

// GX = a * AMP (cases "A1" and "A2").
template <bool kAllWide>
double times_amp(const chain::ZoneChain& z, double a) {
  if constexpr (!kAllWide) {
    const chain::Tail<double> t = chain::double_tail(z);
    if (t.ok) {
      const double g = a * t.AMP;
      if (product_ok(g, a)) return g;
    }
  }
  return (a * chain::wide_tail(z).AMP).to_double();
}

// GX = EB*CM3*AMP + EA^14*CP3*AMP, the second term formed as
// EA^13*(CP3*EA*AMP) (case "A3", regular branch).
template <bool kAllWide>
double stream_side(const chain::ZoneChain& z, double EA, double EB) {
  const double b1 = EB * z.CM3;
  const double b2 = z.CP3 * EA;
  const double e13 = chain::pow13(EA);
  if constexpr (!kAllWide) {
    const chain::Tail<double> t = chain::double_tail(z);
    if (t.ok) {
      const double g1 = b1 * t.AMP;
      const double g2 = b2 * t.AMP;
      const double g3 = e13 * g2;
      // The final sum rounds alike in both arithmetics once its terms agree.
      if ((normal_mag(g1) | (b1 == 0.0)) & (normal_mag(g2) | (b2 == 0.0)) &
          (normal_mag(g3) | (e13 == 0.0) | (g2 == 0.0)))
        return g1 + g3;
    }
  }
  const Wide AMP = chain::wide_tail(z).AMP;
  return (b1 * AMP + e13 * (b2 * AMP)).to_double();
}

// GX = (EB + EA) * (CNUM / ((EWRB - EWNEG) * DEN)) (case "A4", regular
// branch): the common factor EWRB - EWNEG stays in numerator and denominator.
template <bool kAllWide>
double far_side(const chain::ZoneChain& z, double EA, double EB) {
  const double a = EB + EA;
  const double rmn = z.EWRB - z.EWNEG;
  if constexpr (!kAllWide) {
    const chain::Tail<double> t = chain::double_tail(z);
    if (t.ok) {
      const double q = rmn * t.DEN;
      const double r = t.CNUM / q;
      const double g = a * r;
      if (normal_mag(q) & normal_mag(r) && product_ok(g, a)) return g;
    }
  }
  const chain::Tail<Wide> t = chain::wide_tail(z);
  return (a * (t.CNUM / (rmn * t.DEN))).to_double();
}

// All four zone-2 exponentials underflowed.  Every case term built on AMP
// would be 0 * infinity, on the regular branch and, for "A1" and "A2", on the
// asymptotic one as well; those terms take the rescaled chain.
inline bool vanished(const chain::ZoneChain& z) { return z.CP2 == 0.0 && z.CM2 == 0.0; }

template <bool kAllWide>
double integrand(const ModelState& s, double lambda) {
  chain::ZoneChain z;
  chain::evaluate(s, lambda * lambda, z);

  double GX;
  switch (s.CHRT) {
    case CaseCode::A1: {
      // Zone-1 profile: the direct term and its reflection at x = -XLB,
      // J1 = e^(-ROOT1*(XO + DN + 2*XLB)).  This reflection matches the one
      // built into CP2 and CM2, so the profile joins the zone-2 profile at
      // x = -DN and is flat at the left boundary.
      const double arg_a = (s.XO - s.DN) * z.ROOT1;
      const double arg_j = -(z.ROOT1 * ((s.XO + s.DN) + 2.0 * s.XLB));
      double EA = chain::gexp(arg_a);
      double J1 = chain::gexp(arg_j);
      if (vanished(z)) [[unlikely]] {
        const double shift = chain::rescale_vanished(z);
        EA = chain::pexp(arg_a - shift);
        J1 = chain::pexp(arg_j - shift);
      }
      GX = times_amp<kAllWide>(z, J1 + EA);
      break;
    }
    case CaseCode::A2: {
      const double EA = chain::gexp(z.ROOT2 * s.XO);
      const double EB = chain::gexp(-(z.ROOT2 * s.XO));
      if (vanished(z)) [[unlikely]]
        chain::rescale_vanished(z);
      GX = times_amp<kAllWide>(z, z.CP2 * EA + EB * z.CM2);
      break;
    }
    case CaseCode::A3: {
      const double EA = chain::gexp(z.ROOT3 * s.XO * chain::kOneFourteenth);
      const double EB = chain::gexp(-(z.ROOT3 * s.XO));
      if (z.asymptotic) {
        // A well in an unbounded uniform aquifer; the regular term is not
        // needed beyond its two guarded exponentials.
        GX = -(chain::gexp(-((s.XW - s.XO) * z.ROOT3)) * 0.5);
      } else {
        if (vanished(z)) [[unlikely]]
          chain::rescale_vanished(z);
        GX = stream_side<kAllWide>(z, EA, EB);
      }
      break;
    }
    case CaseCode::A4:
    default: {
      const double EA = chain::gexp(z.ROOT3 * s.XO - (2.0 * z.ROOT3) * s.XRB);
      const double EB = chain::gexp(-(z.ROOT3 * s.XO));
      if (z.asymptotic) {
        GX = -(chain::gexp((s.XW - s.XO) * z.ROOT3) * 0.5);
      } else {
        if (vanished(z)) [[unlikely]]
          chain::rescale_vanished(z);
        GX = far_side<kAllWide>(z, EA, EB);
      }
      break;
    }
  }
  return -(std::cos(s.DY * lambda) * (GX / z.ROOT3));
}

}  // namespace

double f(const ModelState& s, double lambda) { return integrand<false>(s, lambda); }

namespace detail {
double f_all_wide(const ModelState& s, double lambda) { return integrand<true>(s, lambda); }
}  // namespace detail

}  // namespace kelvorat
