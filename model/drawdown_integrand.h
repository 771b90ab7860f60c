// The drawdown integrand: the Fourier-cosine component, at wavenumber lambda
// along the stream, of the Laplace-transformed drawdown at the observation
// well, for the case code and the p stored in the state.
#pragma once

#include "model/model_state.h"

namespace kelvorat {

// Throws ExpGuardTrip through ddxp.  Allocates nothing.
double f(const ModelState& s, double lambda);

// The integrand as handed to the integration routines.
struct DrawdownIntegrand {
  const ModelState& s;
  double operator()(double w) const { return f(s, w); }
};

namespace detail {
// f with the extended-range tail always evaluated in Wide arithmetic; f takes
// a double shortcut that must agree with this bit for bit.
double f_all_wide(const ModelState& s, double lambda);
}  // namespace detail

}  // namespace kelvorat
