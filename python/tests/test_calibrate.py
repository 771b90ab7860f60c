"""Calibration: recovery of known parameters from noisy synthetic drawdowns,
uncertainty, robustness to bad starts and to parameter sets the engine refuses."""

import math
import os

import numpy as np
import pytest

from kelvorat.calibrate import calibrate, read_observations

from test_sweep import HAVE_ENGINE, make_model

TRUE = {"T3": 1000.0, "S3": 0.2, "leakance": 0.5}
WELLS = [("OW1", 50.0, 0.0), ("OW2", -5.0, 20.0), ("OW3", -60.0, 0.0), ("OW4", 200.0, 30.0)]
TIMES = np.array([0.3, 1.0, 3.0, 10.0, 30.0, 45.0])


@pytest.fixture(scope="module")
def truth():
    return make_model()


def synthetic(model, noise=0.01, seed=42):
    """Drawdowns at every well and time, with relative Gaussian noise."""
    x = np.repeat([w[1] for w in WELLS], TIMES.size)
    y = np.repeat([w[2] for w in WELLS], TIMES.size)
    t = np.tile(TIMES, len(WELLS))
    s = model.drawdown(x, y, t)
    rng = np.random.default_rng(seed)
    obs = s * (1.0 + noise * rng.standard_normal(s.size))
    well = np.repeat([w[0] for w in WELLS], TIMES.size).tolist()
    return {"well": well, "x": x, "y": y, "t": t, "drawdown": obs, "sigma": noise * np.abs(s)}


@pytest.fixture(scope="module")
def observations(truth):
    return synthetic(truth)


@pytest.fixture(scope="module")
def fit(truth, observations):
    start = truth.with_params(T3=400.0, S3=0.05, leakance=3.0)
    return calibrate(start, observations, free=["T3", "S3", "leakance"])


def test_recovers_true_values_within_two_sigma(fit):
    assert fit.success, fit.message
    for name, true in TRUE.items():
        v, se = fit.values[name], fit.stderr[name]
        assert 0 < se < 0.2 * v, (name, v, se)
        assert abs(v - true) <= 2 * se, (name, v, se, true)
        lo, hi = fit.interval(2.0)[name]
        assert lo < true < hi and lo < v < hi
    # weighted residuals of a correct model with the true noise level: variance near 1
    assert 0.4 < fit.residual_variance < 2.0
    assert fit.dof == len(WELLS) * TIMES.size - 3
    c = fit.correlation
    assert np.allclose(np.diag(c), 1.0) and np.allclose(c, c.T) and np.all(np.abs(c) <= 1 + 1e-12)
    assert np.allclose(fit.residuals, fit.observed - fit.fitted)


def test_standard_errors_scale_with_the_noise(truth):
    """Ten times the noise: about ten times the standard errors (same seed)."""
    obs1 = synthetic(truth, noise=0.001, seed=3)
    obs10 = synthetic(truth, noise=0.01, seed=3)
    f1 = calibrate(truth, obs1, free=["T3", "S3"])
    f10 = calibrate(truth, obs10, free=["T3", "S3"])
    for n in ("T3", "S3"):
        assert 7.0 < f10.stderr[n] / f1.stderr[n] < 14.0


def test_depletion_observations_join_the_fit(truth, observations):
    t = np.array([5.0, 20.0, 45.0])
    ratio = truth.depletion_ratio(t)
    dep = np.column_stack([t, ratio * (1 + 0.01 * np.array([0.3, -0.5, 0.2])), 0.01 * ratio])
    f = calibrate(truth.with_params(leakance=2.0), observations, free=["leakance"], depletion=dep)
    assert f.success, f.message
    assert abs(f.values["leakance"] - 0.5) <= 2 * f.stderr["leakance"]
    assert f.depletion_fitted.shape == (3,)


