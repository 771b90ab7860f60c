// Output records: fixed fields, descriptor lists and free-form records.  The
// expected strings are worked out by hand from the stored binary values.

#include "driver/field_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvorat::fmt {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = 4.9406564584124654e-324;  // smallest subnormal

std::string I(std::int64_t v, int w) {
  std::string s;
  put_i(s, v, w);
  return s;
}
std::string F(double v, int w, int d) {
  std::string s;
  put_f(s, v, w, d);
  return s;
}
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
std::string EParts(bool negative, std::string_view digits, int exponent, int w) {
  std::string s;
  put_e_parts(s, negative, digits, exponent, w, 'E');
  return s;
}

TEST(IntegerField, RightJustifiedOrStars) {
  EXPECT_EQ(I(3, 2), " 3");
  EXPECT_EQ(I(0, 1), "0");
  EXPECT_EQ(I(-12, 3), "-12");
  EXPECT_EQ(I(-123, 3), "***");
  EXPECT_EQ(I(1000, 3), "***");  // NTERMS of 1000 echoed by I3
  EXPECT_EQ(I(999, 3), "999");
  EXPECT_EQ(I(INT64_MIN, 20), "-9223372036854775808");
  EXPECT_EQ(I(INT64_MIN, 19), "*******************");
}

TEST(FixedField, RoundingAndWidth) {
  EXPECT_EQ(F(12345678.9, 10, 4), "**********");
  EXPECT_EQ(F(-0.5, 10, 4), "   -0.5000");
  EXPECT_EQ(F(1.5, 10, 4), "    1.5000");
  EXPECT_EQ(F(-2.25, 10, 4), "   -2.2500");
  // The zero before the point goes only when the field is otherwise full.
  EXPECT_EQ(F(0.5, 6, 4), "0.5000");
  EXPECT_EQ(F(0.5, 5, 4), ".5000");
  EXPECT_EQ(F(-0.5, 6, 4), "-.5000");
  EXPECT_EQ(F(-0.5, 5, 4), "*****");
  EXPECT_EQ(F(0.5, 4, 4), "****");
  // Fw.0 still writes the point.
  EXPECT_EQ(F(12.0, 5, 0), "  12.");
  EXPECT_EQ(F(12.0, 2, 0), "**");
}

TEST(FixedField, RoundsTheStoredValue) {
  // 9.99995 is stored as 9.99995000000000001165..., above the tie.
  EXPECT_EQ(F(9.99995, 10, 4), "   10.0000");
  EXPECT_EQ(F(9.99995, 6, 4), "******");  // the carry costs a column
  EXPECT_EQ(F(0.99995, 6, 4), "1.0000");
  // 0.15 is stored below 0.15: a decimal rounding would give 0.2.
  EXPECT_EQ(F(0.15, 4, 1), " 0.1");
  // Exact binary ties go to the even digit.
  EXPECT_EQ(F(0.125, 5, 2), " 0.12");
  EXPECT_EQ(F(0.375, 5, 2), " 0.38");
  EXPECT_EQ(F(DBL_MAX, 10, 4), "**********");
  EXPECT_EQ(F(kTiny, 10, 4), "    0.0000");
}

TEST(FixedField, NegativeZeroKeepsItsSign) {
  EXPECT_EQ(F(-0.0, 10, 4), "   -0.0000");
  EXPECT_EQ(F(-0.00001, 10, 4), "   -0.0000");
  EXPECT_EQ(F(0.0, 10, 4), "    0.0000");
}

TEST(ExponentField, WorkedExamples) {
  EXPECT_EQ(E(0.0, 12, 4), "  0.0000E+00");
  EXPECT_EQ(E(1e-120, 12, 4), "  0.1000-119");
  EXPECT_EQ(E(123.45, 12, 4), "  0.1235E+03");
  EXPECT_EQ(D(-123.45, 10, 4), "-.1235D+03");
  EXPECT_EQ(D(100.0, 10, 4), "0.1000D+03");
  EXPECT_EQ(D(0.0001, 10, 4), "0.1000D-03");
  EXPECT_EQ(E(701.5, 10, 4), "0.7015E+03");
  EXPECT_EQ(E(700.0000001, 10, 4), "0.7000E+03");
  EXPECT_EQ(E(1.5, 16, 6), "    0.150000E+01");
  // 0.123456789 is stored as 0.1234567889999..., which rounds up to 10 digits.
  EXPECT_EQ(E(0.123456789, 18, 10), "  0.1234567890E+00");
  // 1e-6 is stored just below 1e-6 and fills E12.6 exactly.
  EXPECT_EQ(E(1e-6, 12, 6), "0.100000E-05");
  EXPECT_EQ(E(-1e-6, 12, 6), "-.100000E-05");
  EXPECT_EQ(E(-1.5, 16, 6), "   -0.150000E+01");
}

