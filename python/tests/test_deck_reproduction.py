"""A model read from a deck against the batch program's tables, bit for bit:
the deck series with the run's cuts, and the plain one-stop schedule."""

import math

import numpy as np
import pytest

import kelvorat as kv

from conftest import EXAMPLE, GOLDEN, fortran_e

# Golden decks that run to their end (guard_stop trips the exponential guard).
pytestmark = pytest.mark.filterwarnings("ignore:Settings.errmax")

DECKS = ["example", "case_a1", "case_a2", "case_a3", "case_a4", "near_well",
         "recovery_two_wells", "trace"]


def adet_rows(series):
    """The rows of the adet.res table: 4X, I4, 3X, E16.6, E18.10, E11.4, E12.4."""
    return ["    " + f"{j + 1:4d}" + "   " + fortran_e(series["TIME"][j], 16, 6)
            + fortran_e(series["DRAW"][j], 18, 10) + fortran_e(series["DERR"][j], 11, 4)
            + fortran_e(series["DEPL"][j], 12, 4) for j in range(len(series["TIME"]))]


def table_rows(path):
    """Per well the rows of the adet.res tables."""
    lines = path.read_text().splitlines()
    wells, k = [], 0
    while k < len(lines):
        if lines[k].startswith("   TIME STEP        TIME         DRAWDOWN"):
            k += 2
            rows = []
            while k < len(lines) and lines[k][:8].strip().isdigit():
                rows.append(lines[k])
                k += 1
            wells.append(rows)
        else:
            k += 1
    return wells


def test_fortran_e_matches_the_result_files():
    assert fortran_e(0.1, 16, 6) == "    0.100000E+00"
    assert fortran_e(0.02330067292, 18, 10) == "  0.2330067292E-01"
    assert fortran_e(0.0, 12, 4) == "  0.0000E+00"
    assert fortran_e(1e-120, 12, 4) == "  0.1000-119"
    assert fortran_e(-123.45, 10, 4, "D") == "-.1235D+03"


@pytest.mark.parametrize("case", DECKS)
def test_deck_series_give_the_stored_tables(case):
    deck = kv.read_deck(GOLDEN / case / "kelvorat.dat")
    expected = table_rows(GOLDEN / case / "expected" / "adet.res")
    series = deck.series()
    assert len(series) == len(expected)
    for got, want in zip(series, expected):
        assert adet_rows(got) == want
        np.testing.assert_array_equal(got["TIME"], deck.times)


def test_deck_series_equal_a_fresh_run_of_the_example(example_run):
    deck = kv.read_deck(EXAMPLE)
    res = kv.read_results(example_run, as_frame=False)
    series = deck.series()
    assert [adet_rows(s) for s in series] == table_rows(example_run / "adet.res")
    for s, w in zip(series, res.wells):
        # kelvorat.res holds the rows after ILAST: TIME, DRAW, Q * DEPL.
        keep = slice(s["ILAST"], None)
        want = [fortran_e(v, 12, 4) for v in w.kelvorat["DRAW"]]
        assert [fortran_e(v, 12, 4) for v in s["DRAW"][keep]] == want
        assert [fortran_e(deck.Q * v, 12, 4) for v in s["DEPL"][keep]] == \
            [fortran_e(v, 12, 4) for v in w.kelvorat["RATE"]]


def cuts_act(deck, series):
    """Per step: whether a cut of the run acts (a depletion ratio below 1e-8
    in one of the terms, or the zeroing at full depletion)."""
    m = deck.model
    w = m.wells[0]
    stopt = deck.STOPT
    out = []
    for t, depl in zip(deck.times, series["DEPL"]):
        pump = float(m.with_wells([kv.Well(w.x, w.y, w.radius, [(0.0, deck.Q)])])
                     .depletion_ratio(t))
        act = pump < 1e-8
        if stopt > 0 and t > stopt:
            rec = float(m.with_wells([kv.Well(w.x, w.y, w.radius, [(0.0, deck.Q)])])
                        .depletion_ratio(t - stopt))
            act = act or rec < 1e-8 or (1 - rec < 0.0010000000474974513
                                        and 1 - pump < 0.0010000000474974513)
        out.append(act)
    return np.array(out)


@pytest.mark.parametrize("case", DECKS)
def test_one_stop_schedule_is_the_deck_run_bit_for_bit(case):
    deck = kv.read_deck(GOLDEN / case / "kelvorat.dat")
    model = deck.model
    assert len(model.wells) == 1
    assert model.wells[0].schedule == ((0.0, deck.Q), (deck.STOPT, 0.0)) if deck.STOPT > 0 \
        else ((0.0, deck.Q),)
    series = deck.series()
    for (x, y), s in zip(deck.observations, series):
        draw = model.drawdown(x, y, deck.times)
        ratio = model.depletion_ratio(deck.times)
        cut = cuts_act(deck, s)
        # Bit for bit: the same doubles, not merely close ones.
        assert draw[~cut].tobytes() == s["DRAW"][~cut].tobytes()
        assert ratio[~cut].tobytes() == s["DEPL"][~cut].tobytes()
        # Before the stop the error estimate is the pumping term's alone.
        before = deck.times <= deck.STOPT if deck.STOPT > 0 else np.ones(deck.times.size, bool)
        err = model.drawdown_error(x, y, deck.times)
        np.testing.assert_array_equal(err[before], np.abs(s["DERR"][before]))


def test_the_example_has_steps_without_cuts_after_the_stop():
    # The bit-for-bit test above must cover recovery terms.
    deck = kv.read_deck(EXAMPLE)
    s = deck.series()[0]
    after = deck.times > deck.STOPT
    assert after.sum() >= 3
    assert not cuts_act(deck, s)[after].any()


def test_the_deck_model_equals_the_deck():
    deck = kv.read_deck(EXAMPLE)
    m = deck.model
    assert m.params() == {"T1": 800.0, "S1": 0.15, "T2": 300.0, "S2": 0.1, "T3": 1000.0,
                          "S3": 0.2, "K": 0.5, "thickness": 1.0, "width": 10.0, "left": 500.0,
                          "right": 2000.0, "leakance": 0.5}
    assert (m.nterms, m.errmax) == (12, 1e-8)
    assert deck.observations == [(50.0, 0.0), (-5.0, 20.0), (-60.0, 0.0)]
    assert deck.times.size == 20 and deck.times[0] == 0.1
    assert math.isclose(deck.times[-1], 104.510319, rel_tol=1e-8)
    cases = [s["placement"]["case"] for s in deck.series()]
    assert cases == ["A3", "A2", "A1"]


def test_the_exponential_guard_is_a_python_exception():
    deck = kv.read_deck(GOLDEN / "guard_stop" / "kelvorat.dat")
    with pytest.raises(kv.ExpGuardError, match="exceeds 700"):
        deck.series()
    with pytest.raises(ValueError):  # ExpGuardError is a ValueError
        x, y = deck.observations[1]
        deck.model.drawdown(x, y, deck.times)


def test_an_unreadable_deck_names_the_record(tmp_path):
    p = tmp_path / "kelvorat.dat"
    p.write_text("3\n50.0 0.0\n100.0 abc\n")
    with pytest.raises(kv.DeckError, match="kelvorat.dat"):
        kv.read_deck(p)
