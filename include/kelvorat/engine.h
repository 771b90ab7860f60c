// The kelvorat engine as a library: drawdown and stream depletion of a well
// pumping from a strip aquifer of three zones cut by a leaky stream, with no
// file I/O of its own.
//
// Units are those of the input deck: metres and days throughout.  Every call
// owns its workspaces, so several threads may compute at once; the only
// state that may pass from one call to the next is the Carry a caller hands
// in explicitly.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvorat::engine {

// Transmissivity (m2/day) and storage coefficient of one zone.
struct Zone {
  double T = 0;
  double S = 0;
};

// The strip aquifer across the x axis: zone 1 from x = -|XLB| to x = -|DN|
// (beyond the stream), zone 2 the stream zone from -|DN| to 0 with its leaky
// streambed, zone 3 from 0 to x = XRB, holding the pumping wells.  The
// stream runs along the y axis.  Values as written in a deck: the engine
// uses |XLB| and |DN| as the deck does.
struct Aquifer {
  Zone zone1, zone2, zone3;
  double XLB = 0;        // left boundary at x = -|XLB|
  double XRB = 0;        // right boundary at x = XRB
  double DN = 0;         // width of the stream zone
  double K = 0;          // streambed hydraulic conductivity (m/day)
  double thickness = 0;  // streambed thickness (m)
};

struct PumpingWell {
  double XW = 0;  // across the strip, in zone 3 (XW > 0)
  double YW = 0;  // along the stream
  double RW = 0;  // bore radius
};

// Number of Stehfest terms and relative error of the integration over any
// interval, as used by the computation (see check_settings).
struct Settings {
  std::int32_t NTERMS = 20;
  double ERRMAX = 0;
};

// The deck's checks of the numerical settings: a term count outside 6..20
// becomes 6, an odd one is raised to the next even count, and an ERRMAX
// above ERRBND (1 / the largest Stehfest weight in use) is lowered to
// 0.1 * ERRBND.
struct CheckedSettings {
  Settings settings;  // the values in use
  bool nterms_out_of_range = false;
  bool nterms_raised = false;
  bool errmax_lowered = false;
  double ERRBND = 0;
};
CheckedSettings check_settings(std::int32_t nterms, double errmax);

// Where an observation point lies relative to a pumping well: the zone
// holding it and the profile of the solution that applies there.
enum class Case : std::uint8_t {
  A1,  // zone 1, beyond the stream
  A2,  // zone 2, the stream zone
  A3,  // zone 3 between the stream and the pumping well
  A4,  // zone 3 beyond the pumping well
};

// An observation point placed as the deck run places it: moved out of the
// pumping well's bore, then out of its near field (0.003 XW across the
// strip), the second move with a steady-state correction.
struct Placement {
  double XO = 0;  // after the moves
  double YO = 0;
  double d = 0;            // x distance between the wells after the first move
  double DXMIN = 0;        // 0.003 XW (single-precision factor)
  bool corrected = false;  // d < DXMIN: moved out of the near field, CORR applies
  double corr_log = 0;     // ln(sqrt(DXMIN^2 + DY^2) / sqrt(d^2 + DY^2)) when corrected
  std::int32_t IZONE = 0;  // 1, 2 or 3
  Case code = Case::A3;
};
Placement place(const Aquifer& aquifer, const PumpingWell& well, double XO, double YO);

// The near-field correction CORR = Q / (2 pi T3) * corr_log for rate Q (0
// when the placement is not corrected).
double near_well_correction(const Aquifer& aquifer, const Placement& p, double Q);

// The integration measure that the deck run carries from one Romberg
// integral to the next for its whole run.  A fresh Carry starts from 0 like
// a run; reusing one Carry for a deck's wells in deck order reproduces the
// run's sequence of integrals exactly.
struct Carry {
  double romberg_Q = 0.0;
};

