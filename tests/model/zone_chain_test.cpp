#include "model/zone_chain.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "model_fixtures.h"

namespace kelvorat {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(ZoneChain, PowersBySquareAndMultiplyFromTheHighestBit) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(0.5, 3.0);
  for (int i = 0; i < 10000; ++i) {
    const double x = u(gen);
    const double x2 = x * x;
    EXPECT_EQ(bits(chain::pow14(x)), bits(((x2 * x) * (x2 * x) * x) * ((x2 * x) * (x2 * x) * x)));
    EXPECT_EQ(bits(chain::pow13(x)), bits(((x2 * x) * (x2 * x)) * ((x2 * x) * (x2 * x)) * x));
    // EWPOS from the significand equals the Wide power, in and far beyond
    // the double range.
    for (double scale : {1.0, 0x1p60, 0x1p700, 0x1p-700}) {
      const Wide a = chain::pow14_wide(x * scale);
      const Wide b = chain::pow14(Wide::from(x * scale));
      EXPECT_EQ(a.m, b.m);
      EXPECT_EQ(a.e, b.e);
    }
    if (HasFailure()) break;
  }
}

TEST(ZoneChain, CertainUnderflowsAreTheLibraryValue) {
  for (double x = -740.0; x > -760.0; x -= 0.001) {
    ASSERT_EQ(bits(chain::gexp(x)), bits(std::exp(x))) << x;
    ASSERT_EQ(bits(chain::pexp(x)), bits(std::exp(x))) << x;
  }
  EXPECT_EQ(chain::gexp(-HUGE_VAL), 0.0);
  EXPECT_TRUE(std::isnan(chain::gexp(NAN)));
  EXPECT_THROW(chain::gexp(700.5), ExpGuardTrip);
}

// The rescaled zone-2 exponentials give coefficients proportional to the
// true ones (checked where the true ones are still representable).
TEST(ZoneChain, VanishedRescalingKeepsTheCoefficientRatios) {
  ModelState s = testing::distinct_zones();
  s.PD1 = 400;  // ROOT1 = 20: zone-2 exponentials near e^-400
  chain::ZoneChain z;
  chain::evaluate(s, 1e-4, z);
  ASSERT_NE(z.CP2, 0.0);
  const chain::ZoneChain exact = z;
  const double shift = chain::rescale_vanished(z);
  EXPECT_LT(shift, -300.0);
  const double k = std::exp(-shift);
  EXPECT_NEAR(z.CP2, exact.CP2 * k, 1e-12 * std::fabs(z.CP2));
  EXPECT_NEAR(z.CM2, exact.CM2 * k, 1e-12 * std::fabs(z.CM2));
  EXPECT_NEAR(z.CP3, exact.CP3 * k, 1e-12 * std::fabs(z.CP3));
  EXPECT_NEAR(chain::wide_tail(z).AMP.to_double(), chain::wide_tail(exact).AMP.to_double() / k,
              1e-12 * std::fabs(chain::wide_tail(z).AMP.to_double()));
}

}  // namespace
}  // namespace kelvorat