TEST(ExponentField, WidthLimits) {
  EXPECT_EQ(E(123.45, 9, 4), ".1235E+03");
  EXPECT_EQ(E(123.45, 8, 4), "********");
  EXPECT_EQ(E(-123.45, 9, 4), "*********");
  EXPECT_EQ(E(2.5, 7, 1), "0.2E+01");
}

TEST(ExponentField, CarryIntoNextDecade) {
  EXPECT_EQ(E(9.99995, 12, 4), "  0.1000E+02");
  EXPECT_EQ(E(0.99995, 12, 4), "  0.1000E+01");
  EXPECT_EQ(E(-9.99995, 12, 4), " -0.1000E+02");
  EXPECT_EQ(E(9.9999, 12, 4), "  0.1000E+02");
  EXPECT_EQ(E(9.9994, 12, 4), "  0.9999E+01");
}

TEST(ExponentField, TiesToEven) {
  EXPECT_EQ(E(0.125, 10, 2), "  0.12E+00");
  EXPECT_EQ(E(0.375, 10, 2), "  0.38E+00");
  EXPECT_EQ(E(2.5, 8, 1), " 0.2E+01");
  EXPECT_EQ(E(3.5, 8, 1), " 0.4E+01");
  EXPECT_EQ(E(std::nextafter(2.5, 3.0), 8, 1), " 0.3E+01");
}

TEST(ExponentField, ExponentRanges) {
  EXPECT_EQ(E(1e98, 12, 4), "  0.1000E+99");
  EXPECT_EQ(E(1e99, 12, 4), "  0.1000+100");
  EXPECT_EQ(E(1e-100, 12, 4), "  0.1000E-99");
  EXPECT_EQ(E(1e-101, 12, 4), "  0.1000-100");
  EXPECT_EQ(D(1e99, 10, 4), "0.1000+100");
  EXPECT_EQ(E(DBL_MAX, 12, 4), "  0.1798+309");
  EXPECT_EQ(E(-DBL_MAX, 12, 4), " -0.1798+309");
  EXPECT_EQ(E(kTiny, 12, 4), "  0.4941-323");
  // Beyond the range of a double: three digits up to 999, then stars.
  EXPECT_EQ(EParts(false, "1000", 999, 12), "  0.1000+999");
  EXPECT_EQ(EParts(false, "1000", -999, 12), "  0.1000-999");
  EXPECT_EQ(EParts(false, "1000", 1000, 12), "************");
  EXPECT_EQ(EParts(false, "1000", -1000, 12), "************");
  EXPECT_EQ(EParts(true, "1235", 3, 10), "-.1235E+03");
}

TEST(ExponentField, NegativeZero) {
  EXPECT_EQ(E(-0.0, 12, 4), " -0.0000E+00");
  EXPECT_EQ(D(-0.0, 10, 4), "-.0000D+00");
  EXPECT_EQ(D(0.0, 10, 4), "0.0000D+00");
}

TEST(NonFiniteField, WidthsInEveryEditor) {
  EXPECT_EQ(E(kInf, 12, 4), "    Infinity");
  EXPECT_EQ(F(kInf, 8, 2), "Infinity");
  EXPECT_EQ(D(kInf, 7, 1), "    Inf");
  EXPECT_EQ(E(kInf, 3, 1), "Inf");
  EXPECT_EQ(E(kInf, 2, 1), "**");
  EXPECT_EQ(E(-kInf, 12, 4), "   -Infinity");
  EXPECT_EQ(F(-kInf, 9, 2), "-Infinity");
  EXPECT_EQ(D(-kInf, 8, 1), "    -Inf");
  EXPECT_EQ(E(-kInf, 4, 1), "-Inf");
  EXPECT_EQ(E(-kInf, 3, 1), "***");
  EXPECT_EQ(E(kNaN, 12, 4), "         NaN");
  EXPECT_EQ(F(kNaN, 3, 1), "NaN");
  EXPECT_EQ(D(kNaN, 2, 1), "**");
}

