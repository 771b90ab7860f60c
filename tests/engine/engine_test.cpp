// The public engine against the run's own computation: the same deck gives
// the same bits, from several threads at once, and the building blocks
// (placement, lag transforms, step values) compose into the run's series.
#include "kelvorat/engine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/deck_reader.h"
#include "driver/run.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"
#include "simulation/time_loop.h"
#include "support/recording_sink.h"

namespace kelvorat {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The series of every well exactly as the run computes them, in deck order.
std::vector<WellSeries> run_series(const std::string& text) {
  deck::DeckReader deck(text, "kelvorat.dat");
  ModelState state;
  testing::RecordingSink sink;
  const StartUp u = read_start_up(deck, state, sink);
  const StehfestColumn column(u.NTERMS);
  const RunConstants rc = prepare_run(u.test, state);
  RombergState romberg;
  ModelInverter inverter(u.test, rc, column, state, romberg, sink);
  std::vector<WellSeries> out;
  for (int well = 1;; ++well) {
    if (well > 1) deck.read_free(13 + well, "XO, YO", {&state.XO, &state.YO});
    const WellGeometry geom = place_observation_well(state, u.RW, u.test.Q, u.test.T3, sink);
    out.push_back(run_well(u.test, rc, geom, state, inverter, sink));
    sink.clear();
    if (well >= u.NOBS) break;
  }
  return out;
}

// The same through the public entry: one Carry for the deck's wells in order.
std::vector<engine::Series> engine_series(const std::string& text) {
  const engine::Deck d = engine::parse_deck(text);
  const engine::Settings s = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
  engine::Carry carry;
  std::vector<engine::Series> out;
  for (const auto& [xo, yo] : d.observations) {
    out.push_back(engine::well_series(d.aquifer, d.well, d.test, s, xo, yo, &carry));
  }
  return out;
}

::testing::AssertionResult same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "entry %zu: %a vs %a", i, a[i], b[i]);
      return ::testing::AssertionFailure() << buf;
    }
  }
  return ::testing::AssertionSuccess();
}

void expect_same(const std::vector<WellSeries>& want, const std::vector<engine::Series>& got) {
  ASSERT_EQ(want.size(), got.size());
  for (std::size_t w = 0; w < want.size(); ++w) {
    SCOPED_TRACE("well " + std::to_string(w + 1));
    EXPECT_TRUE(same_bits(want[w].TIME, got[w].TIME));
    EXPECT_TRUE(same_bits(want[w].DRAW, got[w].DRAW));
    EXPECT_TRUE(same_bits(want[w].DEPL, got[w].DEPL));
    EXPECT_TRUE(same_bits(want[w].DERR, got[w].DERR));
    EXPECT_EQ(want[w].ILAST, got[w].ILAST);
  }
}

TEST(EngineEntry, DecksGiveTheRunsBitsFromTwoThreadsAtOnce) {
  for (const std::string& path :
       {std::string(KELVORAT_EXAMPLES_DIR) + "/kelvorat.dat",
        std::string(KELVORAT_GOLDEN_DIR) + "/recovery_two_wells/kelvorat.dat",
        std::string(KELVORAT_GOLDEN_DIR) + "/near_well/kelvorat.dat",
        std::string(KELVORAT_GOLDEN_DIR) + "/case_a4/kelvorat.dat"}) {
    SCOPED_TRACE(path);
    const std::string text = slurp(path);
    const std::vector<WellSeries> want = run_series(text);
    std::vector<engine::Series> got1, got2;
    std::thread t1([&] { got1 = engine_series(text); });
    std::thread t2([&] { got2 = engine_series(text); });
    t1.join();
    t2.join();
    expect_same(want, got1);
    expect_same(want, got2);
  }
}

