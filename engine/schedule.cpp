// Superposition of rate steps and pumping wells over the engine's unit
// responses, with a cache of the unit responses and a fixed-order sum.
#include "kelvorat/schedule.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <exception>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace kelvorat::schedule {

namespace {

using engine::Aquifer;
using engine::LagTransform;
using engine::Placement;
using engine::PumpingWell;
using engine::Settings;

std::string number(double v) {
  std::ostringstream o;
  o.precision(17);
  o << v;
  return o.str();
}

[[noreturn]] void bad(const std::string& name, double value, const std::string& why) {
  throw std::invalid_argument(name + " = " + number(value) + ": " + why);
}

void finite(const std::string& name, double v) {
  if (!std::isfinite(v)) bad(name, v, "must be a finite number");
}

void positive(const std::string& name, double v) {
  finite(name, v);
  if (!(v > 0.0)) bad(name, v, "must be positive");
}

void non_negative(const std::string& name, double v) {
  finite(name, v);
  if (v < 0.0) bad(name, v, "must not be negative");
}

// The rate change of step i: Q_i - Q_{i-1}, with Q_{-1} = 0.
double rate_change(const std::vector<RateStep>& steps, std::size_t i) {
  return i == 0 ? steps[0].Q - 0.0 : steps[i].Q - steps[i - 1].Q;
}

unsigned thread_count(unsigned requested, std::size_t tasks) {
  unsigned n = requested;
  if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
  if (tasks < n) n = static_cast<unsigned>(std::max<std::size_t>(tasks, 1));
  return n;
}

// Runs job(k) for k < count on `threads` threads.  Every job writes only its
// own slot.  After a failure the jobs above it are skipped, those below it
// still run, so the failure rethrown (the lowest job index that fails) is
// the one a single thread meets first, whatever the number of threads.
template <class Job>
void run_parallel(std::size_t count, unsigned threads, Job&& job) {
  if (count == 0) return;
  std::vector<std::exception_ptr> errors(count);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> first_failed{count};
  auto worker = [&] {
    for (;;) {
      const std::size_t k = next.fetch_add(1);
      if (k >= count) return;
      if (k > first_failed.load()) continue;
      try {
        job(k);
      } catch (...) {
        errors[k] = std::current_exception();
        std::size_t seen = first_failed.load();
        while (k < seen && !first_failed.compare_exchange_weak(seen, k)) {
        }
      }
    }
  };
  const unsigned n = thread_count(threads, count);
  if (n <= 1) {
    worker();
  } else {
    std::vector<std::thread> pool;
    pool.reserve(n - 1);
    try {
      for (unsigned i = 1; i < n; ++i) pool.emplace_back(worker);
    } catch (...) {
      // No more threads to be had: the ones running and this one finish.
    }
    worker();
    for (auto& th : pool) th.join();
  }
  const std::size_t k = first_failed.load();
  if (k < count) std::rethrow_exception(errors[k]);
}

[[noreturn]] void guard_error(const engine::ExpGuardError& e, std::size_t well, double lag,
                              const std::string& where) {
  throw GuardError(e.bar(), std::string(e.what()) + " in the response of well " +
                                std::to_string(well + 1) + where + " at " + number(lag) +
                                " days after one of its rate steps; the times this close after "
                                "a step cannot be evaluated, move them away from the step");
}

// The distinct lags of one (well, point) pair, sorted, with their results.
struct LagSet {
  std::vector<double> lags;
  std::size_t first_slot = 0;  // slot of lags[0] in the result array
  std::size_t index(double lag) const {
    auto it = std::lower_bound(lags.begin(), lags.end(), lag);
    return first_slot + static_cast<std::size_t>(it - lags.begin());
  }
};

void sort_unique(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  // Lags are positive, so equal values are equal bit patterns.
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// One unit response to compute: the lag set it belongs to and its lag.
struct Task {
  std::size_t set;
  double lag;
};

// Sorts every set's lags, drops repeats and lays the distinct lags out one
// after the other, each set's results from its first_slot on.
std::vector<Task> distinct_tasks(std::vector<LagSet>& sets) {
  std::vector<Task> tasks;
  for (std::size_t k = 0; k < sets.size(); ++k) {
    sort_unique(sets[k].lags);
    sets[k].first_slot = tasks.size();
    for (double lag : sets[k].lags) tasks.push_back({k, lag});
  }
  return tasks;
}

// The steps of `w` that have started by t (t > t_i) and change the rate:
// fn(rate change, lag t - t_i).  A step that keeps the rate adds nothing.
template <class Fn>
void for_each_term(const ScheduledWell& w, double t, Fn&& fn) {
  for (std::size_t i = 0; i < w.steps.size(); ++i) {
    if (!(t > w.steps[i].start)) break;  // start times increase
    const double dq = rate_change(w.steps, i);
    if (dq != 0.0) fn(dq, t - w.steps[i].start);
  }
}

}  // namespace

void validate(const Problem& p) {
  const Aquifer& a = p.aquifer;
  const engine::Zone* zones[3] = {&a.zone1, &a.zone2, &a.zone3};
  for (int z = 0; z < 3; ++z) {
    const std::string n = std::to_string(z + 1);
    positive("T" + n, zones[z]->T);
    positive("S" + n, zones[z]->S);
  }
  positive("width of the stream zone (DN)", a.DN);
  finite("left boundary (XLB)", a.XLB);
  if (!(a.XLB >= a.DN))
    bad("left boundary (XLB)", a.XLB,
        "must be at least the width of the stream zone, " + number(a.DN));
  positive("right boundary (XRB)", a.XRB);
  non_negative("streambed K", a.K);
  positive("streambed thickness", a.thickness);
  const std::int32_t nt = p.settings.NTERMS;
  if (nt < 6 || nt > 20 || nt % 2 != 0)
    bad("NTERMS", nt, "must be an even number of terms from 6 to 20");
  positive("ERRMAX", p.settings.ERRMAX);
  for (std::size_t w = 0; w < p.wells.size(); ++w) {
    const ScheduledWell& sw = p.wells[w];
    const std::string n = "well " + std::to_string(w + 1);
    finite(n + " x", sw.well.XW);
    if (!(sw.well.XW > 0.0 && sw.well.XW < a.XRB))
      bad(n + " x", sw.well.XW,
          "must lie in the zone of the wells, 0 < x < right boundary " + number(a.XRB));
    finite(n + " y", sw.well.YW);
    positive(n + " radius", sw.well.RW);
    if (sw.steps.empty()) throw std::invalid_argument(n + " schedule: has no rate steps");
    for (std::size_t i = 0; i < sw.steps.size(); ++i) {
      const std::string si = n + " schedule[" + std::to_string(i) + "]";
      non_negative(si + " start time", sw.steps[i].start);
      finite(si + " rate", sw.steps[i].Q);
      if (i > 0 && !(sw.steps[i].start > sw.steps[i - 1].start))
        bad(si + " start time", sw.steps[i].start,
            "must be later than the start of the step before, " + number(sw.steps[i - 1].start));
    }
  }
}

double reference_rate(const Problem& p) {
  // The total rate changes only at step starts: check it at every start.
  std::vector<double> starts;
  for (const auto& w : p.wells)
    for (const auto& s : w.steps) starts.push_back(s.start);
  sort_unique(starts);
  double best = 0.0;
  for (double t : starts) {
    double total = 0.0;
    for (const auto& w : p.wells) {
      double q = 0.0;
      for (const auto& s : w.steps) {
        if (s.start > t) break;
        q = s.Q;
      }
      total += q;
    }
    best = std::max(best, std::fabs(total));
  }
  return best;
}

Stats drawdown(const Problem& p, std::span<const double> x, std::span<const double> y,
               std::span<const double> t, std::span<double> s, std::span<double> error,
               unsigned threads) {
  const std::size_t n = t.size();
  if (x.size() != n || y.size() != n)
    throw std::invalid_argument("x, y and t must have the same number of values");
  if ((!s.empty() && s.size() != n) || (!error.empty() && error.size() != n))
    throw std::invalid_argument("the outputs must have one value per point");
  validate(p);
  const Aquifer& a = p.aquifer;
  for (std::size_t i = 0; i < n; ++i) {
    finite("x", x[i]);
    finite("y", y[i]);
    finite("t", t[i]);
    if (x[i] < -a.XLB || x[i] > a.XRB)
      bad("x", x[i], "must lie in the strip, from -" + number(a.XLB) + " to " + number(a.XRB));
  }

  // Distinct points, by their exact coordinates.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> point_of;
  std::vector<std::size_t> point(n);
  std::vector<std::pair<double, double>> points;
  for (std::size_t i = 0; i < n; ++i) {
    // +0 and -0 are the same point.
    const double xi = x[i] == 0.0 ? 0.0 : x[i];
    const double yi = y[i] == 0.0 ? 0.0 : y[i];
    const auto key =
        std::make_pair(std::bit_cast<std::uint64_t>(xi), std::bit_cast<std::uint64_t>(yi));
    auto [it, added] = point_of.emplace(key, points.size());
    if (added) points.emplace_back(xi, yi);
    point[i] = it->second;
  }

  // Placement and distinct lags per (point, well).
  const std::size_t nw = p.wells.size();
  const std::size_t npairs = points.size() * nw;
  std::vector<Placement> placement(npairs);
  std::vector<LagSet> lagset(npairs);
  Stats stats;
  for (std::size_t q = 0; q < points.size(); ++q)
    for (std::size_t w = 0; w < nw; ++w)
      placement[q * nw + w] = engine::place(a, p.wells[w].well, points[q].first, points[q].second);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t w = 0; w < nw; ++w)
      for_each_term(p.wells[w], t[i], [&](double, double lag) {
        lagset[point[i] * nw + w].lags.push_back(lag);
        ++stats.terms;
      });
  const std::vector<Task> tasks = distinct_tasks(lagset);
  stats.inversions = tasks.size();
  stats.integrations = tasks.size() * static_cast<std::size_t>(p.settings.NTERMS);

