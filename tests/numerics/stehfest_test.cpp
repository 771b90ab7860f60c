#include "numerics/stehfest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "driver/trace_writer.h"
#include "support/recording_sink.h"

namespace kelvorat {
namespace {

using testing::RecordingSink;

// Exact rationals in 128-bit integers, enough for the weights up to N = 20
// (numerators below 2^55, terms below 2^95).
__extension__ typedef __int128 Int;

Int gcd(Int a, Int b) {
  if (a < 0) a = -a;
  if (b < 0) b = -b;
  while (b != 0) {
    const Int t = a % b;
    a = b;
    b = t;
  }
  return a;
}

struct Rational {
  Int num = 0;
  Int den = 1;
  Rational(Int n = 0, Int d = 1) : num(n), den(d) {
    const Int g = gcd(num, den);
    if (g > 1) {
      num /= g;
      den /= g;
    }
    if (den < 0) {
      num = -num;
      den = -den;
    }
  }
  Rational operator+(const Rational& o) const {
    const Int g = gcd(den, o.den);
    return Rational(num * (o.den / g) + o.num * (den / g), den / g * o.den);
  }
  long double value() const {
    return static_cast<long double>(num) / static_cast<long double>(den);
  }
};

Int factorial(int n) {
  Int r = 1;
  for (int i = 2; i <= n; ++i) r *= i;
  return r;
}

// V_i for N even, straight from the Stehfest formula.
Rational exact_weight(int N, int i) {
  const int h = N / 2;
  Rational sum;
  for (int k = (i + 1) / 2; k <= std::min(i, h); ++k) {
    Int kh = 1;
    for (int m = 0; m < h; ++m) kh *= k;
    sum = sum + Rational(kh * factorial(2 * k), factorial(h - k) * factorial(k) * factorial(k - 1) *
                                                    factorial(i - k) * factorial(2 * k - i));
  }
  return (h + i) % 2 == 0 ? sum : Rational(-sum.num, sum.den);
}

TEST(StehfestWeights, ExactIdentitiesOfTheFormula) {
  // Sum V_k = 0 and sum V_k / k = 1: the formula inverts 1/p exactly.
  for (int N = 6; N <= 20; N += 2) {
    Rational s0, s1;
    for (int k = 1; k <= N; ++k) {
      const Rational v = exact_weight(N, k);
      s0 = s0 + v;
      s1 = s1 + Rational(v.num, v.den * k);
    }
    EXPECT_TRUE(s0.num == 0) << "N = " << N;
    EXPECT_TRUE(s1.num == 1 && s1.den == 1) << "N = " << N;
  }
}

TEST(StehfestWeights, TableHoldsTheFormulaToFifteenDigits) {
  for (int j = 1; j <= 8; ++j) {
    const int N = 2 * j + 4;
    for (int i = 1; i <= 20; ++i) {
      const double t = STEHV[i - 1][j - 1];
      if (i > N) {
        EXPECT_EQ(t, 0.0) << "N = " << N << ", i = " << i;
        continue;
      }
      const long double v = exact_weight(N, i).value();
      EXPECT_LE(std::fabs((static_cast<long double>(t) - v) / v), 5.1e-15L)
          << "N = " << N << ", i = " << i;
    }
  }
}

TEST(StehfestWeights, ColumnsForSixAndEightTerms) {
  const StehfestColumn six(6);
  const std::vector<double> v6 = {1, -49, 366, -858, 810, -270};
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(six.weight(k), v6[k - 1]);

  const StehfestColumn eight(8);
  const std::vector<double> v8 = {-1.0 / 3,     145.0 / 3, -906,         16394.0 / 3,
                                  -43130.0 / 3, 18730,     -35840.0 / 3, 8960.0 / 3};
  for (int k = 1; k <= 8; ++k)
    EXPECT_NEAR(eight.weight(k), v8[k - 1], std::fabs(v8[k - 1]) * 7e-15);
}

TEST(StehfestWeights, OddCountUsesLeadingWeightsOfNextColumn) {
  const StehfestColumn seven(7), eight(8);
  EXPECT_EQ(seven.nterms(), 7);
  for (int k = 1; k <= 7; ++k) EXPECT_EQ(seven.weight(k), eight.weight(k));
  // The largest of the first seven weights is 18730 (i = 6).
  EXPECT_EQ(seven.errbnd(), 1.0 / 18730.0);
  const StehfestColumn nineteen(19), twenty(20);
  for (int k = 1; k <= 19; ++k) EXPECT_EQ(nineteen.weight(k), twenty.weight(k));
}

TEST(StehfestWeights, ErrorBoundForEveryEvenCount) {
  EXPECT_EQ(StehfestColumn(6).errbnd(), 1.0 / 858.0);
  EXPECT_EQ(StehfestColumn(8).errbnd(), 1.0 / 18730.0);
  // Quoted to five significant digits.
  const double quoted[] = {1.1655e-3, 5.3390e-5,  2.6602e-6,  1.2492e-7,
                           5.8776e-9, 2.7914e-10, 1.2702e-11, 6.0710e-13};
  for (int j = 1; j <= 8; ++j) {
    const double e = StehfestColumn(2 * j + 4).errbnd();
    const double half_unit = 0.5 * std::pow(10.0, std::floor(std::log10(quoted[j - 1])) - 4);
    EXPECT_NEAR(e, quoted[j - 1], half_unit) << "N = " << 2 * j + 4;
  }
}

TermValues constant_term(double c) { return {c, 0.0, 0.0}; }

TEST(StehfestInversion, ConstantTransform) {
  // a XP = c * sum V_k / k.  With a = 1 every step of N = 6 is exact.
  EXPECT_EQ(invert(
                StehfestColumn(6), 1.0, [](double) { return constant_term(3.0); }, nullptr)
                .aXP,
            3.0);
  const double ln2 = std::log(2.0);
  auto one = [](double) { return constant_term(1.0); };
  EXPECT_NEAR(invert(StehfestColumn(6), ln2, one, nullptr).aXP, 1.0, 1e-13);
  // The 15-digit weights sum (in exact arithmetic) to 0.99999999998954 for
  // N = 8 and 1.0000967 for N = 20; the alternating sum in doubles adds its
  // own rounding (up to about 1e-11 relative of the largest term at N = 20).
  EXPECT_NEAR(invert(StehfestColumn(8), ln2, one, nullptr).aXP, 0.99999999998954, 1e-13);
  EXPECT_NEAR(invert(StehfestColumn(20), ln2, one, nullptr).aXP, 1.0000967, 5e-7);
}

TEST(StehfestInversion, ShiftedPole) {
  // I(p) = 1/(p + 1) at t = 1: the inverse of I(p)/p is 1 - e^-1 = 0.6321206.
  const double a = std::log(2.0);
  auto term = [](double p) { return constant_term(1.0 / (p + 1.0)); };
  EXPECT_NEAR(invert(StehfestColumn(6), a, term, nullptr).aXP, 0.637112, 5e-7);
  EXPECT_NEAR(invert(StehfestColumn(10), a, term, nullptr).aXP, 0.632212, 5e-7);
  EXPECT_NEAR(invert(StehfestColumn(16), a, term, nullptr).aXP, 0.63212066, 5e-9);
}

TEST(StehfestInversion, PointsAreMultiplesOfTheBaseRate) {
  std::vector<double> ps;
  const double a = 0.1;
  invert(
      StehfestColumn(9), a,
      [&](double p) {
        ps.push_back(p);
        return constant_term(1.0);
      },
      nullptr);
  ASSERT_EQ(ps.size(), 9u);
  for (int k = 1; k <= 9; ++k) EXPECT_EQ(ps[k - 1], static_cast<double>(k) * a);
}

TEST(StehfestInversion, ThreeSumsAndPumpingTrace) {
  // N = 6, a = 1, I = 1, Delta = 2, e = 0.5: every partial sum is exact.
  RecordingSink sink;
  TraceWriter trace(sink, 0);
  const Inversion r = invert(
      StehfestColumn(6), 1.0,
      [](double) {
        return TermValues{1.0, 0.5, 2.0};
      },
      &trace);
  EXPECT_EQ(r.aXP, 1.0);
  EXPECT_EQ(r.aDP, 2.0);
  EXPECT_EQ(r.aESUM, 0.5);
  EXPECT_EQ(sink.lines(Channel::adet), (std::vector<std::string>{
                                           "  DP = 2.000000000000000  XP =  1.000000000000000",
                                           "  DP = -47.00000000000000  XP =  -23.50000000000000",
                                           "  DP = 197.0000000000000  XP =  98.50000000000000",
                                           "  DP = -232.0000000000000  XP =  -116.0000000000000",
                                           "  DP = 92.00000000000000  XP =  46.00000000000000",
                                           "  DP = 2.000000000000000  XP =  1.000000000000000",
                                       }));
  EXPECT_EQ(sink.records().size(), 6u);
}

TEST(StehfestInversion, WeightsSumToZero) {
  // I = Delta = p: each sum is sum V_k = 0 up to rounding, times a.
  const Inversion r = invert(
      StehfestColumn(6), 0.25,
      [](double p) {
        return TermValues{p, 1.0, p};
      },
      nullptr);
  EXPECT_EQ(r.aXP, 0.0);
  EXPECT_EQ(r.aDP, 0.0);
  EXPECT_EQ(r.aESUM, 0.0);
}

}  // namespace
}  // namespace kelvorat