TEST(FieldEditors, BadArgumentsAreProgrammingErrors) {
  EXPECT_THROW(I(1, 0), std::logic_error);
  EXPECT_THROW(F(1.0, 10, -1), std::logic_error);
  EXPECT_THROW(E(1.0, 10, 0), std::logic_error);
  std::string s;
  EXPECT_THROW(put_x(s, -1), std::logic_error);
  put_x(s, 3);
  EXPECT_EQ(s, "   ");
}

// The lines the program writes, each from its descriptor list.
TEST(DescriptorList, ProgramLines) {
  EXPECT_EQ(format_line("' LOCATION OF THE OBS WELL: ',2F10.4", {1.5, -2.25}),
            " LOCATION OF THE OBS WELL:     1.5000   -2.2500");
  EXPECT_EQ(format_line("3X,I4,2X,10(10D10.4,/)", {1, 100.0, 0.0001}),
            "      1  0.1000D+030.1000D-03");
  EXPECT_EQ(format_line("10(8E14.6,/)", {1.0, 2.0, 0.0, 100.0, 0.5}),
            "  0.100000E+01  0.200000E+01  0.000000E+00  0.100000E+03  0.500000E+00");
  EXPECT_EQ(format_line("' THE NO. OF TIME STEPS TO BE CALCULATED: ',I5", {20}),
            " THE NO. OF TIME STEPS TO BE CALCULATED:    20");
  EXPECT_EQ(format_line("' # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS',I3", {1000}),
            " # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS***");
  EXPECT_EQ(format_line("' THE MAX RELATIVE ERROR ALLOWED FOR INTEGRATION',"
                        "' OVER ANY INTERVAL IS: ',E12.6",
                        {0.001}),
            " THE MAX RELATIVE ERROR ALLOWED FOR INTEGRATION OVER ANY INTERVAL IS: 0.100000E-02");
  EXPECT_EQ(format_line("E12.4,4X,E12.4,4X,E12.4", {1.5, 0.25, 2.0}),
            "  0.1500E+01      0.2500E+00      0.2000E+01");
  EXPECT_EQ(format_line("'@@ ',3E12.4,I4,2E12.4", {0.0, 0.0, 0.0, 1, 1e-20, 1.0}),
            "@@   0.0000E+00  0.0000E+00  0.0000E+00   1  0.1000E-19  0.1000E+01");
  EXPECT_EQ(format_line("6E12.4", {1.0, 2.0, 3.0, 1e-6, 1e-6}),
            "  0.1000E+01  0.2000E+01  0.3000E+01  0.1000E-05  0.1000E-05");
  EXPECT_EQ(format_line("' THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN',E12.4,"
                        "'.  THIS VALUE IS RESET TO ',E12.4",
                        {2.5e-5, 0.1 * 2.5e-5}),
            " THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN  0.2500E-04"
            ".  THIS VALUE IS RESET TO   0.2500E-05");
  EXPECT_EQ(format_lines("/", {}), (std::vector<std::string>{"", ""}));
}

TEST(DescriptorList, ResultRowIs68Characters) {
  const std::string row =
      format_line("4X,I4,3X,E16.6,E18.10,E11.4,E12.4", {5, 1.5, 0.123456789, 0.0, 0.25});
  EXPECT_EQ(row, "       5       0.150000E+01  0.1234567890E+00 0.0000E+00  0.2500E+00");
  EXPECT_EQ(row.size(), 68u);
  // The integration set-up line uses the same list.
  EXPECT_EQ(format_line("4X,I4,3X,E16.6,E18.10,E11.4,E12.4", {1, 0.5, 1e-20, 1e20, 0.5}),
            "       1       0.500000E+00  0.1000000000E-19 0.1000E+21  0.5000E+00");
}

TEST(DescriptorList, GuardMessageIs67Characters) {
  const std::string line =
      format_line("' STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =',E10.4", {701.5});
  EXPECT_EQ(line, " STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =0.7015E+03");
  EXPECT_EQ(line.size(), 67u);
}

