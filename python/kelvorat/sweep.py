"""Parameter sweeps and Monte Carlo runs of the three-zone stream-aquifer model.

A sweep evaluates one model for many parameter sets: either the Cartesian
product of given values (a grid) or random draws from given distributions.
All random numbers are drawn up front, in the calling process, from
``numpy.random.default_rng(seed)``, one parameter after the other in the
order given, so the parameter sets (and therefore the results) never depend
on the number of workers or on the order in which the work is scheduled.

The draws are evaluated in chunks on all local cores (threads by default:
the engine releases the GIL while it integrates; processes on request) or,
when a ``distributed.Client`` is given, on that Dask cluster.  Every draw is
computed on its own with one engine thread, so a draw gives the same numbers
bit for bit wherever it runs.

Outputs are the depletion ratio, rate or cumulative depleted volume at given
times and the drawdown at given points and times.  The result holds the
parameter sets, one output array per output (draw x time, or draw x point x
time for drawdowns) and their P10/P50/P90 percentiles over the draws.
"""

from __future__ import annotations

import concurrent.futures as _cf
import csv
import itertools
import math
import os
import pickle
import sys
import time as _time
from dataclasses import dataclass, field

import numpy as np

__all__ = [
    "DISTRIBUTIONS",
    "OUTPUT_KINDS",
    "Output",
    "SweepResult",
    "draw_parameters",
    "sweep",
    "main",
]

# name -> (parameter names of the distribution, sampler(rng, n, *args))
DISTRIBUTIONS = {
    "uniform": (("lo", "hi"), lambda rng, n, lo, hi: rng.uniform(lo, hi, n)),
    "loguniform": (
        ("lo", "hi"),
        lambda rng, n, lo, hi: np.exp(rng.uniform(math.log(lo), math.log(hi), n)),
    ),
    "normal": (("mu", "sd"), lambda rng, n, mu, sd: rng.normal(mu, sd, n)),
    "lognormal": (
        ("median", "sigma_ln"),
        lambda rng, n, median, sigma_ln: median * np.exp(rng.normal(0.0, sigma_ln, n)),
    ),
    "triangular": (
        ("lo", "mode", "hi"),
        lambda rng, n, lo, mode, hi: rng.triangular(lo, mode, hi, n),
    ),
}

# Output kinds and the model method that computes each.
OUTPUT_KINDS = {
    "depletion_ratio": "depletion_ratio",
    "depletion_rate": "depletion_rate",
    "depleted_volume": "depleted_volume",
    "drawdown": "drawdown",
}

PERCENTILES = (10.0, 50.0, 90.0)


def _check_distribution(name, desc):
    """Validate one distribution; returns (kind, args as floats)."""
    kind = desc[0]
    if kind not in DISTRIBUTIONS:
        raise ValueError(
            f"parameter {name!r}: unknown distribution {kind!r} "
            f"(known: {', '.join(sorted(DISTRIBUTIONS))})"
        )
    argnames, _ = DISTRIBUTIONS[kind]
    args = desc[1:]
    if len(args) != len(argnames):
        raise ValueError(
            f"parameter {name!r}: distribution {kind!r} takes "
            f"{len(argnames)} values ({', '.join(argnames)}), got {len(args)}"
        )
    try:
        args = tuple(float(a) for a in args)
    except (TypeError, ValueError):
        raise ValueError(
            f"parameter {name!r}: distribution {kind!r} needs numbers, got {list(args)!r}"
        ) from None
    if not all(math.isfinite(a) for a in args):
        raise ValueError(f"parameter {name!r}: distribution {kind!r} has a non-finite value {args!r}")
    if kind in ("uniform", "loguniform") and not args[0] < args[1]:
        raise ValueError(f"parameter {name!r}: {kind} needs lo < hi, got {args[0]!r}, {args[1]!r}")
    if kind == "loguniform" and args[0] <= 0:
        raise ValueError(f"parameter {name!r}: loguniform needs lo > 0, got {args[0]!r}")
    if kind == "normal" and args[1] <= 0:
        raise ValueError(f"parameter {name!r}: normal needs sd > 0, got {args[1]!r}")
    if kind == "lognormal" and (args[0] <= 0 or args[1] <= 0):
        raise ValueError(
            f"parameter {name!r}: lognormal needs median > 0 and sigma_ln > 0, got {args!r}"
        )
    if kind == "triangular" and not (args[0] <= args[1] <= args[2] and args[0] < args[2]):
        raise ValueError(f"parameter {name!r}: triangular needs lo <= mode <= hi, lo < hi, got {args!r}")
    return kind, args


