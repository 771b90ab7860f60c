#include "model/guarded_exp.h"

namespace kelvorat {

static_assert(sizeof(kExpGuardStopText) - 1 == 57);

const char* ExpGuardTrip::what() const noexcept { return kExpGuardStopText; }

void throw_exp_guard_trip(double bar) { throw ExpGuardTrip(bar); }

}  // namespace kelvorat
