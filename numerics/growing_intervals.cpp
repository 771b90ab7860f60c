// Lines of the interval loop: one record per interval and the messages of
// its endings in adet.res; with the trace on, the header and legend of the
// Romberg trace table and a summary line per integral.
#include "numerics/growing_intervals.h"

#include "driver/field_format.h"

namespace kelvorat::detail {

void rombint_trace_header(LineSink& sink) {
  sink.line(
      Channel::tromb,
      fmt::format_line("'    VALUE OF INTG  LAT. IMP    ABS. ERR. IQP','      A           B'", {}));
}

void rombint_interval_line(LineSink& sink, int IR, double A, double ENDG, double TPS, double C) {
  sink.line(
      Channel::adet,
      fmt::FreeRecord().text(" IR = ").integer(IR).real(A).real(ENDG).real(TPS).real(C).str());
}

void rombint_zero_total_line(LineSink& sink, double TPS) {
  sink.line(Channel::adet, fmt::FreeRecord().text("TPS = ").real(TPS).str());
}

void rombint_range_line(LineSink& sink, double TPS, double C) {
  sink.line(Channel::adet, fmt::FreeRecord()
                               .text("*** TPS = ")
                               .real(TPS)
                               .text(" C = ")
                               .real(C)
                               .text(" INCREASE THE RANGE OF INTEGRATION.")
                               .str());
}

void rombint_limit_line(LineSink& sink, int IR, double ERR, double TPS, double C, double ENDG) {
  sink.line(Channel::adet, fmt::FreeRecord()
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
}

void rombint_summary(LineSink& sink, double ENDG, double C, double TPS, double ERR, double reltol) {
  sink.line(Channel::adet, fmt::format_line("6E12.4", {ENDG, C, TPS, ERR, reltol}));
}

void rombint_legend(LineSink& sink) {
  sink.line(Channel::tromb, fmt::FreeRecord().str());
  sink.line(Channel::tromb, fmt::FreeRecord().text("NOTE: ").str());
  sink.line(Channel::tromb,
            fmt::FreeRecord().text("   $$ MEAN SOL.FOR INTEG. DOES NOT CONVERGE").str());
  sink.line(Channel::tromb, fmt::FreeRecord().text("   @@ MEAN SOL.FOR INTEG. IS ZERO").str());
  sink.line(Channel::tromb, fmt::FreeRecord().str());
}

}  // namespace kelvorat::detail
