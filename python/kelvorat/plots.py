"""Figures of drawdown, stream depletion, type curves and drawdown maps.

Every function returns a matplotlib Figure and leaves the backend alone;
scripts without a display use the Agg backend (the command line sets it).
"""

from __future__ import annotations

from pathlib import Path
from typing import Iterable, Sequence

import numpy as np

from .theis import E1

__all__ = [
    "drawdown_figure",
    "depletion_figure",
    "type_curve_figure",
    "drawdown_map_figure",
    "results_figures",
    "save_figure",
]


def _figure(**kw):
    # pyplot-free figures: nothing depends on the interactive backend.
    from matplotlib.figure import Figure

    return Figure(**kw)


def _shade_pumping(ax, periods, t_max):
    """Shades the intervals in which the wells pump; label once."""
    labelled = False
    for start, end in periods:
        end = t_max if end is None else end
        if end <= start:
            continue
        ax.axvspan(start, end, color="tab:blue", alpha=0.08, lw=0,
                   label=None if labelled else "pumping")
        labelled = True


def drawdown_figure(series: Sequence[tuple[str, np.ndarray, np.ndarray]], log_time: bool = False,
                    periods: Iterable[tuple[float, float | None]] = (), title: str | None = None):
    """Drawdown against time, one line per observation well.

    series: (label, times in days, drawdown in m) per well.  log_time uses a
    logarithmic time axis.  periods: pumping intervals to shade."""
    fig = _figure(figsize=(7.5, 4.5), layout="constrained")
    ax = fig.add_subplot()
    t_max = 0.0
    for label, t, s in series:
        t = np.asarray(t, dtype=float)
        s = np.asarray(s, dtype=float)
        keep = t > 0 if log_time else np.ones_like(t, dtype=bool)
        ax.plot(t[keep], s[keep], marker="o", ms=3, label=label)
        if t.size:
            t_max = max(t_max, float(np.nanmax(t)))
    _shade_pumping(ax, list(periods), t_max)
    if log_time:
        ax.set_xscale("log")
    ax.set_xlabel("time (days)")
    ax.set_ylabel("drawdown (m)")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize="small")
    ax.set_title(title or ("Drawdown, logarithmic time" if log_time else "Drawdown"))
    return fig


def depletion_figure(t, ratio, volume=None, periods: Iterable[tuple[float, float | None]] = (),
                     pumping=None, title: str | None = None, reference: float | None = None):
    """Stream-depletion ratio (and the depleted volume, when given) against
    time, with the pumping periods shaded.  pumping: (times, total rates)
    of the schedule, drawn as steps on a second axis."""
    t = np.asarray(t, dtype=float)
    panels = 2 if volume is not None else 1
    fig = _figure(figsize=(7.5, 3.2 * panels + 0.6), layout="constrained")
    axes = fig.subplots(panels, 1, sharex=True, squeeze=False)[:, 0]
    t_max = float(np.nanmax(t)) if t.size else 0.0
    ax = axes[0]
    ref = f" (reference rate {reference:g} m³/day)" if reference else ""
    ax.plot(t, np.asarray(ratio, dtype=float), color="tab:red", label="depletion ratio" + ref)
    _shade_pumping(ax, list(periods), t_max)
    ax.set_ylabel("depletion ratio (–)")
    ax.grid(True, alpha=0.3)
    handles, labels = ax.get_legend_handles_labels()
    if pumping is not None:
        px, pq = pumping
        tw = ax.twinx()
        tw.step(px, pq, where="post", color="tab:blue", lw=1.0, ls=":",
                label="total pumping rate")
        tw.set_ylabel("pumping rate (m³/day)")
        tw.set_ylim(bottom=min(0.0, float(np.min(pq))))
        h2, l2 = tw.get_legend_handles_labels()
        handles, labels = handles + h2, labels + l2
    ax.legend(handles, labels, fontsize="small", loc="best")
    if volume is not None:
        ax2 = axes[1]
        ax2.plot(t, np.asarray(volume, dtype=float), color="tab:green",
                 label="depleted volume since t = 0")
        _shade_pumping(ax2, list(periods), t_max)
        ax2.set_ylabel("volume (m³)")
        ax2.grid(True, alpha=0.3)
        ax2.legend(fontsize="small", loc="best")
    axes[-1].set_xlabel("time (days)")
    axes[0].set_title(title or "Stream depletion")
    return fig


def schedule_steps(model, t_max: float):
    """(times, total rate) of a model's schedules for a step plot up to t_max."""
    edges = sorted({s for w in model.wells for s, _ in w.schedule if s < t_max})
    x = [0.0] + [e for e in edges if e > 0.0] + [float(t_max)]
    q = [float(model.total_rate(np.nextafter(v, np.inf))) for v in x[:-1]]
    return np.array(x), np.array(q + [q[-1]])


