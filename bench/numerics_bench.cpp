// Overhead of the integrators per integrand evaluation, measured with an
// integrand that costs next to nothing, so that the time is the table work,
// the loop and the call of the integrand itself.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string_view>

#include "numerics/growing_intervals.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"

namespace {

using namespace kelvorat;

const IntegrationLimits kLimits{0.0, 1.0, 1.0e20, 1.0, 1.0e-10, 1.0e-6};

// Trivial integrand that counts its evaluations.
struct Linear {
  long calls = 0;
  double operator()(double x) {
    ++calls;
    return x;
  }
};

// Zero everywhere but at the right end: no level ever converges, so every
// call runs all 13 levels (8193 evaluations).
struct Spike {
  long calls = 0;
  double operator()(double x) {
    ++calls;
    return x == 1.0 ? 2.0 : 0.0;
  }
};

void BM_TrombPerEvaluation(benchmark::State& state) {
  RombergState st;
  Spike f;
  for (auto _ : state) {
    RombergResult r = tromb(f, RombergInterval{0.0, 1.0, 1, 0.0}, kLimits, st, nullptr);
    benchmark::DoNotOptimize(r);
  }
  // Time per evaluation: the inverse of this rate.
  state.counters["evaluations"] = benchmark::Counter(
      static_cast<double>(f.calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TrombPerEvaluation);

void BM_TrombShortInterval(benchmark::State& state) {
  // Three evaluations and an early return: the fixed cost of one call.
  RombergState st;
  Linear f;
  double A = 0.0;
  double B = 1.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(A);
    benchmark::DoNotOptimize(B);
    RombergResult r = tromb(f, RombergInterval{A, B, 1, 0.0}, kLimits, st, nullptr);
    benchmark::DoNotOptimize(r);
  }
  state.counters["evaluations"] = benchmark::Counter(
      static_cast<double>(f.calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TrombShortInterval);

void BM_RombintExponential(benchmark::State& state) {
  // The worked example: 13 intervals, 101 evaluations, no trace.
  RombergState st;
  auto f = [](double x) { return std::exp(-x); };
  for (auto _ : state) {
    IntegralResult r =
        rombint(f, IntegrationLimits{1.0e-20, 1.0, 1.0e20, 1.0, 1.0e-10, 1.0e-6}, st, nullptr);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_RombintExponential);

void BM_StehfestInversion20(benchmark::State& state) {
  const StehfestColumn col(20);
  const double a = std::log(2.0);
  for (auto _ : state) {
    Inversion r = invert(
        col, a,
        [](double p) {
          return TermValues{1.0 / (p + 1.0), 0.0, p};
        },
        nullptr);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_StehfestInversion20);

}  // namespace

BENCHMARK_MAIN();
