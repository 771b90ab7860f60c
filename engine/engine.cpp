// The engine entry points: each call builds its own model record, Romberg
// storage and inversion from the values it is given, so calls share nothing
// and may run on several threads at once.  No line of any result file is
// produced here.
#include "kelvorat/engine.h"

#include <cmath>
#include <string>
#include <utility>

#include "driver/deck_reader.h"
#include "driver/line_sink.h"
#include "driver/run.h"
#include "model/depletion.h"
#include "model/drawdown_integrand.h"
#include "model/guarded_exp.h"
#include "model/model_state.h"
#include "numerics/growing_intervals.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"
#include "simulation/constants.h"
#include "simulation/observation.h"
#include "simulation/time_loop.h"

namespace kelvorat::engine {

namespace {

// Library calls keep no trace: every line of the computation is dropped.
class DiscardLines final : public LineSink {
 public:
  void line(Channel, std::string_view) override {}
};

std::string shortest_real(double v) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%.17g", v);
  return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void require_terms(const Settings& s) {
  if (s.NTERMS < 6 || s.NTERMS > 20) {
    throw std::invalid_argument("NTERMS must lie between 6 and 20, found " +
                                std::to_string(s.NTERMS));
  }
}

// The model record and the deck values of one computation, set up as the
// run sets them up after reading its deck.
struct Setup {
  ModelState state;
  kelvorat::PumpingTest test;
  RunConstants rc;
  double RW = 0;

  Setup(const Aquifer& aq, const PumpingWell& w, const Settings& settings, double Q) {
    state.XW = w.XW;
    state.YW = w.YW;
    RW = w.RW;
    state.XLB = aq.XLB < 0.0 ? -aq.XLB : aq.XLB;
    state.XRB = aq.XRB;
    state.DN = aq.DN < 0.0 ? -aq.DN : aq.DN;
    test.T1 = aq.zone1.T;
    test.S1 = aq.zone1.S;
    test.T2 = aq.zone2.T;
    test.S2 = aq.zone2.S;
    test.T3 = aq.zone3.T;
    test.S3 = aq.zone3.S;
    test.STLEAK = aq.K / aq.thickness;
    state.STLEAKT = aq.K / (aq.thickness * test.T2);
    test.ERRMAX = settings.ERRMAX;
    test.Q = Q;
    rc = prepare_run(test, state);
  }

  void put(const Placement& p) {
    state.XO = p.XO;
    state.YO = p.YO;
    state.IZONE = p.IZONE;
    state.CHRT = static_cast<CaseCode>(p.code);
    state.DY = state.YW - state.YO;
  }