def theis_curve(tdr_min: float, tdr_max: float, n: int = 200):
    """(1/u, W(u)) for the Theis type curve over 1/u from tdr_min to tdr_max."""
    x = np.logspace(np.log10(tdr_min), np.log10(tdr_max), n)
    return x, E1(1.0 / x)


def type_curve_figure(dim2: Sequence[tuple[str, np.ndarray, np.ndarray]],
                      kelvdim: Sequence[tuple[str, np.ndarray, np.ndarray]] = (),
                      title: str | None = None):
    """Dimensionless drawdown against dimensionless time on log-log axes.

    dim2: (label, TDR = 4 T3 t / (r^2 S3), SDR = 4 pi T3 s / Q) per well,
    drawn with the Theis curve W(u) against 1/u for comparison.  kelvdim:
    (label, TDN = T3 t / (DN^2 S3), SDN = T3 s / Q) per well, in a second
    panel when given."""
    panels = 2 if kelvdim else 1
    fig = _figure(figsize=(6.0 * panels + 0.5, 4.8), layout="constrained")
    axes = fig.subplots(1, panels, squeeze=False)[0]
    ax = axes[0]
    lo, hi = np.inf, 0.0
    for label, x, y in dim2:
        x = np.asarray(x, dtype=float)
        y = np.asarray(y, dtype=float)
        keep = (x > 0) & (y > 0) & np.isfinite(x) & np.isfinite(y)
        if keep.any():
            lo, hi = min(lo, x[keep].min()), max(hi, x[keep].max())
        ax.plot(x[keep], y[keep], marker="o", ms=3, ls="-", label=label)
    if hi > 0:
        xt, wt = theis_curve(lo / 2.0, hi * 2.0)
        ax.plot(xt, wt, color="black", ls="--", lw=1.2, label="Theis W(u), u = 1/TDR")
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("TDR = 4·T3·t / (r²·S3)")
    ax.set_ylabel("SDR = 4π·T3·s / Q")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize="small")
    ax.set_title("Scaled by the distance to the pumping well")
    if kelvdim:
        bx = axes[1]
        for label, x, y in kelvdim:
            x = np.asarray(x, dtype=float)
            y = np.asarray(y, dtype=float)
            keep = (x > 0) & (y > 0) & np.isfinite(x) & np.isfinite(y)
            bx.plot(x[keep], y[keep], marker="o", ms=3, label=label)
        bx.set_xscale("log")
        bx.set_yscale("log")
        bx.set_xlabel("TDN = T3·t / (DN²·S3)")
        bx.set_ylabel("SDN = T3·s / Q")
        bx.grid(True, which="both", alpha=0.3)
        bx.legend(fontsize="small")
        bx.set_title("Scaled by the width of the stream zone")
    if title:
        fig.suptitle(title)
    return fig


def off_the_wells(x: np.ndarray, wells_x) -> np.ndarray:
    """The grid columns x with none on a pumping well's x.  On that line,
    away from the well, the integrand hardly decays and oscillates along the
    stream, and the wavenumber integral is unreliable; a column there is
    moved aside by a third of the grid step."""
    x = np.array(x, dtype=float)
    if x.size < 2:
        return x
    step = float(np.min(np.abs(np.diff(x))))
    for xw in wells_x:
        near = np.abs(x - xw) < step / 3.0
        x[near] = xw - step / 3.0
    return x


