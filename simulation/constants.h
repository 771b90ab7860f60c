// Constants shared by the geometry step and the time loop.  Several of them
// are single-precision literals widened to double; the widened values are
// what the published results were computed with, so they are kept bit for
// bit.
#pragma once

namespace kelvorat {

inline constexpr double kPi = static_cast<double>(3.1415927f);              // 3.1415927410125732
inline constexpr double kNearWellFactor = static_cast<double>(0.003f);      // 0.003000000026077032
inline constexpr double kFullDepletionBound = static_cast<double>(0.001f);  // 0.0010000000474974513
inline constexpr double kInvStepFactor = 0.35714286322496386;  // 1 / single-precision 2.8

inline constexpr double kLowerLimit = 1.0e-20;  // start of the wavenumber integration
inline constexpr double kUpperLimit = 1.0e20;   // its practical infinity
inline constexpr double kAbsTolerance = 1.0e-10;
inline constexpr double kDepletionCut = 1.0e-8;  // smaller depletion ratios are reported as 0
inline constexpr double kDrawdownCut = 1.0e-10;  // rows up to the last smaller drawdown are dropped

}  // namespace kelvorat
