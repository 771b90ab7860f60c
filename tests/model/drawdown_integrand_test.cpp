#include "model/drawdown_integrand.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "model/guarded_exp.h"
#include "model/zone_chain.h"
#include "model_fixtures.h"
#include "reference_model.h"
#include "support/same_bits.h"

namespace kelvorat {
namespace {

using testing::distinct_zones;

#define EXPECT_REL(actual, expected, rel) \
  EXPECT_NEAR(actual, expected, (rel)*std::fabs(static_cast<double>(expected)))

constexpr double kLam = 0.01;  // the worked examples: regular branch, RXW = 7.14...

double at(CaseCode c, double XO, double lam = kLam) { return f(distinct_zones(c, XO), lam); }

TEST(DrawdownIntegrand, WorkedValuesOfTheThreeZone3AndStreamCases) {
  ModelState s = distinct_zones();
  chain::ZoneChain z;
  chain::evaluate(s, kLam * kLam, z);
  EXPECT_FALSE(z.asymptotic);
  EXPECT_REL(z.RXW, 7.14142842854285, 1e-14);
  EXPECT_REL(chain::wide_tail(z).AMP.to_double(), -0.0013307809813264, 1e-13);

  EXPECT_REL(at(CaseCode::A2, -5), 0.0028768895975633817, 1e-14);
  EXPECT_REL(at(CaseCode::A3, 40), 0.09454278361470447, 1e-14);
  EXPECT_REL(at(CaseCode::A4, 150), 0.19306299114866934, 1e-14);
}

TEST(DrawdownIntegrand, ProfilesJoinAtTheZoneBoundariesAndTheWell) {
  EXPECT_REL(at(CaseCode::A2, 0), 0.005726160300931135, 1e-14);
  EXPECT_REL(at(CaseCode::A3, 0), 0.005726160300931135, 1e-14);
  EXPECT_REL(at(CaseCode::A3, 100), 6.86183878274825, 1e-14);
  EXPECT_REL(at(CaseCode::A4, 100), 6.86183878274825, 1e-14);
  // The same joins over a range of wavenumbers, also with the left
  // reflection: "A1" meets "A2" at XO = -DN.
  for (double lam : {0.0, 1e-20, 1e-3, 0.05, 0.3, 2.0}) {
    EXPECT_REL(at(CaseCode::A2, 0, lam), at(CaseCode::A3, 0, lam), 1e-13) << lam;
    EXPECT_REL(at(CaseCode::A3, 100, lam), at(CaseCode::A4, 100, lam), 1e-13) << lam;
    EXPECT_REL(at(CaseCode::A1, -10, lam), at(CaseCode::A2, -10, lam), 1e-13) << lam;
  }
}

// Zone 1 with a near left boundary: the reflection J1 = e^(-ROOT1*(XO+DN+2*XLB))
// matches the zone-2 coefficients, and the profile is flat at x = -XLB.
TEST(DrawdownIntegrand, LeftReflectionMatchesZone2) {
  ModelState s = distinct_zones(CaseCode::A1, -10);
  s.XLB = 14;
  EXPECT_REL(f(s, kLam), 0.0016273755484475258, 1e-14);
  s.CHRT = CaseCode::A2;
  EXPECT_REL(f(s, kLam), 0.0016273755484475265, 1e-14);
  s.CHRT = CaseCode::A1;
  s.XO = -14 + 1e-4;
  const double right = f(s, kLam);
  s.XO = -14 - 1e-4;
  EXPECT_REL(f(s, kLam), right, 1e-12);
}

TEST(DrawdownIntegrand, EvenInTheDistanceAlongTheStream) {
  for (CaseCode c : {CaseCode::A1, CaseCode::A2, CaseCode::A3, CaseCode::A4}) {
    const double XO = c == CaseCode::A1   ? -30
                      : c == CaseCode::A2 ? -3
                      : c == CaseCode::A3 ? 60
                                          : 130;
    ModelState s = distinct_zones(c, XO);
    for (double lam : {0.0, 0.01, 0.7, 3.0}) {
      const double plus = f(s, lam);
      s.DY = -s.DY;
      EXPECT_EQ(f(s, lam), plus);
      s.DY = -s.DY;
    }
  }
}

// With ROOT3 > 60 for every lambda the zone-3 cases are a well in an
// unbounded aquifer, whose integral over lambda is 0.5*K0(sqrt(PD3)*r).
TEST(DrawdownIntegrand, AsymptoticBranchIntegratesToK0) {
  for (CaseCode c : {CaseCode::A3, CaseCode::A4}) {
    ModelState s = distinct_zones(c, c == CaseCode::A3 ? 9.0 : 11.0);
    s.PD3 = 3700;
    s.XW = 10;
    s.DY = 0.5;
    const double h = 0.005;
    const int n = 40000;  // lambda up to 200; the tail beyond is e^-140 smaller
    double sum = 0;
    for (int i = 0; i <= n; ++i) {
      const double lam = i == 0 ? 1e-20 : i * h;
      const double w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2);
      sum += w * f(s, lam);
    }
    const double integral = sum * h / 3;
    EXPECT_REL(integral, 2.2117783458287e-31, 1e-12);
    EXPECT_REL(integral, 0.5 * std::cyl_bessel_k(0.0, std::sqrt(3700.0 * 1.25)), 1e-12);
  }
}

// Where both branches describe the same physics -- far boundaries and a
// well many decay lengths from the stream -- the value does not jump when
// the branch test flips, neither through RXW nor through ROOT3.
TEST(DrawdownIntegrand, BranchesAgreeAcrossTheThresholds) {
  const struct {
    CaseCode c;
    double XO;
  } cases[] = {{CaseCode::A1, -15}, {CaseCode::A2, -5}, {CaseCode::A3, 1100}, {CaseCode::A4, 1300}};
  for (const auto& k : cases) {
    ModelState s = distinct_zones(k.c, k.XO);
    s.PD3 = 0;  // ROOT3 = lambda
    s.XRB = 5000;
    s.XW = 1200;  // RXW = 600 at lambda = 0.5: regular
    chain::ZoneChain z;
    chain::evaluate(s, 0.25, z);
    ASSERT_FALSE(z.asymptotic);
    const double regular = f(s, 0.5);
    s.XW = std::nextafter(1200.0, 2000.0);
    chain::evaluate(s, 0.25, z);
    ASSERT_TRUE(z.asymptotic);
    EXPECT_REL(f(s, 0.5), regular, 1e-11) << case_name(k.c);
    EXPECT_NE(regular, 0.0);
  }
  for (const auto& k : {std::pair{CaseCode::A3, 9.0}, std::pair{CaseCode::A4, 11.0}}) {
    ModelState s = distinct_zones(k.first, k.second);
    s.PD3 = 0;
    s.XW = 10;  // RXW = 600 and ROOT3 = 60 at lambda = 60: regular
    const double regular = f(s, 60.0);
    const double asymptotic = f(s, std::nextafter(60.0, 61.0));
    EXPECT_REL(asymptotic, regular, 1e-12);
    EXPECT_REL(regular, 0.5 * std::cos(1200.0) * std::exp(-60.0) / 60.0, 1e-12);
  }
}

// e^RXW beyond the double range (RXW between 709.8 and 9800): finite
// values, down into the subnormal range, as the extended-range reference.
TEST(DrawdownIntegrand, LargeRxwStaysFinite) {
  for (double rxw : {709.5, 709.8, 710.0, 720.0, 745.0, 2000.0, 9799.0}) {
    for (CaseCode c : {CaseCode::A1, CaseCode::A2, CaseCode::A3, CaseCode::A4}) {
      const double XO = c == CaseCode::A1   ? -12
                        : c == CaseCode::A2 ? -5
                        : c == CaseCode::A3 ? 1
                                            : 990;
      ModelState s = distinct_zones(c, XO);
      s.PD3 = 100;  // ROOT3 = 10 at lambda = 0
      s.XW = rxw / 10;
      s.XRB = 2000;
      const double v = f(s, 1e-20);
      ASSERT_TRUE(std::isfinite(v)) << rxw << " " << case_name(c);
      EXPECT_TRUE(testing::same_bits(v, detail::f_all_wide(s, 1e-20)));
      const double ref = static_cast<double>(testing::ref_f(s, 1e-20));
      EXPECT_NEAR(v, ref, 1e-12 * std::fabs(ref) + 0x1p-1070) << rxw << " " << case_name(c);
    }
  }
  // Through the top of the double range of e^RXW and down through the
  // subnormal range of the result, the shortcut still matches the Wide path.
  for (CaseCode c : {CaseCode::A1, CaseCode::A2}) {
    ModelState s = distinct_zones(c, c == CaseCode::A1 ? -12 : -5);
    s.PD3 = 100;
    s.XRB = 2000;
    for (int k = 0; k < 5000; ++k) {
      s.XW = 70.0 + k * 1e-3;  // RXW from 700 to 750
      ASSERT_TRUE(testing::same_bits(f(s, 1e-20), detail::f_all_wide(s, 1e-20))) << s.XW;
    }
  }
  ModelState s = distinct_zones(CaseCode::A2, -5);
  s.PD3 = 100;
  s.XW = 72;  // RXW = 720: a subnormal result
  const double v = f(s, 1e-20);
  EXPECT_GT(std::fabs(v), 0.0);
  EXPECT_LT(std::fabs(v), 0x1p-1022);
}

TEST(DrawdownIntegrand, RxwAboveGuardRangeTripsWithRxwOver14) {
  ModelState s = distinct_zones(CaseCode::A3, 5);
  s.PD3 = 100;
  s.XW = 980.1;
  s.XRB = 2000;
  try {
    f(s, 1e-20);
    FAIL() << "no trip";
  } catch (const ExpGuardTrip& t) {
    EXPECT_EQ(t.bar(), (std::sqrt(1e-20 * 1e-20 + 100.0) * 980.1) * chain::kOneFourteenth);
  }
}

// All four zone-2 exponentials underflowed (CP2 = CM2 = 0): the rescaled
// chain returns the finite limit, on the regular and the asymptotic branch.
TEST(DrawdownIntegrand, VanishedZone2CoefficientsGiveTheLimit) {
  const struct {
    CaseCode c;
    double XO;
  } cases[] = {{CaseCode::A1, -5.5}, {CaseCode::A2, -2}, {CaseCode::A3, 40}, {CaseCode::A4, 150}};
  for (const auto& k : cases) {
    ModelState s = distinct_zones(k.c, k.XO);
    s.PD1 = 10000;  // ROOT1 = 100
    s.DN = 5;
    chain::ZoneChain z;
    chain::evaluate(s, kLam * kLam, z);
    ASSERT_EQ(z.CP2, 0.0);
    ASSERT_EQ(z.CM2, 0.0);
    ASSERT_FALSE(z.asymptotic);
    const double v = f(s, kLam);
    const double ref = static_cast<double>(testing::ref_f(s, kLam));
    EXPECT_TRUE(std::isfinite(v)) << case_name(k.c);
    EXPECT_NE(ref, 0.0);
    EXPECT_REL(v, ref, 1e-10) << case_name(k.c);
  }
  for (const auto& k : {std::pair{CaseCode::A1, -10.5}, std::pair{CaseCode::A2, -1.0}}) {
    // lambda = 80: ROOT3 > 60, zone-2 exponentials near e^-800.
    ModelState s = distinct_zones(k.first, k.second);
    s.XW = 1;
    s.DN = 10;
    chain::ZoneChain z;
    chain::evaluate(s, 6400, z);
    ASSERT_EQ(z.CP2, 0.0);
    ASSERT_EQ(z.CM2, 0.0);
    ASSERT_TRUE(z.asymptotic);
    // Zone 1 lies some 800 decay lengths from the well: its value underflows.
    const double ref = static_cast<double>(testing::ref_f(s, 80));
    const double v = f(s, 80);
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(v, ref, 1e-10 * std::fabs(ref) + 0x1p-1070) << case_name(k.first);
  }
}

// The double shortcut of f against the all-Wide evaluation, bit for bit, on
// random states spread so that both paths are taken often: overflowing
// e^RXW, subnormal amplitudes and results, vanished zone-2 terms.
TEST(DrawdownIntegrand, DoubleShortcutEqualsWideEvaluation) {
  std::mt19937_64 gen(2024);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(gen); };
  auto logu = [&](double a, double b) { return std::exp(uni(std::log(a), std::log(b))); };
  int shortcut = 0, fallback = 0, trips = 0;
  for (int i = 0; i < 300000; ++i) {
    ModelState s;
    s.R12 = logu(1e-3, 1e3);
    s.R23 = logu(1e-3, 1e3);
    s.PD1 = logu(1e-8, 1e4);
    s.PD2 = logu(1e-8, 1e4);
    s.PD3 = logu(1e-8, 1e4);
    s.STLEAKT = logu(1e-8, 1e2);
    s.DN = uni(0, 60);
    s.XLB = s.DN + logu(1e-2, 1e3);
    s.XW = logu(1e-1, 3e3);
    s.XRB = s.XW + logu(1e-2, 3e3);
    s.DY = uni(-300, 300);
    s.CHRT = static_cast<CaseCode>(gen() % 4);
    switch (s.CHRT) {
      case CaseCode::A1:
        s.XO = -s.DN - uni(0, s.XLB - s.DN);
        break;
      case CaseCode::A2:
        s.XO = -uni(0, s.DN);
        break;
      case CaseCode::A3:
        s.XO = uni(0, s.XW);
        break;
      case CaseCode::A4:
        s.XO = uni(s.XW, s.XRB);
        break;
    }
    const double lam = logu(1e-20, 1e2);
    double fast, wide;
    try {
      fast = f(s, lam);
    } catch (const ExpGuardTrip& t) {
      ++trips;
      try {
        detail::f_all_wide(s, lam);
        ADD_FAILURE() << "only the shortcut tripped";
      } catch (const ExpGuardTrip& u) {
        EXPECT_EQ(t.bar(), u.bar());
      }
      continue;
    }
    wide = detail::f_all_wide(s, lam);
    if (std::isnan(fast) && std::isnan(wide)) continue;
    ASSERT_TRUE(testing::same_bits(fast, wide))
        << "case " << case_name(s.CHRT) << " lambda " << lam;
    chain::ZoneChain z;
    chain::evaluate(s, lam * lam, z);
    (chain::double_tail(z).ok ? shortcut : fallback)++;
  }
  EXPECT_GT(shortcut, 10000);
  EXPECT_GT(fallback, 10000);
  EXPECT_GT(trips, 100);
}

}  // namespace
}  // namespace kelvorat
