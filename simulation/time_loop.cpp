#include "simulation/time_loop.h"

#include <cmath>

#include "driver/field_format.h"
#include "model/depletion.h"
#include "model/drawdown_integrand.h"
#include "model/guarded_exp.h"
#include "numerics/growing_intervals.h"
#include "simulation/constants.h"

namespace kelvorat {

RunConstants prepare_run(const PumpingTest& t, ModelState& state) {
  RunConstants rc;
  rc.D1 = t.T1 / t.S1;
  rc.D2 = t.T2 / t.S2;
  rc.D3 = t.T3 / t.S3;
  state.R12 = t.T1 / t.T2;
  state.R23 = t.T2 / t.T3;
  rc.ln2 = std::log(2.0);
  rc.scale = t.Q / (kPi * t.T3);
  return rc;
}

double integration_step(double a, double dc) {
  // A whole number held as a real: truncation without a conversion to an
  // integer type, so an infinite or undefined ratio stays harmless.
  const double kexp = std::trunc(std::log10(a / dc) * kInvStepFactor - 1.0);
  return std::pow(10.0, kexp);
}

namespace {

// The diffusivity of the zone whose profile the integrand evaluates.
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

void write_setup_line(LineSink& sink, int step, double step0) {
  sink.line(Channel::adet, fmt::format_line("4X,I4,3X,E16.6,E18.10,E11.4,E12.4",
                                            {step, step0, kLowerLimit, kUpperLimit, step0}));
}

}  // namespace

Inversion ModelInverter::at(double a, double step0, bool trace) {
  const double r1 = 1.0 / rc_.D1;
  const double r2 = 1.0 / rc_.D2;
  const double r3 = 1.0 / rc_.D3;
  DrawdownIntegrand integrand{state_};
  auto term = [&](double p) {
    state_.PD1 = p * r1;
    state_.PD2 = p * r2;
    state_.PD3 = p * r3;
    const IntervalIntegral r = rombint(integrand, kLowerLimit, step0, kUpperLimit, step0,
                                       kAbsTolerance, test_.ERRMAX, test_.IPRT, romberg_, sink_);
    const double depletion = deplet(state_, test_.STLEAK);
    return TermValues{r.integral, r.error_indicator, depletion};
  };
  return invert(column_, a, term, trace ? &sink_ : nullptr);
}

namespace {

double cut_depletion(double ratio) { return ratio < kDepletionCut ? 0.0 : ratio; }

void write_tables(const PumpingTest& t, const ModelState& s, const WellSeries& w, LineSink& sink) {
  sink.line(Channel::adet, "   TIME STEP        TIME         DRAWDOWN        ERROR");
  sink.line(Channel::adet, "                    DAYS            M              M");
  const double dx = s.XW - s.XO;
  const double dy = s.YW - s.YO;
  const double rdist = std::sqrt(dx * dx + dy * dy);
  const auto n = static_cast<std::int32_t>(w.TIME.size());
  for (std::int32_t j = 1; j <= n; ++j) {
    const double time = w.TIME[j - 1];
    const double draw = w.DRAW[j - 1];
    const double depl = w.DEPL[j - 1];
    sink.line(Channel::adet, fmt::format_line("4X,I4,3X,E16.6,E18.10,E11.4,E12.4",
                                              {j, time, draw, w.DERR[j - 1], depl}));
    if (j <= w.ILAST) continue;
    // Dimensionless forms: time and drawdown scaled by the width of the
    // stream zone, and by the distance between the wells.
    const double tdn = t.T3 * time / (s.DN * s.DN * t.S3);
    const double sdn = t.T3 * draw / t.Q;
    const double tdr = 4.0 * t.T3 * time / (rdist * rdist * t.S3);
    const double sdr = 4.0 * kPi * t.T3 * draw / t.Q;
    constexpr const char* kRow = "E12.4,4X,E12.4,4X,E12.4";
    sink.line(Channel::kelvorat, fmt::format_line(kRow, {time, draw, t.Q * depl}));
    sink.line(Channel::kelvdim, fmt::format_line(kRow, {tdn, sdn, depl}));
    sink.line(Channel::dim2, fmt::format_line(kRow, {tdr, sdr, depl}));
  }
}

}  // namespace

WellSeries run_well(const PumpingTest& t, const RunConstants& rc, const WellGeometry& geom,
                    const ModelState& state, Inverter& inverter, LineSink& sink) {
  WellSeries w;
  const std::int32_t nt = t.NT > 0 ? t.NT : 0;
  const double dc = case_diffusivity(rc, state.CHRT);

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
        write_setup_line(sink, i, step0);
        const Inversion inv = inverter.at(a, step0, true);
        draw = inv.aXP * rc.scale;
        if (geom.corrected) draw = draw + geom.CORR;
        depl = cut_depletion(kPi / t.Q * (inv.aDP * rc.scale));
        derr = inv.aESUM * rc.scale;
        if (draw < kDrawdownCut) w.ILAST = i;

        // After the stop, superpose a recovery well that starts at STOPT.
        if (t.STOPT > 0.0 && time > t.STOPT) {
          recovery = true;
          const double ar = rc.ln2 / (time - t.STOPT);
          const double step0r = integration_step(ar, dc);
          sink.line(Channel::adet,
                    fmt::FreeRecord().text("****FOR RESIDUAL DRAWDOWAN AND DEPLETION**").str());
          write_setup_line(sink, i, step0r);
          const Inversion rec = inverter.at(ar, step0r, false);
          double rdraw = rec.aXP * rc.scale;
          if (geom.corrected) rdraw = rdraw + geom.CORR;
          const double rdepl = cut_depletion(kPi / t.Q * (rec.aDP * rc.scale));
          if (1.0 - rdepl < kFullDepletionBound && 1.0 - depl < kFullDepletionBound) {
            draw = 0.0;
            depl = 0.0;
          } else {
            draw = draw - rdraw;
            depl = depl - rdepl;
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
  write_tables(t, state, w, sink);
  return w;
}

}  // namespace kelvorat
