#include "numerics/romberg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/trace_writer.h"
#include "numerics/test_integrands.h"
#include "support/recording_sink.h"

namespace kelvorat {
namespace {

using testing::counting;
using testing::RecordingSink;

constexpr double kAbs = 1.0e-10;
constexpr double kRel = 1.0e-6;

struct Romberg : ::testing::Test {
  RombergState st;
  RecordingSink sink;
  int status = -1;  // RombergStatus as a number: 0 converged, 1 zero, 2 exhausted
  int levels = 0;

  template <class F>
  double run(F& f, double A, double B, int IR = 1, double TPS = 0.0, int IPRT = 0,
             double abstol = kAbs, double reltol = kRel) {
    TraceWriter trace(sink, IPRT);
    IntegrationLimits lim;
    lim.abstol = abstol;
    lim.reltol = reltol;
    const RombergResult r = tromb(f, RombergInterval{A, B, IR, TPS}, lim, st, &trace);
    status = static_cast<int>(r.status);
    levels = r.levels;
    return r.value;
  }
};

// Zero everywhere except at the right end, where it is 2: on [0, 1] every
// trapezoid value is 2^-i and every column of the table halves from row to
// row, so the relative change stays 1 and no level ever converges.
auto spike_at_one = [](double x) { return x == 1.0 ? 2.0 : 0.0; };

TEST_F(Romberg, LinearConvergesInTrapezoidStageOfLevelOne) {
  auto f = counting([](double x) { return 2.0 * x + 1.0; }, true);
  EXPECT_EQ(run(f, 0.0, 1.0), 2.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 3);
  EXPECT_EQ(levels, 1);
  // f(A), f(B), then the midpoint.
  EXPECT_EQ(f.xs, (std::vector<double>{0.0, 1.0, 0.5}));
}

TEST_F(Romberg, CubicReturnsFirstExtrapolationOfLevelTwo) {
  // R(0,0) = 8, R(1,0) = 5, R(1,1) = 4 (not accepted: it reuses E = 3),
  // R(2,0) = 4.25, R(2,1) = 4 = R(1,1): accepted by the absolute test.
  auto f = counting([](double x) { return x * x * x; }, true);
  EXPECT_EQ(run(f, 0.0, 2.0), 4.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 5);
  EXPECT_EQ(f.xs, (std::vector<double>{0.0, 2.0, 1.0, 0.5, 1.5}));
}

TEST_F(Romberg, NewMidpointsOnlyInIncreasingOrder) {
  auto f = counting(spike_at_one, true);
  run(f, 0.0, 1.0);
  ASSERT_EQ(f.xs.size(), 8193u);
  // Level 3 evaluates 1/8, 3/8, 5/8, 7/8 after the five earlier points.
  EXPECT_EQ(std::vector<double>(f.xs.begin() + 5, f.xs.begin() + 9),
            (std::vector<double>{0.125, 0.375, 0.625, 0.875}));
  // The last level: 4096 midpoints k/8192, k odd, increasing.
  EXPECT_EQ(f.xs[4097], 1.0 / 8192.0);
  EXPECT_EQ(f.xs.back(), 8191.0 / 8192.0);
}

TEST_F(Romberg, ZeroOnFirstIntervalGivesUpAtLevelFive) {
  auto f = counting(testing::zero_fn);
  EXPECT_EQ(run(f, 0.0, 1.0, 1, 0.0, 1), 0.0);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(levels, 5);
  EXPECT_EQ(f.calls, 33);
  EXPECT_EQ(sink.lines(Channel::tromb),
            (std::vector<std::string>{
                " SOLUTION FOR INTEGRATION IS ZERO",
                "@@   0.0000E+00  0.0000E+00  0.0000E+00   1  0.0000E+00  0.1000E+01"}));
  EXPECT_TRUE(sink.lines(Channel::adet).empty());
}

TEST_F(Romberg, ZeroOnLaterIntervalAgainstNonzeroTotalConvergesAtLevelTwo) {
  auto f = counting(testing::zero_fn);
  EXPECT_EQ(run(f, 3.0, 4.0, 2, 5.0, 1), 0.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 5);
  EXPECT_TRUE(sink.records().empty());
}

TEST_F(Romberg, ZeroOnLaterIntervalWithZeroTotalWritesNoHeader) {
  auto f = counting(testing::zero_fn);
  EXPECT_EQ(run(f, 3.0, 4.0, 2, 0.0, 1), 0.0);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(f.calls, 33);
  EXPECT_EQ(sink.lines(Channel::tromb),
            (std::vector<std::string>{
                "@@   0.0000E+00  0.0000E+00  0.0000E+00   2  0.3000E+01  0.4000E+01"}));
}

TEST_F(Romberg, EmptyIntervalBehavesAsZeroIntegrand) {
  auto f = counting(testing::exp_minus);
  EXPECT_EQ(run(f, 2.0, 2.0), 0.0);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(f.calls, 33);
  EXPECT_TRUE(sink.records().empty());  // trace off
}

TEST_F(Romberg, LaterIntervalMeasuredAgainstCallersTotal) {
  // e^-x over [10, 20]: as interval 3 with TPS = 100 the trapezoid value
  // R(2,0) is accepted at level 2.
  auto f = counting(testing::exp_minus);
  const double c = run(f, 10.0, 20.0, 3, 100.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 5);
  EXPECT_NEAR(c, 6.6897e-05, 0.00005e-05);
}

TEST_F(Romberg, SameIntervalAsFirstMeasuredAgainstItself) {
  auto f = counting(testing::exp_minus);
  const double c = run(f, 10.0, 20.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 65);
  EXPECT_NEAR(c, 4.5398e-05, 0.00005e-05);
  EXPECT_NEAR(c, std::exp(-10.0) - std::exp(-20.0), 1e-10);
}

TEST_F(Romberg, NeverSettlingRunsAllThirteenLevels) {
  auto f = counting(spike_at_one);
  const double r = run(f, 0.0, 1.0, 1, 0.0, 1);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(levels, 13);
  EXPECT_EQ(f.calls, 8193);
  // R(13,13) = c_13 / 2^13 with c_j = prod_{m<=j} (4^m - 2) / (4^m - 1);
  // the final difference is c_12 / 2^13 (both 7.4359e-05).
  EXPECT_NEAR(r, 7.435909595848486e-05, 1e-18);
  EXPECT_EQ(sink.lines(Channel::tromb),
            (std::vector<std::string>{
                " SOLUTION FOR INTEGRATION DOES NOT CONVERGE ",
                "$$   0.7436E-04  0.7436E-04  0.7436E-04   1  0.0000E+00  0.1000E+01"}));
}

TEST_F(Romberg, NeverSettlingLaterIntervalShowsCallersTotal) {
  auto f = counting(spike_at_one);
  run(f, 0.0, 1.0, 4, 12.5, 1);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(sink.lines(Channel::tromb),
            (std::vector<std::string>{
                "$$   0.1250E+02  0.7436E-04  0.7436E-04   4  0.0000E+00  0.1000E+01"}));
}

TEST_F(Romberg, RelativeMeasureCarriesOverFromEarlierCall) {
  // 1 at the ends, -1 at the midpoint: R(0,0) = 1, R(1,0) = 0 (no relative
  // measure formed), and the diagonal R(1,1) = -1/3 is tested with the
  // measure Q left by whatever ran before.
  auto dip = [](double x) { return x == 0.5 ? -1.0 : 1.0; };

  // Fresh state: Q = 0 accepts R(1,1) after three evaluations.
  auto f1 = counting(dip);
  EXPECT_EQ(run(f1, 0.0, 1.0), -1.0 / 3.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f1.calls, 3);

  // A never-settling call leaves Q = 1 behind; the same interval then
  // goes on to further levels.
  auto g = counting(spike_at_one);
  run(g, 0.0, 1.0);
  EXPECT_EQ(st.Q, 1.0);
  auto f2 = counting(dip);
  run(f2, 0.0, 1.0);
  EXPECT_GT(f2.calls, 3);
}

TEST_F(Romberg, ToleranceEqualityPasses) {
  // x^2 on [0, 1]: R(0,0) = 0.5, R(1,0) = 0.375, so E = 0.125 exactly,
  // equal to the absolute tolerance.
  auto f = counting([](double x) { return x * x; });
  run(f, 0.0, 1.0, 1, 0.0, 0, 0.125, 0.0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.calls, 3);
}

}  // namespace
}  // namespace kelvorat
