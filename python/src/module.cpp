// The Python binding of the engine and of the schedule superposition.  The
// only file of the project that sees Python: the model itself is plain C++.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "kelvorat/engine.h"
#include "kelvorat/schedule.h"

namespace py = pybind11;
using namespace kelvorat;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// (T1, S1, T2, S2, T3, S3, XLB, XRB, DN, K, thickness)
using AquiferTuple = std::tuple<double, double, double, double, double, double, double, double,
                                double, double, double>;
// (x, y, radius, start times, rates)
using WellTuple = std::tuple<double, double, double, std::vector<double>, std::vector<double>>;

engine::Aquifer make_aquifer(const AquiferTuple& t) {
  engine::Aquifer a;
  a.zone1 = {std::get<0>(t), std::get<1>(t)};
  a.zone2 = {std::get<2>(t), std::get<3>(t)};
  a.zone3 = {std::get<4>(t), std::get<5>(t)};
  a.XLB = std::get<6>(t);
  a.XRB = std::get<7>(t);
  a.DN = std::get<8>(t);
  a.K = std::get<9>(t);
  a.thickness = std::get<10>(t);
  return a;
}

schedule::Problem make_problem(const AquiferTuple& aquifer, std::int32_t nterms, double errmax,
                               const std::vector<WellTuple>& wells) {
  schedule::Problem p;
  p.aquifer = make_aquifer(aquifer);
  p.settings.NTERMS = nterms;
  p.settings.ERRMAX = errmax;
  for (const auto& w : wells) {
    schedule::ScheduledWell sw;
    sw.well = {std::get<0>(w), std::get<1>(w), std::get<2>(w)};
    const auto& starts = std::get<3>(w);
    const auto& rates = std::get<4>(w);
    if (starts.size() != rates.size())
      throw std::invalid_argument("a schedule needs one rate per start time");
    for (std::size_t i = 0; i < starts.size(); ++i) sw.steps.push_back({starts[i], rates[i]});
    p.wells.push_back(std::move(sw));
  }
  schedule::validate(p);
  return p;
}

std::span<const double> view(const Array& a) {
  return {a.data(), static_cast<std::size_t>(a.size())};
}

py::dict stats_dict(const schedule::Stats& s) {
  py::dict d;
  d["terms"] = s.terms;
  d["inversions"] = s.inversions;
  d["integrations"] = s.integrations;
  return d;
}

Array new_array(std::size_t n) { return Array(static_cast<py::ssize_t>(n)); }

std::span<double> mutable_view(Array& a) {
  return {a.mutable_data(), static_cast<std::size_t>(a.size())};
}

const char* case_name(engine::Case c) {
  switch (c) {
    case engine::Case::A1:
      return "A1";
    case engine::Case::A2:
      return "A2";
    case engine::Case::A3:
      return "A3";
    case engine::Case::A4:
      return "A4";
  }
  return "A3";
}

py::dict placement_dict(const engine::Placement& p) {
  py::dict d;
  d["XO"] = p.XO;
  d["YO"] = p.YO;
  d["d"] = p.d;
  d["DXMIN"] = p.DXMIN;
  d["corrected"] = p.corrected;
  d["IZONE"] = p.IZONE;
  d["case"] = case_name(p.code);
  return d;
}

