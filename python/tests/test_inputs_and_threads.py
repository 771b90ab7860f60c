"""Bad input gives a ValueError naming the parameter and the value; results
do not depend on the number of threads."""

import math
import threading
import time

import numpy as np
import pytest

import kelvorat as kv

from conftest import EXAMPLE


def example(**kw):
    args = dict(
        zones=(kv.Zone(T=800.0, S=0.15), kv.Zone(T=300.0, S=0.10), kv.Zone(T=1000.0, S=0.20)),
        stream=kv.Stream(width=10.0, K=0.5, thickness=1.0),
        boundaries=kv.Boundaries(left=500.0, right=2000.0),
        wells=[kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 2000.0), (50.0, 0.0)])],
        settings=kv.Settings(nterms=12, errmax=1e-8),
    )
    args.update(kw)
    return kv.Model(**args)


@pytest.mark.parametrize("make, match", [
    (lambda: kv.Zone(T=0.0, S=0.1), r"Zone\.T must be positive, got 0\.0"),
    (lambda: kv.Zone(T=-3.0, S=0.1), r"Zone\.T must be positive, got -3\.0"),
    (lambda: kv.Zone(T=100.0, S=0.0), r"Zone\.S must be positive, got 0\.0"),
    (lambda: kv.Zone(T=math.nan, S=0.1), r"Zone\.T must be a finite number, got nan"),
    (lambda: kv.Zone(T=100.0, S="x"), r"Zone\.S must be a number, got 'x'"),
    (lambda: kv.Stream(width=10.0, K=-0.5), r"Stream\.K must not be negative, got -0\.5"),
    (lambda: kv.Stream(width=10.0, K=0.5, thickness=0.0), r"Stream\.thickness must be positive"),
    (lambda: kv.Boundaries(left=500.0, right=math.inf), r"Boundaries\.right must be a finite"),
    (lambda: kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 1.0), (0.0, 0.0)]),
     r"schedule\[1\] start time must be later than the step before \(0\.0\), got 0\.0"),
    (lambda: kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(5.0, 1.0), (2.0, 0.0)]),
     r"schedule\[1\] start time .* got 2\.0"),
    (lambda: kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, math.nan)]),
     r"schedule\[0\] rate must be a finite number, got nan"),
    (lambda: kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(-1.0, 5.0)]),
     r"schedule\[0\] start time must not be negative, got -1\.0"),
    (lambda: kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[]), r"at least one"),
    (lambda: kv.Well(x=100.0, y=math.nan, radius=0.2, schedule=[(0, 1)]), r"Well\.y .* nan"),
    (lambda: kv.Settings(nterms=12, errmax=0.0), r"Settings\.errmax must be positive"),
    (lambda: example(wells=[kv.Well(x=0.0, y=0.0, radius=0.2, schedule=[(0, 1)])]),
     r"wells\[0\]\.x must lie in zone 3, 0 < x < right boundary 2000\.0, got 0\.0"),
    (lambda: example(wells=[kv.Well(x=2500.0, y=0.0, radius=0.2, schedule=[(0, 1)], name="P7")]),
     r"P7\.x must lie in zone 3.* got 2500\.0"),
    (lambda: example(wells=[kv.Well(x=-20.0, y=0.0, radius=0.2, schedule=[(0, 1)])]),
     r"got -20\.0"),
    (lambda: example(boundaries=kv.Boundaries(left=5.0, right=2000.0)),
     r"Boundaries\.left must be at least the stream width 10\.0, got 5\.0"),
    (lambda: example(zones=(kv.Zone(1, 1),) * 2), r"zones must be three Zone values"),
    (lambda: example(wells=[]), r"wells must be one or more Well"),
])
def test_bad_model_input(make, match):
    with pytest.raises(ValueError, match=match):
        make()


def test_bad_evaluation_input():
    m = example()
    with pytest.raises(ValueError, match=r"t must hold finite numbers, got nan"):
        m.drawdown(50.0, 0.0, [1.0, math.nan])
    with pytest.raises(ValueError, match=r"x must hold finite numbers, got inf"):
        m.drawdown(math.inf, 0.0, 1.0)
    with pytest.raises(ValueError, match=r"x = 2500: must lie in the strip, from -500 to 2000"):
        m.drawdown(2500.0, 0.0, 1.0)
    with pytest.raises(ValueError, match=r"x = -600: must lie in the strip"):
        m.drawdown(-600.0, 0.0, 1.0)
    with pytest.raises(ValueError, match=r"t must hold finite numbers"):
        m.depletion_rate([math.nan])
    with pytest.raises(ValueError, match=r"threads must be a positive integer or None, got 0"):
        m.drawdown(50.0, 0.0, 1.0, threads=0)
    with pytest.raises(ValueError, match="shape mismatch|broadcast"):
        m.drawdown([1.0, 2.0], [1.0, 2.0, 3.0], 1.0)
    with pytest.raises(ValueError, match=r"unknown parameter 'T4'"):
        m.with_params(T4=1.0)
    with pytest.raises(ValueError, match=r"either K or leakance"):
        m.with_params(K=1.0, leakance=1.0)
    with pytest.raises(ValueError, match=r"Zone\.T must be positive, got -1\.0"):
        m.with_params(T3=-1.0)


def test_no_pumping_has_no_depletion_ratio():
    m = example(wells=[kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 0.0)])])
    assert m.reference_rate() == 0.0
    np.testing.assert_array_equal(m.depletion_rate([1.0, 2.0]), [0.0, 0.0])
    np.testing.assert_array_equal(m.depletion_ratio([1.0, 2.0]), [0.0, 0.0])
    np.testing.assert_array_equal(m.drawdown(50.0, 0.0, [1.0, 2.0]), [0.0, 0.0])


