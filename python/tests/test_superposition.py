"""Schedules and several wells against closed forms computed here.

Tolerances: ten Stehfest terms with an integration tolerance of 1e-8 give
the transforms to 1e-5..2e-4 relative; a schedule adds up several of them
and their differences, so the sums are held to 2e-3 of the largest value
(of the rate of the largest step for the depletion).  Observed: 3e-4 for
Theis, 6e-4 for Glover.
"""

import math

import numpy as np
import pytest

import kelvorat as kv
from kelvorat.theis import E1, glover_depletion, theis_drawdown

T, S = 500.0, 0.01


def uniform(wells, width=1.0, K=0.0, nterms=10):
    """Equal zones; K = 0 leaves no stream at all."""
    return kv.Model(zones=[kv.Zone(T, S)] * 3, stream=kv.Stream(width=width, K=K, thickness=1.0),
                    boundaries=kv.Boundaries(left=1e5, right=1e5), wells=wells,
                    settings=kv.Settings(nterms=nterms, errmax=1e-8))


def superpose(schedule, t, unit):
    """sum over steps of (Q_i - Q_{i-1}) * unit(lag) for lag > 0."""
    out = np.zeros_like(t)
    prev = 0.0
    for start, q in schedule:
        lag = t - start
        on = lag > 0
        out[on] += (q - prev) * unit(lag[on])
        prev = q
    return out


def test_E1_reference_values():
    # Abramowitz and Stegun, table 5.1, and the series/continued-fraction seam at 1.
    for u, want in [(1e-3, 6.3315393641361493), (0.1, 1.8229239584193906),
                    (0.5, 0.55977359477616081), (1.0, 0.21938393439552028),
                    (2.0, 0.048900510708061020),
                    (10.0, 4.1569689296853243e-06)]:
        assert math.isclose(float(E1(u)), want, rel_tol=1e-13), u
    # Continuous where the series hands over to the continued fraction:
    # E1'(1) = -1/e.
    below, above = float(E1(1.0 - 1e-7)), float(E1(1.0 + 1e-7))
    assert math.isclose((above - below) / 2e-7, -math.exp(-1.0), rel_tol=1e-6)
    assert float(E1(800.0)) == 0.0
    assert np.isinf(E1(0.0))
    assert E1(np.array([[0.1, 1.0]])).shape == (1, 2)


def glover_volume(d, lag):
    """Volume per unit rate taken by a fully penetrating stream at distance d
    from a well pumping from lag 0: the time integral of erfc(u),
    t ((1 + 2u^2) erfc(u) - 2u e^(-u^2) / sqrt(pi)), u = sqrt(S d^2 / (4 T t))."""
    u = np.sqrt(S * d * d / (4 * T * lag))
    erfc = np.vectorize(math.erfc)(u)
    return lag * ((1 + 2 * u * u) * erfc - 2 * u * np.exp(-u * u) / math.sqrt(math.pi))


def test_intermittent_pumping_depletes_as_superposed_glover_terms():
    # A narrow stream zone with a very leaky bed in equal zones: a fully
    # penetrating stream at the distance of the well from the zone.
    schedule = [(0.0, 1000.0), (5.0, 0.0), (10.0, 1500.0), (20.0, 0.0), (30.0, 400.0)]
    d = 200.0
    model = uniform([kv.Well(x=d, y=0.0, radius=0.05, schedule=schedule)], width=0.5, K=1e4)
    t = np.linspace(0.5, 40.0, 60)
    rate, ratio, volume = model.depletion(t)
    want_rate = superpose(schedule, t, lambda lag: glover_depletion(T, S, d, lag))
    want_volume = superpose(schedule, t, lambda lag: glover_volume(d, lag))
    assert model.reference_rate() == 1500.0
    np.testing.assert_allclose(rate, want_rate, rtol=0, atol=2e-3 * 1500.0)
    np.testing.assert_allclose(ratio, want_rate / 1500.0, rtol=0, atol=2e-3)
    np.testing.assert_allclose(volume, want_volume, rtol=2e-3, atol=2e-3 * 1500.0)
    # Each function gives what the combined call gives.
    np.testing.assert_array_equal(model.depletion_rate(t), rate)
    np.testing.assert_array_equal(model.depletion_ratio(t), ratio)
    np.testing.assert_array_equal(model.depleted_volume(t), volume)


