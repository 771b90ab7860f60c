// Placing an observation well: out of the pumping well's bore, out of its
// near field (with the steady-state drawdown that this second move leaves
// out), into its zone, and the case code that picks the integrand's profile.
#pragma once

#include "model/model_state.h"
#include "simulation/trace.h"

namespace kelvorat {

struct WellGeometry {
  double d = 0;                  // x distance between the wells after the move out of the bore
  double DXMIN = 0;              // radius of the near field, 0.003 * XW
  double CORR = 0;               // steady-state correction, used only when corrected
  bool corrected = false;        // d < DXMIN: the well was moved out of the near field
  CaseCode CHRT = CaseCode::A3;  // the profile of the integrand (as stored in the state)
};

// Moves state.XO as needed and sets state.IZONE, state.CHRT and state.DY
// from state.XO, state.YO and the pumping well.  Reports the zone and case
// to `trace` (may be null).
WellGeometry place_observation_well(ModelState& state, double RW, double Q, double T3,
                                    RunTrace* trace);

}  // namespace kelvorat