def test_bad_start_is_clipped_into_the_bounds(truth, observations):
    bounds = {"T3": (200.0, 5000.0), "S3": (0.01, 0.5)}
    f = calibrate(truth, observations, free=["T3", "S3"], bounds=bounds, start={"T3": 1e6, "S3": -1.0})
    assert 200.0 <= f.start["T3"] <= 5000.0 and 0.01 <= f.start["S3"] <= 0.5
    assert f.success, f.message
    assert abs(f.values["T3"] - 1000.0) <= 2 * f.stderr["T3"]
    # the solution is inside; a box that excludes it leaves the parameter on its bound
    g = calibrate(truth, observations, free=["T3"], bounds={"T3": (1500.0, 3000.0)})
    assert g.values["T3"] == pytest.approx(1500.0, rel=1e-6)
    assert "T3" in g.at_bound and "bound" in g.message


def test_a_start_far_off_without_bounds_is_retried(truth, observations):
    """From T3 = 50, S3 = 0.5, leakance = 50 the search runs the leakance off to
    zero, where the drawdowns no longer determine it: reported, then retried."""
    far = truth.with_params(T3=50.0, S3=0.5, leakance=50.0)
    with pytest.warns(UserWarning, match="not all determined"):
        once = calibrate(far, observations, free=["T3", "S3", "leakance"], restarts=0)
    assert not once.success and "not determined" in once.message
    again = calibrate(far, observations, free=["T3", "S3", "leakance"])
    assert again.success, again.message
    assert "starts" in again.message
    for name, true in TRUE.items():
        assert abs(again.values[name] - true) <= 2 * again.stderr[name]


def test_non_convergence_is_reported_not_raised(truth, observations):
    f = calibrate(truth.with_params(T3=300.0), observations, free=["T3", "S3", "leakance"], max_nfev=2)
    assert not f.success
    assert "did not converge" in f.message


def test_refused_parameter_sets_are_stepped_back_from(observations):
    """An engine that refuses part of the parameter space: the fit stays clear of it."""
    calls = {"refused": 0}

    class Picky:
        def __init__(self, m):
            self.m = m

        def params(self):
            return self.m.params()

        def with_params(self, **c):
            return Picky(self.m.with_params(**c))

        def drawdown(self, x, y, t, threads=None):
            if self.m.params()["T3"] < 700.0:
                calls["refused"] += 1
                raise RuntimeError("exponential argument above 700")
            return self.m.drawdown(x, y, t)

    start = Picky(make_model().with_params(T3=1500.0, S3=0.5))
    f = calibrate(start, observations, free=["T3", "S3"])
    assert f.success, f.message
    assert abs(f.values["T3"] - 1000.0) <= 2 * f.stderr["T3"]
    # a start inside the refused region: a clear message, not a traceback from the solver
    with pytest.raises(ValueError, match="cannot be evaluated at the start values T3=500"):
        calibrate(start, observations, free=["T3"], start={"T3": 500.0})


@pytest.mark.parametrize(
    "kw, words",
    [
        ({"free": ["T4"]}, ["'T4'"]),
        ({"free": []}, ["free"]),
        ({"free": ["K", "leakance"]}, ["K", "leakance", "one of them"]),
        ({"free": ["T3"], "bounds": {"T3": (10.0, 1.0)}}, ["T3", "lo < hi"]),
        ({"free": ["T3"], "bounds": {"S3": (0.1, 1.0)}}, ["'S3'", "free"]),
        ({"free": ["T3"], "start": {"T3": "big"}}, ["'T3'", "number"]),
        ({"free": ["T3"], "depletion": [(1.0, 0.1)], "depletion_kind": "flux"}, ["'flux'"]),
    ],
)
def test_bad_arguments_raise_value_error(truth, observations, kw, words):
    with pytest.raises(ValueError) as err:
        calibrate(truth, observations, **kw)
    for w in words:
        assert w in str(err.value)


def test_bad_observations_raise_value_error(truth, tmp_path):
    with pytest.raises(ValueError, match="time must be positive"):
        calibrate(truth, np.array([[50.0, 0.0, -1.0, 0.1]]), free=["T3"])
    with pytest.raises(ValueError, match="drawdown is not finite"):
        calibrate(truth, np.array([[50.0, 0.0, 1.0, np.nan]]), free=["T3"])
    p = tmp_path / "obs.csv"
    p.write_text("well,time,drawdown\nOW9,1.0,0.2\n")
    with pytest.raises(ValueError, match="line 2: unknown well 'OW9'"):
        read_observations(p, wells=WELLS)