def _is_distribution(desc):
    return isinstance(desc, (tuple, list)) and len(desc) > 0 and isinstance(desc[0], str)


def draw_parameters(parameters, known=None, draws=None, seed=0):
    """The parameter sets of a sweep, as (names, values[n, p]).

    ``parameters`` maps a model parameter name either to a sequence of
    values (a grid: all combinations are formed, the last name varying
    fastest) or to a distribution ``(kind, *args)`` with kind one of
    DISTRIBUTIONS (``draws`` sets are then drawn from
    ``numpy.random.default_rng(seed)``, one parameter after the other in
    the order given).  ``known`` is the collection of valid names.
    """
    if not isinstance(parameters, dict) or not parameters:
        raise ValueError("parameters must be a non-empty mapping of parameter name to values or distribution")
    names = list(parameters)
    if known is not None:
        unknown = [n for n in names if n not in known]
        if unknown:
            raise ValueError(
                f"unknown parameter name(s) {', '.join(map(repr, unknown))} "
                f"(known: {', '.join(known)})"
            )
    if "leakance" in names and "K" in names:
        raise ValueError("parameters 'leakance' and 'K' both set the streambed conductance; sweep one of them")
    dists = [n for n in names if _is_distribution(parameters[n])]
    grids = [n for n in names if n not in dists]
    if dists and grids:
        raise ValueError(
            f"parameters mix distributions ({', '.join(dists)}) and grids ({', '.join(grids)}); "
            "give either distributions or value lists"
        )
    if dists:
        checked = {n: _check_distribution(n, parameters[n]) for n in names}
        if draws is None or isinstance(draws, bool) or int(draws) != draws or draws < 1:
            raise ValueError(f"draws must be a positive whole number for random draws, got {draws!r}")
        draws = int(draws)
        rng = np.random.default_rng(seed)
        cols = []
        for n in names:
            kind, args = checked[n]
            cols.append(np.asarray(DISTRIBUTIONS[kind][1](rng, draws, *args), dtype=float))
        return names, np.column_stack(cols)
    if draws is not None:
        raise ValueError(f"draws={draws!r} applies to random draws only; a grid has the size of its product")
    axes = []
    for n in names:
        v = parameters[n]
        try:
            arr = np.asarray(v, dtype=float).ravel()
        except (TypeError, ValueError):
            raise ValueError(f"parameter {n!r}: grid values must be numbers, got {v!r}") from None
        if arr.size == 0:
            raise ValueError(f"parameter {n!r}: empty list of grid values")
        if not np.all(np.isfinite(arr)):
            raise ValueError(f"parameter {n!r}: grid values must be finite, got {v!r}")
        axes.append(arr)
    values = np.array(list(itertools.product(*axes)), dtype=float).reshape(-1, len(names))
    return names, values


@dataclass(frozen=True)
class Output:
    """One requested output: kind, times and (for drawdowns) points (x, y)."""

    label: str
    kind: str
    times: np.ndarray
    points: np.ndarray | None = None  # shape (npoints, 2) for drawdowns

    @property
    def shape(self):
        if self.points is None:
            return (self.times.size,)
        return (self.points.shape[0], self.times.size)

    def columns(self):
        """Column names of the flattened output, in C order of ``shape``."""
        if self.points is None:
            return [f"{self.label}[t={t:g}]" for t in self.times]
        return [
            f"{self.label}[x={x:g},y={y:g},t={t:g}]" for (x, y) in self.points for t in self.times
        ]


def _times(label, times):
    try:
        t = np.asarray(times, dtype=float).ravel()
    except (TypeError, ValueError):
        raise ValueError(f"output {label!r}: times must be numbers, got {times!r}") from None
    if t.size == 0:
        raise ValueError(f"output {label!r}: no times given")
    if not np.all(np.isfinite(t)) or np.any(t <= 0):
        raise ValueError(f"output {label!r}: times must be finite and positive, got {times!r}")
    return t


