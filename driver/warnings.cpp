#include "driver/warnings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kelvorat {

namespace {

// From this many Stehfest terms on, the weights (up to 1e7 and more) amplify
// the integration error into visibly wrong drawdowns on ordinary decks.
constexpr std::int32_t kRiskyTerms = 16;
// A move out of the bore beyond this puts the well where the deck did not.
constexpr double kBoreMoveLimit = 1.0;
// The inversion leaves depletion ratios a little beyond 1 near full
// depletion; only a clear excess is reported.
constexpr double kRatioSlack = 0.01;

std::string num(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// "T1 = 0" for the first of the zone values that is not positive, else "".
std::string nonpositive_zone_value(const PumpingTest& t) {
  const struct {
    const char* name;
    double value;
  } values[] = {{"T1", t.T1}, {"S1", t.S1}, {"T2", t.T2}, {"S2", t.S2}, {"T3", t.T3}, {"S3", t.S3}};
  for (const auto& v : values) {
    if (!(v.value > 0.0)) return std::string(v.name) + " = " + num(v.value);
  }
  return "";
}

}  // namespace

void RunChecks::warn(const std::string& text) {
  std::fputs(("kelvorat: warning: " + text + "\n").c_str(), errors_);
  std::fflush(errors_);
}

void RunChecks::start_up(const StartUp& u, const ModelState& s) {
  test_ = u.test;
  RW_ = u.RW;
  XW_ = s.XW;
  XLB_ = s.XLB;
  XRB_ = s.XRB;
  const PumpingTest& t = u.test;

  const struct {
    const char* name;
    int zone;
    double value;
  } zone_values[] = {{"T1", 1, t.T1}, {"S1", 1, t.S1}, {"T2", 2, t.T2},
                     {"S2", 2, t.S2}, {"T3", 3, t.T3}, {"S3", 3, t.S3}};
  for (const auto& v : zone_values) {
    if (v.value > 0.0) continue;
    warn(std::string(v.name) + " = " + num(v.value) + " (record " + std::to_string(4 + v.zone) +
         "): zone " + std::to_string(v.zone) +
         " needs a positive transmissivity and storage coefficient; its diffusivity is zero, "
         "negative or undefined and the results will not describe an aquifer");
  }
  if (t.Q == 0.0) {
    warn(
        "Q = 0 (record 11): the well does not pump; the drawdown is zero and the depletion "
        "ratio undefined");
  }
  if (!(s.XW > 0.0)) {
    warn("XW = " + num(s.XW) +
         " (record 3): the pumping well must lie in zone 3, at x > 0 on the well's side of the "
         "stream");
  }
  if (!(s.XRB > s.XW)) {
    warn("XRB = " + num(s.XRB) +
         " (record 8): the right boundary must lie beyond the pumping "
         "well at XW = " +
         num(s.XW));
  }
  if (s.XLB < s.DN) {
    warn("XLB = " + num(s.XLB) + " (record 8) is less than DN = " + num(s.DN) +
         ": the left boundary lies inside the stream zone, and drawdowns and depletion ratios "
         "come out meaningless");
  }
  if (t.NT >= 2) {
    if (!(t.TA > 0.0)) {
      warn("TA = " + num(t.TA) +
           " (record 11): the time increment changes sign or vanishes, so the output times do "
           "not increase");
    }
    if (t.T0STEP == 0.0) {
      warn("T0STEP = 0 (record 11): every output time equals T0 = " + num(t.T0));
    } else if (t.T0STEP < 0.0 && t.TA > 0.0) {
      warn("T0STEP = " + num(t.T0STEP) + " (record 11): the output times decrease");
    }
  }
  if (u.NTERMS >= kRiskyTerms) {
    warn("NTERMS = " + std::to_string(u.NTERMS) + " (record 13; an empty record keeps 20): with " +
         std::to_string(kRiskyTerms) +
         " or more Stehfest terms the weights amplify the integration errors into wrong "
         "drawdowns; 10 to 14 terms are safe");
  }
}

void RunChecks::before_placement(int well, const ModelState& s) {
  well_ = well;
  const double d = std::fabs(s.XW - s.XO);
  bore_move_ = d < RW_;
  if (bore_move_ && RW_ - d > kBoreMoveLimit) {
    warn("observation well " + std::to_string(well) + " at XO = " + num(s.XO) + " lies inside " +
         "the pumping well's radius RW = " + num(RW_) + " and is moved " + num(RW_ - d) +
         " m out of the bore, to its rim");
  }
}

void RunChecks::well_done(int well, const WellSeries& w) {
  const std::size_t n = w.TIME.size();
  int not_finite = 0, negative = 0, ratio = 0;
  int first_not_finite = 0, first_negative = 0, first_ratio = 0;
  double worst_negative = 0, worst_ratio = 0, worst_excess = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int step = static_cast<int>(i) + 1;
    const double time = w.TIME[i];
    if (!std::isfinite(time) || !std::isfinite(w.DRAW[i]) || !std::isfinite(w.DEPL[i]) ||
        !std::isfinite(w.DERR[i])) {
      if (not_finite++ == 0) first_not_finite = step;
      continue;
    }
    const bool pumping = time > 0.0 && (test_.STOPT <= 0.0 || time <= test_.STOPT);
    if (!pumping) continue;
    if (w.DRAW[i] < 0.0) {
      if (negative++ == 0) first_negative = step;
      if (w.DRAW[i] < worst_negative) worst_negative = w.DRAW[i];
    }
    const double excess = std::max(-w.DEPL[i], w.DEPL[i] - 1.0);
    if (excess > kRatioSlack) {
      if (ratio++ == 0) first_ratio = step;
      if (excess > worst_excess) {
        worst_excess = excess;
        worst_ratio = w.DEPL[i];
      }
    }
  }
  std::string parts;
  auto add = [&](const std::string& part) { parts += (parts.empty() ? "" : "; ") + part; };
  auto count = [&](int c) {
    return std::to_string(c) + " of " + std::to_string(n) + " time step" + (n == 1 ? "" : "s");
  };
  if (not_finite > 0) {
    add("NaN or Infinity in the table at " + count(not_finite) + " (first at step " +
        std::to_string(first_not_finite) + ")");
  }
  if (negative > 0) {
    add("negative drawdown during pumping at " + count(negative) + " (first at step " +
        std::to_string(first_negative) + ", lowest " + num(worst_negative) + " m)");
  }
  if (ratio > 0) {
    add("depletion ratio outside [0, 1] during pumping at " + count(ratio) + " (first at step " +
        std::to_string(first_ratio) + ", farthest " + num(worst_ratio) + ")");
  }
  if (n > 0 && w.ILAST >= static_cast<std::int32_t>(n)) {
    add("every row is left out of kelvorat.res, kelvdim.res and dim2.res (the drawdown stays "
        "below 1e-10 m)");
  }
  if (!parts.empty())
    summaries_.push_back("observation well " + std::to_string(well) + ": " + parts);
}

