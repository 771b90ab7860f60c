"""Figures, the command line and projects: the files exist and hold what
they should (axes labels, labelled series, data)."""

import csv
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")

import numpy as np
import pytest

import kelvorat as kv
from kelvorat import plots as P
from kelvorat.run import Progress

from conftest import EXAMPLE, GOLDEN, SOURCE

STORED = GOLDEN / "example" / "expected"


def run_module(*args, cwd=None):
    env = dict(os.environ, MPLBACKEND="Agg")
    return subprocess.run([sys.executable, "-m", "kelvorat", *args], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=600)


def lines_of(ax):
    return [l for l in ax.get_lines() if not l.get_label().startswith("_")]


def assert_labelled_with_data(ax, n_series):
    assert ax.get_xlabel() and ax.get_ylabel()
    series = lines_of(ax)
    assert len(series) >= n_series
    for line in series:
        x, y = line.get_data()
        assert len(x) > 0 and np.isfinite(np.asarray(y, float)).any(), line.get_label()
    legend = ax.get_legend()
    assert legend is not None
    assert {t.get_text() for t in legend.get_texts()} >= {l.get_label() for l in series}


def test_read_results_of_the_stored_example():
    res = kv.read_results(STORED, as_frame=False)
    assert len(res) == 3
    assert (res.Q, res.STOPT) == (2000.0, 50.0)
    assert [w.case for w in res.wells] == ["A3", "A2", "A1"]
    assert [w.zone for w in res.wells] == [3, 2, 1]
    assert [w.location for w in res.wells] == [(50.0, 0.0), (-5.0, 20.0), (-60.0, 0.0)]
    assert res.echo["zones"] == [(800.0, 0.15), (300.0, 0.1), (1000.0, 0.2)]
    w1 = res.wells[0]
    assert w1.adet["TIME"].size == 20 and w1.adet["STEP"][-1] == 20
    assert w1.adet["DRAW"][16] == 0.6791915013 and w1.adet["DEPL"][16] == 0.5386
    assert w1.kelvorat["DRAW"][16] == 0.6792 and w1.kelvorat["RATE"][16] == 1077.0
    # dim2.res has no separators: split by the other files' row counts.
    assert [w.dim2["TDR"].size for w in res.wells] == [w.kelvorat["TIME"].size
                                                       for w in res.wells]
    r = 50.0
    np.testing.assert_allclose(w1.dim2["TDR"], 4 * 1000 * w1.kelvorat["TIME"] / (r * r * 0.2),
                               rtol=1e-3)
    np.testing.assert_array_equal(w1.kelvdim["DEPL"], w1.dim2["DEPL"])


def test_read_results_gives_data_frames_when_pandas_is_there():
    pd = pytest.importorskip("pandas")
    res = kv.read_results(STORED)
    assert isinstance(res.wells[0].kelvorat, pd.DataFrame)
    assert list(res.wells[0].adet.columns) == ["STEP", "TIME", "DRAW", "DERR", "DEPL"]


def test_read_results_without_files(tmp_path):
    with pytest.raises(FileNotFoundError, match="no result files"):
        kv.read_results(tmp_path)


def test_parse_number_reads_every_field_form():
    from kelvorat.results import parse_number

    assert parse_number("  0.1000-119") == 1e-120
    assert parse_number("-.1235D+03") == -123.5
    assert parse_number("0.8000D+03") == 800.0
    assert parse_number(" 12.50000000000000") == 12.5
    assert np.isnan(parse_number("**********"))


def test_figures_of_the_stored_example():
    figs = P.results_figures(kv.read_results(STORED))
    assert set(figs) == {"drawdown", "drawdown_log", "depletion", "type_curves"}
    ax = figs["drawdown"].axes[0]
    assert_labelled_with_data(ax, 3)
    assert ax.get_xlabel() == "time (days)" and ax.get_ylabel() == "drawdown (m)"
    assert figs["drawdown_log"].axes[0].get_xscale() == "log"
    dep = figs["depletion"].axes
    assert dep[0].get_ylabel() == "depletion ratio (–)"
    assert any(a.get_ylabel() == "volume (m³)" for a in dep)
    assert any(p.get_label() == "pumping" for p in dep[0].patches)
    ratio = lines_of(dep[0])[0]
    assert np.nanmax(ratio.get_ydata()) == pytest.approx(0.5386, abs=1e-4)
    tc = figs["type_curves"].axes
    assert tc[0].get_xscale() == tc[0].get_yscale() == "log"
    theis = [l for l in tc[0].get_lines() if l.get_label().startswith("Theis")]
    assert len(theis) == 1
    # The Theis curve is W(u) at u = 1/TDR.
    x, y = theis[0].get_data()
    np.testing.assert_allclose(y, kv.E1(1.0 / x), rtol=1e-12)
    assert_labelled_with_data(tc[0], 4)
    assert_labelled_with_data(tc[1], 3)