def drawdown_map_figure(model, t: float, x=None, y=None, observations=(), threads=None,
                        levels: int = 12, title: str | None = None):
    """Contours of the drawdown over (x, y) at time t, with the stream zone,
    the strip boundaries, the pumping wells and the observation points
    ((name, x, y) triples) drawn."""
    left, right = model.boundaries.left, model.boundaries.right
    width = model.stream.width
    wx = np.array([w.x for w in model.wells])
    wy = np.array([w.y for w in model.wells])
    if x is None:
        span = max(float(wx.max()) * 2.0, 4.0 * width, 50.0)
        x = np.linspace(max(-left, -span), min(right, float(wx.max()) + span), 41)
    if y is None:
        half = max(float(np.ptp(wy)) / 2.0 + float(wx.max()) * 1.5, 50.0)
        y = np.linspace(float(wy.mean()) - half, float(wy.mean()) + half, 41)
    x = off_the_wells(np.asarray(x, dtype=float), wx)
    y = np.asarray(y, dtype=float)
    X, Y = np.meshgrid(x, y)
    S = model.drawdown(X, Y, float(t), threads=threads)
    fig = _figure(figsize=(7.0, 5.6), layout="constrained")
    ax = fig.add_subplot()
    cs = ax.contourf(X, Y, S, levels=levels, cmap="Blues")
    ax.contour(X, Y, S, levels=cs.levels, colors="k", linewidths=0.4)
    fig.colorbar(cs, ax=ax, label="drawdown (m)")
    ax.axvspan(-width, 0.0, color="tab:cyan", alpha=0.35, label="stream zone")
    for xb, name in ((-left, "left boundary"), (right, "right boundary")):
        if x.min() <= xb <= x.max():
            ax.axvline(xb, color="tab:brown", lw=2, label=name)
    ax.plot(wx, wy, "v", color="tab:red", ms=8, label="pumping wells")
    if observations:
        ox = [o[1] for o in observations]
        oy = [o[2] for o in observations]
        ax.plot(ox, oy, "o", mfc="white", mec="k", ms=6, label="observation wells")
        for name, px, py in observations:
            ax.annotate(str(name), (px, py), textcoords="offset points", xytext=(4, 4),
                        fontsize="small")
    ax.set_xlabel("x across the strip (m)")
    ax.set_ylabel("y along the stream (m)")
    ax.set_title(title or f"Drawdown at t = {t:g} days")
    ax.legend(fontsize="small", loc="upper right")
    ax.set_aspect("equal", adjustable="box")
    return fig


def save_figure(fig, path_stem: Path, formats: Sequence[str] = ("png", "svg"), dpi: int = 120):
    """Saves fig as path_stem.<format> for each format; returns the paths."""
    paths = []
    for fmt in formats:
        p = Path(f"{path_stem}.{fmt}")
        fig.savefig(p, dpi=dpi)
        paths.append(p)
    return paths


def results_figures(results) -> dict:
    """The figures of a run's result files (kelvorat.read_results()):
    drawdown against linear and logarithmic time, the depletion ratio with
    the pumping period shaded, and the type curves.  Keyed by file stem."""
    periods = []
    stopt = results.STOPT
    if results.Q is not None:
        periods = [(0.0, stopt if stopt and stopt > 0 else None)]
    series = []
    for w in results.wells:
        tab = w.adet if w.adet is not None else w.kelvorat
        if tab is None:
            continue
        series.append((w.label, np.asarray(tab["TIME"]), np.asarray(tab["DRAW"])))
    figs = {}
    if series:
        figs["drawdown"] = drawdown_figure(series, log_time=False, periods=periods)
        figs["drawdown_log"] = drawdown_figure(series, log_time=True, periods=periods)
    # The depletion ratio depends on the pumping well only: the first well's.
    first = next((w for w in results.wells if w.adet is not None or w.kelvorat is not None), None)
    if first is not None:
        ratio = None
        if first.adet is not None:
            t, ratio = np.asarray(first.adet["TIME"]), np.asarray(first.adet["DEPL"])
        elif first.kelvdim is not None and len(first.kelvdim["DEPL"]) == len(first.kelvorat["TIME"]):
            # kelvdim.res has the same rows as kelvorat.res, with the ratio.
            t, ratio = np.asarray(first.kelvorat["TIME"]), np.asarray(first.kelvdim["DEPL"])
        elif results.Q:
            t = np.asarray(first.kelvorat["TIME"])
            ratio = np.asarray(first.kelvorat["RATE"]) / results.Q
    if first is not None and ratio is not None:
        volume = None
        if t.size > 1 and results.Q:
            # The volume by the trapezoid rule over the output times, from 0.
            tt = np.concatenate([[0.0], t])
            rr = np.concatenate([[0.0], ratio]) * results.Q
            volume = np.concatenate([[0.0], np.cumsum(0.5 * (rr[1:] + rr[:-1]) * np.diff(tt))])[1:]
        pumping = None
        if results.Q is not None and t.size:
            t_end = float(t.max())
            if stopt and 0 < stopt < t_end:
                pumping = (np.array([0.0, stopt, t_end]), np.array([results.Q, 0.0, 0.0]))
            else:
                pumping = (np.array([0.0, t_end]), np.array([results.Q, results.Q]))
        figs["depletion"] = depletion_figure(t, ratio, volume, periods=periods, pumping=pumping,
                                             reference=results.Q,
                                             title="Stream depletion (volume: trapezoid rule "
                                                   "over the output times)")
    dim2 = [(w.label, np.asarray(w.dim2["TDR"]), np.asarray(w.dim2["SDR"]))
            for w in results.wells if w.dim2 is not None]
    kelvdim = [(w.label, np.asarray(w.kelvdim["TDN"]), np.asarray(w.kelvdim["SDN"]))
               for w in results.wells if w.kelvdim is not None]
    if dim2 or kelvdim:
        figs["type_curves"] = type_curve_figure(dim2, kelvdim)
    return figs
