"""Computing a project: CSV tables of drawdown and depletion, and plots."""

from __future__ import annotations

import csv
import sys
import time as _time
from pathlib import Path

import numpy as np

__all__ = ["run_project", "Progress", "write_drawdown_csv", "write_depletion_csv"]


class Progress:
    """A progress bar over `total` units: tqdm when installed, else one
    plain line on stderr that is rewritten in place."""

    def __init__(self, total: int, desc: str, enabled: bool = True):
        self.total = total
        self.desc = desc
        self.enabled = enabled
        self.done = 0
        self._bar = None
        self._start = _time.monotonic()
        if not enabled:
            return
        try:
            from tqdm import tqdm

            self._bar = tqdm(total=total, desc=desc, unit="part", file=sys.stderr)
        except ImportError:
            self._plain()

    def _plain(self):
        elapsed = _time.monotonic() - self._start
        sys.stderr.write(f"\r{self.desc}: {self.done}/{self.total} ({elapsed:.1f} s)")
        sys.stderr.flush()

    def update(self, n: int = 1):
        self.done += n
        if not self.enabled:
            return
        if self._bar is not None:
            self._bar.update(n)
        else:
            self._plain()

    def close(self):
        if not self.enabled:
            return
        if self._bar is not None:
            self._bar.close()
        else:
            sys.stderr.write("\n")
            sys.stderr.flush()


def _fmt(v: float) -> str:
    return repr(float(v))


def write_drawdown_csv(path: Path, times, names, values, unit="m"):
    """One row per time, one column per observation well."""
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["time_days"] + [f"{n}_{unit}" for n in names])
        for i, t in enumerate(times):
            w.writerow([_fmt(t)] + [_fmt(values[j][i]) for j in range(len(names))])


def write_depletion_csv(path: Path, times, pumping, rate, ratio, volume):
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["time_days", "pumping_rate_m3_per_day", "depletion_rate_m3_per_day",
                    "depletion_ratio", "depleted_volume_m3"])
        for i, t in enumerate(times):
            w.writerow([_fmt(t), _fmt(pumping[i]), _fmt(rate[i]), _fmt(ratio[i]),
                        _fmt(volume[i])])


def run_project(project, threads=None, progress: bool | None = None, plots: bool | None = None,
                out_dir: Path | None = None) -> dict:
    """Computes a project and writes into its output directory:
    drawdown.csv and drawdown_error.csv (per time and observation well),
    depletion.csv (pumping rate, depletion rate, ratio and volume per time)
    and, with plots, the figures.  Returns the arrays and the paths."""
    model = project.model
    out = Path(out_dir) if out_dir is not None else project.output_dir
    out.mkdir(parents=True, exist_ok=True)
    times = np.asarray(project.times, dtype=float)
    names = project.observation_names()
    if progress is None:
        # Only long runs get a bar: guess by the number of unit responses.
        steps = sum(len(w.schedule) for w in model.wells)
        progress = len(project.observations) * times.size * steps > 200
    bar = Progress(len(project.observations) + 1, "kelvorat run", enabled=progress)
    draws, errors = [], []
    stats = {"inversions": 0, "integrations": 0}
    try:
        # One call per observation well: the unit responses it shares (same
        # well, same lag) are computed once within the call.
        for _, x, y in project.observations:
            s, e = model.drawdown_with_error(x, y, times, threads=threads)
            draws.append(s)
            errors.append(e)
            for k in stats:
                stats[k] += model.last_stats[k]
            bar.update()
        rate, ratio, volume = model.depletion(times, threads=threads)
        stats["inversions"] += model.last_stats["inversions"]
        bar.update()
    finally:
        bar.close()
    pumping = model.total_rate(times)
    paths = {
        "drawdown": out / "drawdown.csv",
        "drawdown_error": out / "drawdown_error.csv",
        "depletion": out / "depletion.csv",
    }
    write_drawdown_csv(paths["drawdown"], times, names, draws)
    write_drawdown_csv(paths["drawdown_error"], times, names, errors)
    write_depletion_csv(paths["depletion"], times, pumping, rate, ratio, volume)
    result = {"times": times, "drawdown": draws, "drawdown_error": errors, "rate": rate,
              "ratio": ratio, "volume": volume, "paths": paths, "stats": stats}
    if plots if plots is not None else project.plots:
        result["figures"] = write_project_plots(project, result, out, threads=threads)
    return result


def write_project_plots(project, result, out: Path, threads=None) -> list:
    from . import plots as P

    model = project.model
    periods = model.pumping_periods()
    series = [(name, result["times"], s) for name, s in zip(project.observation_names(),
                                                            result["drawdown"])]
    files = []
    if series:
        files += P.save_figure(P.drawdown_figure(series, log_time=False, periods=periods),
                               out / "drawdown", project.formats)
        files += P.save_figure(P.drawdown_figure(series, log_time=True, periods=periods),
                               out / "drawdown_log", project.formats)
    files += P.save_figure(
        P.depletion_figure(result["times"], result["ratio"], result["volume"], periods=periods,
                           pumping=P.schedule_steps(model, float(result["times"].max())),
                           reference=model.reference_rate()),
        out / "depletion", project.formats)
    t_map = project.map_time if project.map_time is not None else float(result["times"][-1])
    files += P.save_figure(
        P.drawdown_map_figure(model, t_map, observations=project.observations, threads=threads),
        out / "drawdown_map", project.formats)
    return files
