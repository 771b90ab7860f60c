// Integrands for the integrator tests: each counts its evaluations and can
// record the abscissae, so the tests can check how many points a method
// takes and where.
#pragma once

#include <cmath>
#include <vector>

namespace kelvorat::testing {

template <class Fn>
struct Counting {
  Fn fn;
  int calls = 0;
  bool record = false;
  std::vector<double> xs;

  double operator()(double x) {
    ++calls;
    if (record) xs.push_back(x);
    return fn(x);
  }
};

template <class Fn>
Counting<Fn> counting(Fn fn, bool record = false) {
  return Counting<Fn>{fn, 0, record, {}};
}

inline auto exp_minus = [](double x) { return std::exp(-x); };
inline auto zero_fn = [](double) { return 0.0; };
inline auto one_fn = [](double) { return 1.0; };

}  // namespace kelvorat::testing
