// Schedules and several wells: the one-stop schedule is the deck run, the
// sums do not depend on the thread count, repeated lags are computed once,
// and what the model cannot evaluate is refused by name.
#include "kelvorat/schedule.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvorat::schedule {
namespace {

engine::Deck example_deck() {
  std::ifstream in(std::string(KELVORAT_EXAMPLES_DIR) + "/kelvorat.dat", std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return engine::parse_deck(s.str());
}

Problem one_stop(const engine::Deck& d) {
  Problem p;
  p.aquifer = d.aquifer;
  p.settings = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
  p.wells.push_back({d.well, {{0.0, d.test.Q}, {d.test.STOPT, 0.0}}});
  return p;
}

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(Schedule, OneStopIsTheDeckRunBitForBit) {
  const engine::Deck d = example_deck();
  const Problem p = one_stop(d);
  for (const auto& [xo, yo] : d.observations) {
    const engine::Series s = engine::well_series(d.aquifer, d.well, d.test, p.settings, xo, yo);
    const std::size_t n = s.TIME.size();
    std::vector<double> x(n, xo), y(n, yo), draw(n), err(n), ratio(n);
    drawdown(p, x, y, s.TIME, draw, err, 2);
    depletion(p, s.TIME, reference_rate(p), {}, ratio, {}, 2);
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(bits(draw[i]), bits(s.DRAW[i])) << "step " << i + 1;
      // The example's depletion ratios are all above the 1e-8 cut and far
      // from full depletion: no cut acts.
      EXPECT_EQ(bits(ratio[i]), bits(s.DEPL[i])) << "step " << i + 1;
    }
  }
}

TEST(Schedule, ThreadCountChangesNothingAndLagsRepeat) {
  Problem p = one_stop(example_deck());
  p.wells[0].steps = {{0.0, 2000.0}, {10.0, 0.0}, {20.0, 1000.0}, {30.0, 1000.0}};
  engine::PumpingWell second{300.0, 50.0, 0.2};
  p.wells.push_back({second, {{5.0, 700.0}, {25.0, -300.0}}});
  std::vector<double> x, y, t;
  for (double xo : {50.0, -5.0, -60.0})
    for (int k = 1; k <= 8; ++k) {
      x.push_back(xo);
      y.push_back(10.0);
      t.push_back(5.0 * k + 0.5);
    }
  const std::size_t n = t.size();
  std::vector<double> s1(n), e1(n), s2(n), e2(n);
  const Stats a = drawdown(p, x, y, t, s1, e1, 1);
  const Stats b = drawdown(p, x, y, t, s2, e2, 3);
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(bits(s1[i]), bits(s2[i]));
    EXPECT_EQ(bits(e1[i]), bits(e2[i]));
  }
  EXPECT_EQ(a.inversions, b.inversions);
  // Lags 0.5 + 5 j repeat across the steps; the step of no change adds none.
  EXPECT_LT(a.inversions, a.terms);
  EXPECT_EQ(a.integrations, a.inversions * 12u);
  EXPECT_EQ(reference_rate(p), 2700.0);  // 2000 + 700 between 5 and 10 days

  std::vector<double> q1(8), r1(8), v1(8), q2(8), r2(8), v2(8);
  std::vector<double> tt(t.begin(), t.begin() + 8);
  depletion(p, tt, 2700.0, q1, r1, v1, 1);
  depletion(p, tt, 2700.0, q2, r2, v2, 2);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(bits(q1[i]), bits(q2[i]));
    EXPECT_EQ(bits(r1[i]), bits(r2[i]));
    EXPECT_EQ(bits(v1[i]), bits(v2[i]));
    EXPECT_GT(v1[i], 0.0);
  }
}

TEST(Schedule, BeforeTheFirstStepNothingHappens) {
  Problem p = one_stop(example_deck());
  p.wells[0].steps = {{3.0, 2000.0}};
  std::vector<double> x{50.0, 50.0, 50.0}, y{0.0, 0.0, 0.0}, t{0.0, 3.0, 4.0}, s(3), e(3);
  const Stats st = drawdown(p, x, y, t, s, e);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_EQ(s[1], 0.0);  // t = t_i: the step has not acted yet
  EXPECT_GT(s[2], 0.0);
  EXPECT_EQ(st.terms, 1u);
}

TEST(Schedule, RefusesWhatTheModelCannotEvaluate) {
  const Problem good = one_stop(example_deck());
  auto refused = [&](auto change, const std::string& text) {
    Problem p = good;
    change(p);
    try {
      validate(p);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  };
  refused([](Problem& p) { p.aquifer.zone2.T = 0.0; }, "T2 = 0: must be positive");
  refused([](Problem& p) { p.aquifer.zone1.S = -0.1; }, "S1 = -0.10000000000000001");
  refused([](Problem& p) { p.aquifer.K = std::nan(""); }, "streambed K = nan");
  refused([](Problem& p) { p.wells[0].well.XW = 2500.0; }, "well 1 x = 2500: must lie");
  refused([](Problem& p) { p.wells[0].steps[1].start = 0.0; },
          "well 1 schedule[1] start time = 0: must be later");
  refused([](Problem& p) { p.wells[0].steps.clear(); }, "has no rate steps");
  refused([](Problem& p) { p.settings.NTERMS = 7; }, "NTERMS = 7");
  std::vector<double> x{2500.0}, y{0.0}, t{1.0}, s(1), e(1);
  EXPECT_THROW(drawdown(good, x, y, t, s, e), std::invalid_argument);
  std::vector<double> nan_t{std::nan("")};
  EXPECT_THROW(drawdown(good, std::vector<double>{50.0}, y, nan_t, s, e), std::invalid_argument);
}

}  // namespace
}  // namespace kelvorat::schedule
