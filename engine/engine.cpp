// The engine entry points: each call builds its own model record, Romberg
// storage and inversion from the values it is given, so calls share nothing
// and may run on several threads at once.  No line of any result file is
// produced here.
#include "kelvorat/engine.h"

#include <cmath>
#include <string>
#include <utility>

#include "driver/deck.h"
#include "driver/deck_reader.h"
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
  ZoneProperties zones;
  InversionSettings inversion;
  RunConstants rc;
  double RW = 0;

  Setup(const Aquifer& aq, const PumpingWell& w, const Settings& settings, double Q) {
    state.XW = w.XW;
    state.YW = w.YW;
    RW = w.RW;
    state.XLB = aq.XLB < 0.0 ? -aq.XLB : aq.XLB;
    state.XRB = aq.XRB;
    state.DN = aq.DN < 0.0 ? -aq.DN : aq.DN;
    zones = {aq.zone1.T, aq.zone1.S, aq.zone2.T, aq.zone2.S, aq.zone3.T, aq.zone3.S};
    inversion.STLEAK = aq.K / aq.thickness;
    state.STLEAKT = aq.K / (aq.thickness * zones.T2);
    inversion.ERRMAX = settings.ERRMAX;
    rc = prepare_run(zones, Q, state);
  }

  void put(const Placement& p) {
    state.XO = p.XO;
    state.YO = p.YO;
    state.IZONE = p.IZONE;
    state.CHRT = static_cast<CaseCode>(p.code);
    state.DY = state.YW - state.YO;
  }

  double case_diffusivity() const { return kelvorat::case_diffusivity(rc, state.CHRT); }
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
  // The deck's own checks.
  const TermCount terms = check_term_count(nterms);
  const Tolerance tol = check_tolerance(terms.NTERMS, errmax);
  CheckedSettings c;
  c.nterms_out_of_range = terms.out_of_range;
  c.nterms_raised = terms.raised;
  c.errmax_lowered = tol.lowered;
  c.ERRBND = tol.ERRBND;
  c.settings = Settings{terms.NTERMS, tol.ERRMAX};
  return c;
}

Placement place(const Aquifer& aquifer, const PumpingWell& well, double XO, double YO) {
  Setup su(aquifer, well, Settings{}, 0.0);
  su.state.XO = XO;
  su.state.YO = YO;
  const WellGeometry g = place_observation_well(su.state, su.RW, 0.0, su.zones.T3, nullptr);
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

  const double r1 = 1.0 / su.rc.D1;
  const double r2 = 1.0 / su.rc.D2;
  const double r3 = 1.0 / su.rc.D3;
  DrawdownIntegrand integrand{su.state};
  const IntegrationLimits lim{kLowerLimit, step0,         kUpperLimit,
                              step0,       kAbsTolerance, settings.ERRMAX};
  double DV = 0.0;
  int k = 0;
  auto term = [&](double pk) {
    su.state.PD1 = pk * r1;
    su.state.PD2 = pk * r2;
    su.state.PD3 = pk * r3;
    const IntegralResult r = rombint(integrand, lim, romberg, nullptr);
    const double depletion = deplet(su.state, su.inversion.STLEAK);
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
      const double depletion = deplet(su.state, su.inversion.STLEAK);
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
  const PumpingSchedule schedule{test.Q, test.STOPT, test.T0, test.T0STEP, test.TA, test.NT};
  su.state.XO = XO;
  su.state.YO = YO;
  const WellGeometry g = place_observation_well(su.state, su.RW, test.Q, su.zones.T3, nullptr);
  const StehfestColumn column(settings.NTERMS);
  RombergState romberg;
  romberg.Q = carry != nullptr ? carry->romberg_Q : 0.0;
  ModelInverter inverter(su.inversion, su.rc, column, su.state, romberg, nullptr);
  Series s;
  try {
    WellSeries w = run_well(schedule, su.rc, g, inverter, nullptr);
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
    // The records as the run reads them, checked but not echoed.
    const StartRead read = read_start_records(reader);
    if (read.error) throw *read.error;
    const StartRecords& r = read.records;
    const StartChecks c = check_start_records(r);
    d.NOBS = r.NOBS;
    d.aquifer.zone1 = {r.T1, r.S1};
    d.aquifer.zone2 = {r.T2, r.S2};
    d.aquifer.zone3 = {r.T3, r.S3};
    d.aquifer.XLB = c.XLB;
    d.aquifer.XRB = r.XRB;
    d.aquifer.DN = c.DN;
    d.aquifer.K = r.K;
    d.aquifer.thickness = r.thickness;
    d.well = {r.XW, r.YW, r.RW};
    d.test = {r.Q, r.STOPT, r.T0, r.T0STEP, r.TA, r.NT};
    d.IPRT = r.IPRT;
    d.NTERMS = r.NTERMS;
    d.ERRMAX = r.ERRMAX;
    // Each later location is read over the record as the previous well left
    // it (moved), so that a null value behaves as in the run.
    ModelState state;
    state.XO = r.XO;
    state.YO = r.YO;
    state.XW = r.XW;
    state.YW = r.YW;
    state.DN = c.DN;
    for (std::int32_t w = 1;; ++w) {
      if (w > 1) reader.read_free(13 + w, "XO, YO", {&state.XO, &state.YO});
      d.observations.push_back({state.XO, state.YO});
      if (w >= r.NOBS) break;
      place_observation_well(state, r.RW, r.Q, r.T3, nullptr);
    }
  } catch (const deck::DeckError& e) {
    throw DeckError(e.what());
  }
  return d;
}

}  // namespace kelvorat::engine
