#include "model/wide.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>

namespace kelvorat {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

#define EXPECT_SAME_BITS(a, b) EXPECT_EQ(bits(a), bits(b)) << (a) << " vs " << (b)

Wide W(double x) { return Wide::from(x); }

TEST(Wide, RoundTripsEveryKindOfDouble) {
  for (double x : {1.0, -1.5, 3.0, 0.1, DBL_MAX, -DBL_MAX, DBL_MIN, 0x1p-1074, -0x1.8p-1060,
                   0x1.fffffffffffffp-1023, 0.0, -0.0, HUGE_VAL, -HUGE_VAL}) {
    EXPECT_SAME_BITS(W(x).to_double(), x);
  }
  EXPECT_TRUE(std::isnan(W(NAN).to_double()));
  const Wide s = W(0x1p-1074);
  EXPECT_EQ(s.m, 1.0);
  EXPECT_EQ(s.e, -1074);
}

// Inside the double range the Wide operations are the double ones, bit for bit.
TEST(Wide, MatchesDoubleArithmeticInsideTheRange) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-2.0, 2.0);
  std::uniform_int_distribution<int> ex(-60, 60);
  for (int i = 0; i < 200000; ++i) {
    const double a = std::ldexp(mant(gen), ex(gen));
    const double b = std::ldexp(mant(gen), ex(gen));
    EXPECT_SAME_BITS((W(a) * W(b)).to_double(), a * b);
    EXPECT_SAME_BITS((W(a) / W(b)).to_double(), a / b);
    EXPECT_SAME_BITS((W(a) + W(b)).to_double(), a + b);
    EXPECT_SAME_BITS((W(a) - W(b)).to_double(), a - b);
    if (HasFailure()) break;
  }
}

// Sums whose smaller term lies near half an ulp of the larger, across the
// exponent gaps where the aligned addition hands over to "keep the larger".
TEST(Wide, AdditionTiesAndHugeGaps) {
  for (int gap = 50; gap <= 70; ++gap) {
    for (double a : {1.0, -1.0, 1.5, 0x1.fffffffffffffp0, 0x1.0000000000001p0}) {
      for (double bm : {1.0, -1.0, 1.5, -1.5, 0x1.fffffffffffffp0, -0x1.0000000000001p0}) {
        const double b = std::ldexp(bm, -gap);
        EXPECT_SAME_BITS((W(a) + W(b)).to_double(), a + b) << " gap " << gap;
        // The same sum with both terms far outside the double range.
        const Wide big = W(a) * W(0x1p1000) * W(0x1p1000);
        const Wide sum = (big + W(b) * W(0x1p1000) * W(0x1p1000)) / W(0x1p1000) / W(0x1p1000);
        EXPECT_SAME_BITS(sum.to_double(), a + b) << " gap " << gap;
      }
    }
  }
  // A gap of thousands of binades leaves the larger term unchanged.
  const Wide tiny = W(0x1p-1000) * W(0x1p-1000) * W(0x1p-1000);
  EXPECT_SAME_BITS((W(1.0) - tiny).to_double(), 1.0);
  EXPECT_SAME_BITS((tiny + W(-3.0)).to_double(), -3.0);
  // Exact cancellation gives +0, as in double arithmetic.
  const Wide x = W(1.25) * W(0x1p1020) * W(0x1p1020);
  EXPECT_SAME_BITS((x - x).to_double(), 0.0);
}

TEST(Wide, ExponentRangeBeyondTheDouble) {
  // e^9800 formed as (e^700)^14 stays finite and comes back exactly.
  const Wide e700 = W(std::exp(700.0));
  Wide p = e700;
  for (int k = 1; k < 14; ++k) p = p * e700;
  EXPECT_TRUE(p.regular());
  EXPECT_NEAR(p.e * std::log(2.0), 9800.0, 1.0);
  Wide q = p;
  for (int k = 1; k < 14; ++k) q = q / e700;
  EXPECT_NEAR(q.to_double(), std::exp(700.0), 1e-12 * std::exp(700.0));
  EXPECT_EQ((1.0 / p).to_double(), 0.0);
  EXPECT_EQ(p.to_double(), HUGE_VAL);
  EXPECT_EQ((-p).to_double(), -HUGE_VAL);
}

TEST(Wide, ConversionNearTheEdgesOfTheDoubleRange) {
  // Just below 2^1024: DBL_MAX, and the first value that rounds to infinity.
  const Wide dmax = W(DBL_MAX) * W(4.0);
  EXPECT_SAME_BITS((dmax / W(4.0)).to_double(), DBL_MAX);
  EXPECT_EQ((W(0x1p1023) * W(2.0)).to_double(), HUGE_VAL);
  // Into the subnormal range with one rounding: the exact values m * 2^-1075
  // (odd m) are ties between subnormal neighbours and go to the even one.
  EXPECT_SAME_BITS((W(3.0) * W(0x1p-1000) * W(0x1p-75)).to_double(), 0x1p-1073);
  EXPECT_SAME_BITS((W(5.0) * W(0x1p-1000) * W(0x1p-75)).to_double(), 0x1p-1073);
  EXPECT_SAME_BITS((W(1.0) * W(0x1p-1000) * W(0x1p-75)).to_double(), 0.0);
  EXPECT_SAME_BITS((W(-0x1.0000000000001p0) * W(0x1p-1000) * W(0x1p-75)).to_double(), -0x1p-1074);
  // A wide product whose exact value lies in the subnormal range rounds like
  // the double product scaled from the normal range.
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> mant(1.0, 2.0);
  for (int i = 0; i < 20000; ++i) {
    const double a = mant(gen);
    const int k = 1022 + static_cast<int>(gen() % 60);
    const double expect = a * 0x1p-500 * std::ldexp(1.0, 500 - k);  // first step exact
    EXPECT_SAME_BITS((W(a) * W(0x1p-600) * W(std::ldexp(1.0, 600 - k))).to_double(), expect);
    if (HasFailure()) break;
  }
  EXPECT_EQ((W(1.0) * W(0x1p-1000) * W(0x1p-1000)).to_double(), 0.0);
}

TEST(Wide, NonFiniteAndZeroValuesFollowDoubleRules) {
  EXPECT_TRUE(std::isnan((W(0.0) * W(HUGE_VAL)).to_double()));
  EXPECT_EQ((W(1.0) / W(0.0)).to_double(), HUGE_VAL);
  EXPECT_EQ((W(-2.0) / W(HUGE_VAL)).to_double(), 0.0);
  EXPECT_TRUE(std::signbit((W(-2.0) * W(0.0)).to_double()));
  EXPECT_EQ((W(0x1p1000) * W(0x1p1000) + W(HUGE_VAL)).to_double(), HUGE_VAL);
  EXPECT_TRUE(std::isnan((W(HUGE_VAL) - W(HUGE_VAL)).to_double()));
  EXPECT_SAME_BITS((W(0.0) + W(-0.0)).to_double(), 0.0);
  EXPECT_SAME_BITS((W(-0.0) + W(-0.0)).to_double(), -0.0);
  const Wide big = W(0x1p1000) * W(0x1p1000);
  EXPECT_EQ(((big + W(0.0)) / big).to_double(), 1.0);
  EXPECT_TRUE(std::isnan((big * W(NAN)).to_double()));
}

}  // namespace
}  // namespace kelvorat
