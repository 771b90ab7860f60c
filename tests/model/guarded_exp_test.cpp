#include "model/guarded_exp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "driver/trace_writer.h"

namespace kelvorat {
namespace {

const std::string kText = " STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =";

TEST(GuardedExp, ValuesUpToTheGuardPass) {
  EXPECT_EQ(ddxp(700.0), 1.0142320547350045e304);  // 700 itself passes
  EXPECT_EQ(ddxp(0.0), 1.0);
  EXPECT_EQ(ddxp(-800.0), 0.0);  // quiet underflow, no lower guard
  EXPECT_EQ(ddxp(-1.0), std::exp(-1.0));
  EXPECT_TRUE(std::isnan(ddxp(std::numeric_limits<double>::quiet_NaN())));
}

TEST(GuardedExp, ArgumentAboveSevenHundredTrips) {
  try {
    ddxp(700.0000001);
    FAIL() << "no trip";
  } catch (const ExpGuardTrip& trip) {
    EXPECT_EQ(trip.bar(), 700.0000001);
    EXPECT_EQ(exp_guard_record(trip.bar()), kText + "0.7000E+03");
    EXPECT_EQ(std::string(trip.what()), kText);
  }
  EXPECT_THROW(ddxp(std::nextafter(700.0, 800.0)), ExpGuardTrip);
  EXPECT_THROW(ddxp(HUGE_VAL), ExpGuardTrip);
}

TEST(GuardedExp, RecordIsTheLiteralFollowedByE10_4) {
  EXPECT_EQ(kText.size(), 57u);
  const std::string r = exp_guard_record(701.5);
  EXPECT_EQ(r, kText + "0.7015E+03");
  EXPECT_EQ(r.size(), 67u);
  EXPECT_EQ(exp_guard_record(9801.0), kText + "0.9801E+04");
}

}  // namespace
}  // namespace kelvorat