TEST(DescriptorList, EndsAtTheFirstDescriptorWithoutAValue) {
  // Texts after the last value are still written, up to the next data field.
  const char* zone = "' THE OBS. WELL IS LOCATED INSIDE NO. ',I4,' ZONE'";
  EXPECT_EQ(format_line(zone, {2}), " THE OBS. WELL IS LOCATED INSIDE NO.    2 ZONE");
  EXPECT_EQ(format_line(zone, {}), " THE OBS. WELL IS LOCATED INSIDE NO. ");
  EXPECT_EQ(format_line("I2,2X,'A',I2,'B'", {1}), " 1  A");
  EXPECT_EQ(format_lines("10(8E14.6,/)", {}), (std::vector<std::string>{""}));
  // A slash met after the last value still ends the line.
  const std::vector<Value> eight(8, 1.0);
  const auto lines = format_lines("10(8E14.6,/)", eight);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 8u * 14u);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(format_lines("'A'/'B'//", {}), (std::vector<std::string>{"A", "B", "", ""}));
}

TEST(DescriptorList, RepeatsGroupsAndSlashes) {
  EXPECT_EQ(format_line("2(I1,2(F4.1))", {1, 1.0, 2.0, 2, 3.0, 4.0}), "1 1.0 2.02 3.0 4.0");
  EXPECT_EQ(format_lines("I1,2/I1", {1, 2}), (std::vector<std::string>{"1", "", "2"}));
  EXPECT_EQ(format_lines("I1/I1", {1, 2}), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(format_lines("I1,/,I1", {1, 2}), (std::vector<std::string>{"1", "2"}));
  const std::vector<Value> nine(9, 0.0);
  const auto lines = format_lines("10(8E14.6,/)", nine);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "  0.000000E+00");
  // Blanks between items and lower-case letters are accepted.
  EXPECT_EQ(format_line(" 2x , i2 , f5.1 ", {7, 0.5}), "   7  0.5");
  // A doubled quote inside a text is one quote; double-quoted texts work too.
  EXPECT_EQ(format_line("'IT''S',I2,\" \"\"Q\"\"\"", {5}), "IT'S 5 \"Q\"");
}

TEST(DescriptorList, ValuesOutlastingTheListRevert) {
  EXPECT_EQ(format_lines("2I3", {1, 2, 3}), (std::vector<std::string>{"  1  2", "  3"}));
  // Reversion goes to the last top-level group, with its count, and runs on
  // to the end of the list.
  EXPECT_EQ(format_lines("'A',2(I2),'B'", {1, 2, 3, 4, 5}),
            (std::vector<std::string>{"A 1 2B", " 3 4B", " 5"}));
  EXPECT_EQ(format_lines("I2,(I2,(I2)),'C'", {1, 2, 3, 4, 5}),
            (std::vector<std::string>{" 1 2 3C", " 4 5C"}));
  EXPECT_THROW(format_lines("'TEXT'", {1}), std::logic_error);
  EXPECT_THROW(format_lines("I2,('X')", {1, 2}), std::logic_error);
}

TEST(DescriptorList, WrongValueKindIsAProgrammingError) {
  EXPECT_THROW(format_line("I4", {1.0}), std::logic_error);
  EXPECT_THROW(format_line("F4.1", {1}), std::logic_error);
  EXPECT_THROW(format_line("E12.4", {1}), std::logic_error);
  // format_line wants exactly one line.
  EXPECT_THROW(format_line("/", {}), std::logic_error);
  EXPECT_THROW(format_line("I1", {1, 2}), std::logic_error);
}

TEST(DescriptorList, ParseErrors) {
  for (const char* bad :
       {"I",     "I0",     "F10", "F10.", "E10.0", "(", ")",   "2F10.4)", "(I2", "()",    "'abc",
        "I4 I4", "I4,,I4", "I4,", ",I4",  "Q4",    "X", "0I4", "3'A'",    "2",   "I4(I2)"}) {
    EXPECT_THROW(format_lines(bad, {1}), std::logic_error) << bad;
  }
}

TEST(FreeReal, FixedAndScientificForms) {
  EXPECT_EQ(free_real(0.25), "0.2500000000000000");
  EXPECT_EQ(free_real(12.5), "12.50000000000000");
  EXPECT_EQ(free_real(1000.0), "1000.000000000000");
  EXPECT_EQ(free_real(5.0), "5.000000000000000");
  EXPECT_EQ(free_real(0.01), "1.000000000000000E-02");
  EXPECT_EQ(free_real(0.0), "0.000000000000000E+00");
  EXPECT_EQ(free_real(-0.0), "-0.000000000000000E+00");
  EXPECT_EQ(free_real(1e-300), "1.000000000000000E-300");
  EXPECT_EQ(free_real(1e100), "1.000000000000000E+100");
  EXPECT_EQ(free_real(-0.25), "-0.2500000000000000");
  EXPECT_EQ(free_real(2.0 / 3.0), "0.6666666666666666");
  EXPECT_EQ(free_real(3.1415927410125732), "3.141592741012573");
  EXPECT_EQ(free_real(123456789012345.6), "123456789012345.6");
  EXPECT_EQ(free_real(DBL_MAX), "1.797693134862316E+308");
  EXPECT_EQ(free_real(kTiny), "4.940656458412465E-324");
  EXPECT_EQ(free_real(kInf), "Infinity");
  EXPECT_EQ(free_real(-kInf), "-Infinity");
  EXPECT_EQ(free_real(kNaN), "NaN");
}