void RunChecks::report_summaries() {
  for (const std::string& s : summaries_) warn(s);
}

std::string RunChecks::guard_cause() const {
  const std::string zone = nonpositive_zone_value(test_);
  if (!zone.empty()) return zone + ": every zone needs a positive T and S";
  if (!(XW_ > 0.0) || !(XW_ < XRB_)) {
    return "the pumping well at XW = " + num(XW_) +
           " lies outside zone 3, which runs from x = 0 "
           "to XRB = " +
           num(XRB_);
  }
  const std::string well = "observation well " + std::to_string(well_);
  if (XO_placed_ < -XLB_) {
    return well + " at XO = " + num(XO_placed_) + " lies beyond the left boundary at x = -" +
           num(XLB_);
  }
  if (bore_move_ && XO_placed_ > XRB_) {
    return "RW = " + num(RW_) + " moves " + well + " out of the bore to XO = " + num(XO_placed_) +
           ", beyond the right boundary XRB = " + num(XRB_);
  }
  if (XO_placed_ > XRB_) {
    return well + " at XO = " + num(XO_placed_) +
           " lies beyond the right boundary XRB = " + num(XRB_);
  }
  if (!std::isfinite(test_.STLEAK)) {
    return "the streambed leakance K/thickness = " + num(test_.STLEAK) +
           " is not finite: check the streambed thickness";
  }
  return "";
}

}  // namespace kelvorat
