// Whole runs through the run entry, checked for what can be known without
// the program: layouts and line counts, continuity of the drawdown across
// the zone boundaries, the rows left out of the table files, the recovery
// after the stop of pumping, the trace switch and the exponential guard.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/deck_builder.h"
#include "support/scratch_run.h"

namespace kelvorat {
namespace {

using testing::run_deck;
using testing::RunResult;

// Three zones with their own properties, a 5 m stream zone, the pumping
// well 100 m from the stream: the builder's defaults.
testing::DeckBuilder deck(std::vector<std::pair<double, double>> wells) {
  testing::DeckBuilder d;
  d.wells = std::move(wells);
  return d;
}

// The drawdown column of a well's rows in adet.res.
std::vector<double> drawdowns(const RunResult& r, int well, int nt) {
  std::vector<double> out;
  for (const auto& row : testing::table(r, well)) out.push_back(row.drawdown);
  EXPECT_EQ(out.size(), static_cast<std::size_t>(nt));
  return out;
}

TEST(WholeRun, EveryCaseCodeRunsAndWritesItsTables) {
  const RunResult r = run_deck(deck({{-30, 10}, {-2.5, 0}, {40, 25}, {160, -30}}).text());
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.console, " End\n");
  std::vector<std::string> cases;
  for (const auto& l : r.adet) {
    if (l.rfind("  THE PROBLEM IS DEFINED AS CASE: ", 0) == 0) cases.push_back(l.substr(34));
  }
  EXPECT_EQ(cases, (std::vector<std::string>{"A1", "A2", "A3", "A4"}));
  // Six rows per well, separated by two empty lines in two of the files.
  EXPECT_EQ(r.kelvorat.size(), 4u * 6 + 3 * 2);
  EXPECT_EQ(r.kelvdim.size(), 4u * 6 + 3 * 2);
  EXPECT_EQ(r.dim2.size(), 4u * 6);
  for (const auto& l : r.dim2) EXPECT_EQ(l.size(), 44u);
  EXPECT_TRUE(r.tromb.empty());
  // Drawdown grows with time at every well while pumping goes on, up to the
  // steady state that the stream sets (within the accuracy of the inversion).
  for (int w = 1; w <= 4; ++w) {
    const auto s = drawdowns(r, w, 6);
    EXPECT_GT(s[1], s[0]);
    for (int j = 1; j < 6; ++j) EXPECT_GT(s[j], s[j - 1] * (1 - 1e-3)) << "well " << w;
  }
}

TEST(WholeRun, DrawdownIsContinuousAcrossTheZoneBoundaries) {
  // Pairs of wells just either side of x = 0 and of x = -DN.
  const RunResult r = run_deck(deck({{0, 20}, {-1e-9, 20}, {-5, 20}, {-5.000000001, 20}}).text());
  ASSERT_EQ(r.status, 0) << r.errors;
  const auto a3 = drawdowns(r, 1, 6), a2 = drawdowns(r, 2, 6);
  const auto a2b = drawdowns(r, 3, 6), a1 = drawdowns(r, 4, 6);
  // The profiles agree at the boundaries to rounding, but each case
  // integrates with the step of its own zone's diffusivity, and the Stehfest
  // weights (up to 3.8e5 for ten terms) amplify the integration error of
  // 1e-7 per interval: the results agree to a few parts in 1e4.
  for (int j = 0; j < 6; ++j) {
    EXPECT_NEAR(a3[j], a2[j], 5e-4 * a3[j]);
    EXPECT_NEAR(a2b[j], a1[j], 5e-4 * a1[j]);
  }
}

TEST(WholeRun, RecoveryAfterTheStopOfPumping) {
  const RunResult r = run_deck(deck({{50, 0}}).times(1000, 4, 0.5, 0.5, 2).text());
  ASSERT_EQ(r.status, 0) << r.errors;
  // Times 0.5, 1.5, 3.5, 7.5, 15.5, 31.5: three of them after the stop.
  int residual = 0;
  for (const auto& l : r.adet) residual += l == " ****FOR RESIDUAL DRAWDOWAN AND DEPLETION**";
  EXPECT_EQ(residual, 3);
  const auto s = drawdowns(r, 1, 6);
  EXPECT_GT(s[2], s[1]);
  EXPECT_LT(s[3], s[2]);
  EXPECT_LE(s[5], s[4]);
  // Once the stream supplies the whole rate both before and after the
  // stop, the residual drawdown is reported as exactly 0.
  EXPECT_GE(s[5], 0.0);
}

TEST(WholeRun, EarlyTimesFarAwayAreLeftOutOfTheTableFiles) {
  const RunResult r = run_deck(deck({{900, 0}}).times(1000, 0, 0.001, 0.001, 10).text());
  ASSERT_EQ(r.status, 0) << r.errors;
  const auto s = drawdowns(r, 1, 6);
  int ilast = 0;
  for (int j = 0; j < 6; ++j) {
    if (s[j] < 1e-10) ilast = j + 1;
  }
  ASSERT_GT(ilast, 0);
  EXPECT_EQ(r.kelvorat.size(), static_cast<std::size_t>(6 - ilast));
  EXPECT_EQ(r.dim2.size(), static_cast<std::size_t>(6 - ilast));
}

TEST(WholeRun, TraceSwitchWritesTheRombergTrace) {
  const RunResult off =
      run_deck(deck({{60, 0}}).times(1000, 0, 1, 1, 2).steps(1, 0).terms(6, 1e-4).text());
  const RunResult on =
      run_deck(deck({{60, 0}}).times(1000, 0, 1, 1, 2).steps(1, 1).terms(6, 1e-4).text());
  ASSERT_EQ(on.status, 0);
  EXPECT_TRUE(off.tromb.empty());
  // One header and one five-line legend per integral, six integrals.
  int headers = 0, notes = 0;
  for (const auto& l : on.tromb) {
    headers += l == "    VALUE OF INTG  LAT. IMP    ABS. ERR. IQP      A           B";
    notes += l == " NOTE: ";
  }
  EXPECT_EQ(headers, 6);
  EXPECT_EQ(notes, 6);
  // adet.res gets one summary line per integral besides everything else.
  EXPECT_EQ(on.adet.size(), off.adet.size() + 6);
  EXPECT_EQ(drawdowns(on, 1, 1), drawdowns(off, 1, 1));
}

TEST(WholeRun, ExponentialGuardStopsTheRunWithStatusThree) {
  // The second well lies far beyond the right boundary.
  const RunResult r =
      run_deck(deck({{50, 0}, {5000, 0}}).times(1000, 0, 1, 1, 2).steps(2).terms(6, 1e-4).text());
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.console, "");
  ASSERT_FALSE(r.adet.empty());
  EXPECT_EQ(r.adet.back().substr(0, 57),
            " STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =");
  EXPECT_EQ(r.adet.back().size(), 67u);
  EXPECT_NE(r.errors.find("observation well 2, time step 1"), std::string::npos) << r.errors;
  // The first well is complete; the second is missing from every table file.
  EXPECT_EQ(r.kelvorat.size(), 2u + 2);
  EXPECT_EQ(r.dim2.size(), 2u);
}

TEST(WholeRun, DeckLineEndingsTabsAndByteOrderMarkDoNotChangeResults) {
  const std::string plain = deck({{50, 0}}).times(1000, 0, 1, 1, 2).steps(2).terms(6, 1e-4).text();
  std::string twin = "\xEF\xBB\xBF";
  for (char c : plain) {
    if (c == '\n') {
      twin += "\r\n";
    } else if (c == ' ') {
      twin += '\t';
    } else {
      twin += c;
    }
  }
  // Record 12 is read in columns: keep it as it stands.
  const auto at = twin.find("\t\t\t2\t\t\t0");
  ASSERT_NE(at, std::string::npos);
  twin.replace(at, 8, "   2   0");
  twin.pop_back();  // and no final line end
  const RunResult a = run_deck(plain), b = run_deck(twin);
  ASSERT_EQ(b.status, 0) << b.errors;
  EXPECT_EQ(a.adet, b.adet);
  EXPECT_EQ(a.kelvorat, b.kelvorat);
}

}  // namespace
}  // namespace kelvorat
