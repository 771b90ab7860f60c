#include "driver/deck.h"

#include <initializer_list>
#include <string_view>

#include "driver/field_format.h"
#include "numerics/stehfest.h"

namespace kelvorat {

namespace {

constexpr std::int32_t kMinTerms = 6;
constexpr std::int32_t kMaxTerms = 20;

void echo_free(LineSink& sink, const fmt::FreeRecord& r) { sink.line(Channel::adet, r.str()); }

void echo_fixed(LineSink& sink, std::string_view descriptors,
                std::initializer_list<fmt::Value> values) {
  for (const std::string& l : fmt::format_lines(descriptors, values)) sink.line(Channel::adet, l);
}

// A note goes to the console first, then into the echo.
void note(LineSink& sink, const std::string& text) {
  sink.line(Channel::console, text);
  sink.line(Channel::adet, text);
}

}  // namespace

StartRead read_start_records(deck::DeckReader& d) {
  StartRead out;
  StartRecords& r = out.records;
  try {
    d.read_free(1, "NOBS", {&r.NOBS});
    out.complete = 1;
    d.read_free(2, "XO, YO", {&r.XO, &r.YO});
    out.complete = 2;
    d.read_free(3, "XW, YW", {&r.XW, &r.YW});
    out.complete = 3;
    d.read_free(4, "RW", {&r.RW});
    out.complete = 4;
    d.read_free(5, "T1, S1", {&r.T1, &r.S1});
    out.complete = 5;
    d.read_free(6, "T2, S2", {&r.T2, &r.S2});
    out.complete = 6;
    d.read_free(7, "T3, S3", {&r.T3, &r.S3});
    out.complete = 7;
    d.read_free(8, "XLB, XRB", {&r.XLB, &r.XRB});
    out.complete = 8;
    d.read_free(9, "DN", {&r.DN});
    out.complete = 9;
    d.read_free(10, "streambed K, streambed thickness", {&r.K, &r.thickness});
    out.complete = 10;
    d.read_free(11, "Q, STOPT, T0, T0STEP, TA", {&r.Q, &r.STOPT, &r.T0, &r.T0STEP, &r.TA});
    out.complete = 11;
    d.read_i4_pair(12, "NT, IPRT", r.NT, r.IPRT);
    out.complete = 12;
    d.read_free(13, "NTERMS", {&r.NTERMS});
    out.complete = 13;
    d.read_free(14, "ERRMAX", {&r.ERRMAX});
    out.complete = 14;
  } catch (const deck::DeckError& e) {
    out.error = e;
  }
  return out;
}

TermCount check_term_count(std::int32_t read) {
  TermCount c;
  std::int32_t n = read;
  if (n > kMaxTerms || n < kMinTerms) {
    c.out_of_range = true;
    n = kMinTerms;
  }
  if (n % 2 != 0) {
    c.raised = true;
    n = n + 1;
  }
  c.NTERMS = n;
  return c;
}

Tolerance check_tolerance(std::int32_t nterms, double errmax) {
  // The weights amplify the integration error by up to their largest
  // magnitude, so the relative tolerance must lie below its reciprocal.
  Tolerance t;
  t.ERRBND = StehfestColumn(nterms).errbnd();
  t.ERRMAX = errmax;
  if (t.ERRBND < errmax) {
    t.ERRMAX = 0.1 * t.ERRBND;
    t.lowered = true;
  }
  return t;
}

StartChecks check_start_records(const StartRecords& r) {
  StartChecks c;
  c.XLB = r.XLB < 0.0 ? -r.XLB : r.XLB;
  c.DN = r.DN < 0.0 ? -r.DN : r.DN;
  c.STLEAK = r.K / r.thickness;
  c.STLEAKT = r.K / (r.thickness * r.T2);
  c.terms = check_term_count(r.NTERMS);
  c.tolerance = check_tolerance(c.terms.NTERMS, r.ERRMAX);
  return c;
}

void echo_location(double XO, double YO, LineSink& sink) {
  echo_fixed(sink, "' LOCATION OF THE OBS WELL: ',2F10.4", {XO, YO});
}

void echo_start_records(const StartRecords& r, const StartChecks& c, int complete, LineSink& sink) {
  const auto done = [&](int record) { return complete >= record; };
  if (!done(1)) return;
  echo_free(sink, fmt::FreeRecord().integer(r.NOBS));
  if (!done(2)) return;
  echo_location(r.XO, r.YO, sink);
  if (!done(3)) return;
  echo_fixed(sink, "' LOCATION OF THE PUMPING WELL: ',2F10.4", {r.XW, r.YW});
  if (!done(4)) return;
  echo_free(sink, fmt::FreeRecord().text("RADIUS OF PUMPING WELL").real(r.RW));

  // The heading of the zone table precedes record 5.
  echo_free(sink, fmt::FreeRecord().text("ZONE NO.      T         S    "));
  if (!done(5)) return;
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {1, r.T1, r.S1});
  if (!done(6)) return;
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {2, r.T2, r.S2});
  if (!done(7)) return;
  echo_fixed(sink, "3X,I4,2X,10(10D10.4,/)", {3, r.T3, r.S3});
  if (!done(8)) return;
  // The left boundary is echoed as written, and used as a distance.
  echo_free(sink, fmt::FreeRecord().text("LEFT BOUNDARY= ").real(r.XLB));
  echo_free(sink, fmt::FreeRecord().text("RIGHT BOUNDARY= ").real(r.XRB));
  if (!done(9)) return;
  echo_free(sink, fmt::FreeRecord().text(" DN = ").real(c.DN));
  if (!done(10)) return;
  echo_free(sink, fmt::FreeRecord()
                      .text(" STREAMBED K =")
                      .real(r.K)
                      .text(" STREAMBED THICKNESS = ")
                      .real(r.thickness));
  echo_free(
      sink,
      fmt::FreeRecord().text(" STLEAKT = ").real(c.STLEAKT).text(" STLEAK = ").real(c.STLEAK));
  if (!done(11)) return;
  echo_free(sink, fmt::FreeRecord().text(" Q     STOPT      T0       T0STEP      TA"));
  echo_fixed(sink, "10(8E14.6,/)", {r.Q, r.STOPT, r.T0, r.T0STEP, r.TA});
  if (!done(12)) return;
  echo_fixed(sink, "' THE NO. OF TIME STEPS TO BE CALCULATED: ',I5", {r.NT});
  if (!done(13)) return;
  echo_fixed(sink, "' # OF TERMS TO BE USED FOR STEHFEST ALGORITHM IS',I3", {r.NTERMS});
  if (c.terms.out_of_range) {
    // The wording names the bounds of an earlier version; the accepted range
    // is 6 to 20 and the count falls back to 6.  Users' scripts look for
    // these lines as they stand.
    constexpr const char* kMessage[] = {
        " # OF TERMS FOR STEHFEST ALGORITHM MUST BE BETWEEN 10 AND 20 FOR DOUBLE",
        " PRECISION. THIS VALUE  IS RESET TO 10."};
    for (Channel ch : {Channel::console, Channel::adet}) {
      for (const char* l : kMessage) sink.line(ch, l);
    }
  }
  if (c.terms.raised) {
    note(sink, fmt::format_line(
                   "' # OF TERMS FOR STEHFEST ALGORITHM MUST BE EVEN. THIS VALUE IS RESET TO',I3",
                   {c.terms.NTERMS}));
  }
  if (!done(14)) return;
  echo_fixed(sink,
             "' THE MAX RELATIVE ERROR ALLOWED FOR INTEGRATION',' OVER ANY INTERVAL IS: ',E12.6",
             {r.ERRMAX});
  if (c.tolerance.lowered) {
    note(sink, fmt::format_line("' THE MAXIMUM RELATIVE ERROR SHOULD BE SMALLER THAN',E12.4,"
                                "'.  THIS VALUE IS RESET TO ',E12.4",
                                {c.tolerance.ERRBND, c.tolerance.ERRMAX}));
  }
}

