// The three-zone model in the limits where it must reduce to the solutions
// every hydrogeologist knows, each computed here from its closed form:
//   - Theis: one uniform aquifer, no stream;
//   - a fully penetrating stream as a constant-head line (image well), with
//     the depletion of Glover and Balmer;
//   - a stream with a streambed of finite conductance in an infinite
//     aquifer (the depletion with erfc and an exponential term);
//   - the stop of pumping by superposition.
// Results are read from the E18.10 drawdown and E12.4 depletion columns of
// adet.res.  Ten Stehfest terms with an integration tolerance of 1e-8 give
// 1e-5 to 2e-4 relative on these transforms: more terms need far tighter
// integrals, since the weights (up to 3.8e5 for ten terms, 3.6e9 for
// sixteen) multiply the integration error, and the absolute tolerance of the
// integration is fixed at 1e-10.  The depletion column has four digits.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "support/deck_builder.h"
#include "support/scratch_run.h"

namespace kelvorat {
namespace {

using testing::run_deck;
using testing::table;

constexpr double kPi = 3.14159265358979323846;

// Exponential integral E1(u) = -Ei(-u).
double E1(double u) { return -std::expint(-u); }

// e^x * erfc(y) without overflow for large x and y.
double exp_erfc(double x, double y) {
  if (y < 20.0) return std::exp(x) * std::erfc(y);
  // erfc(y) = e^(-y^2) / (y sqrt(pi)) * (1 - 1/(2y^2) + 3/(4y^4) - ...)
  const double y2 = y * y;
  const double series =
      1.0 - 1.0 / (2.0 * y2) + 3.0 / (4.0 * y2 * y2) - 15.0 / (8.0 * y2 * y2 * y2);
  return std::exp(x - y2) / (y * std::sqrt(kPi)) * series;
}

double theis(double q, double t_, double s_, double r, double t) {
  return q / (4.0 * kPi * t_) * E1(r * r * s_ / (4.0 * t_ * t));
}

struct Aquifer {
  double T = 500, S = 0.01;  // the same in all three zones
  double XW = 200;           // pumping well
  double XLB = 1e5, XRB = 1e5;
  double DN = 1;
  double K = 0, thickness = 1;  // streambed
  double Q = 1000, STOPT = 0;
  double T0 = 0.5, T0STEP = 0.5, TA = 2;
  int NT = 6, NTERMS = 10;
  double ERRMAX = 1e-8;
};

std::string deck(const Aquifer& a, const std::vector<std::pair<double, double>>& wells) {
  testing::DeckBuilder d;
  d.wells = wells;
  d.XW = a.XW;
  d.RW = 0.05;
  d.zones(a.T, a.S, a.T, a.S, a.T, a.S);
  d.XLB = a.XLB;
  d.XRB = a.XRB;
  d.DN = a.DN;
  d.K = a.K;
  d.thickness = a.thickness;
  d.times(a.Q, a.STOPT, a.T0, a.T0STEP, a.TA).steps(a.NT).terms(a.NTERMS, a.ERRMAX);
  return d.text();
}

// Largest relative deviation of the drawdowns from a reference, reported.
template <class Ref>
double worst(const testing::RunResult& r, int well, Ref ref) {
  double w = 0;
  for (const auto& row : table(r, well)) {
    const double expect = ref(row.time);
    w = std::max(w, std::fabs(row.drawdown - expect) / std::fabs(expect));
  }
  return w;
}

TEST(Validation, TheisInAUniformAquiferWithoutStream) {
  Aquifer a;  // K = 0: the stream zone is plain aquifer
  const std::vector<std::pair<double, double>> wells = {
      {250, 0}, {230, 60}, {120, 60}, {400, -150}};
  const auto r = run_deck(deck(a, wells));
  ASSERT_EQ(r.status, 0) << r.errors;
  for (int w = 0; w < 4; ++w) {
    const double dx = wells[w].first - a.XW, dy = wells[w].second;
    const double rr = std::sqrt(dx * dx + dy * dy);
    const double dev = worst(r, w + 1, [&](double t) { return theis(a.Q, a.T, a.S, rr, t); });
    EXPECT_LT(dev, 5e-4) << "r = " << rr;
    RecordProperty("theis_r" + std::to_string(static_cast<int>(rr)), std::to_string(dev));
    for (const auto& row : table(r, w + 1)) EXPECT_EQ(row.depletion, 0.0);
  }
}

TEST(Validation, StreamAsConstantHeadLineActsAsAnImageWell) {
  Aquifer a;
  a.K = 1e4;  // leakance so high that the stream holds its head
  a.DN = 0.5;
  const std::vector<std::pair<double, double>> wells = {{100, 0}, {230, 50}, {300, 0}};
  const auto r = run_deck(deck(a, wells));
  ASSERT_EQ(r.status, 0) << r.errors;
  for (int w = 0; w < 3; ++w) {
    const double x = wells[w].first, y = wells[w].second;
    const double real = std::hypot(x - a.XW, y), image = std::hypot(x + a.XW, y);
    const double dev = worst(r, w + 1, [&](double t) {
      return theis(a.Q, a.T, a.S, real, t) - theis(a.Q, a.T, a.S, image, t);
    });
    // The stream zone has a width of 0.5 m against 200 m to the well, so
    // the line sits at x = 0 to within that width.
    EXPECT_LT(dev, 5e-3) << "well " << w + 1;
    RecordProperty("image_well" + std::to_string(w + 1), std::to_string(dev));
  }
  // Glover and Balmer: depletion ratio erfc(sqrt(S d^2 / (4 T t))).
  for (const auto& row : table(r, 1)) {
    const double expect = std::erfc(std::sqrt(a.S * a.XW * a.XW / (4 * a.T * row.time)));
    EXPECT_NEAR(row.depletion, expect, 1e-4 + 5e-3 * expect) << "t = " << row.time;
  }
}

TEST(Validation, StreambedOfFiniteConductance) {
  // A thin stream zone with moderate leakance is a stream of conductance
  // lambda = (K / thickness) * DN per unit length.  The limit holds with the
  // distance measured to the middle of the stream zone, XW + DN/2: the
  // leakage is spread evenly across the zone, and its centroid lies there.
  Aquifer a;
  a.DN = 1.0;
  a.K = 0.05;
  a.thickness = 1.0;
  a.T0 = 1;
  a.T0STEP = 1;
  a.TA = 2;
  a.NT = 8;
  const double lambda = a.K / a.thickness * a.DN;
  const auto r = run_deck(deck(a, {{100, 0}}));
  ASSERT_EQ(r.status, 0) << r.errors;
  auto depletion = [&](double d, double t) {
    const double u = std::sqrt(a.S * d * d / (4 * a.T * t));
    const double v = std::sqrt(lambda * lambda * t / (4 * a.S * a.T));
    return std::erfc(u) -
           exp_erfc(lambda * lambda * t / (4 * a.S * a.T) + lambda * d / (2 * a.T), v + u);
  };
  double dev_mid = 0, dev_edge = 0;
  for (const auto& row : table(r, 1)) {
    const double mid = depletion(a.XW + a.DN / 2, row.time);
    const double edge = depletion(a.XW, row.time);
    EXPECT_NEAR(row.depletion, mid, 1e-4 + 2e-3 * mid) << "t = " << row.time;
    dev_mid = std::max(dev_mid, std::fabs(row.depletion - mid) / mid);
    dev_edge = std::max(dev_edge, std::fabs(row.depletion - edge) / edge);
  }
  // The middle of the zone fits better than its edge.
  EXPECT_LT(dev_mid, dev_edge);
  RecordProperty("conductance_mid", std::to_string(dev_mid));
  RecordProperty("conductance_edge", std::to_string(dev_edge));
}

TEST(Validation, StopOfPumpingBySuperposition) {
  Aquifer a;
  a.STOPT = 3;
  a.T0 = 1;
  a.T0STEP = 1;
  a.TA = 1.5;
  a.NT = 8;
  const std::vector<std::pair<double, double>> wells = {{250, 0}, {240, 40}};
  const auto r = run_deck(deck(a, wells));
  ASSERT_EQ(r.status, 0) << r.errors;
  for (int w = 0; w < 2; ++w) {
    const double rr = std::hypot(wells[w].first - a.XW, wells[w].second);
    for (const auto& row : table(r, w + 1)) {
      double expect = theis(a.Q, a.T, a.S, rr, row.time);
      if (row.time > a.STOPT) expect -= theis(a.Q, a.T, a.S, rr, row.time - a.STOPT);
      // The residual drawdown is a difference of two inversions: its error
      // is that of the larger term.  Off the observation well's axis the
      // integrand oscillates with cos(DY lambda), and the interval sum stops
      // as soon as one interval changes the total by less than ERRMAX; for
      // some Stehfest terms that cuts a tail of a few 1e-7, which the weights
      // magnify to a few 1e-3 at some times (4.6e-3 at t = 5.125 here).
      EXPECT_NEAR(row.drawdown, expect, 1e-2 * theis(a.Q, a.T, a.S, rr, row.time))
          << "well " << w + 1 << " t = " << row.time;
    }
  }
}

TEST(Validation, ZoneBoundariesOfAUniformAquiferChangeNothing) {
  // Equal zones and no leakage: the width of the stream zone is invisible.
  Aquifer a;
  a.XW = 100;
  std::vector<double> reference;
  for (double dn : {0.5, 5.0, 40.0}) {
    a.DN = dn;
    const auto r = run_deck(deck(a, {{150, 20}}));
    ASSERT_EQ(r.status, 0) << r.errors;
    const auto rows = table(r, 1);
    if (reference.empty()) {
      for (const auto& row : rows) reference.push_back(row.drawdown);
      continue;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_NEAR(rows[i].drawdown, reference[i], 1e-4 * reference[i]) << "DN = " << dn;
    }
  }
}

}  // namespace
}  // namespace kelvorat
