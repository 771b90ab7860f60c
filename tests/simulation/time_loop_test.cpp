// The time loop with a scripted inversion: output times, integration step,
// thresholds, the recovery after the stop of pumping, and the rows that
// reach the table files.
#include "simulation/time_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "driver/deck.h"
#include "driver/field_format.h"
#include "driver/trace_writer.h"
#include "simulation/constants.h"
#include "support/recording_sink.h"

namespace kelvorat {
namespace {

using Recorder = testing::RecordingSink;

// Hands out scripted inversions (the last one again when the script runs
// out) and records every call.
struct ScriptedInverter final : Inverter {
  struct Call {
    double a, step0;
    bool trace;
  };
  std::deque<Inversion> script;
  Inversion fallback{1.0, 0.0, 0.0};
  std::vector<Call> calls;
  Inversion at(double a, double step0, bool trace) override {
    calls.push_back({a, step0, trace});
    if (script.empty()) return fallback;
    fallback = script.front();
    script.pop_front();
    return fallback;
  }
};

struct Fixture {
  PumpingTest t;
  RunConstants rc;
  ModelState s;
  WellGeometry g;
  Fixture() {
    t.Q = 1000;
    t.T0 = 1;
    t.T0STEP = 1;
    t.TA = 2;
    t.NT = 4;
    t.T1 = t.T2 = t.T3 = 100;
    t.S1 = t.S2 = t.S3 = 0.1;
    t.ERRMAX = 1e-6;
    rc = prepare_run(t.zones(), t.Q, s);
    s.XW = 100;
    s.XO = 50;
    s.DN = 10;
    s.CHRT = CaseCode::A3;
  }
  // The well's series with its step lines and tables, as the run writes them.
  WellSeries run(Inverter& inv, Recorder& rec) {
    TraceWriter trace(rec, 0);
    g.CHRT = s.CHRT;
    const WellSeries w = run_well(t.schedule(), rc, g, inv, &trace);
    write_well_tables({t.Q, t.T3, t.S3}, s, w, rec);
    return w;
  }
};

TEST(TimeLoop, RunConstants) {
  Fixture f;
  EXPECT_EQ(f.rc.D1, 100 / 0.1);
  EXPECT_EQ(f.s.R12, 1.0);
  EXPECT_EQ(f.rc.ln2, std::log(2.0));
  EXPECT_EQ(f.rc.scale, 1000 / (3.1415927410125732 * 100));
}

TEST(TimeLoop, OutputTimesGrowByTheIncrementFactor) {
  Fixture f;
  ScriptedInverter inv;
  Recorder rec;
  f.t.NT = 5;
  EXPECT_EQ(f.run(inv, rec).TIME, (std::vector<double>{1, 3, 7, 15, 31}));
  f.t.TA = 1;
  f.t.T0 = 0.5;
  f.t.T0STEP = 0.25;
  EXPECT_EQ(f.run(inv, rec).TIME, (std::vector<double>{0.5, 0.75, 1.0, 1.25, 1.5}));
  // Every step inverts at a = ln2 / t.
  ASSERT_EQ(inv.calls.size(), 10u);
  EXPECT_EQ(inv.calls[6].a, std::log(2.0) / 0.75);
  EXPECT_TRUE(inv.calls[6].trace);
}

TEST(TimeLoop, IntegrationStepFromRateOverDiffusivity) {
  EXPECT_EQ(integration_step(1e-6, 1.0), 0.001);  // -3.14 truncates to -3
  EXPECT_EQ(integration_step(1.0, 1.0), 0.1);
  EXPECT_EQ(integration_step(2e3, 2.0), 1.0);  // 0.071 truncates to 0
  EXPECT_EQ(integration_step(1e6, 1.0), 10.0);
  // A zero storativity makes the diffusivity infinite: no undefined
  // behaviour, the step merely becomes 0.
  EXPECT_EQ(integration_step(1.0, HUGE_VAL), 0.0);
}

TEST(TimeLoop, CaseCodePicksTheDiffusivityOfTheStep) {
  Fixture f;
  f.t.NT = 1;
  f.t.S1 = 1e-3;  // D1 = 1e5
  f.t.S2 = 1e3;   // D2 = 0.1
  f.rc = prepare_run(f.t.zones(), f.t.Q, f.s);
  const double a = std::log(2.0);
  for (auto [code, dc] : {std::pair{CaseCode::A1, 1e5}, std::pair{CaseCode::A2, 0.1},
                          std::pair{CaseCode::A3, 1000.0}, std::pair{CaseCode::A4, 1000.0}}) {
    ScriptedInverter inv;
    Recorder rec;
    f.s.CHRT = code;
    f.run(inv, rec);
    EXPECT_EQ(inv.calls.at(0).step0, integration_step(a, dc));
  }
}

TEST(TimeLoop, DrawdownDepletionAndErrorScaling) {
  Fixture f;
  f.t.NT = 1;
  ScriptedInverter inv;
  inv.script = {{2.0, 50.0, 0.125}};
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  EXPECT_EQ(w.DRAW[0], 2.0 * f.rc.scale);
  EXPECT_EQ(w.DEPL[0], kPi / 1000 * (50.0 * f.rc.scale));
  EXPECT_EQ(w.DERR[0], 0.125 * f.rc.scale);
  // The set-up line, then the table with its two header lines.
  ASSERT_EQ(rec.adet().size(), 4u);
  EXPECT_EQ(rec.adet()[0], "       1       0.100000E-01  0.1000000000E-19 0.1000E+21  0.1000E-01");
  EXPECT_EQ(rec.adet()[1], "   TIME STEP        TIME         DRAWDOWN        ERROR");
  EXPECT_EQ(rec.adet()[2], "                    DAYS            M              M");
  EXPECT_EQ(rec.adet()[3].size(), 68u);
}

TEST(TimeLoop, SmallDepletionIsCutToZero) {
  Fixture f;
  f.t.NT = 3;
  f.t.Q = kPi * 100;  // makes the depletion ratio equal to a DP / T3 * ...
  f.rc = prepare_run(f.t.zones(), f.t.Q, f.s);
  ScriptedInverter inv;
  // DEPL = (pi/Q) (aDP Q/(pi T3)) ~ aDP / 100.
  inv.script = {{1, 0.9e-6, 0}, {1, -5.0, 0}, {1, 1.1e-6, 0}};
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  EXPECT_EQ(w.DEPL[0], 0.0);
  EXPECT_EQ(w.DEPL[1], 0.0);
  EXPECT_GT(w.DEPL[2], 1e-8);
}

TEST(TimeLoop, RowsUpToTheLastTinyDrawdownStayOutOfTheTableFiles) {
  Fixture f;
  f.t.NT = 5;
  ScriptedInverter inv;
  // Drawdowns: large, tiny, large, tiny, large.
  inv.script = {{1, 0, 0}, {1e-12, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {1, 0, 0}};
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  EXPECT_EQ(w.ILAST, 4);
  EXPECT_EQ(rec.kelvorat().size(), 1u);
  EXPECT_EQ(rec.kelvdim().size(), 1u);
  EXPECT_EQ(rec.dim2().size(), 1u);
  // adet.res keeps all five rows after the five set-up lines and the header.
  EXPECT_EQ(rec.adet().size(), 5u + 2 + 5);
  EXPECT_EQ(rec.kelvorat()[0].substr(0, 12), "  0.3100E+02");
}

TEST(TimeLoop, NoStepsWritesOnlyTheHeader) {
  Fixture f;
  for (std::int32_t nt : {0, -3}) {
    f.t.NT = nt;
    ScriptedInverter inv;
    Recorder rec;
    const WellSeries w = f.run(inv, rec);
    EXPECT_TRUE(inv.calls.empty());
    EXPECT_EQ(rec.adet().size(), 2u);
    EXPECT_TRUE(rec.kelvorat().empty());
    EXPECT_TRUE(w.TIME.empty());
  }
}

TEST(TimeLoop, MoreThanFiftyStepsAreAllComputedAndWritten) {
  Fixture f;
  f.t.NT = 60;
  f.t.TA = 1;
  ScriptedInverter inv;
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  EXPECT_EQ(inv.calls.size(), 60u);
  EXPECT_EQ(w.TIME.back(), 60.0);
  EXPECT_EQ(rec.kelvorat().size(), 60u);
  EXPECT_EQ(rec.adet().back().substr(4, 4), "  60");
}

TEST(TimeLoop, TimesAtOrBeforeZeroAreNotInverted) {
  Fixture f;
  f.t.NT = 4;
  f.t.T0 = -1;
  f.t.T0STEP = 1;
  f.t.TA = 1;  // -1, 0, 1, 2
  ScriptedInverter inv;
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  ASSERT_EQ(inv.calls.size(), 2u);
  EXPECT_EQ(inv.calls[0].a, std::log(2.0));
  EXPECT_EQ(w.DRAW[0], 0.0);
  EXPECT_EQ(w.DRAW[1], 0.0);
  EXPECT_EQ(w.DEPL[1], 0.0);
  EXPECT_EQ(w.DERR[1], 0.0);
  EXPECT_EQ(w.ILAST, 2);
  // Two set-up lines (steps 3 and 4) before the table.
  EXPECT_EQ(rec.adet()[0].substr(4, 4), "   3");
  EXPECT_EQ(rec.adet().size(), 2u + 2 + 4);
  EXPECT_EQ(rec.kelvorat().size(), 2u);
}

TEST(TimeLoop, RecoveryStartsAfterTheStopOfPumping) {
  Fixture f;
  f.t.NT = 4;  // 1, 3, 7, 15
  for (double stopt : {0.0, -5.0}) {
    f.t.STOPT = stopt;
    ScriptedInverter inv;
    Recorder rec;
    f.run(inv, rec);
    EXPECT_EQ(inv.calls.size(), 4u);
  }
  f.t.STOPT = 3;  // t = 3 has no recovery; 7 and 15 have one each
  ScriptedInverter inv;
  inv.fallback = {2.0, 0.0, 0.0};
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  ASSERT_EQ(inv.calls.size(), 6u);
  EXPECT_FALSE(inv.calls[3].trace);
  EXPECT_EQ(inv.calls[3].a, std::log(2.0) / (7.0 - 3.0));
  EXPECT_TRUE(inv.calls[4].trace);
  // The same inversion for pumping and recovery: residual drawdown 0.
  EXPECT_EQ(w.DRAW[2], 0.0);
  EXPECT_EQ(rec.adet()[3], " ****FOR RESIDUAL DRAWDOWAN AND DEPLETION**");
  EXPECT_EQ(rec.adet()[4].substr(0, 8), "       3");
}

TEST(TimeLoop, FullDepletionOnBothSidesOfTheStopReportsZero) {
  Fixture f;
  f.t.NT = 2;  // 1, 3
  f.t.STOPT = 2;
  f.t.Q = kPi * 100;
  f.rc = prepare_run(f.t.zones(), f.t.Q, f.s);
  const double full = 100.0;  // a depletion ratio of 1, near enough
  {
    ScriptedInverter inv;
    inv.script = {{1, full, 0}, {3, full * 0.9995, 0.5}, {1, full * 0.9995, 0}};
    Recorder rec;
    const WellSeries w = f.run(inv, rec);
    EXPECT_EQ(w.DRAW[1], 0.0);
    EXPECT_EQ(w.DEPL[1], 0.0);
    EXPECT_EQ(w.DERR[1], 0.5 * f.rc.scale);  // the error estimate stays
  }
  {
    // Only the pumping ratio is near 1: both subtractions take place, and a
    // negative difference is not cut.
    ScriptedInverter inv;
    inv.script = {{1, full, 0}, {3, full * 0.9995, 0}, {1, full * 0.99, 0}};
    Recorder rec;
    const WellSeries w = f.run(inv, rec);
    EXPECT_EQ(w.DRAW[1], 3 * f.rc.scale - 1 * f.rc.scale);
    const double pumping = kPi / f.t.Q * (full * 0.9995 * f.rc.scale);
    const double recovery = kPi / f.t.Q * (full * 0.99 * f.rc.scale);
    EXPECT_EQ(w.DEPL[1], pumping - recovery);
  }
  {
    ScriptedInverter inv;
    inv.script = {{1, full, 0}, {3, 0.5e-6, 0}, {1, 0.75e-6 * 100, 0}};
    Recorder rec;
    const WellSeries w = f.run(inv, rec);
    EXPECT_LT(w.DEPL[1], 0.0);  // 0 (cut) minus the recovery ratio
  }
}

TEST(TimeLoop, NearWellCorrectionIsAddedToPumpingAndRecovery) {
  Fixture f;
  f.t.NT = 2;
  f.t.STOPT = 2;
  f.g.corrected = true;
  f.g.CORR = 0.25;
  ScriptedInverter inv;
  inv.script = {{1, 0, 0}, {3, 0, 0}, {1, 0, 0}};
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  EXPECT_EQ(w.DRAW[0], 1 * f.rc.scale + 0.25);
  EXPECT_EQ(w.DRAW[1], (3 * f.rc.scale + 0.25) - (1 * f.rc.scale + 0.25));
}

TEST(TimeLoop, DimensionlessRows) {
  Fixture f;
  f.t.NT = 1;
  f.s.YO = 0;
  f.s.YW = 0;
  ScriptedInverter inv;
  inv.script = {{kPi / 10.0, 0, 0}};  // drawdown 1 / 10 * Q / T3 = 1
  Recorder rec;
  const WellSeries w = f.run(inv, rec);
  // r = 50, T3 t / (DN^2 S3) = 100 / 10 = 10; 4 T3 t / (r^2 S3) = 400 / 250 = 1.6.
  EXPECT_EQ(rec.kelvdim().at(0).substr(0, 12), "  0.1000E+02");
  EXPECT_EQ(rec.dim2().at(0).substr(0, 12), "  0.1600E+01");
  EXPECT_EQ(rec.kelvdim().at(0).substr(16, 12),
            fmt::format_line("E12.4", {100 * w.DRAW[0] / 1000}));
}

TEST(TimeLoop, StepEventsInOrderAndTheSameSeriesWithoutATrace) {
  Fixture f;
  f.t.NT = 3;  // 1, 3, 7
  f.t.STOPT = 2;
  f.g.CHRT = f.s.CHRT;
  ScriptedInverter a, b;
  a.fallback = b.fallback = {3.0, 1.0, 0.5};
  testing::RecordingTrace trace;
  const WellSeries traced = run_well(f.t.schedule(), f.rc, f.g, a, &trace);
  const WellSeries quiet = run_well(f.t.schedule(), f.rc, f.g, b, nullptr);
  std::vector<std::string> names;
  for (const auto& e : trace.events()) names.push_back(e.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"step_setup", "step_setup", "recovery_start", "step_setup",
                                      "step_setup", "recovery_start", "step_setup"}));
  EXPECT_EQ(trace.events()[3].values[0], 2.0);  // the recovery set-up keeps its step number
  EXPECT_EQ(traced.DRAW, quiet.DRAW);
  EXPECT_EQ(traced.DEPL, quiet.DEPL);
  EXPECT_EQ(a.calls.size(), b.calls.size());
}

}  // namespace
}  // namespace kelvorat