def test_drawdown_map_draws_the_stream_boundaries_and_wells():
    model = kv.read_deck(EXAMPLE).model
    fig = P.drawdown_map_figure(model, 30.0, x=np.linspace(-500.0, 300.0, 9),
                                y=np.linspace(-150.0, 150.0, 7),
                                observations=[("OW1", 50.0, 0.0)])
    ax = fig.axes[0]
    labels = {t.get_text() for t in ax.get_legend().get_texts()}
    assert {"stream zone", "left boundary", "pumping wells", "observation wells"} <= labels
    assert ax.get_xlabel().startswith("x") and ax.get_ylabel().startswith("y")
    assert ax.collections, "no contours"
    assert fig.axes[1].get_ylabel() == "drawdown (m)"  # the colour bar
    # The wells' x is kept off the grid.
    np.testing.assert_allclose(P.off_the_wells(np.array([0.0, 50.0, 100.0, 150.0]), [100.0]),
                               [0.0, 50.0, 100.0 - 50.0 / 3.0, 150.0])


def test_plot_command_on_a_fresh_run(example_run, tmp_path):
    out = tmp_path / "figs"
    r = run_module("plot", str(example_run), "-o", str(out))
    assert r.returncode == 0, r.stderr
    for stem in ("drawdown", "drawdown_log", "depletion", "type_curves"):
        png, svg = out / f"{stem}.png", out / f"{stem}.svg"
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and png.stat().st_size > 10000
        assert "time (days)" in svg.read_text() or stem == "type_curves"
    assert "Theis W(u)" in (out / "type_curves.svg").read_text()


def test_plot_command_errors(tmp_path):
    r = run_module("plot", str(tmp_path))
    assert r.returncode == 2 and "no result files" in r.stderr
    r = run_module("bogus")
    assert r.returncode == 2 and "unknown command 'bogus'" in r.stderr


@pytest.mark.parametrize("command", ["sweep", "calibrate"])
def test_plugin_commands_report_when_absent(command):
    if importlib.util.find_spec(f"kelvorat.{command}") is not None:
        pytest.skip(f"kelvorat.{command} is installed")
    r = run_module(command, "x.toml")
    assert r.returncode == 2
    assert f"the command '{command}' is not available" in r.stderr


PROJECT = """
[aquifer]
zones = [{T = 800.0, S = 0.15}, {T = 300.0, S = 0.10}, {T = 1000.0, S = 0.20}]
left = 500.0
right = 2000.0

[stream]
width = 10.0
K = 0.5
thickness = 1.0

[settings]
nterms = 10
errmax = 1e-8

[[wells]]
name = "P1"
x = 100.0
y = 0.0
radius = 0.2
schedule = [[0.0, 2000.0], [20.0, 0.0], [30.0, 1000.0]]

[[wells]]
name = "P2"
x = 200.0
y = 100.0
schedule = [[5.0, 800.0]]

[[observations]]
name = "OW1"
x = 50.0
y = 0.0

[[observations]]
name = "OW2"
x = -60.0
y = 10.0

[times]
start = 0.5
stop = 40.0
count = 12
spacing = "log"

[output]
dir = "out"
formats = ["png"]
map_time = 25.0
"""


def test_run_command_writes_tables_and_figures(tmp_path):
    path = tmp_path / "study.toml"
    path.write_text(PROJECT)
    r = run_module("run", str(path), "--progress")
    assert r.returncode == 0, r.stderr
    out = tmp_path / "out"
    project = kv.load_project(path)
    m = project.model
    with open(out / "drawdown.csv") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["time_days", "OW1_m", "OW2_m"]
    assert len(rows) == 13
    t = np.array([float(r[0]) for r in rows[1:]])
    np.testing.assert_array_equal(t, project.times)
    for j, (_, x, y) in enumerate(project.observations):
        # The table holds the model's values exactly (repr round-trips).
        np.testing.assert_array_equal([float(r[j + 1]) for r in rows[1:]], m.drawdown(x, y, t))
    with open(out / "depletion.csv") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["time_days", "pumping_rate_m3_per_day", "depletion_rate_m3_per_day",
                       "depletion_ratio", "depleted_volume_m3"]
    rate, ratio, volume = m.depletion(t)
    np.testing.assert_array_equal([float(r[2]) for r in rows[1:]], rate)
    np.testing.assert_array_equal([float(r[3]) for r in rows[1:]], ratio)
    np.testing.assert_array_equal([float(r[4]) for r in rows[1:]], volume)
    np.testing.assert_array_equal([float(r[1]) for r in rows[1:]], m.total_rate(t))
    assert m.reference_rate() == 2800.0
    for stem in ("drawdown", "drawdown_log", "depletion", "drawdown_map"):
        assert (out / f"{stem}.png").stat().st_size > 10000
    assert "kelvorat run" in r.stderr  # the progress line


