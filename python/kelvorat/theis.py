"""The Theis well function W(u) = E1(u) and related closed forms, for type
curves and comparisons (no scipy needed)."""

from __future__ import annotations

import math

import numpy as np

__all__ = ["E1", "theis_drawdown", "glover_depletion"]

_EULER_GAMMA = 0.57721566490153286061


def _e1_scalar(u: float) -> float:
    if math.isnan(u) or u < 0.0:
        return math.nan
    if u == 0.0:
        return math.inf
    if u <= 1.0:
        # E1(u) = -gamma - ln u + sum_{k>=1} (-1)^(k+1) u^k / (k k!)
        total, term, k = 0.0, 1.0, 0
        while True:
            k += 1
            term *= -u / k
            add = -term / k
            total += add
            if abs(add) <= 1e-17 * abs(total):
                break
        return -_EULER_GAMMA - math.log(u) + total
    if u > 745.0:
        return 0.0
    # Continued fraction (modified Lentz) for E1(u) = e^-u / (u + 1/(1 + 1/(u + 2/(1 + ...)))).
    tiny = 1e-300
    b = u + 1.0
    c = 1.0 / tiny
    d = 1.0 / b
    h = d
    for i in range(1, 1000):
        an = -float(i * i)
        b += 2.0
        d = 1.0 / (an * d + b)
        c = b + an / c
        delta = c * d
        h *= delta
        if abs(delta - 1.0) < 1e-16:
            break
    return h * math.exp(-u)


def E1(u):
    """The exponential integral E1(u) = W(u), for scalars or arrays."""
    a = np.asarray(u, dtype=float)
    out = np.vectorize(_e1_scalar, otypes=[float])(a) if a.ndim else np.float64(_e1_scalar(float(a)))
    return out


def theis_drawdown(Q, T, S, r, t):
    """Drawdown Q / (4 pi T) W(r^2 S / (4 T t)) of a well pumping Q from time 0."""
    t = np.asarray(t, dtype=float)
    return Q / (4.0 * math.pi * T) * E1(np.asarray(r, dtype=float) ** 2 * S / (4.0 * T * t))


def glover_depletion(T, S, d, t):
    """Depletion ratio erfc(sqrt(S d^2 / (4 T t))) of a fully penetrating
    stream at distance d from a well pumping from time 0."""
    t = np.asarray(t, dtype=float)
    return np.vectorize(math.erfc, otypes=[float])(np.sqrt(S * d * d / (4.0 * T * t)))
