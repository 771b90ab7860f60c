// Placing observation wells: the moves out of the bore and the near field,
// the steady-state correction, the zone and the case code.
#include "simulation/observation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/trace_writer.h"
#include "simulation/constants.h"
#include "support/recording_sink.h"

namespace kelvorat {
namespace {

using Recorder = testing::RecordingSink;

// Placement with its lines written as the run writes them.
WellGeometry place(ModelState& s, double RW, double Q, double T3, Recorder& rec) {
  TraceWriter trace(rec, 0);
  return place_observation_well(s, RW, Q, T3, &trace);
}

ModelState state(double xw, double xo, double dn = 10, double yw = 0, double yo = 0) {
  ModelState s;
  s.XW = xw;
  s.XO = xo;
  s.DN = dn;
  s.YW = yw;
  s.YO = yo;
  return s;
}

TEST(Observation, WellInsideTheBoreGoesToItsRim) {
  // DXMIN = 0.03 is below the rim distance, so only the first move acts.
  ModelState s = state(10, 10);
  Recorder rec;
  WellGeometry g = place(s, 0.1, 1000, 100, rec);
  EXPECT_EQ(s.XO, 10.1);  // exactly at the centre: to the + side
  EXPECT_FALSE(g.corrected);
  s = state(10, 9.95);
  g = place(s, 0.1, 1000, 100, rec);
  EXPECT_EQ(s.XO, 10 - 0.1);
  EXPECT_EQ(g.d, std::fabs(10 - (10 - 0.1)));
}

TEST(Observation, NearFieldMoveWithSteadyStateCorrection) {
  const double q = 1000, t3 = 250;
  ModelState s = state(100, 99.95, 10, 5, 2);
  Recorder rec;
  const WellGeometry g = place(s, 0.1, q, t3, rec);
  EXPECT_EQ(g.DXMIN, 0.003000000026077032 * 100);
  EXPECT_EQ(g.d, 100 - 99.9);  // from the first move, not recomputed after the second
  EXPECT_TRUE(g.corrected);
  EXPECT_EQ(s.XO, 100 - g.DXMIN);
  EXPECT_NEAR(s.XO, 99.7, 1e-8);
  // Q/(2 pi T3) ln(sqrt(0.09 + dy^2) / sqrt(0.01 + dy^2)), dy = 3.
  const double expected = q / (2 * 3.1415927410125732 * t3) *
                          std::log(std::sqrt(g.DXMIN * g.DXMIN + 9) / std::sqrt(g.d * g.d + 9));
  EXPECT_EQ(g.CORR, expected);
  EXPECT_NEAR(g.CORR, q / (2 * M_PI * t3) * std::log(std::sqrt(9.09) / std::sqrt(9.01)), 1e-8);
  EXPECT_EQ(s.DY, 3.0);
}

TEST(Observation, WellsOutsideTheNearFieldStayPut) {
  Recorder rec;
  ModelState s = state(100, 99.5);  // d = 0.5 >= 0.3
  EXPECT_FALSE(place(s, 0.1, 1000, 100, rec).corrected);
  EXPECT_EQ(s.XO, 99.5);
  // A pumping well at or left of x = 0 has no near field at all.
  for (double xw : {0.0, -20.0}) {
    s = state(xw, xw + 0.2);
    const WellGeometry g = place(s, 0.1, 1000, 100, rec);
    EXPECT_FALSE(g.corrected);
    EXPECT_LE(g.DXMIN, 0.0);
  }
}

TEST(Observation, ZoneAndCaseLines) {
  struct Case {
    double xw, xo;
    int zone;
    CaseCode code;
  };
  for (const Case& c : {Case{100, 0, 3, CaseCode::A3}, Case{100, -10, 2, CaseCode::A2},
                        Case{100, std::nextafter(-10.0, -20.0), 1, CaseCode::A1},
                        Case{100, -1e-300, 2, CaseCode::A2}, Case{100, 100.5, 3, CaseCode::A4},
                        Case{-20, -5, 2, CaseCode::A4}, Case{100, -500, 1, CaseCode::A1}}) {
    SCOPED_TRACE(c.xo);
    ModelState s = state(c.xw, c.xo);
    Recorder rec;
    place(s, 0.1, 1000, 100, rec);
    EXPECT_EQ(s.IZONE, c.zone);
    EXPECT_EQ(s.CHRT, c.code);
    ASSERT_EQ(rec.adet().size(), 2u);
    EXPECT_EQ(rec.adet()[0],
              " THE OBS. WELL IS LOCATED INSIDE NO.    " + std::to_string(c.zone) + " ZONE");
    EXPECT_EQ(rec.adet()[1], std::string("  THE PROBLEM IS DEFINED AS CASE: ") + case_name(c.code));
  }
}

}  // namespace
}  // namespace kelvorat