py::array_t<double> to_numpy(const std::vector<double>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

py::dict deck_dict(const engine::Deck& d) {
  const auto& a = d.aquifer;
  py::dict out;
  out["NOBS"] = d.NOBS;
  out["aquifer"] = py::make_tuple(a.zone1.T, a.zone1.S, a.zone2.T, a.zone2.S, a.zone3.T, a.zone3.S,
                                  a.XLB, a.XRB, a.DN, a.K, a.thickness);
  out["well"] = py::make_tuple(d.well.XW, d.well.YW, d.well.RW);
  const auto& t = d.test;
  py::dict test;
  test["Q"] = t.Q;
  test["STOPT"] = t.STOPT;
  test["T0"] = t.T0;
  test["T0STEP"] = t.T0STEP;
  test["TA"] = t.TA;
  test["NT"] = t.NT;
  out["test"] = test;
  out["IPRT"] = d.IPRT;
  out["NTERMS"] = d.NTERMS;
  out["ERRMAX"] = d.ERRMAX;
  py::list obs;
  for (const auto& o : d.observations) obs.append(py::make_tuple(o[0], o[1]));
  out["observations"] = obs;
  return out;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The three-zone strip aquifer with a leaky stream: engine and superposition";

  py::register_exception<engine::ExpGuardError>(m, "ExpGuardError", PyExc_ValueError);
  py::register_exception<engine::DeckError>(m, "DeckError", PyExc_ValueError);

  m.def(
      "check_settings",
      [](std::int32_t nterms, double errmax) {
        const engine::CheckedSettings c = engine::check_settings(nterms, errmax);
        py::dict d;
        d["NTERMS"] = c.settings.NTERMS;
        d["ERRMAX"] = c.settings.ERRMAX;
        d["nterms_out_of_range"] = c.nterms_out_of_range;
        d["nterms_raised"] = c.nterms_raised;
        d["errmax_lowered"] = c.errmax_lowered;
        d["ERRBND"] = c.ERRBND;
        return d;
      },
      py::arg("nterms"), py::arg("errmax"));

  m.def(
      "validate",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax,
         const std::vector<WellTuple>& wells) { make_problem(aquifer, nterms, errmax, wells); },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("wells"));

  m.def(
      "reference_rate",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax,
         const std::vector<WellTuple>& wells) {
        return schedule::reference_rate(make_problem(aquifer, nterms, errmax, wells));
      },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("wells"));

  m.def(
      "drawdown",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax,
         const std::vector<WellTuple>& wells, const Array& x, const Array& y, const Array& t,
         unsigned threads) {
        const schedule::Problem p = make_problem(aquifer, nterms, errmax, wells);
        if (x.ndim() != 1 || y.ndim() != 1 || t.ndim() != 1)
          throw std::invalid_argument("x, y and t must be one-dimensional here");
        Array s = new_array(static_cast<std::size_t>(t.size()));
        Array err = new_array(static_cast<std::size_t>(t.size()));
        auto sv = mutable_view(s);
        auto ev = mutable_view(err);
        schedule::Stats stats;
        {
          py::gil_scoped_release release;
          stats = schedule::drawdown(p, view(x), view(y), view(t), sv, ev, threads);
        }
        return py::make_tuple(s, err, stats_dict(stats));
      },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("wells"), py::arg("x"),
      py::arg("y"), py::arg("t"), py::arg("threads") = 0);

  m.def(
      "depletion",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax,
         const std::vector<WellTuple>& wells, const Array& t, double reference, unsigned threads) {
        const schedule::Problem p = make_problem(aquifer, nterms, errmax, wells);
        if (t.ndim() != 1) throw std::invalid_argument("t must be one-dimensional here");
        const auto n = static_cast<std::size_t>(t.size());
        Array rate = new_array(n), ratio = new_array(n), volume = new_array(n);
        auto qv = mutable_view(rate);
        auto rv = mutable_view(ratio);
        auto vv = mutable_view(volume);
        if (reference == 0.0) rv = {};
        schedule::Stats stats;
        {
          py::gil_scoped_release release;
          stats = schedule::depletion(p, view(t), reference, qv, rv, vv, threads);
        }
        if (reference == 0.0) std::fill(ratio.mutable_data(), ratio.mutable_data() + n, 0.0);
        return py::make_tuple(rate, ratio, volume, stats_dict(stats));
      },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("wells"), py::arg("t"),
      py::arg("reference"), py::arg("threads") = 0);

  m.def(
      "place",
      [](const AquiferTuple& aquifer, double XW, double YW, double RW, double XO, double YO) {
        return placement_dict(engine::place(make_aquifer(aquifer), {XW, YW, RW}, XO, YO));
      },
      py::arg("aquifer"), py::arg("XW"), py::arg("YW"), py::arg("RW"), py::arg("XO"),
      py::arg("YO"));

  // The unit responses themselves, for checks and studies.
  m.def(
      "lag_transform",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax, double XW, double YW,
         double RW, double XO, double YO, double lag) {
        const engine::Aquifer a = make_aquifer(aquifer);
        const engine::PumpingWell w{XW, YW, RW};
        const engine::Settings s{nterms, errmax};
        const engine::Placement p = engine::place(a, w, XO, YO);
        engine::LagTransform x;
        {
          py::gil_scoped_release release;
          x = engine::transform_at(a, w, s, p, lag);
        }
        py::dict d;
        d["aXP"] = x.aXP;
        d["aDP"] = x.aDP;
        d["aESUM"] = x.aESUM;
        d["aDV"] = x.aDV;
        d["STEP0"] = x.STEP0;
        return d;
      },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("XW"), py::arg("YW"),
      py::arg("RW"), py::arg("XO"), py::arg("YO"), py::arg("lag"));

  m.def(
      "depletion_transform",
      [](const AquiferTuple& aquifer, std::int32_t nterms, double errmax, double XW, double YW,
         double RW, double lag) {
        const engine::LagTransform x = engine::depletion_at(make_aquifer(aquifer), {XW, YW, RW},
                                                            engine::Settings{nterms, errmax}, lag);
        py::dict d;
        d["aDP"] = x.aDP;
        d["aDV"] = x.aDV;
        return d;
      },
      py::arg("aquifer"), py::arg("nterms"), py::arg("errmax"), py::arg("XW"), py::arg("YW"),
      py::arg("RW"), py::arg("lag"));

  m.def(
      "parse_deck",
      [](std::string text, const std::string& file_name) {
        return deck_dict(engine::parse_deck(std::move(text), file_name));
      },
      py::arg("text"), py::arg("file_name") = "kelvorat.dat");

  // The deck run's series of every observation well, in deck order with one
  // Carry, as the CLI computes them.
  m.def(
      "deck_series",
      [](std::string text, const std::string& file_name) {
        const engine::Deck d = engine::parse_deck(std::move(text), file_name);
        const engine::Settings settings = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
        std::vector<engine::Series> series;
        {
          py::gil_scoped_release release;
          engine::Carry carry;
          for (const auto& o : d.observations)
            series.push_back(
                engine::well_series(d.aquifer, d.well, d.test, settings, o[0], o[1], &carry));
        }
        py::list out;
        for (const auto& s : series) {
          py::dict w;
          w["TIME"] = to_numpy(s.TIME);
          w["DRAW"] = to_numpy(s.DRAW);
          w["DEPL"] = to_numpy(s.DEPL);
          w["DERR"] = to_numpy(s.DERR);
          w["ILAST"] = s.ILAST;
          w["placement"] = placement_dict(s.placement);
          out.append(w);
        }
        return out;
      },
      py::arg("text"), py::arg("file_name") = "kelvorat.dat");
}
