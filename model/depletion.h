// The Laplace-domain stream depletion: the streambed leakage of the
// lambda = 0 component, integrated across the stream zone.
#pragma once

#include "model/model_state.h"

namespace kelvorat {

// DEPLT at the p stored in the state (PD1..PD3).  STLEAK is the streambed
// conductivity over its thickness.  Throws ExpGuardTrip through ddxp.
double deplet(const ModelState& s, double STLEAK);

}  // namespace kelvorat
