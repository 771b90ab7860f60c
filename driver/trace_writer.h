// The lines of a run's computation: every event of the integrators and the
// time loop becomes its line of adet.res or tromb.res here, and the well
// tables are written from the series a well returns.
#pragma once

#include <cstdint>
#include <string>

#include "driver/line_sink.h"
#include "model/model_state.h"
#include "simulation/time_loop.h"
#include "simulation/trace.h"

namespace kelvorat {

// Writes the diagnostics of adet.res (always) and, with IPRT != 0, the
// integration trace of tromb.res with the summary line of every integral.
class TraceWriter final : public RunTrace {
 public:
  TraceWriter(LineSink& sink, std::int32_t IPRT) : sink_(sink), IPRT_(IPRT) {}

  void on_integral_start() override;
  void on_romberg_end(int IR, double D, const RombergResult& r, double final_diff, double A,
                      double B) override;
  void on_interval(int IR, double A, double ENDG, double TPS, double C) override;
  void on_integral_stop(IntegralEnding ending, int IR, double ERR, double TPS, double C,
                        double ENDG) override;
  void on_integral_summary(double ENDG, double C, double TPS, double ERR, double reltol) override;
  void on_term(double DP, double XP) override;
  void on_zone_and_case(std::int32_t IZONE, CaseCode code) override;
  void on_step_setup(std::int32_t step, double step0) override;
  void on_recovery_start() override;

 private:
  LineSink& sink_;
  std::int32_t IPRT_;
};

// What the table files scale by.
struct TableScales {
  double Q = 0, T3 = 0, S3 = 0;
};

// The result table of one well in adet.res, then its rows past ILAST in
// kelvorat.res, kelvdim.res and dim2.res.  `s` holds the placed well.
void write_well_tables(const TableScales& t, const ModelState& s, const WellSeries& w,
                       LineSink& sink);

// The adet.res record of a trip of the exponential guard: the message
// followed by bar in E10.4.
std::string exp_guard_record(double bar);

}  // namespace kelvorat