  std::vector<LagTransform> unit(tasks.size());
  run_parallel(tasks.size(), threads, [&](std::size_t k) {
    const Task& task = tasks[k];
    engine::Carry carry;
    const std::size_t w = task.set % nw;
    try {
      unit[k] = engine::transform_at(a, p.wells[w].well, p.settings, placement[task.set], task.lag,
                                     &carry);
    } catch (const engine::ExpGuardError& e) {
      const auto& pt = points[task.set / nw];
      guard_error(e, w, task.lag,
                  " at the point (" + number(pt.first) + ", " + number(pt.second) + ")");
    }
  });

  // The sums, in the order of the wells and of their steps: for one well
  // stopping once, the pumping term and then the negated recovery term.
  for (std::size_t i = 0; i < n; ++i) {
    double draw = 0.0;
    double derr = 0.0;
    bool first = true;
    for (std::size_t w = 0; w < nw; ++w) {
      const std::size_t k = point[i] * nw + w;
      for_each_term(p.wells[w], t[i], [&](double dq, double lag) {
        const engine::StepValues v =
            engine::step_values(a, placement[k], unit[lagset[k].index(lag)], dq);
        if (first) {
          draw = v.draw;
          derr = std::fabs(v.derr);
          first = false;
        } else {
          draw = draw + v.draw;
          derr = derr + std::fabs(v.derr);
        }
      });
    }
    if (!s.empty()) s[i] = draw;
    if (!error.empty()) error[i] = derr;
  }
  return stats;
}

