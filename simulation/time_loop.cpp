#include "simulation/time_loop.h"

#include <cmath>

#include "model/depletion.h"
#include "model/drawdown_integrand.h"
#include "model/guarded_exp.h"
#include "numerics/growing_intervals.h"
#include "simulation/constants.h"

namespace kelvorat {

RunConstants prepare_run(const ZoneProperties& z, double Q, ModelState& state) {
  RunConstants rc;
  rc.D1 = z.T1 / z.S1;
  rc.D2 = z.T2 / z.S2;
  rc.D3 = z.T3 / z.S3;
  state.R12 = z.T1 / z.T2;
  state.R23 = z.T2 / z.T3;
  rc.ln2 = std::log(2.0);
  rc.scale = Q / (kPi * z.T3);
  return rc;
}

double integration_step(double a, double dc) {
  // A whole number held as a real: truncation without a conversion to an
  // integer type, so an infinite or undefined ratio stays harmless.
  const double kexp = std::trunc(std::log10(a / dc) * kInvStepFactor - 1.0);
  return std::pow(10.0, kexp);
}

double case_diffusivity(const RunConstants& rc, CaseCode c) {
  switch (c) {
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

namespace {

double cut_depletion(double ratio) { return ratio < kDepletionCut ? 0.0 : ratio; }

}  // namespace

Inversion ModelInverter::at(double a, double step0, bool trace) {
  const double r1 = 1.0 / rc_.D1;
  const double r2 = 1.0 / rc_.D2;
  const double r3 = 1.0 / rc_.D3;
  DrawdownIntegrand integrand{state_};
  const IntegrationLimits lim{kLowerLimit, step0,         kUpperLimit,
                              step0,       kAbsTolerance, settings_.ERRMAX};
  auto term = [&](double p) {
    state_.PD1 = p * r1;
    state_.PD2 = p * r2;
    state_.PD3 = p * r3;
    const IntegralResult r = rombint(integrand, lim, romberg_, trace_);
    const double depletion = deplet(state_, settings_.STLEAK);
    return TermValues{r.integral, r.error_indicator, depletion};
  };
  return invert(column_, a, term, trace ? trace_ : nullptr);
}

StepValues scale_inversion(const Inversion& inv, const RunConstants& rc, const WellGeometry& geom,
                           double Q) {
  StepValues v;
  v.draw = inv.aXP * rc.scale;
  if (geom.corrected) v.draw = v.draw + geom.CORR;
  v.depl = cut_depletion(kPi / Q * (inv.aDP * rc.scale));
  return v;
}

WellSeries run_well(const PumpingSchedule& t, const RunConstants& rc, const WellGeometry& geom,
                    Inverter& inverter, RunTrace* trace) {
  WellSeries w;
  const std::int32_t nt = t.NT > 0 ? t.NT : 0;
  const double dc = case_diffusivity(rc, geom.CHRT);
  w.TIME.reserve(static_cast<std::size_t>(nt));
  w.DRAW.reserve(static_cast<std::size_t>(nt));
  w.DEPL.reserve(static_cast<std::size_t>(nt));
  w.DERR.reserve(static_cast<std::size_t>(nt));

  double time = t.T0;
  double dt = t.T0STEP;
  for (std::int32_t i = 1; i <= nt; ++i) {
    w.TIME.push_back(time);
    double draw = 0.0;
    double depl = 0.0;
    double derr = 0.0;
    // Nothing has happened before pumping starts: a time at or before zero
    // gets no inversion and reports zero.
    if (time > 0.0) {
      bool recovery = false;
      try {
        const double a = rc.ln2 / time;
        const double step0 = integration_step(a, dc);
        if (trace != nullptr) trace->on_step_setup(i, step0);
        const Inversion inv = inverter.at(a, step0, true);
        const StepValues pumping = scale_inversion(inv, rc, geom, t.Q);
        draw = pumping.draw;
        depl = pumping.depl;
        derr = inv.aESUM * rc.scale;
        if (draw < kDrawdownCut) w.ILAST = i;

        // After the stop, superpose a recovery well that starts at STOPT.
        if (t.STOPT > 0.0 && time > t.STOPT) {
          recovery = true;
          const double ar = rc.ln2 / (time - t.STOPT);
          const double step0r = integration_step(ar, dc);
          if (trace != nullptr) {
            trace->on_recovery_start();
            trace->on_step_setup(i, step0r);
          }
          const StepValues rec = scale_inversion(inverter.at(ar, step0r, false), rc, geom, t.Q);
          if (1.0 - rec.depl < kFullDepletionBound && 1.0 - depl < kFullDepletionBound) {
            draw = 0.0;
            depl = 0.0;
          } else {
            draw = draw - rec.draw;
            depl = depl - rec.depl;
          }
        }
      } catch (const ExpGuardTrip& trip) {
        throw GuardStopAtStep(trip.bar(), i, time, recovery);
      }
    } else {
      w.ILAST = i;  // its zero drawdown is below the cut like any other
    }
    w.DRAW.push_back(draw);
    w.DEPL.push_back(depl);
    w.DERR.push_back(derr);
    if (i < nt) {
      dt = dt * t.TA;
      time = time + dt;
    }
  }
  return w;
}

}  // namespace kelvorat