  double case_diffusivity() const {
    switch (state.CHRT) {
      case CaseCode::A1:
        return rc.D1;
      case CaseCode::A2:
        return rc.D2;
      case CaseCode::A3:
      case CaseCode::A4:
        break;
    }
    return rc.D3;
  }
};

static_assert(static_cast<int>(Case::A1) == static_cast<int>(CaseCode::A1) &&
              static_cast<int>(Case::A4) == static_cast<int>(CaseCode::A4));

Placement placement_of(const ModelState& s, const WellGeometry& g) {
  Placement p;
  p.XO = s.XO;
  p.YO = s.YO;
  p.d = g.d;
  p.DXMIN = g.DXMIN;
  p.corrected = g.corrected;
  if (g.corrected) {
    const double dy = s.YW - s.YO;
    p.corr_log = std::log(std::sqrt(g.DXMIN * g.DXMIN + dy * dy) / std::sqrt(g.d * g.d + dy * dy));
  }
  p.IZONE = s.IZONE;
  p.code = static_cast<Case>(s.CHRT);
  return p;
}

}  // namespace

ExpGuardError::ExpGuardError(double bar)
    : std::runtime_error("exponential argument " + shortest_real(bar) +
                         " of the model exceeds 700"),
      bar_(bar) {}

CheckedSettings check_settings(std::int32_t nterms, double errmax) {
  CheckedSettings c;
  std::int32_t n = nterms;
  if (n > 20 || n < 6) {
    c.nterms_out_of_range = true;
    n = 6;
  }
  if (n % 2 != 0) {
    c.nterms_raised = true;
    n = n + 1;
  }
  c.ERRBND = StehfestColumn(n).errbnd();
  double e = errmax;
  if (c.ERRBND < e) {
    c.errmax_lowered = true;
    e = 0.1 * c.ERRBND;
  }
  c.settings = Settings{n, e};
  return c;
}

Placement place(const Aquifer& aquifer, const PumpingWell& well, double XO, double YO) {
  Setup su(aquifer, well, Settings{}, 0.0);
  su.state.XO = XO;
  su.state.YO = YO;
  DiscardLines none;
  const WellGeometry g = place_observation_well(su.state, su.RW, 0.0, su.test.T3, none);
  return placement_of(su.state, g);
}

double near_well_correction(const Aquifer& aquifer, const Placement& p, double Q) {
  if (!p.corrected) return 0.0;
  return Q / (2.0 * kPi * aquifer.zone3.T) * p.corr_log;
}

LagTransform transform_at(const Aquifer& aquifer, const PumpingWell& well, const Settings& settings,
                          const Placement& p, double lag, Carry* carry) {
  LagTransform out;
  if (!(lag > 0.0)) return out;
  require_terms(settings);
  Setup su(aquifer, well, settings, 0.0);
  su.put(p);
  const double a = su.rc.ln2 / lag;
  const double step0 = integration_step(a, su.case_diffusivity());
  const StehfestColumn column(settings.NTERMS);
  RombergState romberg;
  romberg.Q = carry != nullptr ? carry->romberg_Q : 0.0;
  DiscardLines none;

  const double r1 = 1.0 / su.rc.D1;
  const double r2 = 1.0 / su.rc.D2;
  const double r3 = 1.0 / su.rc.D3;
  DrawdownIntegrand integrand{su.state};
  double DV = 0.0;
  int k = 0;
  auto term = [&](double pk) {
    su.state.PD1 = pk * r1;
    su.state.PD2 = pk * r2;
    su.state.PD3 = pk * r3;
    const IntervalIntegral r = rombint(integrand, kLowerLimit, step0, kUpperLimit, step0,
                                       kAbsTolerance, settings.ERRMAX, 0, romberg, none);
    const double depletion = deplet(su.state, su.test.STLEAK);
    ++k;
    // The depleted volume inverts DEPLT / p^2.
    DV = DV + column.weight(k) * depletion / pk / pk;
    return TermValues{r.integral, r.error_indicator, depletion};
  };
  Inversion inv;
  try {
    inv = invert(column, a, term, nullptr);
  } catch (const ExpGuardTrip& trip) {
    throw ExpGuardError(trip.bar());
  }
  if (carry != nullptr) carry->romberg_Q = romberg.Q;
  out.aXP = inv.aXP;
  out.aDP = inv.aDP;
  out.aESUM = inv.aESUM;
  out.aDV = a * DV;
  out.STEP0 = step0;
  return out;
}

LagTransform depletion_at(const Aquifer& aquifer, const PumpingWell& well, const Settings& settings,
                          double lag) {
  LagTransform out;
  if (!(lag > 0.0)) return out;
  require_terms(settings);
  Setup su(aquifer, well, settings, 0.0);
  const double a = su.rc.ln2 / lag;
  const StehfestColumn column(settings.NTERMS);
  const double r1 = 1.0 / su.rc.D1;
  const double r2 = 1.0 / su.rc.D2;
  const double r3 = 1.0 / su.rc.D3;
  double DP = 0.0;
  double DV = 0.0;
  double k = 1.0;
  try {
    for (int n = 1; n <= column.nterms(); ++n, k += 1.0) {
      const double pk = k * a;
      su.state.PD1 = pk * r1;
      su.state.PD2 = pk * r2;
      su.state.PD3 = pk * r3;
      const double depletion = deplet(su.state, su.test.STLEAK);
      const double V = column.weight(n);
      DP = DP + V * depletion / pk;
      DV = DV + V * depletion / pk / pk;
    }
  } catch (const ExpGuardTrip& trip) {
    throw ExpGuardError(trip.bar());
  }
  out.aDP = a * DP;
  out.aDV = a * DV;
  return out;
}

StepValues step_values(const Aquifer& aquifer, const Placement& p, const LagTransform& x,
                       double Q) {
  const double T3 = aquifer.zone3.T;
  const double scale = Q / (kPi * T3);
  StepValues v;
  v.draw = x.aXP * scale;
  if (p.corrected) v.draw = v.draw + near_well_correction(aquifer, p, Q);
  v.depl = kPi / Q * (x.aDP * scale);
  v.derr = x.aESUM * scale;
  v.vol = Q * (x.aDV / T3);
  return v;
}

Series well_series(const Aquifer& aquifer, const PumpingWell& well, const PumpingTest& test,
                   const Settings& settings, double XO, double YO, Carry* carry) {
  require_terms(settings);
  Setup su(aquifer, well, settings, test.Q);
  su.test.STOPT = test.STOPT;
  su.test.T0 = test.T0;
  su.test.T0STEP = test.T0STEP;
  su.test.TA = test.TA;
  su.test.NT = test.NT;
  su.state.XO = XO;
  su.state.YO = YO;
  DiscardLines none;
  const WellGeometry g = place_observation_well(su.state, su.RW, test.Q, su.test.T3, none);
  const StehfestColumn column(settings.NTERMS);
  RombergState romberg;
  romberg.Q = carry != nullptr ? carry->romberg_Q : 0.0;
  ModelInverter inverter(su.test, su.rc, column, su.state, romberg, none);
  Series s;
  try {
    WellSeries w = run_well(su.test, su.rc, g, su.state, inverter, none);
    s.TIME = std::move(w.TIME);
    s.DRAW = std::move(w.DRAW);
    s.DEPL = std::move(w.DEPL);
    s.DERR = std::move(w.DERR);
    s.ILAST = w.ILAST;
  } catch (const GuardStopAtStep& stop) {
    throw ExpGuardError(stop.bar());
  }
  if (carry != nullptr) carry->romberg_Q = romberg.Q;
  s.placement = placement_of(su.state, g);
  return s;
}

Deck parse_deck(std::string text, const std::string& file_name) {
  Deck d;
  try {
    deck::DeckReader reader(std::move(text), file_name);
    ModelState state;
    DiscardLines none;
    const StartUp u = read_start_up(reader, state, none);
    d.NOBS = u.NOBS;
    d.aquifer.zone1 = {u.test.T1, u.test.S1};
    d.aquifer.zone2 = {u.test.T2, u.test.S2};
    d.aquifer.zone3 = {u.test.T3, u.test.S3};
    d.aquifer.XLB = state.XLB;
    d.aquifer.XRB = state.XRB;
    d.aquifer.DN = state.DN;
    d.aquifer.K = u.K;
    d.aquifer.thickness = u.thickness;
    d.well = {state.XW, state.YW, u.RW};
    d.test = {u.test.Q, u.test.STOPT, u.test.T0, u.test.T0STEP, u.test.TA, u.test.NT};
    d.IPRT = u.test.IPRT;
    d.NTERMS = u.NTERMS_read;
    d.ERRMAX = u.ERRMAX_read;
    // Each later location is read over the record as the previous well left
    // it (moved), so that a null value behaves as in the run.
    for (std::int32_t w = 1;; ++w) {
      if (w > 1) reader.read_free(13 + w, "XO, YO", {&state.XO, &state.YO});
      d.observations.push_back({state.XO, state.YO});
      if (w >= u.NOBS) break;
      place_observation_well(state, u.RW, u.test.Q, u.test.T3, none);
    }
  } catch (const deck::DeckError& e) {
    throw DeckError(e.what());
  }
  return d;
}

}  // namespace kelvorat::engine
