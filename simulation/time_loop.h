// The body of a run: for one observation well, the drawdown, the stream
// depletion ratio and the drawdown error estimate at every output time, with
// the recovery after pumping stops, and the well's result tables.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "driver/line_sink.h"
#include "model/model_state.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"

namespace kelvorat {

// The deck values the time loop needs (metres and days).
struct PumpingTest {
  double Q = 0;       // pumping rate
  double STOPT = 0;   // pumping stops at this time; <= 0: never
  double T0 = 0;      // first output time
  double T0STEP = 0;  // first time increment
  double TA = 0;      // growth factor of the increment
  std::int32_t NT = 0;
  std::int32_t IPRT = 0;
  double T1 = 0, S1 = 0, T2 = 0, S2 = 0, T3 = 0, S3 = 0;
  double STLEAK = 0;  // streambed K / streambed thickness
  double ERRMAX = 0;  // relative tolerance of the integration, after its checks
};

// Values formed once per run, before the first well.
struct RunConstants {
  double D1 = 0, D2 = 0, D3 = 0;  // zone diffusivities T/S
  double ln2 = 0;
  double scale = 0;  // Q / (pi * T3), turns the inverted integral into metres
};

// Forms the run constants and stores R12 and R23 in the model record.
RunConstants prepare_run(const PumpingTest& test, ModelState& state);

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

// The inversion of the model: every term stores p over the zone
// diffusivities in the model record, integrates the drawdown integrand over
// the wavenumber and evaluates the depletion transform.
class ModelInverter final : public Inverter {
 public:
  ModelInverter(const PumpingTest& test, const RunConstants& rc, const StehfestColumn& column,
                ModelState& state, RombergState& romberg, LineSink& sink)
      : test_(test), rc_(rc), column_(column), state_(state), romberg_(romberg), sink_(sink) {}
  Inversion at(double a, double step0, bool trace) override;

 private:
  const PumpingTest& test_;
  const RunConstants& rc_;
  const StehfestColumn& column_;
  ModelState& state_;
  RombergState& romberg_;
  LineSink& sink_;
};

// Runs the time steps of the well whose geometry `geom` has just been fixed
// in `state`, writes its step diagnostics and then its tables.
WellSeries run_well(const PumpingTest& test, const RunConstants& rc, const WellGeometry& geom,
                    const ModelState& state, Inverter& inverter, LineSink& sink);

// The integration step 10^KEXP for base rate a in a zone of diffusivity dc.
double integration_step(double a, double dc);

}  // namespace kelvorat
