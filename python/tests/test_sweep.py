"""Sweeps: parameter sets, determinism across workers and clusters, outputs."""

import math
import os

import numpy as np
import pytest

from kelvorat.sweep import draw_parameters, normalise_outputs, sweep

try:
    import kelvorat as kv

    HAVE_ENGINE = hasattr(kv, "Model")
except ImportError:  # the compiled package is not built
    kv = None
    HAVE_ENGINE = False

TIMES = np.array([1.0, 10.0, 60.0])
POINTS = [(50.0, 0.0), (-60.0, 0.0)]


class StandIn:
    """Closed-form stand-in with the engine's interface (Theis with a leaky image well)."""

    KEYS = ("T1", "S1", "T2", "S2", "T3", "S3", "K", "thickness", "width", "left", "right", "leakance")

    def __init__(self, **p):
        for k, v in p.items():
            if not v > 0:
                raise ValueError(f"{k} must be positive, got {v!r}")
        self.p = p

    def params(self):
        return dict(self.p, leakance=self.p["K"] / self.p["thickness"])

    def with_params(self, **c):
        bad = [k for k in c if k not in self.KEYS]
        if bad:
            raise ValueError(f"unknown parameter {bad[0]!r}")
        p = dict(self.p)
        if "leakance" in c:
            p["K"] = c.pop("leakance") * p["thickness"]
        p.update(c)
        return StandIn(**p)

    def _f(self):
        lam = self.p["K"] / self.p["thickness"]
        return lam / (1.0 + lam)

    def drawdown(self, x, y, t, threads=None):
        from scipy.special import exp1

        T, S = self.p["T3"], self.p["S3"]
        x, y, t = np.broadcast_arrays(*(np.asarray(a, float) for a in (x, y, t)))
        u = ((x - 100.0) ** 2 + y**2 + 0.04) * S / (4 * T * t)
        ui = ((x + 100.0) ** 2 + y**2) * S / (4 * T * t)
        return 2000.0 / (4 * math.pi * T) * (exp1(u) - self._f() * exp1(ui))

    def depletion(self, t, threads=None):
        from scipy.special import erfc

        t = np.asarray(t, float)
        ratio = self._f() * erfc(np.sqrt(self.p["S3"] * 100.0**2 / (4 * self.p["T3"] * t)))
        return 2000.0 * ratio, ratio, 2000.0 * ratio * t

    def depletion_rate(self, t, threads=None):
        return self.depletion(t)[0]

    def depletion_ratio(self, t, threads=None):
        return self.depletion(t)[1]

    def depleted_volume(self, t, threads=None):
        return self.depletion(t)[2]


def make_model():
    """The bundled example's aquifer with one well stopping at 50 days, NTERMS 8."""
    if not HAVE_ENGINE:
        return StandIn(T1=800.0, S1=0.15, T2=300.0, S2=0.10, T3=1000.0, S3=0.20, K=0.5,
                       thickness=1.0, width=10.0, left=500.0, right=2000.0)
    return kv.Model(
        zones=(kv.Zone(T=800.0, S=0.15), kv.Zone(T=300.0, S=0.10), kv.Zone(T=1000.0, S=0.20)),
        stream=kv.Stream(width=10.0, K=0.5, thickness=1.0),
        boundaries=kv.Boundaries(left=500.0, right=2000.0),
        wells=[kv.Well(x=100.0, y=0.0, radius=0.2, schedule=[(0.0, 2000.0), (50.0, 0.0)])],
        settings=kv.Settings(nterms=8, errmax=1e-6),
    )


@pytest.fixture(scope="module")
def model():
    return make_model()


MC = {"K": ("lognormal", 0.5, 0.8), "T3": ("uniform", 700.0, 1300.0)}
OUTS = [("depletion_ratio", TIMES), ("depleted_volume", TIMES), ("drawdown", POINTS, TIMES)]


def test_draws_are_seeded_and_drawn_in_order():
    names, v = draw_parameters(MC, draws=5, seed=3)
    rng = np.random.default_rng(3)
    k = 0.5 * np.exp(rng.normal(0.0, 0.8, 5))
    t3 = rng.uniform(700.0, 1300.0, 5)
    assert names == ["K", "T3"]
    assert np.array_equal(v, np.column_stack([k, t3]))
    assert not np.array_equal(draw_parameters(MC, draws=5, seed=4)[1], v)
    # distribution shapes on many draws (no model evaluated)
    _, big = draw_parameters(
        {"a": ("loguniform", 1e-3, 1e1), "b": ("normal", 2.0, 0.5), "c": ("triangular", 0, 1, 4)},
        draws=20000,
        seed=1,
    )
    la = np.log10(big[:, 0])
    assert la.min() >= -3 and la.max() <= 1 and abs(np.median(la) + 1.0) < 0.05
    assert abs(big[:, 1].mean() - 2.0) < 0.02 and abs(big[:, 1].std() - 0.5) < 0.02
    assert abs(big[:, 2].mean() - 5.0 / 3.0) < 0.03