def test_run_command_reports_a_bad_project(tmp_path):
    path = tmp_path / "bad.toml"
    path.write_text(PROJECT.replace("K = 0.5", "K = -0.5"))
    r = run_module("run", str(path))
    assert r.returncode == 2
    assert "[stream]" in r.stderr and "Stream.K must not be negative, got -0.5" in r.stderr


@pytest.mark.parametrize("change, match", [
    (("[stream]", "[stream]\ncolour = 1"), r"\[stream\]: unknown key 'colour'"),
    (("[output]", "[outputs]"), r"unknown table \[outputs\]"),
    (("spacing = \"log\"", "spacing = \"cubic\""), r"spacing must be \"log\" or \"linear\""),
    (("count = 12", "count = 0"), r"count must be a positive integer, got 0"),
    (("x = 200.0", "x = 2200.0"), r"\[wells\[1\]\]: P2\.x must lie in zone 3.*got 2200\.0"),
    (("schedule = [[5.0, 800.0]]", "schedule = [[5.0, 800.0], [5.0, 0.0]]"),
     r"schedule\[1\] start time must be later"),
    (("T = 300.0", "T = 0.0"), r"\[aquifer\.zones\[1\]\]: Zone\.T must be positive, got 0\.0"),
    (("x = -60.0", "x = -600.0"), r"observations\[1\]\] x must lie in the strip"),
    (("[times]\nstart = 0.5", "[times]\nvalues = [1.0]\nstart = 0.5"), r"either values or"),
])
def test_project_errors_name_the_table_and_key(tmp_path, change, match):
    path = tmp_path / "p.toml"
    text = PROJECT.replace(*change)
    assert text != PROJECT
    path.write_text(text)
    with pytest.raises(kv.ProjectError, match=match):
        kv.load_project(path)


def test_project_tables_for_other_commands_are_kept(tmp_path):
    path = tmp_path / "p.toml"
    path.write_text(PROJECT + "\n[sweep]\ndraws = 10\n")
    p = kv.load_project(path)
    assert p.tables["sweep"] == {"draws": 10}
    assert p.output_dir == tmp_path / "out"
    assert p.times[0] == 0.5 and p.times[-1] == pytest.approx(40.0)
    path.write_text(PROJECT.replace("start = 0.5\nstop = 40.0\ncount = 12\nspacing = \"log\"",
                                    "values = [1.0, 2.0, 5.0]"))
    np.testing.assert_array_equal(kv.load_project(path).times, [1.0, 2.0, 5.0])


def test_the_bundled_project_loads():
    p = kv.load_project(SOURCE / "examples" / "schedule_project.toml")
    assert [w.name for w in p.model.wells] == ["P1", "P2"]
    assert len(p.observations) == 4 and p.times.size == 60


def test_progress_without_tqdm_is_a_plain_line(monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "tqdm", None)
    bar = Progress(3, "kelvorat run")
    bar.update()
    bar.update(2)
    bar.close()
    err = capsys.readouterr().err
    assert "kelvorat run: 3/3" in err and err.endswith("\n")


@pytest.mark.parametrize("files", [("kelvorat.res", "kelvdim.res", "dim2.res"), ("kelvorat.res",),
                                   ("dim2.res",)])
def test_plot_command_on_stored_studies_with_some_files(tmp_path, files):
    import shutil

    for f in files:
        shutil.copy(STORED / f, tmp_path / f)
    res = kv.read_results(tmp_path, as_frame=False)
    assert len(res) == 3
    r = run_module("plot", str(tmp_path), "--formats", "png")
    assert r.returncode == 0, r.stderr
    made = {p.stem for p in (tmp_path / "plots").glob("*.png")}
    want = {"type_curves"} if {"kelvdim.res", "dim2.res"} & set(files) else set()
    if "kelvorat.res" in files:
        want |= {"drawdown", "drawdown_log"}
    if "kelvdim.res" in files:
        want |= {"depletion"}
    assert made == want