// The form is chosen on the value rounded to 16 digits.  The neighbours of
// 0.1 and 1e16 stay on their own side (the stored 0.1 is above one tenth, the
// double below 1e16 has exactly 16 digits); the stored 1e-120 lies below
// 1e-120 and its digits carry into the exponent.
TEST(FreeReal, FormBoundaries) {
  EXPECT_EQ(free_real(0.1), "0.1000000000000000");
  EXPECT_EQ(free_real(std::nextafter(0.1, 0.0)), "9.999999999999999E-02");
  EXPECT_EQ(free_real(1e16), "1.000000000000000E+16");
  EXPECT_EQ(free_real(std::nextafter(1e16, 0.0)), "9999999999999998.");
  EXPECT_EQ(free_real(1e15), "1000000000000000.");
  EXPECT_EQ(free_real(1e-120), "1.000000000000000E-120");
}

TEST(FreeRecord, WorkedExamples) {
  EXPECT_EQ(FreeRecord().text(" DN = ").real(5.0).str(), "  DN =  5.000000000000000");
  EXPECT_EQ(FreeRecord().integer(3).str(), " 3");
  EXPECT_EQ(FreeRecord().text("RADIUS OF PUMPING WELL").real(0.25).str(),
            " RADIUS OF PUMPING WELL 0.2500000000000000");
  EXPECT_EQ(FreeRecord().text("End").str(), " End");
  EXPECT_EQ(FreeRecord().str(), " ");
  // Trailing blanks of a text stay.
  EXPECT_EQ(FreeRecord().text("ZONE NO.      T         S    ").str(),
            " ZONE NO.      T         S    ");
  EXPECT_EQ(FreeRecord().text(" THE PROBLEM IS DEFINED AS CASE: ").text("A1").str(),
            "  THE PROBLEM IS DEFINED AS CASE: A1");
}

TEST(FreeRecord, BlanksBetweenItems) {
  // 1e-20 is stored as 9.99999999999999945...e-21, so 16 digits do not reach 1e-20.
  EXPECT_EQ(FreeRecord().text(" IR = ").integer(1).real(1e-20).real(1.0).real(0.5).str(),
            "  IR =  1 9.999999999999999E-21 1.000000000000000 0.5000000000000000");
  // The blank after a number stays when a text follows it.
  EXPECT_EQ(FreeRecord().text(" DP =").real(0.5).text(" XP = ").real(2.0).str(),
            "  DP = 0.5000000000000000  XP =  2.000000000000000");
  EXPECT_EQ(FreeRecord().integer(3).text("X").str(), " 3 X");
  EXPECT_EQ(FreeRecord().text("").real(1.0).str(), "  1.000000000000000");
  EXPECT_EQ(FreeRecord().integer(-7).real(-kInf).real(kNaN).str(), " -7 -Infinity NaN");
}

TEST(FreeRecord, LongRecordsAreNotSplit) {
  FreeRecord r;
  r.text("SOLUTION NOT CONVERGE FOR I = ")
      .integer(251)
      .text(" WITH ERR = ")
      .real(0.125)
      .text(" TPS = ")
      .real(1.5)
      .text(" C = ")
      .real(1e-7)
      .text(" ENDG = ")
      .real(20400001.0);
  const std::string expected =
      " SOLUTION NOT CONVERGE FOR I =  251  WITH ERR =  0.1250000000000000  TPS =  "
      "1.500000000000000  C =  1.000000000000000E-07  ENDG =  20400001.00000000";
  EXPECT_EQ(r.str(), expected);
  EXPECT_GT(r.str().size(), 90u);
  EXPECT_EQ(r.str().find('\n'), std::string::npos);
}