def test_the_core_checks_what_it_is_handed():
    # The compiled core refuses bad values on its own, whatever the caller.
    from kelvorat import _core

    m = example()
    aq = list(m._aquifer)
    aq[4] = -1.0  # T3
    with pytest.raises(ValueError, match=r"T3 = -1: must be positive"):
        _core.drawdown(tuple(aq), 12, 1e-8, m._wells, np.array([50.0]), np.array([0.0]),
                       np.array([1.0]), 1)
    with pytest.raises(ValueError, match=r"well 1 schedule\[1\] start time = 0"):
        _core.depletion(m._aquifer, 12, 1e-8, [(100.0, 0.0, 0.2, [0.0, 0.0], [1.0, 0.0])],
                        np.array([1.0]), 1.0, 1)
    with pytest.raises(ValueError, match=r"NTERMS = 7"):
        _core.depletion(m._aquifer, 7, 1e-8, m._wells, np.array([1.0]), 1.0, 1)


def test_a_time_a_rounding_error_after_a_step_trips_the_guard_with_a_clear_message():
    m = example(wells=[kv.Well(x=300.0, y=80.0, radius=0.2, schedule=[(2.0, 1000.0)])])
    t = np.geomspace(0.1, 40.0, 15)  # t[7] = 2.0000000000000004
    assert 0 < t[7] - 2.0 < 1e-15
    with pytest.raises(kv.ExpGuardError, match=r"exceeds 700 in the response of well 1 at the "
                                                r"point \(50, 0\) at 4.44.*e-16 days after"):
        m.drawdown(50.0, 0.0, t, threads=2)
    assert np.isfinite(m.drawdown(50.0, 0.0, np.delete(t, 7))).all()


def test_settings_are_checked_as_the_deck_checks_them():
    with pytest.warns(UserWarning, match="outside 6..20: 6 terms"):
        m = example(settings=kv.Settings(nterms=30, errmax=1e-8))
    assert m.nterms == 6
    with pytest.warns(UserWarning, match="odd: 12 terms"):
        assert example(settings=kv.Settings(nterms=11, errmax=1e-8)).nterms == 12
    with pytest.warns(UserWarning, match="errmax"):
        m = example(settings=kv.Settings(nterms=20, errmax=1e-8))
    assert math.isclose(m.errmax, 6.0710e-14, rel_tol=1e-4)
    assert (kv.Settings().nterms, kv.Settings().errmax) == (12, 1e-8)


def test_twenty_terms_are_not_a_safe_default():
    # Why the default is not the deck's 20 terms: the weights (up to 1.6e12)
    # magnify the integrals' rounding errors; at early times the drawdown
    # comes out far off, even negative, where twelve terms are accurate.
    t = np.array([0.1])
    with pytest.warns(UserWarning):
        m20 = example(settings=kv.Settings(nterms=20))
    good = example().drawdown(50.0, 0.0, t)
    assert abs(m20.drawdown(50.0, 0.0, t) - good) > 0.1 * good


def test_params_and_with_params():
    m = example()
    p = m.params()
    assert set(p) == set(kv.PARAMETERS)
    assert p["leakance"] == 0.5
    m2 = m.with_params(leakance=2.0, thickness=2.0, T3=1200.0)
    assert (m2.stream.K, m2.stream.thickness, m2.zones[2].T) == (4.0, 2.0, 1200.0)
    assert m2.wells == m.wells and m2.settings == m.settings
    assert m.with_params() == m
    assert m.with_params(S1=0.2) != m


def test_results_do_not_depend_on_the_thread_count():
    wells = [kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 2000.0), (7.0, 0.0), (12.0, 900.0)]),
             kv.Well(x=300.0, y=80.0, radius=0.2, schedule=[(2.0, 1500.0), (20.0, 0.0)])]
    m = example(wells=wells)
    x = np.array([50.0, -5.0, -60.0, 120.0])[:, None]
    y = np.array([0.0, 20.0, 0.0, 30.0])[:, None]
    t = np.geomspace(0.13, 41.0, 15)[None, :]
    one = m.drawdown_with_error(x, y, t, threads=1)
    for threads in (2, 3, 7, None):
        other = m.drawdown_with_error(x, y, t, threads=threads)
        assert one[0].tobytes() == other[0].tobytes() and one[1].tobytes() == other[1].tobytes()
    d1 = m.depletion(t, threads=1)
    for threads in (2, 5, None):
        assert all(a.tobytes() == b.tobytes() for a, b in zip(d1, m.depletion(t, threads=threads)))


def test_the_gil_is_released_during_computation():
    # A Python thread keeps running while the core computes.
    m = example(settings=kv.Settings(nterms=16, errmax=1e-10))
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    t = np.geomspace(0.1, 100.0, 400)
    th = threading.Thread(target=ticker)
    th.start()
    try:
        start = time.monotonic()
        m.drawdown(np.linspace(-400, 1500, 8)[:, None], 10.0, t[None, :], threads=1)
        end = time.monotonic()
    finally:
        stop.set()
        th.join()
    during = [x for x in ticks if start < x < end]
    assert end - start > 0.05
    assert len(during) >= 5


def test_models_pickle_for_worker_processes():
    import pickle

    m = example(wells=[kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 2000.0)], name="P1")])
    back = pickle.loads(pickle.dumps(m))
    assert back == m
    assert back.drawdown(50.0, 0.0, 10.0) == m.drawdown(50.0, 0.0, 10.0)