def normalise_outputs(outputs):
    """Output requests -> list of Output.

    ``outputs`` is a list of requests or a mapping label -> request; a request is
    ``(kind, times)`` for the depletion kinds and ``(kind, points, times)``
    for ``"drawdown"``, points being one (x, y) pair or a list of pairs.
    """
    if isinstance(outputs, dict):
        items = list(outputs.items())
    elif isinstance(outputs, (list, tuple)) and outputs and _is_distribution(outputs):
        items = [(None, outputs)]  # one bare request
    else:
        items = [(None, s) for s in (outputs or [])]
    if not items:
        raise ValueError("no outputs requested")
    result, used = [], set()
    for label, desc in items:
        if isinstance(desc, Output):
            out = desc
        else:
            if not _is_distribution(desc):
                raise ValueError(f"output {desc!r} must start with its kind ({', '.join(OUTPUT_KINDS)})")
            kind = desc[0]
            if kind not in OUTPUT_KINDS:
                raise ValueError(f"unknown output kind {kind!r} (known: {', '.join(OUTPUT_KINDS)})")
            if label is None:
                label = kind
                k = 2
                while label in used:
                    label, k = f"{kind}_{k}", k + 1
            if kind == "drawdown":
                if len(desc) != 3:
                    raise ValueError(f"output {label!r}: drawdown needs (kind, points, times)")
                try:
                    pts = np.asarray(desc[1], dtype=float)
                except (TypeError, ValueError):
                    raise ValueError(f"output {label!r}: points must be (x, y) pairs, got {desc[1]!r}") from None
                pts = pts.reshape(1, 2) if pts.shape == (2,) else pts
                if pts.ndim != 2 or pts.shape[1] != 2 or pts.shape[0] == 0 or not np.all(np.isfinite(pts)):
                    raise ValueError(f"output {label!r}: points must be finite (x, y) pairs, got {desc[1]!r}")
                out = Output(label, kind, _times(label, desc[2]), pts)
            else:
                if len(desc) != 2:
                    raise ValueError(f"output {label!r}: {kind} needs (kind, times)")
                out = Output(label, kind, _times(label, desc[1]))
        if out.label in used:
            raise ValueError(f"output label {out.label!r} given twice")
        used.add(out.label)
        result.append(out)
    return result


def _call(fn, *args, threads=None):
    """Call an engine method with a thread count if it takes one."""
    try:
        return fn(*args, threads=threads)
    except TypeError as exc:
        if "threads" not in str(exc):
            raise
        return fn(*args)


_DEPLETION_INDEX = {"depletion_rate": 0, "depletion_ratio": 1, "depleted_volume": 2}


def evaluate(model, outputs, threads=1):
    """All outputs of one model, as a list of arrays shaped like each Output.

    Where the model offers ``depletion(t)`` (rate, ratio and volume from one
    evaluation), the depletion outputs at the same times share one call.
    """
    res = []
    shared = {}
    combined = getattr(model, "depletion", None)
    for out in outputs:
        fn = getattr(model, OUTPUT_KINDS[out.kind])
        if out.points is None and combined is not None and out.kind in _DEPLETION_INDEX:
            key = out.times.tobytes()
            if key not in shared:
                shared[key] = _call(combined, out.times, threads=threads)
            v = shared[key][_DEPLETION_INDEX[out.kind]]
        elif out.points is None:
            v = _call(fn, out.times, threads=threads)
        else:
            x = out.points[:, 0:1]
            y = out.points[:, 1:2]
            v = _call(fn, x, y, out.times[np.newaxis, :], threads=threads)
        res.append(np.asarray(v, dtype=float).reshape(out.shape))
    return res