def test_grid_is_the_cartesian_product_and_matches_direct_evaluation(model):
    res = sweep(model, {"K": [0.1, 1.0], "S3": [0.1, 0.2, 0.3]}, OUTS, workers=1, progress=False)
    assert res.names == ["K", "S3"]
    assert res.draws.tolist() == [[0.1, 0.1], [0.1, 0.2], [0.1, 0.3], [1.0, 0.1], [1.0, 0.2], [1.0, 0.3]]
    assert res.outputs["depletion_ratio"].shape == (6, 3)
    assert res.outputs["drawdown"].shape == (6, 2, 3)
    m = model.with_params(K=1.0, S3=0.2)
    assert np.array_equal(res.outputs["depletion_ratio"][4], m.depletion_ratio(TIMES))
    assert np.array_equal(res.outputs["depleted_volume"][4], m.depleted_volume(TIMES))
    x = np.array([p[0] for p in POINTS])[:, None]
    y = np.array([p[1] for p in POINTS])[:, None]
    assert np.array_equal(res.outputs["drawdown"][4], m.drawdown(x, y, TIMES[None, :]))
    # physical sense: a more conductive streambed takes more from the stream
    assert np.all(res.outputs["depletion_ratio"][3:] >= res.outputs["depletion_ratio"][:3])
    assert not res.failures


def test_results_do_not_depend_on_workers_or_executor(model):
    ref = sweep(model, MC, OUTS, draws=12, seed=7, workers=1, progress=False)
    for kw in ({"workers": 2}, {"workers": 2, "chunksize": 5}, {"workers": 2, "executor": "processes"}):
        other = sweep(model, MC, OUTS, draws=12, seed=7, progress=False, **kw)
        assert np.array_equal(other.draws, ref.draws), kw
        for label in ref.outputs:
            assert np.array_equal(other.outputs[label], ref.outputs[label]), (kw, label)


def test_local_cluster_gives_the_same_numbers(model):
    distributed = pytest.importorskip("distributed")
    ref = sweep(model, MC, OUTS[:1], draws=6, seed=11, workers=1, progress=False)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        res = sweep(model, MC, OUTS[:1], draws=6, seed=11, client=client, progress=False)
    assert np.array_equal(res.draws, ref.draws)
    assert np.array_equal(res.outputs["depletion_ratio"], ref.outputs["depletion_ratio"])


def test_percentiles_tables_and_plot(model, tmp_path):
    res = sweep(model, MC, OUTS, draws=9, seed=2, workers=2, progress=False)
    pct = res.percentiles
    assert pct["depletion_ratio"].shape == (3, 3) and pct["drawdown"].shape == (3, 2, 3)
    assert np.array_equal(pct["drawdown"], np.percentile(res.outputs["drawdown"], [10, 50, 90], axis=0))
    assert np.all(np.diff(pct["depleted_volume"], axis=0) >= 0)  # P10 <= P50 <= P90
    paths = res.write_csv(tmp_path)
    with open(paths[0]) as fh:
        assert fh.readline().strip() == "draw,K,T3" and len(fh.readlines()) == 9
    with open(paths[2]) as fh:
        lines = fh.readlines()
    assert lines[0].strip() == "output,kind,x,y,time,P10,P50,P90"
    assert len(lines) == 1 + 3 + 3 + 2 * 3
    png = res.plot(tmp_path / "band.png")
    assert os.path.getsize(png) > 5000
    pd = pytest.importorskip("pandas")
    df = res.to_dataframe()
    assert list(df.columns[:2]) == ["K", "T3"] and len(df) == 9
    assert "drawdown[x=-60,y=0,t=10]" in df.columns
    assert df["depletion_ratio[t=60]"].to_numpy().tolist() == res.outputs["depletion_ratio"][:, 2].tolist()
    assert isinstance(res.percentiles_frame(), pd.DataFrame)


def test_refused_draws_become_nan_and_are_listed(model):
    # a normal spread wide enough to give negative storage coefficients
    res = sweep(model, {"S3": ("normal", 0.05, 0.1)}, OUTS[:1], draws=10, seed=5, workers=2, progress=False)
    neg = np.flatnonzero(res.draws[:, 0] <= 0)
    assert neg.size > 0 and sorted(res.failures) == neg.tolist()
    assert np.all(np.isnan(res.outputs["depletion_ratio"][neg]))
    assert "S" in next(iter(res.failures.values()))
    ok = np.setdiff1d(np.arange(10), neg)
    assert np.all(np.isfinite(res.outputs["depletion_ratio"][ok]))
    assert np.all(np.isfinite(res.percentiles["depletion_ratio"]))


