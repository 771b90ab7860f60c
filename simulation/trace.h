// What the run reports beyond the integrators: the placement of each
// observation well and the set-up of every inversion.  As with the
// integration trace, a null pointer means nobody listens.
#pragma once

#include <cstdint>

#include "model/model_state.h"
#include "numerics/trace.h"

namespace kelvorat {

class RunTrace : public IntegrationTrace {
 public:
  // The observation well lies in zone IZONE and the integrand takes the
  // profile of case `code`.
  virtual void on_zone_and_case(std::int32_t /*IZONE*/, CaseCode /*code*/) {}
  // The inversion of time step `step` starts with integration step step0
  // (called again for the recovery inversion, after on_recovery_start).
  virtual void on_step_setup(std::int32_t /*step*/, double /*step0*/) {}
  // The recovery inversion of the current step (after the stop of pumping).
  virtual void on_recovery_start() {}
};

}  // namespace kelvorat
