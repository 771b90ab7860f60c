// Bitwise comparison of doubles for tests: equal means the same 64 bits (so
// 0.0 and -0.0 differ and a NaN equals itself); failures print both values
// in %a, which shows every bit.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelvorat::testing {

inline std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

inline std::string hex_float(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}

inline ::testing::AssertionResult same_bits(double a, double b) {
  if (bits(a) == bits(b)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << hex_float(a) << " vs " << hex_float(b);
}

inline ::testing::AssertionResult same_bits(const std::vector<double>& a,
                                            const std::vector<double>& b) {
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure() << "sizes differ: " << a.size() << " vs " << b.size();
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (bits(a[i]) != bits(b[i])) {
      return ::testing::AssertionFailure()
             << "entry " << i << ": " << hex_float(a[i]) << " vs " << hex_float(b[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace kelvorat::testing
