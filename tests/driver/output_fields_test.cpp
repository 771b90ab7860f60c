// Output editing against strings worked out by hand: the fixed fields
// (Iw, Fw.d, Ew.d, Dw.d, nX, texts, slashes, repeat counts, groups) and the
// free-form record, with the boundaries that commonly break.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "driver/field_format.h"

namespace kelvorat::fmt {
namespace {

std::string E(double v, int w, int d) {
  std::string s;
  put_e(s, v, w, d);
  return s;
}
std::string D(double v, int w, int d) {
  std::string s;
  put_d(s, v, w, d);
  return s;
}
std::string F(double v, int w, int d) {
  std::string s;
  put_f(s, v, w, d);
  return s;
}
std::string I(std::int64_t v, int w) {
  std::string s;
  put_i(s, v, w);
  return s;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FixedFields, Integers) {
  EXPECT_EQ(I(5, 4), "   5");
  EXPECT_EQ(I(-12, 4), " -12");
  EXPECT_EQ(I(20, 5), "   20");
  EXPECT_EQ(I(1000, 3), "***");
  EXPECT_EQ(I(-100, 3), "***");
  EXPECT_EQ(I(0, 1), "0");
}

TEST(FixedFields, ExponentForm) {
  EXPECT_EQ(E(123.45, 12, 4), "  0.1235E+03");
  EXPECT_EQ(E(0.0, 12, 4), "  0.0000E+00");
  EXPECT_EQ(E(1e-120, 12, 4), "  0.1000-119");  // three digits, no letter
  EXPECT_EQ(E(701.5, 10, 4), "0.7015E+03");
  EXPECT_EQ(E(700.0000001, 10, 4), "0.7000E+03");
  EXPECT_EQ(E(1e-6, 12, 6), "0.100000E-05");
  EXPECT_EQ(E(1.5, 16, 6), "    0.150000E+01");
  EXPECT_EQ(E(0.123456789, 18, 10), "  0.1234567890E+00");
  // A negative value that needs every column loses the leading zero.
  EXPECT_EQ(E(-0.1, 10, 4), "-.1000E+00");
  EXPECT_EQ(E(-0.1, 11, 4), "-0.1000E+00");
  EXPECT_EQ(E(-123.45, 9, 4), "*********");
}

TEST(FixedFields, RoundingCarriesIntoTheNextDecade) {
  EXPECT_EQ(E(9.99995, 12, 4), "  0.1000E+02");  // stored value is just above 9.99995
  EXPECT_EQ(E(0.99995, 12, 4), "  0.1000E+01");
  EXPECT_EQ(E(9.9994999, 12, 4), "  0.9999E+01");
  EXPECT_EQ(F(9.99995, 10, 4), "   10.0000");
  EXPECT_EQ(E(9.9999e98, 12, 4), "  0.1000+100");  // the carry reaches three digits
}

TEST(FixedFields, ExponentEdges) {
  EXPECT_EQ(E(1e98, 12, 4), "  0.1000E+99");
  EXPECT_EQ(E(1e99, 12, 4), "  0.1000+100");
  EXPECT_EQ(E(1e-99, 12, 4), "  0.1000E-98");
  EXPECT_EQ(E(1e-100, 12, 4), "  0.1000E-99");
  EXPECT_EQ(E(1e-101, 12, 4), "  0.1000-100");
  EXPECT_EQ(E(DBL_MAX, 12, 4), "  0.1798+309");
  EXPECT_EQ(E(4.9406564584124654e-324, 12, 4), "  0.4941-323");
  EXPECT_EQ(D(1e-120, 12, 4), "  0.1000-119");
}

TEST(FixedFields, DoubleExponentLetterAndFullFields) {
  // The zone line of zone 1: two full D10.4 fields run together.
  EXPECT_EQ(format_line("3X,I4,2X,10(10D10.4,/)", {1, 100.0, 0.0001}),
            "      1  0.1000D+030.1000D-03");
  EXPECT_EQ(D(-123.45, 10, 4), "-.1235D+03");
}

TEST(FixedFields, FixedPointForm) {
  EXPECT_EQ(F(10.5, 10, 4), "   10.5000");
  EXPECT_EQ(F(-0.5, 10, 4), "   -0.5000");
  EXPECT_EQ(F(12345678.9, 10, 4), "**********");
  EXPECT_EQ(F(99999.99999, 10, 4), "**********");  // rounds to 100000.0000
  EXPECT_EQ(F(0.5, 4, 3), ".500");
  EXPECT_EQ(F(0.125, 10, 2), "      0.12");  // exactly halfway: to even
  EXPECT_EQ(F(0.135, 10, 2), "      0.14");  // stored just above halfway
  EXPECT_EQ(F(-0.00001, 10, 4), "   -0.0000");
}

TEST(FixedFields, SignedZeroInfinityAndNaN) {
  EXPECT_EQ(E(-0.0, 12, 4), " -0.0000E+00");
  EXPECT_EQ(E(kInf, 12, 4), "    Infinity");
  EXPECT_EQ(E(-kInf, 12, 4), "   -Infinity");
  EXPECT_EQ(E(-kInf, 8, 4), "    -Inf");
  EXPECT_EQ(E(-kInf, 4, 2), "-Inf");
  EXPECT_EQ(E(kInf, 2, 1), "**");
  EXPECT_EQ(E(kNaN, 12, 4), "         NaN");
  EXPECT_EQ(F(kNaN, 2, 1), "**");
}

TEST(DescriptorLists, ResultRowOfTheTable) {
  const std::string row =
      format_line("4X,I4,3X,E16.6,E18.10,E11.4,E12.4", {5, 1.5, 0.123456789, 0.0, 0.25});
  EXPECT_EQ(row, "       5       0.150000E+01  0.1234567890E+00 0.0000E+00  0.2500E+00");
  EXPECT_EQ(row.size(), 68u);
}

TEST(DescriptorLists, LineEndsWhenTheValuesRunOut) {
  EXPECT_EQ(format_line("10(8E14.6,/)", {1000.0, 0.0, 1.0, 1.0, 2.0}),
            "  0.100000E+04  0.000000E+00  0.100000E+01  0.100000E+01  0.200000E+01");
  // Texts before the next value-taking descriptor are still written.
  EXPECT_EQ(format_line("' THE OBS. WELL IS LOCATED INSIDE NO. ',I4,' ZONE'", {3}),
            " THE OBS. WELL IS LOCATED INSIDE NO.    3 ZONE");
  EXPECT_EQ(format_line("6E12.4", {1.0, 2.0, 3.0, 4.0, 5.0}).size(), 60u);
  EXPECT_EQ(format_line("'@@ ',3E12.4,I4,2E12.4", {0.0, 0.0, 0.0, 1, 1.0, 2.0}),
            "@@   0.0000E+00  0.0000E+00  0.0000E+00   1  0.1000E+01  0.2000E+01");
  EXPECT_EQ(format_line("' LOCATION OF THE OBS WELL: ',2F10.4", {10.5, -20.0}),
            " LOCATION OF THE OBS WELL:    10.5000  -20.0000");
}

TEST(DescriptorLists, SlashesAndTextsWithoutValues) {
  EXPECT_EQ(format_lines("/", {}), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(format_lines("'A'/'B'", {}), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(format_line("'IT''S'", {}), "IT'S");
  // A slash met before the values run out still ends its line: the line it
  // begins is written, empty.
  EXPECT_EQ(format_lines("2(I2,/)", {1, 2}), (std::vector<std::string>{" 1", " 2", ""}));
}

TEST(FreeRecords, NumbersAndTexts) {
  EXPECT_EQ(FreeRecord().integer(3).str(), " 3");
  EXPECT_EQ(FreeRecord().text("RADIUS OF PUMPING WELL").real(0.25).str(),
            " RADIUS OF PUMPING WELL 0.2500000000000000");
  EXPECT_EQ(FreeRecord().text(" DN = ").real(5.0).str(), "  DN =  5.000000000000000");
  EXPECT_EQ(FreeRecord().text(" IR = ").integer(1).real(0.5).real(-2.0).str(),
            "  IR =  1 0.5000000000000000 -2.000000000000000");
  EXPECT_EQ(FreeRecord().text("A ").integer(7).text(" B").str(), " A  7  B");
  EXPECT_EQ(FreeRecord().text("ZONE    ").str(), " ZONE    ");  // text blanks stay
  EXPECT_EQ(FreeRecord().str(), " ");
  // Never split, however long.
  FreeRecord long_record;
  for (int i = 0; i < 20; ++i) long_record.real(1.0 / 3.0);
  EXPECT_EQ(long_record.str().size(), 1u + 20 * 19 - 1);
}

TEST(FreeRecords, RealForms) {
  EXPECT_EQ(free_real(0.25), "0.2500000000000000");
  EXPECT_EQ(free_real(12.5), "12.50000000000000");
  EXPECT_EQ(free_real(1000.0), "1000.000000000000");
  EXPECT_EQ(free_real(0.01), "1.000000000000000E-02");
  EXPECT_EQ(free_real(0.0), "0.000000000000000E+00");
  EXPECT_EQ(free_real(-0.0), "-0.000000000000000E+00");
  EXPECT_EQ(free_real(1e-300), "1.000000000000000E-300");
  EXPECT_EQ(free_real(1e-20), "9.999999999999999E-21");  // the stored value, to 16 digits
  EXPECT_EQ(free_real(4.9406564584124654e-324), "4.940656458412465E-324");
  EXPECT_EQ(free_real(kInf), "Infinity");
  EXPECT_EQ(free_real(-kInf), "-Infinity");
  EXPECT_EQ(free_real(kNaN), "NaN");
}

TEST(FreeRecords, BoundariesOfTheFixedForm) {
  EXPECT_EQ(free_real(0.1), "0.1000000000000000");
  EXPECT_EQ(free_real(std::nextafter(0.1, 0.0)), "9.999999999999999E-02");
  EXPECT_EQ(free_real(1e15), "1000000000000000.");
  EXPECT_EQ(free_real(std::nextafter(1e16, 0.0)), "9999999999999998.");
  EXPECT_EQ(free_real(1e16), "1.000000000000000E+16");
  EXPECT_EQ(free_real(-0.1), "-0.1000000000000000");
}

}  // namespace
}  // namespace kelvorat::fmt
