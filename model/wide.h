// Extended-range real: a 53-bit significand with an unbounded binary
// exponent.  A few intermediates of the zone chain (e^RXW for RXW up to 9800,
// the amplitude and its products) lie far outside the double range while the
// values built from them come back into it.  Every operation here rounds
// exactly once to 53 bits, so the arithmetic is that of a double with an
// exponent that cannot overflow or underflow, bit for bit on every platform.
// Conversion back to double is a single rounding, into the subnormal range
// when needed.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace kelvorat {

namespace wide_detail {

// 2^k for -1022 <= k <= 1023, built from its bits.
inline double pow2(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// Unbiased exponent of a normal double.
inline int exponent_of(double x) {
  return static_cast<int>((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7ff) - 1023;
}

// x with its exponent replaced by 0: the significand in [1, 2), sign kept.
inline double significand_of(double x) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(x);
  return std::bit_cast<double>((b & 0x800fffffffffffffULL) | 0x3ff0000000000000ULL);
}

}  // namespace wide_detail

// Value m * 2^e.  Finite non-zero values keep 1 <= |m| < 2; zero, infinities
// and NaN are held in m with e = 0.
struct Wide {
  double m = 0.0;
  int e = 0;

  bool regular() const { return std::isfinite(m) && m != 0.0; }

  static Wide from(double x) {
    if (!std::isfinite(x) || x == 0.0) return {x, 0};
    if (std::fabs(x) < 0x1p-1022) {
      // Subnormal: lift it into the normal range first (exact).
      const double y = x * 0x1p64;
      return {wide_detail::significand_of(y), wide_detail::exponent_of(y) - 64};
    }
    return {wide_detail::significand_of(x), wide_detail::exponent_of(x)};
  }

  // Round to double: exact in the normal range, one rounding below it.
  double to_double() const {
    if (!regular()) return m;
    if (e > 1023) return std::copysign(HUGE_VAL, m);
    if (e >= -1022) return m * wide_detail::pow2(e);
    if (e < -1200) return std::copysign(0.0, m);  // below half the least subnormal
    // The first product is exact and normal; the second rounds once.
    return (m * wide_detail::pow2(e + 600)) * wide_detail::pow2(-600);
  }
};

inline Wide operator-(Wide a) { return {-a.m, a.e}; }

inline Wide operator*(Wide a, Wide b) {
  const double p = a.m * b.m;  // in [1, 4) for regular operands: rounds once
  if (!(a.regular() && b.regular())) return {p, 0};
  if (std::fabs(p) >= 2.0) return {p * 0.5, a.e + b.e + 1};
  return {p, a.e + b.e};
}

inline Wide operator/(Wide a, Wide b) {
  const double q = a.m / b.m;  // in (1/2, 2) for regular operands: rounds once
  if (!(a.regular() && b.regular())) return {q, 0};
  if (std::fabs(q) < 1.0) return {q * 2.0, a.e - b.e - 1};
  return {q, a.e - b.e};
}

inline Wide operator+(Wide a, Wide b) {
  const bool ra = a.regular();
  const bool rb = b.regular();
  if (!(ra && rb)) {
    if (ra && b.m == 0.0) return a;
    if (rb && a.m == 0.0) return b;
    if (ra && !std::isfinite(b.m)) return {b.m, 0};
    if (rb && !std::isfinite(a.m)) return {a.m, 0};
    return {a.m + b.m, 0};  // both zero, infinite or NaN
  }
  if (a.e < b.e) {
    const Wide t = a;
    a = b;
    b = t;
  }
  const int gap = a.e - b.e;
  // |b| < 2^(a.e - 63) lies far below a quarter of an ulp of a, even for a
  // power of two whose lower neighbour is only half an ulp away: the sum
  // rounds to a, and no tie can occur.
  if (gap > 64) return a;
  // b scaled to a's exponent is exact (|b.m| >= 1, scale >= 2^-64), and the
  // double sum of the two exact values rounds once.
  const double s = a.m + b.m * wide_detail::pow2(-gap);
  if (s == 0.0) return {0.0, 0};
  return {wide_detail::significand_of(s), a.e + wide_detail::exponent_of(s)};
}

inline Wide operator-(Wide a, Wide b) { return a + (-b); }

inline Wide operator*(double a, Wide b) { return Wide::from(a) * b; }
inline Wide operator*(Wide a, double b) { return a * Wide::from(b); }
inline Wide operator/(double a, Wide b) { return Wide::from(a) / b; }
inline Wide operator+(Wide a, double b) { return a + Wide::from(b); }
inline Wide operator-(Wide a, double b) { return a - Wide::from(b); }
inline Wide operator-(double a, Wide b) { return Wide::from(a) - b; }

}  // namespace kelvorat
