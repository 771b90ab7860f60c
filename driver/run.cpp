#include "driver/run.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

#include "driver/field_format.h"
#include "driver/result_files.h"
#include "driver/signals.h"
#include "driver/warnings.h"
#include "model/guarded_exp.h"
#include "numerics/romberg.h"
#include "numerics/stehfest.h"
#include "simulation/observation.h"

namespace kelvorat {

namespace {

constexpr const char* kDeckName = "kelvorat.dat";
constexpr const char* kLocationFormat = "' LOCATION OF THE OBS WELL: ',2F10.4";
constexpr std::int32_t kMinTerms = 6;
constexpr std::int32_t kMaxTerms = 20;

void echo_free(LineSink& sink, const fmt::FreeRecord& r) { sink.line(Channel::adet, r.str()); }

void echo_fixed(LineSink& sink, std::string_view descriptors,
                std::initializer_list<fmt::Value> values) {
  for (const std::string& l : fmt::format_lines(descriptors, values)) sink.line(Channel::adet, l);
}

// A warning goes to the console first, then into the echo.
void warn(LineSink& sink, const std::string& text) {
  sink.line(Channel::console, text);
  sink.line(Channel::adet, text);
}

// The number of Stehfest terms: the accepted range first, then an even
// count (the weights only sum to an inversion for an even number of terms).
std::int32_t checked_term_count(std::int32_t read, LineSink& sink) {
  std::int32_t n = read;
  if (n > kMaxTerms || n < kMinTerms) {
    // The wording names the bounds of an earlier version; the accepted range
    // is 6 to 20 and the count falls back to 6.  Users' scripts look for
    // these lines as they stand.
    constexpr const char* kMessage[] = {
        " # OF TERMS FOR STEHFEST ALGORITHM MUST BE BETWEEN 10 AND 20 FOR DOUBLE",
        " PRECISION. THIS VALUE  IS RESET TO 10."};
    for (Channel c : {Channel::console, Channel::adet}) {
      for (const char* l : kMessage) sink.line(c, l);
    }
    n = kMinTerms;
  }
  if (n % 2 != 0) {
    n = n + 1;
    warn(sink,
         fmt::format_line(
             "' # OF TERMS FOR STEHFEST ALGORITHM MUST BE EVEN. THIS VALUE IS RESET TO',I3", {n}));
  }
  return n;
}

}  // namespace

void set_floating_point_mode() {
  std::fesetround(FE_TONEAREST);
  // Masked exceptions are the default state of the environment; clearing the
  // flags keeps a clean start.  Doubles are evaluated in 53 bits on every
  // target this builds for (SSE2 on x86-64), so no precision control is set.
  std::feclearexcept(FE_ALL_EXCEPT);
}

StartUp read_start_up(deck::DeckReader& deck, ModelState& s, LineSink& sink) {
  StartUp u;
  PumpingTest& t = u.test;

  deck.read_free(1, "NOBS", {&u.NOBS});
  echo_free(sink, fmt::FreeRecord().integer(u.NOBS));

  deck.read_free(2, "XO, YO", {&s.XO, &s.YO});
  echo_fixed(sink, kLocationFormat, {s.XO, s.YO});

  deck.read_free(3, "XW, YW", {&s.XW, &s.YW});
  echo_fixed(sink, "' LOCATION OF THE PUMPING WELL: ',2F10.4", {s.XW, s.YW});

  deck.read_free(4, "RW", {&u.RW});
  echo_free(sink, fmt::FreeRecord().text("RADIUS OF PUMPING WELL").real(u.RW));

  echo_free(sink, fmt::FreeRecord().text("ZONE NO.      T         S    "));
  deck.read_free(5, "T1, S1", {&t.T1, &t.S1});
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {1, t.T1, t.S1});
  deck.read_free(6, "T2, S2", {&t.T2, &t.S2});
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {2, t.T2, t.S2});
  deck.read_free(7, "T3, S3", {&t.T3, &t.S3});
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {3, t.T3, t.S3});

  // The left boundary is echoed as written, and used as a distance.
  deck.read_free(8, "XLB, XRB", {&s.XLB, &s.XRB});
  echo_free(sink, fmt::FreeRecord().text("LEFT BOUNDARY= ").real(s.XLB));
  echo_free(sink, fmt::FreeRecord().text("RIGHT BOUNDARY= ").real(s.XRB));
  if (s.XLB < 0.0) s.XLB = -s.XLB;

  deck.read_free(9, "DN", {&s.DN});
  if (s.DN < 0.0) s.DN = -s.DN;
  echo_free(sink, fmt::FreeRecord().text(" DN = ").real(s.DN));

  deck.read_free(10, "streambed K, streambed thickness", {&u.K, &u.thickness});
  echo_free(sink, fmt::FreeRecord()
                      .text(" STREAMBED K =")
                      .real(u.K)
                      .text(" STREAMBED THICKNESS = ")
                      .real(u.thickness));
  t.STLEAK = u.K / u.thickness;
  s.STLEAKT = u.K / (u.thickness * t.T2);
  echo_free(
      sink,
      fmt::FreeRecord().text(" STLEAKT = ").real(s.STLEAKT).text(" STLEAK = ").real(t.STLEAK));

  deck.read_free(11, "Q, STOPT, T0, T0STEP, TA", {&t.Q, &t.STOPT, &t.T0, &t.T0STEP, &t.TA});
  echo_free(sink, fmt::FreeRecord().text(" Q     STOPT      T0       T0STEP      TA"));
  echo_fixed(sink, "10(8E14.6,/)", {t.Q, t.STOPT, t.T0, t.T0STEP, t.TA});

  deck.read_i4_pair(12, "NT, IPRT", t.NT, t.IPRT);
  echo_fixed(sink, "' THE NO. OF TIME STEPS TO BE CALCULATED: ',I5", {t.NT});

  u.NTERMS_read = 20;  // kept when the record gives a null value or a slash
  deck.read_free(13, "NTERMS", {&u.NTERMS_read});
  echo_fixed(sink, "' # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS',I3", {u.NTERMS_read});
  u.NTERMS = checked_term_count(u.NTERMS_read, sink);

  deck.read_free(14, "ERRMAX", {&u.ERRMAX_read});
  echo_fixed(sink,
             "' THE MAX RELATIVE ERROR ALLOWED FOR INTEGRATION',' OVER ANY INTERVAL IS: ',E12.6",
             {u.ERRMAX_read});
  t.ERRMAX = u.ERRMAX_read;

  // The weights amplify the integration error by up to their largest
  // magnitude, so the relative tolerance must lie below its reciprocal.
  const double errbnd = StehfestColumn(u.NTERMS).errbnd();
  if (errbnd < t.ERRMAX) {
    const double tenth = 0.1 * errbnd;
    warn(sink, fmt::format_line("' THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN',E12.4,"
                                "'.  THIS VALUE IS RESET TO ',E12.4",
                                {errbnd, tenth}));
    t.ERRMAX = tenth;
  }
  return u;
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
      ModelState state;
      const StartUp u = read_start_up(deck, state, files);
      checks.start_up(u, state);
      const StehfestColumn column(u.NTERMS);
      const RunConstants rc = prepare_run(u.test, state);
      RombergState romberg;
      ModelInverter inverter(u.test, rc, column, state, romberg, files);

      for (well = 1;; ++well) {
        if (well > 1) {
          deck.read_free(13 + well, "XO, YO", {&state.XO, &state.YO});
          echo_fixed(files, kLocationFormat, {state.XO, state.YO});
        }
        checks.before_placement(well, state);
        const WellGeometry geom = place_observation_well(state, u.RW, u.test.Q, u.test.T3, files);
        checks.placed(state);
        checks.well_done(well, run_well(u.test, rc, geom, state, inverter, files));
        if (well >= u.NOBS) break;
        for (Channel c : {Channel::kelvorat, Channel::kelvdim}) {
          files.line(c, "");
          files.line(c, "");
        }
      }
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
