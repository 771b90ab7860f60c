// Does the Romberg measure Q that the run carries from one integral to the
// next ever change a result?  Runs random decks three ways and compares the
// bits of every DRAW, DEPL and DERR and every ILAST:
//   carried      one measure for the whole run, as the program keeps it;
//   per well     a fresh measure (0) at the start of every observation well;
//   per integral a fresh measure at the start of every integral.
// The carried way is first checked against the program's own well loop.
//   carry_check [decks] [seed]
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "driver/deck.h"
#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "driver/run.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"
#include "simulation/time_loop.h"

namespace {

using namespace kelvorat;

struct NullSink final : LineSink {
  void line(Channel, std::string_view) override {}
};

enum class Mode { carried, per_well, per_integral };

struct Outcome {
  std::vector<WellSeries> wells;
  bool guard = false;
};

Outcome compute(const std::string& text, Mode mode) {
  Outcome out;
  deck::DeckReader deck(text, "kelvorat.dat");
  NullSink sink;
  ModelState state;
  const StartUp u = read_start_up(deck, state, sink);
  const StehfestColumn column(u.NTERMS);
  const RunConstants rc = prepare_run(u.test.zones(), u.test.Q, state);
  RombergState romberg;
  romberg.carry_measure = mode != Mode::per_integral;
  try {
    for (int well = 1;; ++well) {
      if (well > 1) deck.read_free(13 + well, "XO, YO", {&state.XO, &state.YO});
      if (mode == Mode::per_well) romberg.Q = 0.0;
      const WellGeometry geom = place_observation_well(state, u.RW, u.test.Q, u.test.T3, nullptr);
      ModelInverter inverter(u.test.inversion(), rc, column, state, romberg, nullptr);
      out.wells.push_back(run_well(u.test.schedule(), rc, geom, inverter, nullptr));
      if (well >= u.NOBS) break;
    }
  } catch (const GuardStopAtStep&) {
    out.guard = true;
  }
  return out;
}

bool same(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return false;
  }
  return true;
}

bool same(const Outcome& a, const Outcome& b) {
  if (a.guard != b.guard || a.wells.size() != b.wells.size()) return false;
  for (std::size_t w = 0; w < a.wells.size(); ++w) {
    const WellSeries& x = a.wells[w];
    const WellSeries& y = b.wells[w];
    if (!same(x.TIME, y.TIME) || !same(x.DRAW, y.DRAW) || !same(x.DEPL, y.DEPL) ||
        !same(x.DERR, y.DERR) || x.ILAST != y.ILAST)
      return false;
  }
  return true;
}

// A random deck: geometry, zones and times spread over their usual ranges,
// 6 to 14 Stehfest terms, ERRMAX from 1e-6 to 1e-10.
std::string random_deck(std::mt19937_64& g) {
  auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(g); };
  auto logu = [&](double lo, double hi) { return std::exp(uni(std::log(lo), std::log(hi))); };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(g); };
  const double DN = logu(1, 60);
  const double XLB = DN + logu(5, 3000);
  const double XW = logu(5, 800);
  const double XRB = XW + logu(10, 5000);
  const int nobs = pick(1, 3);
  auto location = [&]() {
    switch (pick(0, 3)) {
      case 0:
        return std::pair{-uni(DN, XLB), uni(-200, 200)};  // zone 1
      case 1:
        return std::pair{-uni(0, DN), uni(-200, 200)};  // stream zone
      case 2:
        return std::pair{uni(0, XW), uni(-200, 200)};  // between
      default:
        return std::pair{uni(XW, XRB), uni(-200, 200)};  // beyond
    }
  };
  char buf[4096];
  std::string d;
  auto add = [&](const char* fmt, auto... v) {
    std::snprintf(buf, sizeof buf, fmt, v...);
    d += buf;
  };
  const auto first = location();
  add("%d\n", nobs);
  add("%.17g %.17g\n", first.first, first.second);
  add("%.17g %.17g\n", XW, uni(-50, 50));
  add("%.17g\n", logu(0.05, 0.5));
  for (int z = 0; z < 3; ++z) add("%.17g %.17g\n", logu(10, 3000), logu(1e-4, 0.3));
  add("%.17g %.17g\n", XLB, XRB);
  add("%.17g\n", DN);
  add("%.17g %.17g\n", logu(0.01, 10), logu(0.1, 5));
  const double T0 = logu(0.01, 2);
  const double stopt = pick(0, 1) ? 0.0 : T0 * logu(2, 50);
  add("%.17g %.17g %.17g %.17g %.17g\n", logu(100, 5000), stopt, T0, logu(0.01, 1), uni(1, 2));
  add("%4d%4d\n", pick(3, 15), 0);
  add("%d\n", pick(6, 14));
  add("%.17g\n", logu(1e-10, 1e-6));
  for (int w = 2; w <= nobs; ++w) {
    const auto l = location();
    add("%.17g %.17g\n", l.first, l.second);
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  const int decks = argc > 1 ? std::atoi(argv[1]) : 300;
  std::mt19937_64 g(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 12);
  set_floating_point_mode();
  int guard = 0, mirror = 0, per_well = 0, per_integral = 0, wells = 0;
  for (int i = 0; i < decks; ++i) {
    const std::string text = random_deck(g);
    const Outcome carried = compute(text, Mode::carried);
    if (carried.guard) ++guard;
    wells += static_cast<int>(carried.wells.size());
    // The program's own loop as the reference for the carried way.
    {
      deck::DeckReader deck(text, "kelvorat.dat");
      NullSink sink;
      int well = 0;
      Outcome program;
      try {
        program.wells = run_wells(deck, sink, well);
      } catch (const GuardStopAtStep&) {
        program.guard = true;
        program.wells = carried.wells;  // the completed wells are not returned on a stop
      }
      if (!same(program, carried)) ++mirror;
    }
    if (!same(carried, compute(text, Mode::per_well))) {
      ++per_well;
      std::printf("deck %d differs with a fresh measure per well\n", i);
    }
    if (!same(carried, compute(text, Mode::per_integral))) {
      ++per_integral;
      std::printf("deck %d differs with a fresh measure per integral\n", i);
    }
  }
  std::printf(
      "%d decks (%d wells, %d stopped by the guard): carried differs from the program "
      "in %d; fresh measure per well differs in %d, per integral in %d\n",
      decks, wells, guard, mirror, per_well, per_integral);
  return mirror == 0 ? 0 : 1;
}
