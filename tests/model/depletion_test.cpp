#include "model/depletion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/drawdown_integrand.h"
#include "model/guarded_exp.h"
#include "model/zone_chain.h"
#include "model_fixtures.h"
#include "reference_model.h"

namespace kelvorat {
namespace {

using testing::distinct_zones;
using testing::equal_zones;

#define EXPECT_REL(actual, expected, rel) \
  EXPECT_NEAR(actual, expected, (rel)*std::fabs(static_cast<double>(expected)))

// Equal zones: every worked value of the chain and DEPLT, bit for bit.
TEST(Depletion, EqualZonesChainAndValue) {
  const ModelState s = equal_zones();
  chain::ZoneChain z;
  chain::evaluate(s, 0.0, z);
  EXPECT_EQ(z.ROOT1, 0.1);
  EXPECT_EQ(z.ROOT3, 0.1);
  EXPECT_EQ(z.ROOT2, 0.1224744871391589);
  EXPECT_EQ(z.RXW, 5.0);
  EXPECT_FALSE(z.asymptotic);
  EXPECT_EQ(z.CP2, 0.4183266814265052);
  EXPECT_EQ(z.CM2, 0.0036485922150095405);
  EXPECT_EQ(z.CP3, 0.4649250683408789);
  EXPECT_EQ(z.CM3, -0.04294979469936419);
  const chain::Tail<Wide> t = chain::wide_tail(z);
  EXPECT_EQ(t.DEN.to_double(), -0.9298501366817571);
  EXPECT_EQ(t.AMP.to_double(), -0.007246271988656535);
  EXPECT_EQ(deplet(s, 0.5), 0.08998410455775341);
}

// Distinct zones: the worked values to 1e-14 (their last digits come from a
// different evaluation order of the original arithmetic).
TEST(Depletion, DistinctZonesChainAndValue) {
  const ModelState s = distinct_zones();
  chain::ZoneChain z;
  chain::evaluate(s, 0.0, z);
  EXPECT_REL(z.CP2, 0.3271313314044102, 1e-14);
  EXPECT_REL(z.CM2, -0.012586158072355075, 1e-14);
  EXPECT_REL(z.CP3, 0.29938660854588756, 1e-14);
  EXPECT_REL(z.CM3, 0.015158564786167561, 1e-14);
  EXPECT_REL(chain::wide_tail(z).AMP.to_double(), -0.0014184430440030704, 1e-14);
  EXPECT_REL(deplet(s, 0.4), 0.013456286939356835, 1e-14);
}

// DEPLT is STLEAK times the integral of f(lambda = 0), case "A2", across the
// stream zone (composite Simpson; the profile is a sum of two exponentials
// with ROOT2*DN ~ 1, so 2000 panels leave ~1e-15).
TEST(Depletion, EqualsLeakageIntegralOfTheZone2Profile) {
  for (const ModelState& base : {distinct_zones(), equal_zones()}) {
    ModelState s = base;
    s.CHRT = CaseCode::A2;
    const int n = 2000;
    const double h = s.DN / n;
    double sum = 0;
    for (int i = 0; i <= n; ++i) {
      s.XO = -s.DN + i * h;
      const double w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2);
      sum += w * f(s, 0.0);
    }
    const double STLEAK = base.STLEAKT * 100;
    EXPECT_REL(STLEAK * sum * h / 3, deplet(base, STLEAK), 1e-12);
  }
  EXPECT_REL(deplet(distinct_zones(), 0.4), 0.013456286939356835, 1e-14);
}

TEST(Depletion, VanishedZone2CoefficientsGiveExactZero) {
  ModelState s = distinct_zones();
  s.PD1 = 10000;  // ROOT1 = 100: all four zone-2 exponentials below e^-745
  s.DN = 5;
  chain::ZoneChain z;
  chain::evaluate(s, 0.0, z);
  ASSERT_EQ(z.CM2, 0.0);
  ASSERT_EQ(z.CP3, 0.0);
  EXPECT_EQ(deplet(s, 0.4), 0.0);

  // CM2 = 0 alone (EM1, EM2 underflow, EP1 does not) keeps the formula.
  s = distinct_zones();
  s.STLEAKT = 4900 - s.PD2;  // ROOT2 = 70
  s.PD1 = 9;                 // ROOT1 = 3
  s.XLB = 100;
  chain::evaluate(s, 0.0, z);
  ASSERT_EQ(z.CM2, 0.0);
  ASSERT_NE(z.CP3, 0.0);
  const double d = deplet(s, 0.4);
  EXPECT_TRUE(std::isfinite(d));
  EXPECT_NE(d, 0.0);
}

TEST(Depletion, BranchThresholdsAreStrict) {
  ModelState s = distinct_zones();
  chain::ZoneChain z;
  s.PD3 = 0.25;  // ROOT3 = 0.5 exactly
  s.XW = 1200;
  s.XRB = 5000;
  chain::evaluate(s, 0.0, z);
  EXPECT_EQ(z.RXW, 600.0);
  EXPECT_FALSE(z.asymptotic);
  s.XW = std::nextafter(1200.0, 2000.0);
  chain::evaluate(s, 0.0, z);
  EXPECT_TRUE(z.asymptotic);
  s.PD3 = 3600;  // ROOT3 = 60, RXW = 600: regular
  s.XW = 10;
  chain::evaluate(s, 0.0, z);
  EXPECT_FALSE(z.asymptotic);
  s.PD3 = std::nextafter(3600.0, 4000.0);
  s.XW = 1;
  chain::evaluate(s, 0.0, z);
  EXPECT_GT(z.ROOT3, 60.0);
  EXPECT_TRUE(z.asymptotic);
}

// Asymptotic branch with e^RXW beyond the double range: AMP stays finite and
// nonzero in the extended range, close to -1/(2*CP3*e^RXW).
TEST(Depletion, LargeRxwKeepsAmpFiniteAndNonzero) {
  ModelState s = distinct_zones();
  s.XRB = 2000;
  s.PD3 = 100;  // ROOT3 = 10
  for (double rxw : {709.8, 710.0, 745.5, 1000.0, 5000.0, 9799.0, 9800.0}) {
    s.XW = rxw / 10;
    chain::ZoneChain z;
    chain::evaluate(s, 0.0, z);
    ASSERT_TRUE(z.asymptotic);
    const Wide amp = chain::wide_tail(z).AMP;
    ASSERT_TRUE(amp.regular()) << rxw;
    EXPECT_LT(amp.m, 0.0);
    const double log_amp = std::log(std::fabs(amp.m)) + amp.e * std::log(2.0);
    EXPECT_NEAR(log_amp, -z.RXW - std::log(2 * z.CP3), 1e-9 * z.RXW) << rxw;
    const double d = deplet(s, 0.4);
    EXPECT_TRUE(std::isfinite(d));
    EXPECT_GE(d, 0.0);
  }
}

TEST(Depletion, GuardReportsTheFirstArgumentAboveSevenHundred) {
  ModelState s = distinct_zones();
  // RXW = 9801: EW14 trips with RXW/14.
  s.PD3 = 100;
  s.XW = 980.1;
  s.XRB = 2000;
  try {
    deplet(s, 0.4);
    FAIL() << "no trip";
  } catch (const ExpGuardTrip& t) {
    EXPECT_EQ(t.bar(), (10.0 * 980.1) * chain::kOneFourteenth);
    EXPECT_GT(t.bar(), 700.05);  // written as 0.7001E+03 in the stop record
    EXPECT_LT(t.bar(), 700.15);
  }
  // EP1 comes before EW14 and is the one reported when both exceed.
  s.STLEAKT = 10000 - s.PD2;  // ROOT2 = 100
  try {
    deplet(s, 0.4);
    FAIL() << "no trip";
  } catch (const ExpGuardTrip& t) {
    chain::ZoneChain z;
    z.ROOT1 = std::sqrt(s.PD1);
    EXPECT_EQ(t.bar(), s.DN * 100.0 - s.DN * (2.0 * z.ROOT1));
  }
}

}  // namespace
}  // namespace kelvorat