def test_csv_observations_tables_and_plot(truth, observations, fit, tmp_path):
    p = tmp_path / "obs.csv"
    with open(p, "w") as fh:
        fh.write("well,time,drawdown\n")
        for w, t, s in zip(observations["well"], observations["t"], observations["drawdown"]):
            fh.write(f"{w},{t!r},{s!r}\n")
    obs = read_observations(p, wells=WELLS)
    assert np.array_equal(obs["x"], observations["x"]) and np.array_equal(obs["drawdown"], observations["drawdown"])
    paths = fit.write_csv(tmp_path)
    with open(paths[0]) as fh:
        head = fh.readline().strip().split(",")
        rows = [r.split(",") for r in fh.read().split()]
    assert head[:3] == ["parameter", "value", "stderr"] and [r[0] for r in rows] == ["T3", "S3", "leakance"]
    png = fit.plot(tmp_path / "fit.png")
    assert os.path.getsize(png) > 10000
    assert "T3" in fit.summary() and math.isfinite(fit.rmse)


@pytest.mark.skipif(not HAVE_ENGINE, reason="the kelvorat extension is not built")
def test_command_line_fits_a_project(truth, observations, tmp_path, capsys):
    from kelvorat.calibrate import main

    (tmp_path / "project.toml").write_text(_PROJECT)
    with open(tmp_path / "obs.csv", "w") as fh:
        fh.write("well,time,drawdown\n")
        for w, t, s in zip(observations["well"], observations["t"], observations["drawdown"]):
            fh.write(f"{w},{t!r},{s!r}\n")
    assert main([str(tmp_path / "project.toml"), str(tmp_path / "obs.csv")]) == 0
    out = tmp_path / "out"
    assert (out / "calibration.csv").exists() and (out / "calibration.png").exists()
    assert main([str(tmp_path / "project.toml"), str(tmp_path / "missing.csv")]) == 2
    # with observed depletion; then a fit cut short, and a misspelt key
    t = np.array([10.0, 40.0])
    with open(tmp_path / "depl.csv", "w") as fh:
        fh.write("time,ratio\n" + "".join(f"{a!r},{b!r}\n" for a, b in zip(t, truth.depletion_ratio(t))))
    (tmp_path / "p2.toml").write_text(_PROJECT + 'depletion = "depl.csv"\n')
    assert main([str(tmp_path / "p2.toml"), str(tmp_path / "obs.csv")]) == 0
    capsys.readouterr()
    (tmp_path / "p3.toml").write_text(_PROJECT + "max_nfev = 1\nrestarts = 0\n")
    assert main([str(tmp_path / "p3.toml"), str(tmp_path / "obs.csv")]) == 1
    assert "did not converge" in capsys.readouterr().err
    (tmp_path / "p4.toml").write_text(_PROJECT + "maxiter = 1\n")
    assert main([str(tmp_path / "p4.toml"), str(tmp_path / "obs.csv")]) == 2
    assert "unknown key 'maxiter'" in capsys.readouterr().err


_PROJECT = """
[aquifer]
zones = [ { T = 800.0, S = 0.15 }, { T = 300.0, S = 0.10 }, { T = 600.0, S = 0.1 } ]
left = 500.0
right = 2000.0
[stream]
width = 10.0
K = 1.5
thickness = 1.0
[settings]
nterms = 8
errmax = 1e-6
[[wells]]
x = 100.0
y = 0.0
radius = 0.2
schedule = [[0.0, 2000.0], [50.0, 0.0]]
[[observations]]
name = "OW1"
x = 50.0
y = 0.0
[[observations]]
name = "OW2"
x = -5.0
y = 20.0
[[observations]]
name = "OW3"
x = -60.0
y = 0.0
[[observations]]
name = "OW4"
x = 200.0
y = 30.0
[times]
values = [1.0, 10.0]
[output]
dir = "out"
[calibrate.bounds]
T3 = [50.0, 1e5]
[calibrate]
free = ["T3", "S3", "leakance"]
"""
