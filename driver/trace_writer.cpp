#include "driver/trace_writer.h"

#include <cmath>

#include "driver/field_format.h"
#include "model/guarded_exp.h"
#include "simulation/constants.h"

namespace kelvorat {

namespace {
// D, the estimate, the absolute difference, IR, A, B after the marker.
constexpr char kZeroLine[] = "'@@ ',3E12.4,I4,2E12.4";
constexpr char kExhaustedLine[] = "'$$ ',3E12.4,I4,2E12.4";
constexpr char kSetupLine[] = "4X,I4,3X,E16.6,E18.10,E11.4,E12.4";
}  // namespace

void TraceWriter::on_integral_start() {
  if (IPRT_ == 0) return;
  sink_.line(
      Channel::tromb,
      fmt::format_line("'    VALUE OF INTG  LAT. IMP    ABS. ERR. IQP','      A           B'", {}));
}

void TraceWriter::on_romberg_end(int IR, double D, const RombergResult& r, double final_diff,
                                 double A, double B) {
  if (IPRT_ == 0) return;
  const auto ir = static_cast<std::int32_t>(IR);
  if (r.status == RombergStatus::zero_interval) {
    if (IR == 1) sink_.line(Channel::tromb, " SOLUTION FOR INTEGRATION IS ZERO");
    sink_.line(Channel::tromb, fmt::format_line(kZeroLine, {D, 0.0, 0.0, ir, A, B}));
  } else if (r.status == RombergStatus::exhausted) {
    if (IR == 1) sink_.line(Channel::tromb, " SOLUTION FOR INTEGRATION DOES NOT CONVERGE ");
    sink_.line(Channel::tromb,
               fmt::format_line(kExhaustedLine, {D, r.value, final_diff, ir, A, B}));
  }
}

void TraceWriter::on_interval(int IR, double A, double ENDG, double TPS, double C) {
  sink_.line(
      Channel::adet,
      fmt::FreeRecord().text(" IR = ").integer(IR).real(A).real(ENDG).real(TPS).real(C).str());
}

void TraceWriter::on_integral_stop(IntegralEnding ending, int IR, double ERR, double TPS, double C,
                                   double ENDG) {
  switch (ending) {
    case IntegralEnding::converged:
      return;
    case IntegralEnding::zero_total:
      sink_.line(Channel::adet, fmt::FreeRecord().text("TPS = ").real(TPS).str());
      return;
    case IntegralEnding::range_exhausted:
      sink_.line(Channel::adet, fmt::FreeRecord()
                                    .text("*** TPS = ")
                                    .real(TPS)
                                    .text(" C = ")
                                    .real(C)
                                    .text(" INCREASE THE RANGE OF INTEGRATION.")
                                    .str());
      return;
    case IntegralEnding::interval_limit:
      sink_.line(Channel::adet, fmt::FreeRecord()
                                    .text("SOLUTION NOT CONVERGE FOR I = ")
                                    .integer(IR)
                                    .text(" WITH ERR = ")
                                    .real(ERR)
                                    .text(" TPS = ")
                                    .real(TPS)
                                    .text(" C = ")
                                    .real(C)
                                    .text(" ENDG = ")
                                    .real(ENDG)
                                    .str());
      return;
  }
}

void TraceWriter::on_integral_summary(double ENDG, double C, double TPS, double ERR,
                                      double reltol) {
  if (IPRT_ == 0) return;
  sink_.line(Channel::adet, fmt::format_line("6E12.4", {ENDG, C, TPS, ERR, reltol}));
  sink_.line(Channel::tromb, fmt::FreeRecord().str());
  sink_.line(Channel::tromb, fmt::FreeRecord().text("NOTE: ").str());
  sink_.line(Channel::tromb,
             fmt::FreeRecord().text("   $$ MEAN SOL.FOR INTEG. DOES NOT CONVERGE").str());
  sink_.line(Channel::tromb, fmt::FreeRecord().text("   @@ MEAN SOL.FOR INTEG. IS ZERO").str());
  sink_.line(Channel::tromb, fmt::FreeRecord().str());
}

void TraceWriter::on_term(double DP, double XP) {
  sink_.line(Channel::adet, fmt::FreeRecord().text(" DP =").real(DP).text(" XP = ").real(XP).str());
}

void TraceWriter::on_zone_and_case(std::int32_t IZONE, CaseCode code) {
  sink_.line(Channel::adet,
             fmt::format_line("' THE OBS. WELL IS LOCATED INSIDE NO. ',I4,' ZONE'", {IZONE}));
  sink_.line(
      Channel::adet,
      fmt::FreeRecord().text(" THE PROBLEM IS DEFINED AS CASE: ").text(case_name(code)).str());
}

void TraceWriter::on_step_setup(std::int32_t step, double step0) {
  sink_.line(Channel::adet,
             fmt::format_line(kSetupLine, {step, step0, kLowerLimit, kUpperLimit, step0}));
}

void TraceWriter::on_recovery_start() {
  sink_.line(Channel::adet,
             fmt::FreeRecord().text("****FOR RESIDUAL DRAWDOWAN AND DEPLETION**").str());
}

void write_well_tables(const TableScales& t, const ModelState& s, const WellSeries& w,
                       LineSink& sink) {
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
    sink.line(Channel::adet, fmt::format_line(kSetupLine, {j, time, draw, w.DERR[j - 1], depl}));
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

std::string exp_guard_record(double bar) {
  std::string record = kExpGuardStopText;
  record += fmt::format_line("E10.4", {bar});
  return record;
}

}  // namespace kelvorat
