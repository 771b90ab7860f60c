// Cost of one evaluation of the drawdown integrand per case and branch, next
// to a loop that does only the bare arithmetic of one evaluation (3 square
// roots, 9 exponentials, 1 cosine and the multiplications feeding them).
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

#include "model/depletion.h"
#include "model/drawdown_integrand.h"
#include "model/model_fixtures.h"

namespace {

using kelvorat::CaseCode;
using kelvorat::ModelState;

// Wavenumbers spread over one Romberg interval, so nothing is hoisted.
std::array<double, 1024> wavenumbers(double lo, double hi) {
  std::array<double, 1024> w{};
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = lo + (hi - lo) * i / w.size();
  return w;
}

// The distinct zones of the integrand examples.
ModelState zones(CaseCode c, double XO) { return kelvorat::testing::distinct_zones(c, XO); }

double xo_for(CaseCode c) {
  switch (c) {
    case CaseCode::A1:
      return -30;
    case CaseCode::A2:
      return -5;
    case CaseCode::A3:
      return 40;
    case CaseCode::A4:
      return 150;
  }
  return 0;
}

void run(benchmark::State& state, const ModelState& s, double lo, double hi) {
  const auto w = wavenumbers(lo, hi);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kelvorat::f(s, w[i]));
    i = (i + 1) & (w.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

// Regular branch, the common case: the double shortcut.
void BM_f_regular(benchmark::State& state) {
  const auto c = static_cast<CaseCode>(state.range(0));
  run(state, zones(c, xo_for(c)), 1e-3, 0.5);
}
BENCHMARK(BM_f_regular)->DenseRange(0, 3)->ArgName("case_A1..A4");

// Asymptotic branch through ROOT3 > 60 (early times, large p).
void BM_f_asymptotic(benchmark::State& state) {
  const auto c = static_cast<CaseCode>(state.range(0));
  ModelState s = zones(c, xo_for(c));
  s.PD3 = 3700;
  s.XW = 5;
  s.XO = c == CaseCode::A3 ? 4 : c == CaseCode::A4 ? 6 : s.XO;
  run(state, s, 1e-3, 0.5);
}
BENCHMARK(BM_f_asymptotic)->DenseRange(0, 3)->ArgName("case_A1..A4");

// Asymptotic branch with e^RXW beyond the double range: "A1"/"A2" need the
// extended-range tail.  Second argument RXW: at 720 EWNEG is subnormal and
// its arithmetic runs into the processor's subnormal assists; at 1000 it is 0.
void BM_f_wide_range(benchmark::State& state) {
  const auto c = static_cast<CaseCode>(state.range(0));
  ModelState s = zones(c, xo_for(c));
  s.PD3 = 100;
  s.XW = static_cast<double>(state.range(1)) / 10;
  s.XRB = 2000;
  run(state, s, 1e-3, 0.5);
}
BENCHMARK(BM_f_wide_range)->ArgsProduct({{0, 1}, {720, 1000}})->ArgNames({"case_A1..A2", "RXW"});

// Large wavenumbers: the zone-2 exponentials have underflowed.
void BM_f_vanished(benchmark::State& state) {
  const auto c = static_cast<CaseCode>(state.range(0));
  ModelState s = zones(c, xo_for(c));
  s.PD1 = 10000;
  s.DN = 5;
  run(state, s, 1e-3, 0.5);
}
BENCHMARK(BM_f_vanished)->DenseRange(0, 3)->ArgName("case_A1..A4");

// The floor: the transcendental work of one evaluation and nothing else.
void BM_bare_arithmetic(benchmark::State& state) {
  const auto w = wavenumbers(1e-3, 0.5);
  const ModelState s = zones(CaseCode::A3, 40);
  std::size_t i = 0;
  for (auto _ : state) {
    const double lam = w[i];
    const double l2 = lam * lam;
    const double r1 = std::sqrt(l2 + s.PD1);
    const double r2 = std::sqrt(l2 + s.STLEAKT + s.PD2);
    const double r3 = std::sqrt(l2 + s.PD3);
    double acc = std::exp(s.DN * (r2 - r1)) + std::exp(-s.DN * (r1 + r2));
    acc += std::exp(r2 * s.DN - r1 * s.XLB) + std::exp(-r1 * s.XLB - r2 * s.DN);
    const double rxw = r3 * s.XW;
    acc += std::exp(-rxw) * std::exp(rxw * 0.07142857142857142);
    acc += std::exp(rxw - r3 * s.XRB);
    acc += std::exp(r3 * s.XO * 0.07142857142857142) * std::exp(-(r3 * s.XO));
    benchmark::DoNotOptimize(-(std::cos(s.DY * lam) * (acc / r3)));
    i = (i + 1) & (w.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_bare_arithmetic);

void BM_deplet(benchmark::State& state) {
  ModelState s = zones(CaseCode::A3, 40);
  const auto w = wavenumbers(1e-3, 0.05);
  std::size_t i = 0;
  for (auto _ : state) {
    s.PD3 = w[i];
    benchmark::DoNotOptimize(kelvorat::deplet(s, 0.4));
    i = (i + 1) & (w.size() - 1);
  }
}
BENCHMARK(BM_deplet);

}  // namespace

BENCHMARK_MAIN();