Stats depletion(const Problem& p, std::span<const double> t, double reference,
                std::span<double> rate, std::span<double> ratio, std::span<double> volume,
                unsigned threads) {
  const std::size_t n = t.size();
  if ((!rate.empty() && rate.size() != n) || (!ratio.empty() && ratio.size() != n) ||
      (!volume.empty() && volume.size() != n))
    throw std::invalid_argument("the outputs must have one value per time");
  validate(p);
  for (std::size_t i = 0; i < n; ++i) finite("t", t[i]);
  if (!ratio.empty()) {
    finite("reference rate", reference);
    if (reference == 0.0)
      throw std::invalid_argument(
          "reference rate = 0: no well pumps, so there is no depletion ratio");
  }
  const Aquifer& a = p.aquifer;
  const std::size_t nw = p.wells.size();
  std::vector<LagSet> lagset(nw);
  Stats stats;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t w = 0; w < nw; ++w)
      for_each_term(p.wells[w], t[i], [&](double, double lag) {
        lagset[w].lags.push_back(lag);
        ++stats.terms;
      });
  const std::vector<Task> tasks = distinct_tasks(lagset);
  stats.inversions = tasks.size();
  std::vector<engine::LagTransform> unit(tasks.size());
  run_parallel(tasks.size(), threads, [&](std::size_t k) {
    try {
      unit[k] = engine::depletion_at(a, p.wells[tasks[k].set].well, p.settings, tasks[k].lag);
    } catch (const engine::ExpGuardError& e) {
      guard_error(e, tasks[k].set, tasks[k].lag, " for the depletion");
    }
  });

  for (std::size_t i = 0; i < n; ++i) {
    double q = 0.0, r = 0.0, v = 0.0;
    bool first = true;
    for (std::size_t w = 0; w < nw; ++w) {
      for_each_term(p.wells[w], t[i], [&](double dq, double lag) {
        const engine::LagTransform& u = unit[lagset[w].index(lag)];
        // The ratio as the deck run forms it for a rate dq: it does not
        // depend on dq, but its rounding does.
        const engine::StepValues sv = engine::step_values(a, Placement{}, u, dq);
        const double term_rate = dq * sv.depl;
        const double term_ratio = ratio.empty() ? 0.0 : dq / reference * sv.depl;
        const double term_volume = sv.vol;
        if (first) {
          q = term_rate;
          r = term_ratio;
          v = term_volume;
          first = false;
        } else {
          q = q + term_rate;
          r = r + term_ratio;
          v = v + term_volume;
        }
      });
    }
    if (!rate.empty()) rate[i] = q;
    if (!ratio.empty()) ratio[i] = r;
    if (!volume.empty()) volume[i] = v;
  }
  return stats;
}

}  // namespace kelvorat::schedule
