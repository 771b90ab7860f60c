#include "numerics/growing_intervals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/trace_writer.h"
#include "numerics/test_integrands.h"
#include "support/recording_sink.h"
#include "support/same_bits.h"

namespace kelvorat {
namespace {

using testing::counting;
using testing::RecordingSink;
using Lines = std::vector<std::string>;

const std::string kHeader = "    VALUE OF INTG  LAT. IMP    ABS. ERR. IQP      A           B";
const Lines kLegend = {" ", " NOTE: ", "    $$ MEAN SOL.FOR INTEG. DOES NOT CONVERGE",
                       "    @@ MEAN SOL.FOR INTEG. IS ZERO", " "};

struct Intervals : ::testing::Test {
  RombergState st;
  RecordingSink sink;

  template <class F>
  IntegralResult run(F& f, double start, double first_end, double upper, double H, double reltol,
                     int IPRT = 0) {
    TraceWriter trace(sink, IPRT);
    return rombint(f, IntegrationLimits{start, first_end, upper, H, 1.0e-10, reltol}, st, &trace);
  }
};

TEST_F(Intervals, ExponentialWorkedExample) {
  auto f = counting(testing::exp_minus);
  const IntegralResult r = run(f, 1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-6, 1);
  EXPECT_NEAR(r.integral, 1.0000002873, 0.5e-10);
  EXPECT_EQ(r.error_indicator, 0.0);
  EXPECT_EQ(f.calls, 101);

  // Ends 1, 2, ..., 11, then 21 and 31; the 13th interval converges.  The
  // double nearest 1e-20 is 9.99999999999999945e-21, written to 16 digits.
  const Lines starts = {
      "  IR =  1 9.999999999999999E-21 1.000000000000000 ",
      "  IR =  2 1.000000000000000 2.000000000000000 ",
      "  IR =  3 2.000000000000000 3.000000000000000 ",
      "  IR =  4 3.000000000000000 4.000000000000000 ",
      "  IR =  5 4.000000000000000 5.000000000000000 ",
      "  IR =  6 5.000000000000000 6.000000000000000 ",
      "  IR =  7 6.000000000000000 7.000000000000000 ",
      "  IR =  8 7.000000000000000 8.000000000000000 ",
      "  IR =  9 8.000000000000000 9.000000000000000 ",
      "  IR =  10 9.000000000000000 10.00000000000000 ",
      "  IR =  11 10.00000000000000 11.00000000000000 ",
      "  IR =  12 11.00000000000000 21.00000000000000 ",
      "  IR =  13 21.00000000000000 31.00000000000000 ",
  };
  const Lines adet = sink.lines(Channel::adet);
  ASSERT_EQ(adet.size(), starts.size() + 1);
  for (size_t i = 0; i < starts.size(); ++i) {
    EXPECT_EQ(adet[i].substr(0, starts[i].size()), starts[i]) << "interval " << i + 1;
  }
  // Summary: ENDG, C, TPS, ERR, relative tolerance (C = ERR = 1.1173E-09).
  EXPECT_EQ(adet.back(), "  0.3100E+02  0.1117E-08  0.1000E+01  0.1117E-08  0.1000E-05");

  Lines tromb = {kHeader};
  tromb.insert(tromb.end(), kLegend.begin(), kLegend.end());
  EXPECT_EQ(sink.lines(Channel::tromb), tromb);
}

TEST_F(Intervals, RelativeChangeEqualToToleranceStops) {
  // A constant 1 integrates exactly: C = 1 per unit interval, so after the
  // second interval ERR = 1 / 2 = the tolerance.
  auto f = counting(testing::one_fn);
  const IntegralResult r = run(f, 0.0, 1.0, 1.0e20, 1.0, 0.5, 1);
  EXPECT_EQ(r.integral, 2.0);
  EXPECT_EQ(r.error_indicator, 0.0);
  EXPECT_EQ(f.calls, 6);
  EXPECT_EQ(sink.lines(Channel::adet),
            (Lines{"  IR =  1 0.000000000000000E+00 1.000000000000000 1.000000000000000 "
                   "1.000000000000000",
                   "  IR =  2 1.000000000000000 2.000000000000000 2.000000000000000 "
                   "1.000000000000000",
                   "  0.2000E+01  0.1000E+01  0.2000E+01  0.5000E+00  0.5000E+00"}));
  // Header first, legend last: nothing written by the converging intervals.
  Lines tromb = {kHeader};
  tromb.insert(tromb.end(), kLegend.begin(), kLegend.end());
  EXPECT_EQ(sink.lines(Channel::tromb), tromb);
}

TEST_F(Intervals, ToleranceOfOneStopsAfterFirstNonzeroInterval) {
  auto f = counting(testing::one_fn);
  const IntegralResult r = run(f, 0.0, 1.0, 1.0e20, 1.0, 1.0);
  EXPECT_EQ(r.integral, 1.0);
  EXPECT_EQ(sink.lines(Channel::adet).size(), 1u);
}

TEST_F(Intervals, TraceOffWritesNothingToTrace) {
  auto f = counting(testing::zero_fn);
  run(f, 1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-6, 0);
  EXPECT_TRUE(sink.lines(Channel::tromb).empty());
  EXPECT_EQ(sink.lines(Channel::adet).size(), 52u);
}

TEST_F(Intervals, ZeroIntegrandStopsAfterFiftyOneIntervals) {
  auto f = counting(testing::zero_fn);
  const IntegralResult r = run(f, 1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-6, 1);
  EXPECT_EQ(r.integral, 0.0);
  EXPECT_EQ(r.error_indicator, 0.0);
  EXPECT_EQ(f.calls, 51 * 33);

  const Lines adet = sink.lines(Channel::adet);
  ASSERT_EQ(adet.size(), 53u);  // 51 intervals, "TPS = ", summary
  EXPECT_EQ(adet[49],
            "  IR =  50 300001.0000000000 400001.0000000000 0.000000000000000E+00 "
            "0.000000000000000E+00");
  EXPECT_EQ(adet[50], " TPS =  0.000000000000000E+00");
  EXPECT_EQ(adet[51],
            "  IR =  51 400001.0000000000 500001.0000000000 0.000000000000000E+00 "
            "0.000000000000000E+00");
  // ERR never left its start value 100 while the total was zero.
  EXPECT_EQ(adet[52], "  0.5000E+06  0.0000E+00  0.0000E+00  0.1000E+03  0.1000E-05");

  // Every interval is a zero verdict; the header of that case only once.
  const Lines tromb = sink.lines(Channel::tromb);
  ASSERT_EQ(tromb.size(), 1u + 1u + 51u + 5u);
  EXPECT_EQ(tromb[0], kHeader);
  EXPECT_EQ(tromb[1], " SOLUTION FOR INTEGRATION IS ZERO");
  EXPECT_EQ(tromb[2], "@@   0.0000E+00  0.0000E+00  0.0000E+00   1  0.1000E-19  0.1000E+01");
  EXPECT_EQ(tromb[3], "@@   0.0000E+00  0.0000E+00  0.0000E+00   2  0.1000E+01  0.2000E+01");
  EXPECT_EQ(tromb[52], "@@   0.0000E+00  0.0000E+00  0.0000E+00  51  0.4000E+06  0.5000E+06");
  EXPECT_EQ(Lines(tromb.begin() + 53, tromb.end()), kLegend);
}

TEST_F(Intervals, BandEdgesTakeOneStepOfTheLowerBand) {
  const detail::Bands b(1.0);
  EXPECT_EQ(b.next_end(10.0), 11.0);
  EXPECT_EQ(b.next_end(100.0), 110.0);
  EXPECT_EQ(b.next_end(1000.0), 1100.0);
  EXPECT_EQ(b.next_end(1.0e4), 11000.0);
  EXPECT_EQ(b.next_end(1.0e5), 2.0e5);  // the top band includes its lower limit
  EXPECT_EQ(b.next_end(10.5), 20.5);
  EXPECT_EQ(b.next_end(99999.0), 109999.0);
  const detail::Bands b3(3.0);
  EXPECT_EQ(b3.next_end(30.0), 33.0);
  EXPECT_EQ(b3.next_end(31.0), 61.0);
  EXPECT_EQ(b3.next_end(3.0e5), 6.0e5);
}

TEST_F(Intervals, SecondIntervalStepsFromBandEdge) {
  // With a constant integrand each interval takes three points, f(A) and
  // f(B) first, so the fifth evaluation is the end of the second interval.
  struct Case {
    double first_end, second_end;
  };
  for (const Case c :
       {Case{10.0, 11.0}, Case{100.0, 110.0}, Case{1.0e4, 11000.0}, Case{1.0e5, 2.0e5}}) {
    auto f = counting(testing::one_fn, true);
    run(f, 0.0, c.first_end, 1.0e20, 1.0, 0.5);
    ASSERT_EQ(f.xs.size(), 6u);
    EXPECT_EQ(f.xs[3], c.first_end);
    EXPECT_EQ(f.xs[4], c.second_end);
  }
}

TEST_F(Intervals, FirstEndAboveUpperLimitIsLowered) {
  auto f = counting(testing::one_fn);
  const IntegralResult r = run(f, 0.0, 50.0, 20.0, 1.0, 1.0e-6);
  EXPECT_EQ(r.integral, 20.0);
  EXPECT_EQ(r.error_indicator, 0.0);
  EXPECT_EQ(sink.lines(Channel::adet),
            (Lines{"  IR =  1 0.000000000000000E+00 20.00000000000000 20.00000000000000 "
                   "20.00000000000000",
                   " *** TPS =  20.00000000000000  C =  20.00000000000000  INCREASE THE RANGE "
                   "OF INTEGRATION."}));

  // Converging on that same interval takes precedence: no message.
  sink.clear();
  run(f, 0.0, 50.0, 20.0, 1.0, 1.0);
  EXPECT_EQ(sink.lines(Channel::adet).size(), 1u);
}

TEST_F(Intervals, RunningOutOfIntervals) {
  // Constant 1 with a zero tolerance: every interval adds its length and
  // none ever converges; 250 intervals reach 20400001.
  auto f = counting(testing::one_fn);
  const IntegralResult r = run(f, 0.0, 1.0, 1.0e20, 1.0, 0.0);
  EXPECT_EQ(r.integral, 20400001.0);
  EXPECT_EQ(r.error_indicator, 100000.0 / 20400001.0);
  EXPECT_EQ(f.calls, 750);
  const Lines adet = sink.lines(Channel::adet);
  ASSERT_EQ(adet.size(), 251u);
  EXPECT_EQ(adet[249],
            "  IR =  250 20300001.00000000 20400001.00000000 20400001.00000000 "
            "100000.0000000000");
  EXPECT_EQ(adet[250],
            " SOLUTION NOT CONVERGE FOR I =  251  WITH ERR =  4.901960544021542E-03 "
            " TPS =  20400001.00000000  C =  100000.0000000000  ENDG =  "
            "20400001.00000000");
}

TEST_F(Intervals, EachCallStartsAfresh) {
  auto f = counting(testing::exp_minus);
  const IntegralResult a = run(f, 1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-6);
  auto g = counting(testing::one_fn);
  run(g, 0.0, 1.0, 1.0e20, 1.0, 0.0);
  f.calls = 0;
  const IntegralResult b = run(f, 1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-6);
  EXPECT_EQ(a.integral, b.integral);
  EXPECT_EQ(f.calls, 101);
}

TEST_F(Intervals, EveryEndingIsTypedWithItsIntervalCount) {
  auto check = [&](auto f, const IntegrationLimits& lim, IntegralEnding ending, int intervals) {
    SCOPED_TRACE(intervals);
    testing::RecordingTrace trace;
    const IntegralResult r = rombint(f, lim, st, &trace);
    EXPECT_EQ(r.ending, ending);
    EXPECT_EQ(r.intervals, intervals);
    // One start, one event per interval, the summary last; a stop event for
    // every ending but convergence.
    ASSERT_FALSE(trace.events().empty());
    EXPECT_EQ(trace.events().front().name, "integral_start");
    EXPECT_EQ(trace.events().back().name, "integral_summary");
    EXPECT_EQ(trace.named("interval").size(), static_cast<std::size_t>(intervals));
    const auto stops = trace.named("integral_stop");
    if (ending == IntegralEnding::converged) {
      EXPECT_TRUE(stops.empty());
    } else {
      ASSERT_EQ(stops.size(), 1u);
      EXPECT_EQ(stops[0].values[0], static_cast<double>(ending));
    }
  };
  check(testing::exp_minus, {1e-20, 1.0, 1e20, 1.0, 1e-10, 1e-6}, IntegralEnding::converged, 13);
  check(testing::zero_fn, {1e-20, 1.0, 1e20, 1.0, 1e-10, 1e-6}, IntegralEnding::zero_total, 51);
  check(testing::one_fn, {0.0, 50.0, 20.0, 1.0, 1e-10, 1e-6}, IntegralEnding::range_exhausted, 1);
  check(testing::one_fn, {0.0, 1.0, 1e20, 1.0, 1e-10, 0.0}, IntegralEnding::interval_limit, 250);
}

TEST_F(Intervals, NoTraceGivesTheSameBits) {
  auto f = counting(testing::exp_minus);
  const IntegrationLimits lim{1.0e-20, 0.1, 1.0e20, 0.1, 1.0e-10, 1.0e-9};
  testing::RecordingTrace trace;
  const IntegralResult a = rombint(f, lim, st, &trace);
  const double qa = st.Q;
  RombergState fresh;
  const IntegralResult b = rombint(f, lim, fresh, nullptr);
  EXPECT_TRUE(testing::same_bits(a.integral, b.integral));
  EXPECT_TRUE(testing::same_bits(qa, fresh.Q));
  EXPECT_EQ(a.intervals, b.intervals);
}

TEST_F(Intervals, FreshMeasurePerIntegralIgnoresTheCarriedOne) {
  // 1 at the ends, -1 at the midpoint: on the first interval R(1,0) = 0 forms
  // no relative measure, and the diagonal R(1,1) is tested with the measure
  // left by the integral before.
  auto dip = [](double x) { return x == 0.5 ? -1.0 : 1.0; };
  const IntegrationLimits lim{0.0, 1.0, 1.0, 1.0, 1e-10, 1e-6};
  auto once = [&](RombergState& state) {
    auto g = counting(dip);
    rombint(g, lim, state, nullptr);
    return g.calls;
  };
  RombergState carried, fresh;
  fresh.carry_measure = false;
  carried.Q = fresh.Q = 1.0;  // as a never-converging interval leaves it
  EXPECT_GT(once(carried), 3);
  EXPECT_EQ(once(fresh), 3);
}

}  // namespace
}  // namespace kelvorat