def _run_chunk(model, names, values, outputs):
    """Evaluate the parameter sets ``values`` (rows) of one chunk.

    Returns (list of arrays [rows, *shape] per output, {row: message} of the
    sets the engine refused).  Module level, so processes and Dask workers
    can run it.
    """
    n = values.shape[0]
    arrays = [np.full((n,) + o.shape, np.nan) for o in outputs]
    failures = {}
    for i in range(n):
        try:
            m = model.with_params(**dict(zip(names, map(float, values[i]))))
            for a, v in zip(arrays, evaluate(m, outputs, threads=1)):
                a[i] = v
        except (ValueError, RuntimeError, ArithmeticError) as exc:
            for a in arrays:
                a[i] = np.nan
            failures[i] = f"{type(exc).__name__}: {exc}"
    return arrays, failures


class _Progress:
    """A tqdm bar when tqdm is installed, else one self-overwriting stderr line."""

    def __init__(self, total, enabled, desc="sweep"):
        self.total, self.done, self.enabled, self.desc = total, 0, enabled, desc
        self.bar = None
        self.last = 0.0
        if enabled:
            try:
                from tqdm import tqdm

                self.bar = tqdm(total=total, desc=desc, unit="draw", file=sys.stderr)
            except ImportError:
                self.bar = None

    def update(self, n):
        self.done += n
        if not self.enabled:
            return
        if self.bar is not None:
            self.bar.update(n)
            return
        now = _time.monotonic()
        if now - self.last >= 0.5 or self.done == self.total:
            self.last = now
            sys.stderr.write(f"\r{self.desc}: {self.done}/{self.total} draws")
            sys.stderr.flush()

    def close(self):
        if not self.enabled:
            return
        if self.bar is not None:
            self.bar.close()
        else:
            sys.stderr.write("\n")
            sys.stderr.flush()


def _default_workers():
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