@pytest.mark.parametrize(
    "parameters, draws, words",
    [
        ({"Kbed": ("uniform", 0.1, 1.0)}, 4, ["'Kbed'"]),
        ({"K": ("gamma", 1.0, 2.0)}, 4, ["'K'", "'gamma'"]),
        ({"K": ("uniform", 1.0)}, 4, ["'K'", "uniform", "2 values"]),
        ({"K": ("uniform", 2.0, 1.0)}, 4, ["'K'", "lo < hi"]),
        ({"K": ("loguniform", 0.0, 1.0)}, 4, ["'K'", "lo > 0"]),
        ({"T3": ("normal", 1000.0, -1.0)}, 4, ["'T3'", "sd > 0"]),
        ({"K": ("lognormal", "a", 1.0)}, 4, ["'K'", "numbers"]),
        ({"K": ("uniform", 0.1, 1.0)}, 0, ["draws"]),
        ({"K": ("uniform", 0.1, 1.0), "T3": [900.0, 1100.0]}, 4, ["mix", "K", "T3"]),
        ({"K": [0.1, 0.5]}, 4, ["draws"]),
        ({"K": []}, None, ["'K'", "empty"]),
        ({"K": [0.1, float("nan")]}, None, ["'K'", "finite"]),
        ({"K": [0.1], "leakance": [0.2]}, None, ["leakance", "K"]),
    ],
)
def test_bad_parameters_raise_value_error_naming_them(model, parameters, draws, words):
    with pytest.raises(ValueError) as err:
        sweep(model, parameters, OUTS[:1], draws=draws, workers=1, progress=False)
    for w in words:
        assert w in str(err.value)


@pytest.mark.parametrize(
    "outputs, words",
    [
        ([("depletion_fraction", TIMES)], ["'depletion_fraction'"]),
        ([("drawdown", TIMES)], ["drawdown", "points"]),
        ([("depletion_ratio", [1.0, -2.0])], ["depletion_ratio", "positive"]),
        ([("drawdown", [(1.0, 2.0, 3.0)], TIMES)], ["(x, y)"]),
        ([], ["no outputs"]),
    ],
)
def test_bad_outputs_raise_value_error(outputs, words):
    with pytest.raises(ValueError) as err:
        normalise_outputs(outputs)
    for w in words:
        assert w in str(err.value)


def test_labels_and_progress_line(model, capsys, monkeypatch):
    import builtins

    real_import = builtins.__import__

    def no_tqdm(name, *a, **k):
        if name == "tqdm":
            raise ImportError(name)
        return real_import(name, *a, **k)

    monkeypatch.setattr(builtins, "__import__", no_tqdm)
    res = sweep(model, {"K": [0.2, 0.4, 0.8]},
                {"early": ("depletion_ratio", [1.0]), "late": ("depletion_ratio", [60.0])},
                workers=2, progress=True)
    assert set(res.outputs) == {"early", "late"}
    assert np.all(res.outputs["late"] > res.outputs["early"])
    assert "sweep: 3/3 draws" in capsys.readouterr().err
    assert math.isfinite(res.elapsed)


@pytest.mark.skipif(not HAVE_ENGINE, reason="the kelvorat extension is not built")
def test_command_line_writes_tables_and_band(tmp_path, capsys):
    from kelvorat.sweep import main

    src = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "sweep_streambed.toml")
    with open(src) as fh:
        text = fh.read()
    text = text.replace("draws = 400", "draws = 6").replace("nterms = 12", "nterms = 8")
    text = text.replace("count = 20", "count = 4")
    (tmp_path / "p.toml").write_text(text)
    assert main([str(tmp_path / "p.toml"), "--workers", "2", "--no-progress"]) == 0
    out = tmp_path / "sweep_streambed_results"
    for f in ("sweep_draws.csv", "sweep_outputs.csv", "sweep_percentiles.csv", "sweep_band.png"):
        assert (out / f).stat().st_size > 0, f
    with open(out / "sweep_draws.csv") as fh:
        assert fh.readline().strip() == "draw,K,S3" and len(fh.readlines()) == 6
    with open(out / "sweep_percentiles.csv") as fh:
        rows = fh.readlines()
    assert len(rows) == 1 + 3 * 4  # ratio, volume, drawdown at OW1; 4 times each
    assert "drawdown_OW1" in "".join(rows)
    assert "6 draws" in capsys.readouterr().out
    # a bad [sweep] table: exit status 2 and a message naming the parameter
    (tmp_path / "bad.toml").write_text(text.replace('S3 = ["uniform"', 'S4 = ["uniform"'))
    assert main([str(tmp_path / "bad.toml"), "--no-progress"]) == 2
    assert "'S4'" in capsys.readouterr().err
