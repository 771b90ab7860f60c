// Parameter sets of the model tests.
#pragma once

#include "model/model_state.h"

namespace kelvorat::testing {

// Three equal zones (depletion example with RXW = 5).
inline ModelState equal_zones() {
  ModelState s;
  s.R12 = 1;
  s.R23 = 1;
  s.PD1 = s.PD2 = s.PD3 = 0.01;
  s.STLEAKT = 0.005;
  s.DN = 10;
  s.XLB = 100;
  s.XRB = 1000;
  s.XW = 50;
  return s;
}

// Distinct zones: the second depletion example and the integrand examples
// (DY = 20, at lambda = 0.01 on the regular branch).
inline ModelState distinct_zones(CaseCode c = CaseCode::A3, double XO = 0) {
  ModelState s;
  s.R12 = 2;
  s.R23 = 0.5;
  s.PD1 = 0.02;
  s.PD2 = 0.01;
  s.PD3 = 0.005;
  s.STLEAKT = 0.004;
  s.DN = 10;
  s.XLB = 200;
  s.XRB = 500;
  s.XW = 100;
  s.DY = 20;
  s.CHRT = c;
  s.XO = XO;
  return s;
}

}  // namespace kelvorat::testing
