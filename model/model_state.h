// The shared model record: geometry, zone ratios and the current Laplace
// parameter, filled by the run and read by the transform routines.  One
// instance lives for the whole run and is handed to them by reference.
#pragma once

#include <cstdint>

namespace kelvorat {

// Where the observation well lies, which picks the profile of the integrand.
enum class CaseCode : std::uint8_t {
  A1,  // zone 1, XO < -DN
  A2,  // zone 2, -DN <= XO < 0
  A3,  // zone 3 between the stream side and the pumping well, 0 <= XO <= XW
  A4,  // zone 3 beyond the pumping well, XO > XW
};

struct ModelState {
  double R12 = 0;      // T1 / T2
  double R23 = 0;      // T2 / T3
  double XO = 0;       // observation well, across the strip (possibly moved)
  double XW = 0;       // pumping well, across the strip
  double YO = 0;       // observation well, along the stream
  double YW = 0;       // pumping well, along the stream
  std::int32_t IZONE = 0;  // zone holding the observation well
  double PD1 = 0;      // p / D1, current Laplace parameter over zone-1 diffusivity
  double PD2 = 0;      // p / D2
  double PD3 = 0;      // p / D3
  double DY = 0;       // YW - YO, signed
  double DN = 0;       // width of the stream zone (non-negative)
  double STLEAKT = 0;  // streambed K / (streambed thickness * T2)
  double XLB = 0;      // the left boundary lies at x = -XLB (non-negative)
  double XRB = 0;      // the right boundary lies at x = XRB
  CaseCode CHRT = CaseCode::A3;
};

// The two characters of a case code, "A1" .. "A4".
constexpr const char* case_name(CaseCode c) {
  switch (c) {
    case CaseCode::A1: return "A1";
    case CaseCode::A2: return "A2";
    case CaseCode::A3: return "A3";
    case CaseCode::A4: return "A4";
  }
  return "A3";
}

}  // namespace kelvorat