// The Stehfest sums at one time lag t > 0 (a = ln 2 / t), for a unit of the
// model's own scale: drawdown a*XP, depletion a*DP, error estimate a*ESUM,
// and the integration step STEP0 that was used.
struct LagTransform {
  double aXP = 0;
  double aDP = 0;
  double aESUM = 0;
  double aDV = 0;  // a * sum V_k DEPLT_k / p_k^2: the depleted volume per unit of the scale
  double STEP0 = 0;
};

// The exponential guard of the model tripped: an argument above 700.
class ExpGuardError : public std::runtime_error {
 public:
  explicit ExpGuardError(double bar);
  double bar() const noexcept { return bar_; }

 private:
  double bar_;
};

// The transforms at time lag `lag` (days since the pumping step started) for
// an observation point placed by place().  `settings` are used as given
// (pass check_settings(...).settings for the deck's behaviour; NTERMS
// outside 6..20 throws std::invalid_argument).  Throws ExpGuardError.
// A lag <= 0 gives zeros (nothing has happened yet).
LagTransform transform_at(const Aquifer& aquifer, const PumpingWell& well, const Settings& settings,
                          const Placement& p, double lag, Carry* carry = nullptr);

// The depletion alone at time lag `lag`: aDP and aDV as transform_at gives
// them, with aXP = aESUM = 0 and no integration over the wavenumber (the
// depletion does not depend on the observation point).  Costs NTERMS
// evaluations of the closed-form depletion transform.  Throws ExpGuardError.
LagTransform depletion_at(const Aquifer& aquifer, const PumpingWell& well, const Settings& settings,
                          double lag);

// Physical values of one pumping step of rate Q at one lag, formed as the
// deck run forms them: draw = aXP * (Q / (pi T3)) + CORR(Q) when corrected;
// depl = (pi / Q) * (aDP * (Q / (pi T3))), the depletion ratio (no cut);
// derr = aESUM * (Q / (pi T3)); vol = Q * (aDV / T3), the volume taken
// from the stream since the step began.
struct StepValues {
  double draw = 0;
  double depl = 0;
  double derr = 0;
  double vol = 0;
};
StepValues step_values(const Aquifer& aquifer, const Placement& p, const LagTransform& x, double Q);

// The pumping test of a deck: rate Q from time 0, stopping at STOPT (<= 0:
// never), output times T0, then each time plus an increment that starts at
// T0STEP and grows by the factor TA at every step, NT times.
struct PumpingTest {
  double Q = 0;
  double STOPT = 0;
  double T0 = 0;
  double T0STEP = 0;
  double TA = 0;
  std::int32_t NT = 0;
};

// One observation well's series as the deck run computes it, with its cuts:
// depletion ratios below 1e-8 are 0, drawdown and depletion are 0 after the
// stop where both pumping and recovery depletion are within 0.001 of full,
// and ILAST is the last step whose drawdown is below 1e-10 (the table files
// leave out the rows up to it).  Entry i - 1 belongs to time step i.
struct Series {
  std::vector<double> TIME, DRAW, DEPL, DERR;
  std::int32_t ILAST = 0;
  Placement placement;
};
Series well_series(const Aquifer& aquifer, const PumpingWell& well, const PumpingTest& test,
                   const Settings& settings, double XO, double YO, Carry* carry = nullptr);

// An input deck read whole.
struct Deck {
  std::int32_t NOBS = 0;
  Aquifer aquifer;
  PumpingWell well;
  PumpingTest test;
  std::int32_t IPRT = 0;
  std::int32_t NTERMS = 20;  // as written (20 when the record gives none)
  double ERRMAX = 0;         // as written
  // Locations of the observation wells in deck order, max(NOBS, 1) of them,
  // each as the run reads it (a null value keeps the previous well's
  // location as the run leaves it).
  std::vector<std::array<double, 2>> observations;
};

// A deck that cannot be read; what() names the file, line, record and text.
class DeckError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a deck from its text; `file_name` is used in messages.  Throws
// DeckError.
Deck parse_deck(std::string text, const std::string& file_name = "kelvorat.dat");

}  // namespace kelvorat::engine