def test_depleted_volume_is_the_time_integral_of_the_rate():
    model = kv.read_deck(kv_example()).model.with_wells(
        [kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 2000.0), (20.0, 500.0), (50.0, 0.0)])])
    t = np.linspace(0.0, 80.0, 801)
    rate, _, volume = model.depletion(t)
    trapezoid = np.concatenate([[0.0], np.cumsum(0.5 * (rate[1:] + rate[:-1]) * np.diff(t))])
    np.testing.assert_allclose(volume[1:], trapezoid[1:], rtol=3e-3, atol=5.0)
    assert volume[0] == 0.0 and rate[0] == 0.0


def kv_example():
    from conftest import EXAMPLE
    return EXAMPLE


def test_two_wells_with_schedules_superpose_theis():
    wells = [kv.Well(x=200.0, y=0.0, radius=0.05, schedule=[(0.0, 1000.0), (3.0, 0.0), (6.0, 500.0)]),
             kv.Well(x=400.0, y=150.0, radius=0.05,
                     schedule=[(1.0, 800.0), (4.0, 1200.0), (8.0, 0.0)])]
    model = uniform(wells)
    t = np.linspace(0.5, 12.0, 24)
    for ox, oy in [(250.0, 0.0), (300.0, 80.0), (420.0, 150.0)]:
        want = sum(superpose(w.schedule, t, lambda lag, w=w: theis_drawdown(
            1.0, T, S, math.hypot(ox - w.x, oy - w.y), lag)) for w in wells)
        got = model.drawdown(ox, oy, t)
        np.testing.assert_allclose(got, want, rtol=0, atol=2e-3 * np.abs(want).max())
    # No stream: nothing is depleted.
    assert not model.depletion_rate(t).any()


def test_broadcasting_and_shapes():
    model = uniform([kv.Well(x=200.0, y=0.0, radius=0.05, schedule=[(0.0, 1000.0)])])
    x = np.array([250.0, 300.0])[:, None]
    t = np.array([1.0, 2.0, 4.0])[None, :]
    s = model.drawdown(x, 0.0, t)
    assert s.shape == (2, 3)
    for i in range(2):
        for j in range(3):
            assert s[i, j] == model.drawdown(float(x[i, 0]), 0.0, float(t[0, j]))
    assert model.drawdown(250.0, 0.0, 1.0).shape == ()
    assert model.depletion_rate([[1.0, 2.0]]).shape == (1, 2)


def test_times_before_a_step_and_steps_that_keep_the_rate():
    w = kv.Well(x=200.0, y=0.0, radius=0.05, schedule=[(2.0, 1000.0), (5.0, 1000.0)])
    model = uniform([w], width=0.5, K=10.0)
    same = uniform([kv.Well(x=200.0, y=0.0, radius=0.05, schedule=[(2.0, 1000.0)])], 0.5, 10.0)
    t = np.array([0.0, 1.0, 2.0, 3.0, 6.0])
    s = model.drawdown(250.0, 0.0, t)
    assert s[0] == s[1] == s[2] == 0.0  # nothing before the first step, nor at it
    assert s[3] > 0.0
    np.testing.assert_array_equal(s, same.drawdown(250.0, 0.0, t))
    np.testing.assert_array_equal(model.depletion_rate(t), same.depletion_rate(t))


def test_repeated_lags_are_computed_once():
    # Monthly steps at whole days, output at whole days: the lags repeat.
    schedule = [(30.0 * k, 1000.0 * (k % 2 == 0)) for k in range(12)]
    model = uniform([kv.Well(x=200.0, y=0.0, radius=0.05, schedule=schedule)])
    t = np.arange(1.0, 361.0)
    model.drawdown(250.0, 0.0, t)
    st = model.last_stats
    assert st["terms"] > 2000
    assert st["inversions"] == 360  # the distinct lags 1..360
    assert st["integrations"] == 360 * model.nterms
    model.depletion(t)
    assert model.last_stats["inversions"] == 360


def test_depletion_transform_without_integrals_equals_the_engines():
    from kelvorat import _core

    m = kv.read_deck(kv_example()).model
    for lag in (0.05, 1.0, 37.5, 400.0):
        full = _core.lag_transform(m._aquifer, m.nterms, m.errmax, 100.0, 0.0, 0.2, 50.0, 0.0, lag)
        dep = _core.depletion_transform(m._aquifer, m.nterms, m.errmax, 100.0, 0.0, 0.2, lag)
        assert (dep["aDP"], dep["aDV"]) == (full["aDP"], full["aDV"])
    assert _core.depletion_transform(m._aquifer, m.nterms, m.errmax, 100.0, 0.0, 0.2, 0.0) == \
        {"aDP": 0.0, "aDV": 0.0}
