#include "simulation/observation.h"

#include <cmath>

#include "simulation/constants.h"

namespace kelvorat {

WellGeometry place_observation_well(ModelState& s, double RW, double Q, double T3,
                                    RunTrace* trace) {
  WellGeometry g;

  // Out of the bore: a well inside the pumping well's radius goes to its rim,
  // on the + side when it sits exactly at the centre.
  g.d = std::fabs(s.XW - s.XO);
  if (g.d < RW) {
    s.XO = (s.XW > s.XO) ? s.XW - RW : s.XW + RW;
    g.d = std::fabs(s.XW - s.XO);
  }

  // Out of the near field, where the integration over the wavenumber would
  // converge too slowly; the steady-state (Thiem) drawdown between the two
  // radii is added back at every time step.  d keeps its value.
  g.DXMIN = kNearWellFactor * s.XW;
  if (g.d < g.DXMIN) {
    const double dy = s.YW - s.YO;
    g.CORR = Q / (2.0 * kPi * T3) *
             std::log(std::sqrt(g.DXMIN * g.DXMIN + dy * dy) / std::sqrt(g.d * g.d + dy * dy));
    g.corrected = true;
    s.XO = (s.XW > s.XO) ? s.XW - g.DXMIN : s.XW + g.DXMIN;
  }

  s.IZONE = 3;
  if (s.XO < 0.0) s.IZONE = 2;
  if (s.XO < -s.DN) s.IZONE = 1;

  s.CHRT = CaseCode::A3;
  if (s.XO < 0.0) s.CHRT = CaseCode::A2;
  if (s.XO < -s.DN) s.CHRT = CaseCode::A1;
  if (s.XO > s.XW) s.CHRT = CaseCode::A4;
  if (trace != nullptr) trace->on_zone_and_case(s.IZONE, s.CHRT);
  g.CHRT = s.CHRT;

  s.DY = s.YW - s.YO;
  return g;
}

}  // namespace kelvorat
