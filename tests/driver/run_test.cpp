// The start-up of a run: the echo of every deck record in adet.res, the
// corrections and the warnings on the console, derived by hand from the
// record layouts; and whole runs without time steps for the file handling.
#include "driver/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "support/recording_sink.h"
#include "support/scratch_run.h"

namespace kelvorat {
namespace {

using Recorder = testing::RecordingSink;

using testing::lines_of;

const char* const kDeckA =
    "3\n"
    "10.5 -20\n"
    "100 0\n"
    "0.25\n"
    "100 0.0001\n"
    "50.5 0.2\n"
    "1000 1e-3\n"
    "-50 -20\n"
    "-5\n"
    "2.5D-3 0.5\n"
    "1000 0 1 1 2\n"
    "  20   1\n"
    "21\n"
    "1e-6\n";

TEST(StartUp, EchoOfEveryRecordWithSignCorrectionsAndTermRangeMessage) {
  deck::DeckReader deck(kDeckA, "kelvorat.dat");
  ModelState s;
  Recorder rec;
  const StartUp u = read_start_up(deck, s, rec);

  const std::vector<std::string> expected = {
      " 3",
      " LOCATION OF THE OBS WELL:    10.5000  -20.0000",
      " LOCATION OF THE PUMPING WELL:   100.0000    0.0000",
      " RADIUS OF PUMPING WELL 0.2500000000000000",
      " ZONE NO.      T         S    ",
      "      1  0.1000D+030.1000D-03",
      "      2  0.5050D+020.2000D+00",
      "      3  0.1000D+040.1000D-02",
      " LEFT BOUNDARY=  -50.00000000000000",
      " RIGHT BOUNDARY=  -20.00000000000000",
      "  DN =  5.000000000000000",
      "  STREAMBED K = 2.500000000000000E-03  STREAMBED THICKNESS =  0.5000000000000000",
      "  STLEAKT =  9.900990099009902E-05  STLEAK =  5.000000000000000E-03",
      "  Q     STOPT      T0       T0STEP      TA",
      "  0.100000E+04  0.000000E+00  0.100000E+01  0.100000E+01  0.200000E+01",
      " THE NO. OF TIME STEPS TO BE CALCULATED:    20",
      " # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS 21",
      " # OF TERMS FOR STEHFEST ALGORITHM MUST BE BETWEEN 10 AND 20 FOR DOUBLE",
      " PRECISION. THIS VALUE  IS RESET TO 10.",
      " THE MAX RELATIVE ERROR ALLOWED FOR INTEGRATION OVER ANY INTERVAL IS: 0.100000E-05",
  };
  EXPECT_EQ(rec.adet(), expected);
  EXPECT_EQ(rec.console(), (std::vector<std::string>{expected[17], expected[18]}));
  EXPECT_EQ(rec.adet()[17].size(), 71u);
  EXPECT_EQ(rec.adet()[18].size(), 39u);

  // The run uses the corrected values; the echo shows XLB as read.
  EXPECT_EQ(s.XLB, 50.0);
  EXPECT_EQ(s.XRB, -20.0);
  EXPECT_EQ(s.DN, 5.0);
  EXPECT_EQ(u.NOBS, 3);
  EXPECT_EQ(u.test.NT, 20);
  EXPECT_EQ(u.test.IPRT, 1);
  EXPECT_EQ(u.NTERMS_read, 21);
  EXPECT_EQ(u.NTERMS, 6);
  EXPECT_EQ(u.test.ERRMAX, 1e-6);  // 1/858 is not smaller
  EXPECT_EQ(u.test.STLEAK, 0.0025 / 0.5);
  EXPECT_EQ(s.STLEAKT, 0.0025 / (0.5 * 50.5));
}

// The same problem written with the other record forms: comments after the
// values, commas, a repeat count, a D exponent, records spread over lines,
// a slash ending a record early, and a slash leaving RW at its start value.
const char* const kDeckB =
    "3 , number of observation wells\n"
    "10.5,-20\n"
    "1*100 0\n"
    "/ radius left as it is\n"
    "100,1.0D-4\n"
    "50.5\n"
    "   0.2\n"
    "1000 1e-3 99 99\n"
    "-50,-20,\n"
    "-5/\n"
    "2.5D-3\t5E-1\n"
    "1000 , 0 , 1\n"
    "1 2\n"
    "  20   1   comment\n"
    "21\n"
    "1.0E-06\n";

TEST(StartUp, EveryRecordFormGivesTheSameEcho) {
  deck::DeckReader a(kDeckA, "kelvorat.dat"), b(kDeckB, "kelvorat.dat");
  ModelState sa, sb;
  Recorder ra, rb;
  read_start_up(a, sa, ra);
  const StartUp ub = read_start_up(b, sb, rb);
  ASSERT_EQ(ra.adet().size(), rb.adet().size());
  for (std::size_t i = 0; i < ra.adet().size(); ++i) {
    if (i == 3) {
      EXPECT_EQ(rb.adet()[i], " RADIUS OF PUMPING WELL 0.000000000000000E+00");
    } else {
      EXPECT_EQ(ra.adet()[i], rb.adet()[i]) << "line " << i + 1;
    }
  }
  EXPECT_EQ(ub.RW, 0.0);
  EXPECT_EQ(ra.console(), rb.console());
}

// Replaces record 13 and 14 of deck A.
std::string deck_with_terms(const std::string& nterms, const std::string& errmax) {
  std::string d = kDeckA;
  const auto cut = d.find("21\n1e-6\n");
  return d.substr(0, cut) + nterms + "\n" + errmax + "\n";
}

TEST(StartUp, TermCountChecks) {
  struct Case {
    const char* record;
    std::int32_t read, used;
    bool range_message, parity_message;
  };
  for (const Case& c :
       {Case{"6", 6, 6, false, false}, Case{"20", 20, 20, false, false},
        Case{"5", 5, 6, true, false}, Case{"21", 21, 6, true, false}, Case{"0", 0, 6, true, false},
        Case{"-3", -3, 6, true, false}, Case{"1000", 1000, 6, true, false},
        Case{"7", 7, 8, false, true}, Case{"19", 19, 20, false, true},
        Case{",", 20, 20, false, false}, Case{"/", 20, 20, false, false}}) {
    SCOPED_TRACE(c.record);
    deck::DeckReader deck(deck_with_terms(c.record, "1e-20"), "kelvorat.dat");
    ModelState s;
    Recorder rec;
    const StartUp u = read_start_up(deck, s, rec);
    EXPECT_EQ(u.NTERMS_read, c.read);
    EXPECT_EQ(u.NTERMS, c.used);
    std::vector<std::string> console;
    if (c.range_message) {
      console.push_back(" # OF TERMS FOR STEHFEST ALGORITHM MUST BE BETWEEN 10 AND 20 FOR DOUBLE");
      console.push_back(" PRECISION. THIS VALUE  IS RESET TO 10.");
    }
    if (c.parity_message) {
      console.push_back(" # OF TERMS FOR STEHFEST ALGORITHM MUST BE EVEN. THIS VALUE IS RESET TO" +
                        std::string(c.used < 10 ? "  " : " ") + std::to_string(c.used));
    }
    EXPECT_EQ(rec.console(), console);
    // The echo line precedes the messages, which precede the ERRMAX echo.
    ASSERT_EQ(rec.adet().size(), 18 + console.size());
    EXPECT_EQ(rec.adet()[16].substr(0, 48), " # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS");
    for (std::size_t i = 0; i < console.size(); ++i) EXPECT_EQ(rec.adet()[17 + i], console[i]);
  }
  // A count of 1000 does not fit the three columns of its echo.
  deck::DeckReader deck(deck_with_terms("1000", "1e-20"), "kelvorat.dat");
  ModelState s;
  Recorder rec;
  read_start_up(deck, s, rec);
  EXPECT_EQ(rec.adet()[16], " # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS***");
}

TEST(StartUp, ErrorBoundLowersTheTolerance) {
  {
    // 20 terms: the bound is 1 / 1.6472e12.
    deck::DeckReader deck(deck_with_terms("20", "1e-6"), "kelvorat.dat");
    ModelState s;
    Recorder rec;
    const StartUp u = read_start_up(deck, s, rec);
    ASSERT_EQ(rec.console().size(), 1u);
    EXPECT_EQ(rec.console()[0],
              " THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN  0.6071E-12.  THIS VALUE IS "
              "RESET TO   0.6071E-13");
    EXPECT_EQ(rec.adet().back(), rec.console()[0]);
    EXPECT_NEAR(u.test.ERRMAX, 6.0710e-14, 1e-18);
  }
  {
    // 7 terms are raised to 8: the bound is 1/18730 over the whole column.
    deck::DeckReader deck(deck_with_terms("7", "1e-3"), "kelvorat.dat");
    ModelState s;
    Recorder rec;
    const StartUp u = read_start_up(deck, s, rec);
    ASSERT_EQ(rec.console().size(), 2u);
    EXPECT_EQ(rec.console()[1],
              " THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN  0.5339E-04.  THIS VALUE IS "
              "RESET TO   0.5339E-05");
    EXPECT_EQ(u.test.ERRMAX, 0.1 * (1.0 / 18730.0));
  }
  {
    // A tolerance equal to the bound stays, without a message.
    deck::DeckReader deck(deck_with_terms("8", "5.3390282968499735e-05"), "kelvorat.dat");
    ModelState s;
    Recorder rec;
    const StartUp u = read_start_up(deck, s, rec);
    EXPECT_TRUE(rec.console().empty());
    EXPECT_EQ(u.test.ERRMAX, 1.0 / 18730.0);
  }
}

TEST(StartUp, ReadErrorLeavesTheEchoOfTheRecordsBeforeIt) {
  // Deck A cut after k - 1 records: the echo (with the checks' lines) of
  // those records is a prefix of the whole echo, and record k is named.
  deck::DeckReader whole(kDeckA, "kelvorat.dat");
  ModelState s;
  Recorder full;
  read_start_up(whole, s, full);
  const std::vector<std::string> all = full.adet();
  std::size_t previous = 0;
  const std::string text = kDeckA;
  std::size_t cut = 0;
  for (int k = 1; k <= kStartRecordCount; ++k) {
    SCOPED_TRACE(k);
    deck::DeckReader deck(text.substr(0, cut), "kelvorat.dat");
    Recorder rec;
    try {
      read_start_up(deck, s, rec);
      FAIL() << "no read error";
    } catch (const deck::DeckError& e) {
      EXPECT_NE(std::string(e.what()).find("record " + std::to_string(k) + " "), std::string::npos)
          << e.what();
    }
    const std::vector<std::string> echo = rec.adet();
    ASSERT_LE(echo.size(), all.size());
    EXPECT_TRUE(std::equal(echo.begin(), echo.end(), all.begin()));
    EXPECT_GE(echo.size(), previous);
    previous = echo.size();
    cut = text.find('\n', cut) + 1;
  }
  EXPECT_LT(previous, all.size());
}

// Whole runs in a scratch directory.
class RunInDir : public ::testing::Test {
 protected:
  void write(const std::string& name, const std::string& text) { dir_.write(name, text); }
  std::string read(const std::string& name) { return dir_.read(name); }
  // Runs the program; returns the exit status, console and error text.
  int run(std::string& console, std::string& errors) {
    const testing::Streams s = dir_.run();
    console = s.console;
    errors = s.errors;
    return s.status;
  }
  testing::ScratchDir dir_{"run_test"};
};

// A deck without time steps: wells are placed and their empty tables
// written, but nothing is integrated.
std::string no_step_deck(const std::string& nobs, const std::string& wells) {
  return nobs + "\n50 0\n100 0\n0.1\n100 0.1\n100 0.1\n100 0.1\n1000 1000\n10\n1 1\n" +
         "1000 0 1 1 2\n   0   0\n6\n1e-3\n" + wells;
}

TEST_F(RunInDir, TwoWellsAreSeparatedInTwoOfTheTableFiles) {
  write("kelvorat.dat", no_step_deck("2", "-5 3\n-20 0\n"));
  std::string console, errors;
  ASSERT_EQ(run(console, errors), 0) << errors;
  EXPECT_EQ(console, " End\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(read("kelvorat.res"), "\n\n");
  EXPECT_EQ(read("kelvdim.res"), "\n\n");
  EXPECT_EQ(read("dim2.res"), "");
  EXPECT_EQ(read("tromb.res"), "");
  const std::vector<std::string> adet = lines_of(read("adet.res"));
  ASSERT_EQ(adet.size(), 18u + 4 + 1 + 4);
  const std::vector<std::string> wells(adet.begin() + 18, adet.end());
  EXPECT_EQ(wells, (std::vector<std::string>{
                       " THE OBS. WELL IS LOCATED INSIDE NO.    3 ZONE",
                       "  THE PROBLEM IS DEFINED AS CASE: A3",
                       "   TIME STEP        TIME         DRAWDOWN        ERROR",
                       "                    DAYS            M              M",
                       " LOCATION OF THE OBS WELL:    -5.0000    3.0000",
                       " THE OBS. WELL IS LOCATED INSIDE NO.    2 ZONE",
                       "  THE PROBLEM IS DEFINED AS CASE: A2",
                       "   TIME STEP        TIME         DRAWDOWN        ERROR",
                       "                    DAYS            M              M",
                   }));
}

TEST_F(RunInDir, WellCountsBelowOneComputeOneWellAndExtraLocationsAreNotRead) {
  for (const char* nobs : {"0", "-4", "1"}) {
    write("kelvorat.dat", no_step_deck(nobs, "not a location\n"));
    std::string console, errors;
    ASSERT_EQ(run(console, errors), 0) << nobs << errors;
    EXPECT_EQ(read("kelvorat.res"), "");
    EXPECT_EQ(lines_of(read("adet.res")).size(), 22u);
  }
}

TEST_F(RunInDir, ThreeWellsLeaveTheFourthLocationUnread) {
  write("kelvorat.dat", no_step_deck("3", "-5 3\n-20 0\nnot a location\n"));
  std::string console, errors;
  ASSERT_EQ(run(console, errors), 0) << errors;
  EXPECT_EQ(read("kelvorat.res"), "\n\n\n\n");
  int wells = 0;
  for (const auto& l : lines_of(read("adet.res"))) wells += l.rfind("  THE PROBLEM IS", 0) == 0;
  EXPECT_EQ(wells, 3);
}

TEST_F(RunInDir, ResultFileThatCannotBeCreated) {
  write("kelvorat.dat", no_step_deck("1", ""));
  std::filesystem::create_directory(dir_.path() / "kelvdim.res");
  std::string console, errors;
  EXPECT_EQ(run(console, errors), 2);
  EXPECT_EQ(errors.rfind("kelvdim.res: cannot create the result file: ", 0), 0u) << errors;
  EXPECT_EQ(console, "");
}

TEST_F(RunInDir, DeckEndingBeforeALaterWellKeepsTheFirstWell) {
  write("kelvorat.dat", no_step_deck("2", ""));
  std::string console, errors;
  EXPECT_EQ(run(console, errors), 2);
  EXPECT_EQ(console, "");
  EXPECT_NE(errors.find("kelvorat.dat:"), std::string::npos) << errors;
  EXPECT_NE(errors.find("record 15"), std::string::npos) << errors;
  const std::vector<std::string> adet = lines_of(read("adet.res"));
  ASSERT_EQ(adet.size(), 22u);
  EXPECT_EQ(adet.back(), "                    DAYS            M              M");
  // The separator is written before the next well's location is read.
  EXPECT_EQ(read("kelvorat.res"), "\n\n");
}

TEST_F(RunInDir, UnreadableValueStopsWithTheEchoSoFar) {
  write("kelvorat.dat", "1\n50 0\n1O0.0 0\n");
  std::string console, errors;
  EXPECT_EQ(run(console, errors), 2);
  EXPECT_EQ(errors.rfind("kelvorat.dat:3: record 3 (XW, YW)", 0), 0u) << errors;
  EXPECT_NE(errors.find("1O0.0"), std::string::npos);
  EXPECT_EQ(read("adet.res"), " 1\n LOCATION OF THE OBS WELL:    50.0000    0.0000\n");
}

TEST_F(RunInDir, MissingDeckLeavesEarlierResultsAlone) {
  write("adet.res", "earlier run\n");
  write("tromb.res", "earlier trace\n");
  std::string console, errors;
  EXPECT_EQ(run(console, errors), 2);
  EXPECT_EQ(errors.rfind("kelvorat.dat: cannot open the input deck: ", 0), 0u) << errors;
  EXPECT_EQ(read("adet.res"), "earlier run\n");
  EXPECT_EQ(read("tromb.res"), "earlier trace\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "kelvorat.res"));
}

TEST_F(RunInDir, StaleTraceDoesNotSurviveARunWithoutTrace) {
  write("tromb.res", "earlier trace\n");
  write("kelvorat.dat", no_step_deck("1", ""));
  std::string console, errors;
  ASSERT_EQ(run(console, errors), 0) << errors;
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "tromb.res"));
  EXPECT_EQ(read("tromb.res"), "");
}

}  // namespace
}  // namespace kelvorat