TEST(EngineEntry, LagTransformsComposeIntoTheSeries) {
  const engine::Deck d =
      engine::parse_deck(slurp(std::string(KELVORAT_EXAMPLES_DIR) + "/kelvorat.dat"));
  const engine::Settings s = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
  const auto [xo, yo] = d.observations[0];
  engine::Carry c1;
  const engine::Series series = engine::well_series(d.aquifer, d.well, d.test, s, xo, yo, &c1);
  const engine::Placement p = engine::place(d.aquifer, d.well, xo, yo);
  EXPECT_EQ(p.code, engine::Case::A3);
  EXPECT_EQ(p.XO, series.placement.XO);

  engine::Carry c2;
  int checked_pumping = 0, checked_recovery = 0;
  for (std::size_t i = 0; i < series.TIME.size(); ++i) {
    const double t = series.TIME[i];
    const engine::StepValues on = engine::step_values(
        d.aquifer, p, engine::transform_at(d.aquifer, d.well, s, p, t, &c2), d.test.Q);
    double draw = on.draw;
    double depl = on.depl < 1e-8 ? 0.0 : on.depl;
    if (t > d.test.STOPT) {
      const engine::StepValues off = engine::step_values(
          d.aquifer, p, engine::transform_at(d.aquifer, d.well, s, p, t - d.test.STOPT, &c2),
          -d.test.Q);
      // A step of -Q gives exactly the negated values of a step of Q.
      draw = draw + off.draw;
      depl = depl - (off.depl < 1e-8 ? 0.0 : off.depl);
      ++checked_recovery;
    } else {
      ++checked_pumping;
    }
    EXPECT_EQ(std::bit_cast<std::uint64_t>(draw), std::bit_cast<std::uint64_t>(series.DRAW[i]))
        << "step " << i + 1;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(depl), std::bit_cast<std::uint64_t>(series.DEPL[i]))
        << "step " << i + 1;
  }
  EXPECT_GT(checked_pumping, 5);
  EXPECT_GE(checked_recovery, 3);
  // The carried measure followed the same sequence of integrals.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(c1.romberg_Q), std::bit_cast<std::uint64_t>(c2.romberg_Q));
}

TEST(EngineEntry, VolumeGrowsWithTheRateAndNothingHappensBeforeTheStart) {
  const engine::Deck d =
      engine::parse_deck(slurp(std::string(KELVORAT_EXAMPLES_DIR) + "/kelvorat.dat"));
  const engine::Settings s = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
  const engine::Placement p = engine::place(d.aquifer, d.well, 50.0, 0.0);
  const engine::LagTransform zero = engine::transform_at(d.aquifer, d.well, s, p, 0.0);
  EXPECT_EQ(zero.aXP, 0.0);
  EXPECT_EQ(zero.aDV, 0.0);
  // The depletion-only path gives the same depletion bits without the
  // wavenumber integral.
  for (double t : {0.5, 7.0, 60.0}) {
    const engine::LagTransform full = engine::transform_at(d.aquifer, d.well, s, p, t);
    const engine::LagTransform dep = engine::depletion_at(d.aquifer, d.well, s, t);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(full.aDP), std::bit_cast<std::uint64_t>(dep.aDP));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(full.aDV), std::bit_cast<std::uint64_t>(dep.aDV));
  }
  // The volume is the time integral of the depletion rate: compare with a
  // Simpson rule over the rate on [0, 20] days.
  const int n = 40;
  const double T = 20.0, h = T / n;
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double t = i * h;
    const double rate =
        engine::step_values(d.aquifer, p, engine::transform_at(d.aquifer, d.well, s, p, t), 1.0)
            .depl;
    sum += (i == n ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0)) * rate;
  }
  const double simpson = h / 3.0 * sum;  // the rate vanishes at t = 0
  const double vol =
      engine::step_values(d.aquifer, p, engine::transform_at(d.aquifer, d.well, s, p, T), 1.0).vol;
  EXPECT_NEAR(vol, simpson, 2e-3 * simpson);
}

TEST(EngineEntry, SettingsAreCheckedAsTheDeckChecksThem) {
  const engine::CheckedSettings out = engine::check_settings(21, 1e-6);
  EXPECT_TRUE(out.nterms_out_of_range);
  EXPECT_EQ(out.settings.NTERMS, 6);
  EXPECT_EQ(out.ERRBND, 1.0 / 858.0);
  EXPECT_FALSE(out.errmax_lowered);
  const engine::CheckedSettings odd = engine::check_settings(7, 1e-6);
  EXPECT_TRUE(odd.nterms_raised);
  EXPECT_EQ(odd.settings.NTERMS, 8);
  const engine::CheckedSettings low = engine::check_settings(20, 1e-6);
  EXPECT_TRUE(low.errmax_lowered);
  EXPECT_EQ(low.settings.ERRMAX, 0.1 * low.ERRBND);

  engine::Aquifer aq;
  EXPECT_THROW(engine::transform_at(aq, {}, engine::Settings{5, 1e-8}, {}, 1.0),
               std::invalid_argument);
}

TEST(EngineEntry, BadDecksAndTheGuardBecomeExceptions) {
  try {
    engine::parse_deck("1\n50 0\n1O0.0 0\n", "kelvorat.dat");
    FAIL() << "no DeckError";
  } catch (const engine::DeckError& e) {
    EXPECT_NE(std::string(e.what()).find("kelvorat.dat:3: record 3"), std::string::npos)
        << e.what();
  }
  const std::string guard = slurp(std::string(KELVORAT_GOLDEN_DIR) + "/guard_stop/kelvorat.dat");
  EXPECT_THROW(engine_series(guard), engine::ExpGuardError);
}

}  // namespace
}  // namespace kelvorat