@dataclass
class SweepResult:
    """Parameter sets, outputs and their percentiles over the draws."""

    names: list
    draws: np.ndarray  # [n, len(names)]
    output_list: list  # list of Output
    outputs: dict  # label -> ndarray [n, *shape]
    failures: dict = field(default_factory=dict)  # draw index -> engine message
    seed: object = None
    elapsed: float = 0.0

    levels = PERCENTILES

    @property
    def n(self):
        return self.draws.shape[0]

    @property
    def percentiles(self):
        """label -> ndarray [3, *shape]: P10, P50, P90 over the draws (failed draws left out)."""
        return {
            o.label: np.nanpercentile(self.outputs[o.label], self.levels, axis=0)
            if self.n - len(self.failures) > 0
            else np.full((len(self.levels),) + o.shape, np.nan)
            for o in self.output_list
        }

    def draws_dict(self):
        return {n: self.draws[:, j] for j, n in enumerate(self.names)}

    def _flat_columns(self):
        cols, data = [], []
        for o in self.output_list:
            cols += o.columns()
            data.append(self.outputs[o.label].reshape(self.n, -1))
        return cols, (np.hstack(data) if data else np.empty((self.n, 0)))

    def _percentile_rows(self):
        rows = []
        pct = self.percentiles
        for o in self.output_list:
            p = pct[o.label]
            if o.points is None:
                for k, t in enumerate(o.times):
                    rows.append((o.label, o.kind, "", "", t, *p[:, k]))
            else:
                for i, (x, y) in enumerate(o.points):
                    for k, t in enumerate(o.times):
                        rows.append((o.label, o.kind, x, y, t, *p[:, i, k]))
        return rows

    _pct_header = ("output", "kind", "x", "y", "time", "P10", "P50", "P90")

    def to_dataframe(self):
        """One row per draw: the parameter values, then every output value (pandas)."""
        import pandas as pd

        cols, data = self._flat_columns()
        df = pd.DataFrame(self.draws, columns=self.names)
        df = pd.concat([df, pd.DataFrame(data, columns=cols)], axis=1)
        df.index.name = "draw"
        return df

    def percentiles_frame(self):
        """P10/P50/P90 in long form: one row per output, point and time (pandas)."""
        import pandas as pd

        df = pd.DataFrame(self._percentile_rows(), columns=list(self._pct_header))
        df[["x", "y"]] = df[["x", "y"]].replace("", np.nan).astype(float)
        return df

    def write_csv(self, directory, prefix="sweep"):
        """Writes <prefix>_draws.csv, <prefix>_outputs.csv and <prefix>_percentiles.csv; returns their paths."""
        os.makedirs(directory, exist_ok=True)
        paths = [os.path.join(directory, f"{prefix}_{s}.csv") for s in ("draws", "outputs", "percentiles")]
        with open(paths[0], "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(["draw", *self.names])
            for i, row in enumerate(self.draws):
                w.writerow([i, *map(repr, row.tolist())])
        cols, data = self._flat_columns()
        with open(paths[1], "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(["draw", *cols])
            for i, row in enumerate(data):
                w.writerow([i, *map(repr, row.tolist())])
        with open(paths[2], "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(self._pct_header)
            for row in self._percentile_rows():
                w.writerow([v if isinstance(v, str) else repr(float(v)) for v in row])
        return paths

    def plot(self, path, label=None):
        """The P10-P90 band and the P50 line of the time-series outputs against time."""
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        requests = [o for o in self.output_list if label is None or o.label == label]
        series = []
        for o in requests:
            p = self.percentiles[o.label]
            if o.points is None:
                series.append((o, o.label, p))
            else:
                for i, (x, y) in enumerate(o.points):
                    series.append((o, f"{o.label} at ({x:g}, {y:g})", p[:, i, :]))
        fig, axes = plt.subplots(len(series), 1, figsize=(7, 3.2 * len(series)), squeeze=False)
        for ax, (o, title, p) in zip(axes[:, 0], series):
            ax.fill_between(o.times, p[0], p[2], alpha=0.3, label="P10-P90")
            ax.plot(o.times, p[1], "-", label="P50")
            ax.plot(o.times, p[0], ":", lw=0.8, color="C0")
            ax.plot(o.times, p[2], ":", lw=0.8, color="C0")
            ax.set_xscale("log")
            ax.set_title(f"{title} ({self.n} draws)")
            ax.set_xlabel("time (days)")
            ax.set_ylabel(_UNITS.get(o.kind, o.kind))
            ax.legend(loc="best")
            ax.grid(True, which="both", alpha=0.3)
        fig.tight_layout()
        fig.savefig(path)
        plt.close(fig)
        return path


_UNITS = {
    "depletion_ratio": "depletion ratio (-)",
    "depletion_rate": "depletion rate (m3/day)",
    "depleted_volume": "depleted volume (m3)",
    "drawdown": "drawdown (m)",
}


def _chunks(n, nchunks):
    nchunks = max(1, min(n, nchunks))
    bounds = np.linspace(0, n, nchunks + 1).round().astype(int)
    return [(int(a), int(b)) for a, b in zip(bounds[:-1], bounds[1:]) if b > a]


def sweep(
    model,
    parameters,
    outputs,
    draws=None,
    seed=0,
    workers=None,
    client=None,
    progress=True,
    executor="threads",
    chunksize=None,
):
    """Evaluate ``model`` for many parameter sets.

    parameters: name -> list of values (grid, all combinations) or
        name -> (distribution, *args): ("uniform", lo, hi),
        ("loguniform", lo, hi), ("normal", mu, sd),
        ("lognormal", median, sigma_ln), ("triangular", lo, mode, hi).
        Names are those of ``model.params()``.
    outputs: list of requests (or label -> request): ("depletion_ratio", times),
        ("depletion_rate", times), ("depleted_volume", times),
        ("drawdown", points, times) with points (x, y) pairs.
    draws, seed: number of random draws and the seed of
        numpy.random.default_rng (ignored for grids).
    workers: local workers (default: all cores); 1 runs in this thread.
    client: a distributed.Client; the chunks of draws then run on its cluster.
    executor: "threads" (default; the engine releases the GIL) or "processes".
    progress: show a progress bar (tqdm when installed) on stderr.

    A parameter set the engine refuses (a non-physical value, an overflow
    guard) gives NaN outputs for that draw and is listed in ``failures``.
    """
    t_start = _time.perf_counter()
    known = list(model.params())
    names, values = draw_parameters(parameters, known=known, draws=draws, seed=seed)
    requests = normalise_outputs(outputs)
    n = values.shape[0]
    if workers is None:
        workers = _default_workers()
    if isinstance(workers, bool) or int(workers) != workers or workers < 1:
        raise ValueError(f"workers must be a positive whole number, got {workers!r}")
    workers = int(workers)
    if executor not in ("threads", "processes"):
        raise ValueError(f"executor must be 'threads' or 'processes', got {executor!r}")

    if client is not None:
        try:
            nw = max(1, len(client.scheduler_info().get("workers", {})))
        except Exception:
            nw = workers
        parallel = nw
    else:
        parallel = workers
    if chunksize is None:
        # several chunks per worker for load balance and a live progress bar
        nchunks = parallel * 8 if parallel > 1 else 50
    else:
        if isinstance(chunksize, bool) or int(chunksize) != chunksize or chunksize < 1:
            raise ValueError(f"chunksize must be a positive whole number, got {chunksize!r}")
        nchunks = math.ceil(n / int(chunksize))
    chunks = _chunks(n, nchunks)

    arrays = [np.full((n,) + o.shape, np.nan) for o in requests]
    failures = {}
    bar = _Progress(n, progress)

    def store(lo, hi, res):
        chunk_arrays, chunk_fail = res
        for a, c in zip(arrays, chunk_arrays):
            a[lo:hi] = c
        for i, msg in chunk_fail.items():
            failures[lo + i] = msg
        bar.update(hi - lo)

    try:
        if client is not None:
            _run_on_dask(client, model, names, values, requests, chunks, store)
        elif workers == 1:
            for lo, hi in chunks:
                store(lo, hi, _run_chunk(model, names, values[lo:hi], requests))
        else:
            if executor == "processes":
                _check_picklable(model)
                pool = _cf.ProcessPoolExecutor(max_workers=workers)
            else:
                pool = _cf.ThreadPoolExecutor(max_workers=workers)
            with pool:
                futs = {
                    pool.submit(_run_chunk, model, names, values[lo:hi], requests): (lo, hi)
                    for lo, hi in chunks
                }
                try:
                    for f in _cf.as_completed(futs):
                        lo, hi = futs[f]
                        store(lo, hi, f.result())
                except BaseException:
                    for f in futs:
                        f.cancel()
                    raise
    finally:
        bar.close()

    return SweepResult(
        names=names,
        draws=values,
        output_list=requests,
        outputs={o.label: a for o, a in zip(requests, arrays)},
        failures=dict(sorted(failures.items())),
        seed=seed,
        elapsed=_time.perf_counter() - t_start,
    )


def _check_picklable(model):
    try:
        pickle.dumps(model)
    except Exception as exc:
        raise ValueError(
            f"the model cannot be sent to other processes ({exc}); use executor='threads'"
        ) from None


def _run_on_dask(client, model, names, values, requests, chunks, store):
    from distributed import as_completed

    _check_picklable(model)
    [model_f] = client.scatter([model], broadcast=True)
    futs = []
    index = {}
    for lo, hi in chunks:
        f = client.submit(_run_chunk, model_f, names, values[lo:hi], requests, pure=False)
        index[f.key] = (lo, hi)
        futs.append(f)
    try:
        for f in as_completed(futs):
            lo, hi = index[f.key]
            store(lo, hi, f.result())
    except BaseException:
        client.cancel(futs)
        raise


# --------------------------------------------------------------------------
# Command line: python3 -m kelvorat sweep PROJECT.toml


def _sweep_config(path):
    import tomllib

    with open(path, "rb") as fh:
        doc = tomllib.load(fh)
    cfg = doc.get("sweep")
    if not isinstance(cfg, dict):
        raise ValueError(f"{path}: no [sweep] table")
    known = ("parameters", "draws", "seed", "outputs", "times", "workers", "executor", "scheduler")
    for k in cfg:
        if k not in known:
            raise ValueError(f"{path}: [sweep]: unknown key {k!r}; known: {', '.join(known)}")
    return cfg


def _project_outputs(cfg, project):
    """Outputs of a [sweep] table: kinds at the project's (or the table's) times."""
    times = np.asarray(cfg.get("times", project.times), dtype=float)
    kinds = cfg.get("outputs", ["depletion_ratio", "depleted_volume"])
    if isinstance(kinds, str):
        kinds = [kinds]
    requests = []
    for k in kinds:
        if k == "drawdown":
            obs = list(project.observations)
            if not obs:
                raise ValueError("[sweep] outputs: drawdown needs [[observations]] in the project")
            for ob in obs:
                name, x, y = ob[0], ob[1], ob[2]
                requests.append(Output(f"drawdown_{name}", "drawdown", _times("drawdown", times),
                                    np.array([[float(x), float(y)]])))
        else:
            if k not in OUTPUT_KINDS:
                raise ValueError(f"[sweep] outputs: unknown output kind {k!r} (known: {', '.join(OUTPUT_KINDS)})")
            requests.append((k, times))
    return requests


def _parameters_from_toml(table):
    if not isinstance(table, dict) or not table:
        raise ValueError("[sweep.parameters] must name at least one parameter")
    params = {}
    for name, v in table.items():
        if isinstance(v, dict):  # K = { dist = "lognormal", median = 0.5, sigma_ln = 0.7 }
            kind = v.get("dist", v.get("distribution"))
            if kind not in DISTRIBUTIONS:
                raise ValueError(f"parameter {name!r}: unknown distribution {kind!r} (known: {', '.join(sorted(DISTRIBUTIONS))})")
            argnames = DISTRIBUTIONS[kind][0]
            missing = [a for a in argnames if a not in v]
            if missing:
                raise ValueError(f"parameter {name!r}: {kind} needs {', '.join(argnames)}; missing {', '.join(missing)}")
            params[name] = (kind, *[v[a] for a in argnames])
        else:
            params[name] = tuple(v) if _is_distribution(v) else v
    return params


def main(argv=None):
    import argparse

    ap = argparse.ArgumentParser(prog="python3 -m kelvorat sweep",
                                 description="Monte Carlo or grid sweep of a project's parameters")
    ap.add_argument("project", help="PROJECT.toml with a [sweep] table")
    ap.add_argument("--workers", type=int, default=None, help="local workers (default: [sweep] workers, else all cores)")
    ap.add_argument("--draws", type=int, default=None, help="override [sweep] draws")
    ap.add_argument("--seed", type=int, default=None, help="override [sweep] seed")
    ap.add_argument("--scheduler", default=None, help="address of a Dask scheduler to run on")
    ap.add_argument("--no-progress", action="store_true", help="no progress bar")
    args = ap.parse_args(argv)
    try:
        import kelvorat as kv

        project = kv.load_project(args.project)
        cfg = _sweep_config(args.project)
        params = _parameters_from_toml(cfg.get("parameters"))
        outputs = _project_outputs(cfg, project)
        draws = args.draws if args.draws is not None else cfg.get("draws")
        if draws is not None and not any(_is_distribution(v) for v in params.values()):
            draws = None if args.draws is None else draws
        seed = args.seed if args.seed is not None else cfg.get("seed", 0)
        workers = args.workers if args.workers is not None else cfg.get("workers")
        scheduler = args.scheduler or cfg.get("scheduler")
        executor = cfg.get("executor", "threads")
        client = None
        if scheduler:
            from distributed import Client

            client = Client(scheduler)
        try:
            res = sweep(project.model, params, outputs, draws=draws, seed=seed, workers=workers,
                        client=client, progress=not args.no_progress, executor=executor)
        finally:
            if client is not None:
                client.close()
        outdir = str(project.output_dir)
        paths = res.write_csv(outdir)
        paths.append(res.plot(os.path.join(outdir, "sweep_band.png")))
    except (ValueError, OSError, KeyError, TypeError) as exc:
        print(f"kelvorat sweep: {exc}", file=sys.stderr)
        return 2
    print(f"{res.n} draws in {res.elapsed:.1f} s ({res.n / max(res.elapsed, 1e-9):.1f} draws/s)")
    if res.failures:
        first = next(iter(res.failures.items()))
        print(f"{len(res.failures)} draw(s) refused by the engine, e.g. draw {first[0]}: {first[1]}",
              file=sys.stderr)
    for p in paths:
        print(p)
    return 0


if __name__ == "__main__":
    sys.exit(main())