TEST(IntegerField, SignsAndWidths) {
  EXPECT_EQ(I(5, 4), "   5");
  EXPECT_EQ(I(-12, 4), " -12");
  EXPECT_EQ(I(20, 5), "   20");
  EXPECT_EQ(I(-100, 3), "***");
}

TEST(FixedField, MoreWidthsAndRounding) {
  EXPECT_EQ(F(10.5, 10, 4), "   10.5000");
  EXPECT_EQ(F(99999.99999, 10, 4), "**********");
  EXPECT_EQ(F(0.5, 4, 3), ".500");
  EXPECT_EQ(F(0.125, 10, 2), "      0.12");
  EXPECT_EQ(F(0.135, 10, 2), "      0.14");
}

TEST(ExponentField, NegativeValueLosesItsLeadingZeroOnlyWhenFull) {
  EXPECT_EQ(E(-0.1, 10, 4), "-.1000E+00");
  EXPECT_EQ(E(-0.1, 11, 4), "-0.1000E+00");
}

TEST(ExponentField, CarryAndExponentEdges) {
  EXPECT_EQ(E(9.9994999, 12, 4), "  0.9999E+01");
  EXPECT_EQ(E(9.9999e98, 12, 4), "  0.1000+100");
  EXPECT_EQ(E(1e-99, 12, 4), "  0.1000E-98");
  EXPECT_EQ(E(kTiny, 12, 4), "  0.4941-323");
  EXPECT_EQ(D(1e-120, 12, 4), "  0.1000-119");
}

TEST(NonFiniteField, ShortForms) {
  EXPECT_EQ(E(-kInf, 8, 4), "    -Inf");
  EXPECT_EQ(E(-kInf, 4, 2), "-Inf");
  EXPECT_EQ(F(kNaN, 2, 1), "**");
}

TEST(DescriptorList, RecordsOfTheRun) {
  EXPECT_EQ(format_line("10(8E14.6,/)", {1000.0, 0.0, 1.0, 1.0, 2.0}),
            "  0.100000E+04  0.000000E+00  0.100000E+01  0.100000E+01  0.200000E+01");
  EXPECT_EQ(format_line("' THE OBS. WELL IS LOCATED INSIDE NO. ',I4,' ZONE'", {3}),
            " THE OBS. WELL IS LOCATED INSIDE NO.    3 ZONE");
  EXPECT_EQ(format_line("6E12.4", {1.0, 2.0, 3.0, 4.0, 5.0}).size(), 60u);
  EXPECT_EQ(format_line("'@@ ',3E12.4,I4,2E12.4", {0.0, 0.0, 0.0, 1, 1.0, 2.0}),
            "@@   0.0000E+00  0.0000E+00  0.0000E+00   1  0.1000E+01  0.2000E+01");
  EXPECT_EQ(format_line("' LOCATION OF THE OBS WELL: ',2F10.4", {10.5, -20.0}),
            " LOCATION OF THE OBS WELL:    10.5000  -20.0000");
}

TEST(DescriptorList, TextsAndSlashesWithoutValues) {
  EXPECT_EQ(format_lines("'A'/'B'", {}), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(format_line("'IT''S'", {}), "IT'S");
  EXPECT_EQ(format_lines("2(I2,/)", {1, 2}), (std::vector<std::string>{" 1", " 2", ""}));
}

TEST(FreeRecord, NumbersAndTexts) {
  EXPECT_EQ(FreeRecord().text(" IR = ").integer(1).real(0.5).real(-2.0).str(),
            "  IR =  1 0.5000000000000000 -2.000000000000000");
  EXPECT_EQ(FreeRecord().text("A ").integer(7).text(" B").str(), " A  7  B");
  EXPECT_EQ(FreeRecord().text("ZONE    ").str(), " ZONE    ");  // text blanks stay
  // Never split, however many numbers.
  FreeRecord long_record;
  for (int i = 0; i < 20; ++i) long_record.real(1.0 / 3.0);
  EXPECT_EQ(long_record.str().size(), 1u + 20 * 19 - 1);
}

TEST(FreeReal, SmallestValuesAndNegativeFixedForm) {
  EXPECT_EQ(free_real(1e-20), "9.999999999999999E-21");  // the stored value, to 16 digits
  EXPECT_EQ(free_real(kTiny), "4.940656458412465E-324");
  EXPECT_EQ(free_real(-0.1), "-0.1000000000000000");
}

}  // namespace
}  // namespace kelvorat::fmt