StartUp read_start_up(deck::DeckReader& reader, ModelState& s, LineSink& sink) {
  const StartRead read = read_start_records(reader);
  const StartRecords& r = read.records;
  const StartChecks c = check_start_records(r);
  echo_start_records(r, c, read.complete, sink);
  if (read.error) throw *read.error;

  s.XO = r.XO;
  s.YO = r.YO;
  s.XW = r.XW;
  s.YW = r.YW;
  s.XLB = c.XLB;
  s.XRB = r.XRB;
  s.DN = c.DN;
  s.STLEAKT = c.STLEAKT;

  StartUp u;
  u.NOBS = r.NOBS;
  u.RW = r.RW;
  u.K = r.K;
  u.thickness = r.thickness;
  u.NTERMS_read = r.NTERMS;
  u.NTERMS = c.terms.NTERMS;
  u.ERRMAX_read = r.ERRMAX;
  PumpingTest& t = u.test;
  t.Q = r.Q;
  t.STOPT = r.STOPT;
  t.T0 = r.T0;
  t.T0STEP = r.T0STEP;
  t.TA = r.TA;
  t.NT = r.NT;
  t.IPRT = r.IPRT;
  t.T1 = r.T1;
  t.S1 = r.S1;
  t.T2 = r.T2;
  t.S2 = r.S2;
  t.T3 = r.T3;
  t.S3 = r.S3;
  t.STLEAK = c.STLEAK;
  t.ERRMAX = c.tolerance.ERRMAX;
  return u;
}

}  // namespace kelvorat
