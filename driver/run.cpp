#include "driver/run.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

#include "driver/field_format.h"
#include "driver/result_files.h"
#include "driver/signals.h"
#include "driver/trace_writer.h"
#include "driver/warnings.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"
#include "simulation/time_loop.h"

namespace kelvorat {

namespace {
constexpr const char* kDeckName = "kelvorat.dat";
}  // namespace

void set_floating_point_mode() {
  std::fesetround(FE_TONEAREST);
  // Masked exceptions are the default state of the environment; clearing the
  // flags keeps a clean start.  Doubles are evaluated in 53 bits on every
  // target this builds for (SSE2 on x86-64), so no precision control is set.
  std::feclearexcept(FE_ALL_EXCEPT);
}

namespace {

// The shortest decimal form that reads back as the same double.
std::string shortest(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// `cause`: the likely cause named from the deck, or empty for the general
// advice.
std::string guard_stop_message(const GuardStopAtStep& stop, int well, const std::string& cause) {
  std::string m = "kelvorat: run stopped: an exponential argument of ";
  m += shortest(stop.bar());
  m += " exceeds 700 at observation well " + std::to_string(well) + ", time step " +
       std::to_string(stop.step()) + " (time " + shortest(stop.time()) + " days";
  m += stop.recovery() ? ", recovery after the stop of pumping)" : ")";
  if (!cause.empty()) return m + "; the likely cause: " + cause;
  m += "; this usually comes from a well far from the pumping well at an early output time, or "
       "from a very wide or very leaky stream zone: start the output times later, or check the "
       "well locations, DN and the streambed K and thickness";
  return m;
}

void report(std::FILE* errors, const std::string& message) {
  std::fputs(message.c_str(), errors);
  std::fputc('\n', errors);
  std::fflush(errors);
}

}  // namespace

std::vector<WellSeries> run_wells(deck::DeckReader& deck, LineSink& sink, int& well,
                                  RunChecks* checks) {
  well = 0;
  ModelState state;
  const StartUp u = read_start_up(deck, state, sink);
  if (checks != nullptr) checks->start_up(u, state);
  const StehfestColumn column(u.NTERMS);
  const RunConstants rc = prepare_run(u.test.zones(), u.test.Q, state);
  const PumpingSchedule schedule = u.test.schedule();
  const TableScales scales{u.test.Q, u.test.T3, u.test.S3};
  TraceWriter trace(sink, u.test.IPRT);
  // The Romberg measure passes from each integral to the next over the
  // whole run, well after well.
  RombergState romberg;

  std::vector<WellSeries> out;
  for (well = 1;; ++well) {
    if (well > 1) {
      // A null value keeps the previous well's location as its placement
      // left it.
      deck.read_free(13 + well, "XO, YO", {&state.XO, &state.YO});
      echo_location(state.XO, state.YO, sink);
    }
    if (checks != nullptr) checks->before_placement(well, state);
    const WellGeometry geom = place_observation_well(state, u.RW, u.test.Q, u.test.T3, &trace);
    if (checks != nullptr) checks->placed(state);
    ModelInverter inverter(u.test.inversion(), rc, column, state, romberg, &trace);
    out.push_back(run_well(schedule, rc, geom, inverter, &trace));
    write_well_tables(scales, state, out.back(), sink);
    if (checks != nullptr) checks->well_done(well, out.back());
    if (well >= u.NOBS) break;
    for (Channel c : {Channel::kelvorat, Channel::kelvdim}) {
      sink.line(c, "");
      sink.line(c, "");
    }
  }
  return out;
}

int run_program(const std::filesystem::path& dir, std::FILE* console, std::FILE* errors) {
  std::string text;
  try {
    text = read_deck(dir / kDeckName);
  } catch (const FileError& e) {
    report(errors, e.what());
    return 2;
  }

  int well = 0;
  RunChecks checks(errors);
  try {
    ResultFiles files(dir, console);
    try {
      deck::DeckReader deck(std::move(text), kDeckName);
      run_wells(deck, files, well, &checks);
      // " End" only once every result file is complete on disk.
      files.close();
      files.line(Channel::console, fmt::FreeRecord().text("End").str());
      files.flush();
      checks.report_summaries();
      return 0;
    } catch (const deck::DeckError& e) {
      files.flush();
      report(errors, e.what());
      return 2;
    } catch (const GuardStopAtStep& stop) {
      files.line(Channel::adet, exp_guard_record(stop.bar()));
      files.flush();
      report(errors, guard_stop_message(stop, well, checks.guard_cause()));
      return 3;
    }
  } catch (const FileError& e) {
    report(errors, e.what());
    return 2;
  } catch (const Interrupted& e) {
    report(errors, e.what());
    return e.exit_status();
  }
}

}  // namespace kelvorat
