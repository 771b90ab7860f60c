// The body of a run: for one observation well, the drawdown, the stream
// depletion ratio and the drawdown error estimate at every output time, with
// the recovery after pumping stops.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "model/model_state.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"
#include "simulation/trace.h"

namespace kelvorat {

// Transmissivity and storage coefficient of the three zones.
struct ZoneProperties {
  double T1 = 0, S1 = 0, T2 = 0, S2 = 0, T3 = 0, S3 = 0;
};

// The pumping and its output times (metres and days): what the time loop
// reads.
struct PumpingSchedule {
  double Q = 0;       // pumping rate
  double STOPT = 0;   // pumping stops at this time; <= 0: never
  double T0 = 0;      // first output time
  double T0STEP = 0;  // first time increment
  double TA = 0;      // growth factor of the increment
  std::int32_t NT = 0;
};

// What the inversion of the model reads besides the well's state.
struct InversionSettings {
  double ERRMAX = 0;  // relative tolerance of the integration, after its checks
  double STLEAK = 0;  // streambed K / streambed thickness
};

// Values formed once per run, before the first well.
struct RunConstants {
  double D1 = 0, D2 = 0, D3 = 0;  // zone diffusivities T/S
  double ln2 = 0;
  double scale = 0;  // Q / (pi * T3), turns the inverted integral into metres
};

// Forms the run constants and stores R12 and R23 in the model record.
RunConstants prepare_run(const ZoneProperties& zones, double Q, ModelState& state);

// One well's series; entry i-1 belongs to time step i.
struct WellSeries {
  std::vector<double> TIME, DRAW, DEPL, DERR;
  std::int32_t ILAST = 0;  // the last step whose drawdown came out below 1e-10
};

// The exponential guard stopped the run inside the inversion of time step
// `step` (in the recovery inversion when `recovery`).
class GuardStopAtStep : public std::exception {
 public:
  GuardStopAtStep(double bar, int step, double time, bool recovery)
      : bar_(bar), step_(step), time_(time), recovery_(recovery) {}
  double bar() const noexcept { return bar_; }
  int step() const noexcept { return step_; }
  double time() const noexcept { return time_; }
  bool recovery() const noexcept { return recovery_; }
  const char* what() const noexcept override { return "exponential argument above 700"; }

 private:
  double bar_;
  int step_;
  double time_;
  bool recovery_;
};

// The Stehfest inversion of drawdown, depletion and error estimate at one
// base rate a = ln2 / t, with the integration step step0 of its integrals.
// `trace` asks for the running sums after every term (pumping phase only).
class Inverter {
 public:
  virtual ~Inverter() = default;
  virtual Inversion at(double a, double step0, bool trace) = 0;
};

// The inversion of the model for one placed observation well.  It owns its
// copy of the model record: every term stores p over the zone diffusivities
// there, integrates the drawdown integrand over the wavenumber and evaluates
// the depletion transform.  The Romberg storage is the caller's, so its
// measure Q can be carried from well to well.
class ModelInverter final : public Inverter {
 public:
  ModelInverter(const InversionSettings& settings, const RunConstants& rc,
                const StehfestColumn& column, const ModelState& well, RombergState& romberg,
                RunTrace* trace)
      : settings_(settings),
        rc_(rc),
        column_(column),
        state_(well),
        romberg_(romberg),
        trace_(trace) {}
  Inversion at(double a, double step0, bool trace) override;

 private:
  InversionSettings settings_;
  const RunConstants& rc_;
  const StehfestColumn& column_;
  ModelState state_;
  RombergState& romberg_;
  RunTrace* trace_;
};

// Drawdown (with the near-well correction) and the depletion ratio (with
// its cut) of one inversion for rate Q: shared by pumping and recovery.
struct StepValues {
  double draw = 0;
  double depl = 0;
};
StepValues scale_inversion(const Inversion& inv, const RunConstants& rc, const WellGeometry& geom,
                           double Q);

// Runs the time steps of the well placed with `geom` and returns its
// series; the inversion set-up of every step is reported to `trace` (may be
// null).  Throws GuardStopAtStep.
WellSeries run_well(const PumpingSchedule& schedule, const RunConstants& rc,
                    const WellGeometry& geom, Inverter& inverter, RunTrace* trace);

// The integration step 10^KEXP for base rate a in a zone of diffusivity dc.
double integration_step(double a, double dc);

// The diffusivity of the zone whose profile the integrand evaluates for case
// code `c`: it sets the integration step.
double case_diffusivity(const RunConstants& rc, CaseCode c);

}  // namespace kelvorat
