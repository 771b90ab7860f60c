#include "driver/deck_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace kelvorat::deck {
namespace {

// The message of the DeckError thrown by `read`, or "" if none.
template <typename Read>
std::string error_of(Read read) {
  try {
    read();
  } catch (const DeckError& e) {
    return e.what();
  }
  return "";
}

// Reads `text` as one record of five reals preset to -1.
struct Five {
  double v[5] = {-1, -1, -1, -1, -1};
  explicit Five(const std::string& text) {
    DeckReader deck(text, "kelvorat.dat");
    deck.read_free(11, "Q, STOPT, T0, T0STEP, TA", {&v[0], &v[1], &v[2], &v[3], &v[4]});
  }
};

std::string real_error(const std::string& text) {
  return error_of([&] {
    DeckReader deck(text, "kelvorat.dat");
    double x = 0;
    deck.read_free(14, "ERRMAX", {&x});
  });
}

std::string integer_error(const std::string& text) {
  return error_of([&] {
    DeckReader deck(text, "kelvorat.dat");
    std::int32_t n = 0;
    deck.read_free(1, "NOBS", {&n});
  });
}

TEST(DeckReaderFree, RecordsStartOnNewLinesAndMaySpanLines) {
  const Five one_line("1 2 3 4 5\n");
  const Five split("1 2 3\n4 5\n");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(split.v[k], one_line.v[k]);
  EXPECT_EQ(one_line.v[4], 5.0);

  // Record 4 with three numbers: the other two are never used.
  DeckReader deck("0.5 7 8\n10 0.2\n", "kelvorat.dat");
  double rw = 0, t = 0, s = 0;
  deck.read_free(4, "RW", {&rw});
  deck.read_free(5, "T1, S1", {&t, &s});
  EXPECT_EQ(rw, 0.5);
  EXPECT_EQ(t, 10.0);
  EXPECT_EQ(s, 0.2);
  EXPECT_EQ(deck.line_number(), 2);

  // Blank lines inside a record are only line ends.
  EXPECT_EQ(Five("\n1\n\n2 3\n   \n4 5").v[3], 4.0);
}

TEST(DeckReaderFree, Separators) {
  for (const char* text : {"1,2,3,4,5", "1 , 2 ,3, 4   5", "1\t2,\t3 ,\n4\n,5", "1 2 3 4 5/"}) {
    const Five r(text);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(r.v[k], k + 1.0) << text;
  }
}

TEST(DeckReaderFree, NullValuesAndSlashKeepVariables) {
  const Five nulls(",2,,4 , ,");
  EXPECT_EQ(nulls.v[0], -1.0);
  EXPECT_EQ(nulls.v[1], 2.0);
  EXPECT_EQ(nulls.v[2], -1.0);
  EXPECT_EQ(nulls.v[3], 4.0);
  EXPECT_EQ(nulls.v[4], -1.0);

  // A comma ending one line and one starting the next enclose a null.
  EXPECT_EQ(Five("1,\n,3 4 5 6").v[1], -1.0);
  EXPECT_EQ(Five("1\n,2 3 4 5").v[1], 2.0);

  const Five slash("1 2/ 3 4 5\n9 9 9 9 9");
  EXPECT_EQ(slash.v[1], 2.0);
  EXPECT_EQ(slash.v[2], -1.0);
  EXPECT_EQ(slash.v[4], -1.0);

  // NTERMS keeps its preset 20 for a record holding only "," or only "/",
  // and the next record starts on the following line.
  for (const char* text : {",\n1e-6\n", "/\n1e-6\n", " , \n1e-6\n"}) {
    DeckReader deck(text, "kelvorat.dat");
    std::int32_t nterms = 20;
    double errmax = 0;
    deck.read_free(13, "NTERMS", {&nterms});
    deck.read_free(14, "ERRMAX", {&errmax});
    EXPECT_EQ(nterms, 20) << text;
    EXPECT_EQ(errmax, 1e-6) << text;
  }
}

TEST(DeckReaderFree, Repeats) {
  const Five copies("3*1.5 2 3");
  EXPECT_EQ(copies.v[2], 1.5);
  EXPECT_EQ(copies.v[3], 2.0);
  const Five nulls("2* 3 4 5");
  EXPECT_EQ(nulls.v[1], -1.0);
  EXPECT_EQ(nulls.v[2], 3.0);
  const Five null_comma("2*,3,,5 6");
  EXPECT_EQ(null_comma.v[2], 3.0);
  EXPECT_EQ(null_comma.v[3], -1.0);
  EXPECT_EQ(null_comma.v[4], 5.0);

  // Copies beyond the record's variables are dropped, not carried over.
  DeckReader deck("2147483647*7\n8\n", "kelvorat.dat");
  double x = 0, y = 0, z = 0;
  deck.read_free(2, "XO, YO", {&x, &y});
  deck.read_free(4, "RW", {&z});
  EXPECT_EQ(y, 7.0);
  EXPECT_EQ(z, 8.0);
  EXPECT_EQ(Five("99999* 1").v[4], -1.0);

  EXPECT_EQ(real_error("0*5"),
            "kelvorat.dat:1: record 14 (ERRMAX): expected a repeat count from 1 to 2147483647, "
            "found \"0*5\"");
  EXPECT_NE(real_error("1000000000000*5"), "");
  EXPECT_EQ(integer_error("2*1.5"),
            "kelvorat.dat:1: record 1 (NOBS): expected an integer, found \"2*1.5\"");
}

TEST(DeckReaderFree, RealForms) {
  const Five forms("5 5. .5 0.5E1 0.5D1");
  EXPECT_EQ(forms.v[0], 5.0);
  EXPECT_EQ(forms.v[1], 5.0);
  EXPECT_EQ(forms.v[2], 0.5);
  EXPECT_EQ(forms.v[3], 5.0);
  EXPECT_EQ(forms.v[4], 5.0);
  const Five exponents("2.5D-3 0.5e+1 1.0-3 -2d2 +1.0+2");
  EXPECT_EQ(exponents.v[0], 2.5e-3);
  EXPECT_EQ(exponents.v[1], 5.0);
  EXPECT_EQ(exponents.v[2], 1e-3);
  EXPECT_EQ(exponents.v[3], -200.0);
  EXPECT_EQ(exponents.v[4], 100.0);

  // Correctly rounded, down to the denormals; below them a signed zero.
  const Five exact("0.1 3.1415927410125732 4.9e-324 -1e-400 1.7976931348623157e308");
  EXPECT_EQ(exact.v[0], 0.1);
  EXPECT_EQ(exact.v[1], 3.1415927410125732);
  EXPECT_EQ(exact.v[2], 4.9e-324);
  EXPECT_EQ(exact.v[3], 0.0);
  EXPECT_TRUE(std::signbit(exact.v[3]));
  const Five huge_exponents("0e99999999999 1e-99999999999 0 0 0");
  EXPECT_EQ(huge_exponents.v[0], 0.0);
  EXPECT_EQ(huge_exponents.v[1], 0.0);
}

TEST(DeckReaderFree, BadNumbersAreReported) {
  EXPECT_EQ(error_of([] {
              DeckReader deck("1\n0 0\n1O0.0 0\n", "kelvorat.dat");
              std::int32_t n = 0;
              double a = 0, b = 0;
              deck.read_free(1, "NOBS", {&n});
              deck.read_free(2, "XO, YO", {&a, &b});
              deck.read_free(3, "XW, YW", {&a, &b});
            }),
            "kelvorat.dat:3: record 3 (XW, YW): expected a real number, found \"1O0.0\"");
  for (const char* bad : {"-", "*", "+", ".", "e5", "1e", "--1", "1.0e+", "NaN", "Inf", "0x10",
                          "1..2", "1e5.0", "1.0-", "2**3"}) {
    EXPECT_EQ(real_error(bad),
              std::string("kelvorat.dat:1: record 14 (ERRMAX): expected a real number, found \"") +
                  bad + "\"");
  }
  EXPECT_EQ(real_error("1e999"),
            "kelvorat.dat:1: record 14 (ERRMAX): expected a real number within the double "
            "range, found \"1e999\"");
  EXPECT_NE(real_error("-1D999"), "");
  EXPECT_NE(real_error("1e99999999999999999999"), "");

  for (const char* bad : {"5.", "1e3", "+", "-", "1-"}) {
    EXPECT_EQ(
        integer_error(bad),
        std::string("kelvorat.dat:1: record 1 (NOBS): expected an integer, found \"") + bad + "\"");
  }
  EXPECT_EQ(integer_error("2147483648"),
            "kelvorat.dat:1: record 1 (NOBS): expected an integer from -2147483648 to "
            "2147483647, found \"2147483648\"");
  EXPECT_EQ(integer_error("-2147483648 +2147483647"), "");
}

TEST(DeckReaderFree, EndOfFile) {
  std::string deck_text;
  for (int k = 1; k <= 13; ++k) deck_text += "1\n";
  EXPECT_EQ(error_of([&] {
              DeckReader deck(deck_text, "kelvorat.dat");
              std::int32_t n = 0;
              for (int k = 1; k <= 13; ++k) deck.read_free(k, "N", {&n});
              double errmax = 0;
              deck.read_free(14, "ERRMAX", {&errmax});
            }),
            "kelvorat.dat:14: record 14 (ERRMAX): expected a real number, found end of file");
  EXPECT_EQ(real_error(""),
            "kelvorat.dat:1: record 14 (ERRMAX): expected a real number, found end of file");
  // Too few values before the end: the message names the line after the last.
  EXPECT_EQ(error_of([] { Five("1 2 3\n"); }),
            "kelvorat.dat:2: record 11 (Q, STOPT, T0, T0STEP, TA): expected a real number, found "
            "end of file");
}

TEST(DeckReaderFree, LineEndsTabsAndByteOrderMark) {
  DeckReader deck("\xEF\xBB\xBF 3\r\n1.5\t2.5\r\n\t7", "kelvorat.dat");
  std::int32_t n = 0;
  double a = 0, b = 0, c = 0;
  deck.read_free(1, "NOBS", {&n});
  deck.read_free(2, "XO, YO", {&a, &b});
  deck.read_free(4, "RW", {&c});
  EXPECT_EQ(n, 3);
  EXPECT_EQ(b, 2.5);
  EXPECT_EQ(c, 7.0);
  EXPECT_EQ(deck.line_number(), 3);
  // Only at the very start is the mark skipped.
  EXPECT_NE(real_error("\n\xEF\xBB\xBF"
                       "1"),
            "");
}

TEST(DeckReaderFree, MessagesAreOneSafeLine) {
  EXPECT_EQ(real_error(std::string("1\0x\x1b\"\\\xff", 7)),
            "kelvorat.dat:1: record 14 (ERRMAX): expected a real number, found "
            "\"1\\x00x\\x1B\\\"\\\\\\xFF\"");
  const std::string message = real_error(std::string(100000, '9') + "x");
  EXPECT_EQ(message, "kelvorat.dat:1: record 14 (ERRMAX): expected a real number, found \"" +
                         std::string(40, '9') + "...\"");
  EXPECT_EQ(real_error("1\r2"),
            "kelvorat.dat:1: record 14 (ERRMAX): expected a real number, found \"1\\x0D2\"");
}

TEST(DeckReaderI4, FixedColumns) {
  struct Case {
    const char* line;
    std::int32_t nt, iprt;
  };
  for (const Case& c :
       {Case{"  20   1", 20, 1}, Case{"  20", 20, 0}, Case{"   2   0", 2, 0}, Case{"", 0, 0},
        Case{"  -3  12 anything, 1.5", -3, 12}, Case{" 1 2 - 7\r", 12, -7},
        Case{"\t\t20\t\t\t1", 20, 1}, Case{"+  9", 9, 0}}) {
    DeckReader deck(std::string(c.line) + "\n5\n", "kelvorat.dat");
    std::int32_t nt = -1, iprt = -1, next = 0;
    deck.read_i4_pair(12, "NT, IPRT", nt, iprt);
    deck.read_free(13, "NTERMS", {&next});
    EXPECT_EQ(nt, c.nt) << c.line;
    EXPECT_EQ(iprt, c.iprt) << c.line;
    EXPECT_EQ(next, 5) << c.line;
  }
}

TEST(DeckReaderI4, Errors) {
  const auto i4_error = [](const std::string& text) {
    return error_of([&] {
      DeckReader deck(text, "kelvorat.dat");
      std::int32_t nt = 0, iprt = 0;
      deck.read_i4_pair(12, "NT, IPRT", nt, iprt);
    });
  };
  EXPECT_EQ(i4_error("  2x"),
            "kelvorat.dat:1: record 12 (NT, IPRT): expected an integer in columns 1-4, found "
            "\"2x\"");
  EXPECT_EQ(i4_error("  20 1,1"),
            "kelvorat.dat:1: record 12 (NT, IPRT): expected an integer in columns 5-8, found "
            "\"1,1\"");
  for (const char* bad : {"20.0", "  2-", "   -", "1e1", "\x01"})
    EXPECT_NE(i4_error(bad), "") << bad;
  EXPECT_EQ(i4_error(""),
            "kelvorat.dat:1: record 12 (NT, IPRT): expected an integer in columns 1-4, found end "
            "of file");
}

}  // namespace
}  // namespace kelvorat::deck
