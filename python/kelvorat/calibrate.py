"""Calibration of the three-zone stream-aquifer model to observed drawdowns.

The free parameters (transmissivity and storage coefficient of each zone,
streambed conductance K, thickness or leakance K/thickness, the stream-zone
width and the strip boundaries) are fitted by nonlinear least squares
(scipy.optimize.least_squares, trust-region reflective with bounds) to
drawdowns observed at several wells and times and, optionally, to observed
stream depletion.  Positive quantities that span orders of magnitude (T, S,
K, thickness, leakance) are fitted as their logarithms; the bounds are
honoured in that transformed space.

Uncertainty comes from the Jacobian J of the weighted residuals at the
solution: the covariance of the transformed parameters is
s^2 (J^T J)^-1 with s^2 the residual variance, taken to the natural
parameters by the delta method (d theta / d ln theta = theta).  The
standard errors are the square roots of its diagonal; the correlation
matrix is the same in both spaces.

A bad start is clipped into the bounds; a parameter set the engine refuses
(a non-physical value, the overflow guard of its exponential, a NaN) gives
large residuals so that the search steps back from it.  A fit that does not
converge is reported through ``success`` and ``message``, not by an
exception.
"""

from __future__ import annotations

import csv
import math
import os
import sys
import warnings
from dataclasses import dataclass, field

import numpy as np

__all__ = ["CalibrationResult", "LOG_PARAMETERS", "calibrate", "read_observations", "main"]

# Fitted as logarithms: positive quantities known to an order of magnitude.
LOG_PARAMETERS = frozenset({"T1", "S1", "T2", "S2", "T3", "S3", "K", "thickness", "leakance"})
# Lengths that must stay positive but are fitted as they are.
POSITIVE_PARAMETERS = frozenset({"width", "left", "right"}) | LOG_PARAMETERS

# Residual given to an observation the model could not compute, in units of
# its standard deviation: large against any sensible misfit, small enough
# that squares and sums stay finite.
BAD_RESIDUAL = 1e6

DEPLETION_KINDS = {"ratio": "depletion_ratio", "rate": "depletion_rate", "volume": "depleted_volume"}


class _Failure(Exception):
    pass


def _column(table, names, what, required=True):
    for n in names:
        if n in table:
            return np.asarray(table[n], dtype=float).ravel()
    if required:
        raise ValueError(f"{what}: no column {' or '.join(map(repr, names))}")
    return None


def _as_table(obj, columns, what):
    """DataFrame / mapping of columns / array with the given columns -> dict of arrays."""
    if hasattr(obj, "columns") and hasattr(obj, "to_numpy"):  # pandas DataFrame
        return {str(c): obj[c].to_numpy() for c in obj.columns}
    if isinstance(obj, dict):
        return {str(k): v for k, v in obj.items()}
    try:
        arr = np.asarray(obj, dtype=float)
    except (TypeError, ValueError):
        raise ValueError(f"{what} must be a DataFrame, a mapping of columns or an array of {columns}") from None
    if arr.ndim != 2 or arr.shape[1] not in (len(columns), len(columns) + 1):
        raise ValueError(f"{what} must have the columns {columns} (and optionally sigma), got shape {arr.shape}")
    names = list(columns) + (["sigma"] if arr.shape[1] == len(columns) + 1 else [])
    return {n: arr[:, j] for j, n in enumerate(names)}


def _drawdown_observations(observations):
    tab = _as_table(observations, ("x", "y", "t", "drawdown"), "observations")
    x = _column(tab, ("x",), "observations")
    y = _column(tab, ("y",), "observations")
    t = _column(tab, ("t", "time"), "observations")
    s = _column(tab, ("drawdown", "s"), "observations")
    sigma = _column(tab, ("sigma",), "observations", required=False)
    if not (x.size == y.size == t.size == s.size) or x.size == 0:
        raise ValueError("observations: the columns x, y, t, drawdown must have the same, non-zero length")
    for name, v in (("x", x), ("y", y), ("t", t), ("drawdown", s)):
        bad = ~np.isfinite(v)
        if bad.any():
            raise ValueError(f"observations: {name} is not finite in row {int(np.argmax(bad))}")
    if np.any(t <= 0):
        raise ValueError(f"observations: time must be positive, got {t[t <= 0][0]!r}")
    if sigma is not None:
        sigma = _check_sigma(sigma, x.size, "observations")
    well = tab.get("well")
    if well is None:
        well = [f"({a:g}, {b:g})" for a, b in zip(x, y)]
    return x, y, t, s, sigma, [str(w) for w in well]


def _check_sigma(sigma, n, what):
    if sigma is None:
        return np.ones(n)
    sigma = np.broadcast_to(np.asarray(sigma, dtype=float), (n,)).copy()
    if not np.all(np.isfinite(sigma)) or np.any(sigma <= 0):
        raise ValueError(f"{what}: sigma must be positive and finite")
    return sigma


def _depletion_observations(depletion):
    tab = _as_table(depletion, ("t", "value"), "depletion")
    t = _column(tab, ("t", "time"), "depletion")
    v = _column(tab, ("value", "ratio", "depletion", "rate", "volume"), "depletion")
    sigma = _column(tab, ("sigma",), "depletion", required=False)
    if t.size != v.size or t.size == 0:
        raise ValueError("depletion: the columns t and value must have the same, non-zero length")
    if not (np.all(np.isfinite(t)) and np.all(np.isfinite(v))) or np.any(t <= 0):
        raise ValueError("depletion: times must be positive and values finite")
    return t, v, (None if sigma is None else _check_sigma(sigma, t.size, "depletion"))


@dataclass
class CalibrationResult:
    """Fitted values with their uncertainty and the fit's residuals."""

    names: list
    values: dict  # name -> fitted value
    start: dict  # name -> start value used (after clipping)
    stderr: dict  # name -> standard error (delta method)
    covariance: np.ndarray  # natural parameters
    correlation: np.ndarray
    log: dict  # name -> fitted as logarithm
    bounds: dict  # name -> (lo, hi) natural
    success: bool
    message: str
    observed: np.ndarray  # drawdowns
    fitted: np.ndarray
    residuals: np.ndarray  # observed - fitted, drawdowns
    obs_x: np.ndarray
    obs_y: np.ndarray
    obs_t: np.ndarray
    wells: list
    depletion_observed: np.ndarray | None = None
    depletion_fitted: np.ndarray | None = None
    depletion_t: np.ndarray | None = None
    depletion_kind: str = "ratio"
    model: object = None  # the fitted model
    nfev: int = 0
    cost: float = float("nan")  # 0.5 * sum of squared weighted residuals
    dof: int = 0
    residual_variance: float = float("nan")
    at_bound: list = field(default_factory=list)

    @property
    def rmse(self):
        return float(np.sqrt(np.mean(self.residuals**2)))

    def interval(self, k=2.0):
        """name -> (lo, hi): value -/+ k standard errors, in the fitted (log) space."""
        out = {}
        for j, n in enumerate(self.names):
            v = self.values[n]
            if self.log[n]:
                se_ln = math.sqrt(self.covariance[j, j]) / v if np.isfinite(self.covariance[j, j]) else math.inf
                out[n] = (v * math.exp(-k * se_ln), v * math.exp(k * se_ln))
            else:
                se = self.stderr[n]
                out[n] = (v - k * se, v + k * se)
        return out

    def summary(self):
        lines = [f"{'parameter':<10} {'value':>13} {'std err':>11} {'rel':>8}   2-sigma interval"]
        iv = self.interval(2.0)
        for n in self.names:
            v, se = self.values[n], self.stderr[n]
            rel = se / abs(v) if v else math.inf
            lo, hi = iv[n]
            lines.append(f"{n:<10} {v:13.6g} {se:11.4g} {rel:8.2%}   [{lo:.6g}, {hi:.6g}]")
        lines.append(f"rms misfit {self.rmse:.4g} m over {self.observed.size} drawdowns; {self.message}")
        return "\n".join(lines)

    def to_dataframe(self):
        import pandas as pd

        iv = self.interval(2.0)
        return pd.DataFrame(
            {
                "value": [self.values[n] for n in self.names],
                "stderr": [self.stderr[n] for n in self.names],
                "lo2": [iv[n][0] for n in self.names],
                "hi2": [iv[n][1] for n in self.names],
                "start": [self.start[n] for n in self.names],
                "log": [self.log[n] for n in self.names],
            },
            index=pd.Index(self.names, name="parameter"),
        )

    def write_csv(self, directory, prefix="calibration"):
        """<prefix>.csv (values, errors), <prefix>_correlation.csv, <prefix>_residuals.csv."""
        os.makedirs(directory, exist_ok=True)
        p_val = os.path.join(directory, f"{prefix}.csv")
        p_cor = os.path.join(directory, f"{prefix}_correlation.csv")
        p_res = os.path.join(directory, f"{prefix}_residuals.csv")
        iv = self.interval(2.0)
        with open(p_val, "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(["parameter", "value", "stderr", "lo2", "hi2", "start", "log", "at_bound"])
            for n in self.names:
                w.writerow([n, repr(self.values[n]), repr(self.stderr[n]), repr(iv[n][0]), repr(iv[n][1]),
                            repr(self.start[n]), int(self.log[n]), int(n in self.at_bound)])
        with open(p_cor, "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(["parameter", *self.names])
            for n, row in zip(self.names, self.correlation):
                w.writerow([n, *map(repr, row.tolist())])
        with open(p_res, "w", newline="") as fh:
            w = csv.writer(fh)
            w.writerow(["well", "x", "y", "time", "observed", "fitted", "residual"])
            for i in range(self.observed.size):
                w.writerow([self.wells[i], repr(self.obs_x[i]), repr(self.obs_y[i]), repr(self.obs_t[i]),
                            repr(self.observed[i]), repr(self.fitted[i]), repr(self.residuals[i])])
        return [p_val, p_cor, p_res]

    def plot(self, path):
        """Observed (markers) and fitted (lines) drawdown against time per well, and the residuals."""
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        has_depl = self.depletion_observed is not None
        fig, axes = plt.subplots(1, 3 if has_depl else 2, figsize=(15 if has_depl else 11, 4.5))
        ax, axr = axes[0], axes[1]
        keys = list(dict.fromkeys(zip(self.obs_x.tolist(), self.obs_y.tolist())))
        tmin, tmax = float(self.obs_t.min()), float(self.obs_t.max())
        tt = np.geomspace(tmin, tmax, 60) if tmax > tmin else np.array([tmin])
        for k, (x, y) in enumerate(keys):
            sel = (self.obs_x == x) & (self.obs_y == y)
            name = self.wells[int(np.argmax(sel))]
            color = f"C{k % 10}"
            ax.plot(self.obs_t[sel], self.observed[sel], "o", color=color, ms=4, label=f"{name} observed")
            line = None
            if self.model is not None:
                try:
                    line = np.asarray(self.model.drawdown(np.full_like(tt, x), np.full_like(tt, y), tt), float)
                except Exception:
                    line = None
            if line is not None:
                ax.plot(tt, line, "-", color=color, label=f"{name} fitted")
            else:
                order = np.argsort(self.obs_t[sel])
                ax.plot(self.obs_t[sel][order], self.fitted[sel][order], "-", color=color, label=f"{name} fitted")
            axr.plot(self.obs_t[sel], self.residuals[sel], "o", color=color, ms=4, label=name)
        ax.set_xscale("log")
        ax.set_xlabel("time (days)")
        ax.set_ylabel("drawdown (m)")
        ax.set_title("observed and fitted drawdown")
        ax.legend(fontsize="small")
        ax.grid(True, which="both", alpha=0.3)
        axr.axhline(0.0, color="k", lw=0.8)
        axr.set_xscale("log")
        axr.set_xlabel("time (days)")
        axr.set_ylabel("observed - fitted (m)")
        axr.set_title(f"residuals (rms {self.rmse:.3g} m)")
        axr.grid(True, which="both", alpha=0.3)
        if has_depl:
            axd = axes[2]
            axd.plot(self.depletion_t, self.depletion_observed, "o", ms=4, label="observed")
            order = np.argsort(self.depletion_t)
            axd.plot(self.depletion_t[order], self.depletion_fitted[order], "-", label="fitted")
            axd.set_xscale("log")
            axd.set_xlabel("time (days)")
            axd.set_ylabel(f"depletion {self.depletion_kind}")
            axd.set_title("stream depletion")
            axd.legend(fontsize="small")
            axd.grid(True, which="both", alpha=0.3)
        text = ", ".join(f"{n} = {self.values[n]:.4g} ± {self.stderr[n]:.2g}" for n in self.names)
        fig.suptitle(text, fontsize="small")
        fig.tight_layout()
        fig.savefig(path)
        plt.close(fig)
        return path


def _bounds_for(name, bounds):
    lo, hi = (0.0, math.inf) if name in POSITIVE_PARAMETERS else (-math.inf, math.inf)
    if bounds and name in bounds:
        b = bounds[name]
        try:
            blo, bhi = (float(b[0]) if b[0] is not None else lo), (float(b[1]) if b[1] is not None else hi)
        except (TypeError, ValueError, IndexError):
            raise ValueError(f"bounds for {name!r} must be (lo, hi), got {b!r}") from None
        if math.isnan(blo) or math.isnan(bhi) or not blo < bhi:
            raise ValueError(f"bounds for {name!r} must have lo < hi, got {b!r}")
        if name in POSITIVE_PARAMETERS and bhi <= 0:
            raise ValueError(f"bounds for {name!r}: the parameter is positive, got upper bound {bhi!r}")
        lo, hi = max(lo, blo), min(hi, bhi)
    return lo, hi


def calibrate(
    model,
    observations,
    free,
    bounds=None,
    start=None,
    depletion=None,
    depletion_kind="ratio",
    sigma=None,
    depletion_sigma=None,
    log=None,
    max_nfev=None,
    diff_step=1e-4,
    threads=None,
    loss="linear",
    restarts=3,
    verbose=0,
):
    """Fit the parameters ``free`` of ``model`` to observed drawdowns.

    observations: DataFrame or mapping with columns x, y, t (or time),
        drawdown and optionally sigma and well; or an array of rows
        (x, y, t, drawdown[, sigma]).
    free: names from ``model.params()`` (T1..S3, K, thickness, leakance,
        width, left, right).  K and thickness enter the model only through
        leakance = K/thickness, so at most one of K, thickness, leakance is free.
    bounds: name -> (lo, hi) in natural units (None for open).
    start: name -> start value (default: the model's own); clipped into bounds.
    depletion: optional observed stream depletion, rows (t, value[, sigma]) or
        columns t, value; ``depletion_kind`` "ratio", "rate" or "volume".
    sigma, depletion_sigma: standard deviations of the observations (scalar
        or per row) weighting the residuals; a sigma column overrides.
    log: name -> bool to override which parameters are fitted as logarithms.
    loss: passed to least_squares ("soft_l1" or "huber" damp outliers; the
        standard errors then assume the linear loss near the solution).
    restarts: further starts tried when a fit fails or ends with parameters
        the data do not determine (0: none).
    """
    from scipy.optimize import least_squares

    params = dict(model.params())
    if isinstance(free, str):
        free = [free]
    free = list(free)
    if not free:
        raise ValueError("free: name at least one parameter to fit")
    unknown = [n for n in free if n not in params]
    if unknown:
        raise ValueError(f"free: unknown parameter name(s) {', '.join(map(repr, unknown))} (known: {', '.join(params)})")
    if len(set(free)) != len(free):
        raise ValueError(f"free: a parameter is named twice in {free!r}")
    streambed = [n for n in free if n in ("K", "thickness", "leakance")]
    if len(streambed) > 1:
        raise ValueError(
            f"free: {', '.join(streambed)} enter the model only through leakance = K/thickness; free one of them"
        )
    for d, what in ((bounds, "bounds"), (start, "start"), (log, "log")):
        if d:
            bad = [n for n in d if n not in free]
            if bad:
                raise ValueError(f"{what}: {', '.join(map(repr, bad))} not among the free parameters {free!r}")

    x, y, t, s_obs, s_sigma, wells = _drawdown_observations(observations)
    if s_sigma is None:
        s_sigma = _check_sigma(sigma, x.size, "sigma")
    if depletion is not None:
        if depletion_kind not in DEPLETION_KINDS:
            raise ValueError(f"depletion_kind must be one of {', '.join(DEPLETION_KINDS)}, got {depletion_kind!r}")
        d_t, d_obs, d_sig = _depletion_observations(depletion)
        if d_sig is None:
            d_sig = _check_sigma(depletion_sigma, d_t.size, "depletion_sigma")
    else:
        d_t = d_obs = d_sig = None

    use_log = {n: (n in LOG_PARAMETERS) for n in free}
    if log:
        for n, v in log.items():
            if v and n not in POSITIVE_PARAMETERS:
                raise ValueError(f"log: {n!r} is not a positive parameter and cannot be fitted as a logarithm")
            use_log[n] = bool(v)

    nat_bounds = {n: _bounds_for(n, bounds) for n in free}
    p0 = {}
    for n in free:
        v = (start or {}).get(n, params[n])
        try:
            v = float(v)
        except (TypeError, ValueError):
            raise ValueError(f"start: {n!r} must be a number, got {v!r}") from None
        if not math.isfinite(v):
            raise ValueError(f"start: {n!r} must be finite, got {v!r}")
        lo, hi = nat_bounds[n]
        if use_log[n] and v <= 0:
            v = math.sqrt(lo * hi) if (lo > 0 and math.isfinite(hi)) else (lo * 10 if lo > 0 else 1.0)
        p0[n] = v

    def to_u(n, v):
        return math.log(v) if use_log[n] else v

    def from_u(n, u):
        return math.exp(u) if use_log[n] else u

    lb = np.array([(to_u(n, nat_bounds[n][0]) if nat_bounds[n][0] > 0 else -math.inf) if use_log[n]
                   else nat_bounds[n][0] for n in free])
    ub = np.array([to_u(n, nat_bounds[n][1]) if (use_log[n] and math.isfinite(nat_bounds[n][1]))
                   else nat_bounds[n][1] for n in free])
    u0 = np.array([to_u(n, p0[n]) for n in free])
    use_log_arr = np.array([use_log[n] for n in free])
    # into the bounds, a little inside so the first finite differences stay feasible
    width = np.where(np.isfinite(ub - lb), ub - lb, np.inf)
    margin = np.minimum(1e-6 * np.maximum(1.0, np.abs(u0)), 0.01 * width)
    u0 = np.minimum(np.maximum(u0, lb + margin), ub - margin)
    p0 = {n: from_u(n, u) for n, u in zip(free, u0)}

    nres = x.size + (0 if d_t is None else d_t.size)
    state = {"failures": 0, "last_error": None, "evals": 0}

    def model_at(u):
        return model.with_params(**{n: from_u(n, ui) for n, ui in zip(free, u)})

    def predict(m):
        s = _drawdown(m, x, y, t, threads)
        d = None
        if d_t is not None:
            d = np.asarray(getattr(m, DEPLETION_KINDS[depletion_kind])(d_t), dtype=float).ravel()
        return s, d

    def residuals(u):
        state["evals"] += 1
        try:
            with np.errstate(all="ignore"):
                s, d = predict(model_at(u))
            r = (s - s_obs) / s_sigma
            if d is not None:
                r = np.concatenate([r, (d - d_obs) / d_sig])
            if r.shape != (nres,):
                raise _Failure(f"the model returned {r.size} values for {nres} observations")
        except (ValueError, RuntimeError, ArithmeticError, _Failure) as exc:
            state["failures"] += 1
            state["last_error"] = f"{type(exc).__name__}: {exc}"
            return np.full(nres, BAD_RESIDUAL)
        bad = ~np.isfinite(r)
        if bad.any():
            state["failures"] += 1
            state["last_error"] = f"the model gave {int(bad.sum())} non-finite value(s)"
            r = np.where(bad, BAD_RESIDUAL, r)
        return np.clip(r, -BAD_RESIDUAL, BAD_RESIDUAL)

    r0 = residuals(u0)
    if state["failures"]:
        raise ValueError(
            "the model cannot be evaluated at the start values "
            + ", ".join(f"{n}={p0[n]:g}" for n in free)
            + f": {state['last_error']}"
        )
    if nres < len(free):
        raise ValueError(f"{nres} observations cannot determine {len(free)} free parameters")

    if isinstance(restarts, bool) or int(restarts) != restarts or restarts < 0:
        raise ValueError(f"restarts must be a whole number >= 0, got {restarts!r}")
    kw = {}
    if max_nfev is not None:
        kw["max_nfev"] = int(max_nfev)

    def solve(u_start):
        try:
            return least_squares(residuals, u_start, bounds=(lb, ub), method="trf", x_scale="jac",
                                 diff_step=diff_step, loss=loss, verbose=verbose, **kw)
        except (ValueError, np.linalg.LinAlgError) as exc:
            raise ValueError(f"the fit could not proceed: {exc}") from None

    def good(r):
        return (bool(r.success) and not np.any(np.abs(r.fun) >= BAD_RESIDUAL)
                and _inverse_normal(np.asarray(r.jac, dtype=float))[1] == len(free))

    # A fit that fails, ends where the model cannot be evaluated or where the
    # data no longer determine every parameter (a leakance run off to zero,
    # say) is tried again from other starts: log-uniform over finite bounds,
    # else within a factor of 10 of the start (half of it either way for a
    # linear parameter).  The starts come from a fixed seed.
    res = solve(u0)
    tries = 0
    rng = np.random.default_rng(20261209)
    while not good(res) and tries < restarts:
        tries += 1
        span = np.where(use_log_arr, math.log(10.0), 0.5 * np.maximum(np.abs(u0), 1.0))
        lo_r = np.where(np.isfinite(lb), lb, u0 - span)
        hi_r = np.where(np.isfinite(ub), ub, u0 + span)
        u_try = np.minimum(np.maximum(rng.uniform(lo_r, hi_r), lb + margin), ub - margin)
        failures_before = state["failures"]
        residuals(u_try)
        if state["failures"] > failures_before:
            continue
        other = solve(u_try)
        if (good(other), -other.cost) > (good(res), -res.cost):
            res = other
    restarted = tries

    u = res.x
    values = {n: from_u(n, ui) for n, ui in zip(free, u)}
    r_final = res.fun
    final_bad = bool(np.any(np.abs(r_final) >= BAD_RESIDUAL))
    success = bool(res.success) and not final_bad
    message = _status_message(res)
    if restarted:
        message += f" (best of {restarted + 1} starts)"
    if final_bad:
        message = f"the model could not be evaluated at the final values ({state['last_error']})"
    at_bound = [n for n, ui, a, b, active in zip(free, u, lb, ub, res.active_mask) if active != 0]

    # covariance from the Jacobian at the solution, scaled by the residual variance
    J = np.asarray(res.jac, dtype=float)
    dof = max(nres - len(free), 0)
    s2 = float(np.sum(r_final**2) / dof) if dof > 0 else math.nan
    cov_u, rank = _inverse_normal(J)
    cov_u = cov_u * s2
    if rank < len(free):
        success = False
        message += f"; the Jacobian has rank {rank} < {len(free)}: some parameters are not determined by the data"
        warnings.warn("calibration: the free parameters are not all determined by the observations", stacklevel=2)
    dtheta = np.array([values[n] if use_log[n] else 1.0 for n in free])
    cov = cov_u * np.outer(dtheta, dtheta)
    sd = np.sqrt(np.where(np.diag(cov) >= 0, np.diag(cov), np.nan))
    with np.errstate(all="ignore"):
        corr = cov / np.outer(sd, sd)
    if at_bound:
        message += f"; at a bound: {', '.join(at_bound)}"

    fitted_model = None
    try:
        fitted_model = model_at(u)
        s_fit, d_fit = predict(fitted_model)
    except (ValueError, RuntimeError, ArithmeticError):
        s_fit = np.full(x.size, np.nan)
        d_fit = None if d_t is None else np.full(d_t.size, np.nan)

    return CalibrationResult(
        names=free,
        values=values,
        start=p0,
        stderr={n: float(v) for n, v in zip(free, sd)},
        covariance=cov,
        correlation=corr,
        log=use_log,
        bounds=nat_bounds,
        success=success,
        message=message,
        observed=s_obs,
        fitted=s_fit,
        residuals=s_obs - s_fit,
        obs_x=x,
        obs_y=y,
        obs_t=t,
        wells=wells,
        depletion_observed=d_obs,
        depletion_fitted=d_fit,
        depletion_t=d_t,
        depletion_kind=depletion_kind,
        model=fitted_model,
        nfev=int(state["evals"]),
        cost=float(res.cost),
        dof=dof,
        residual_variance=s2,
        at_bound=at_bound,
    )


def _drawdown(model, x, y, t, threads):
    try:
        v = model.drawdown(x, y, t, threads=threads)
    except TypeError as exc:
        if "threads" not in str(exc):
            raise
        v = model.drawdown(x, y, t)
    return np.asarray(v, dtype=float).ravel()


def _inverse_normal(J):
    """(J^T J)^-1 through the SVD of J, and the numerical rank of J."""
    if J.size == 0 or not np.all(np.isfinite(J)):
        p = J.shape[1] if J.ndim == 2 else 0
        return np.full((p, p), np.nan), 0
    _, sv, vt = np.linalg.svd(J, full_matrices=False)
    tol = np.finfo(float).eps * max(J.shape) * (sv[0] if sv.size else 0.0)
    keep = sv > tol
    inv = np.where(keep, 1.0 / np.where(keep, sv, 1.0) ** 2, np.inf)
    with np.errstate(invalid="ignore"):
        cov = (vt.T * np.where(np.isinf(inv), 0.0, inv)) @ vt
    if not keep.all():
        # undetermined directions: infinite variance for the parameters in them
        lost = np.any(np.abs(vt[~keep]) > 1e-8, axis=0)
        cov[lost, :] = np.nan
        cov[:, lost] = np.nan
        cov[lost, lost] = np.inf
    return cov, int(keep.sum())


_STATUS = {
    -1: "improper input to the least-squares solver",
    0: "the fit did not converge: the limit on model evaluations was reached",
    1: "converged: the gradient is below its tolerance",
    2: "converged: the cost changes less than its tolerance",
    3: "converged: the parameters change less than their tolerance",
    4: "converged: the cost and the parameters change less than their tolerances",
}


def _status_message(res):
    return _STATUS.get(int(res.status), str(res.message))


# --------------------------------------------------------------------------
# Observations from CSV and the command line


def read_observations(path, wells=None):
    """Drawdown observations from a CSV file with a header line.

    Columns: either ``well`` (a name from ``wells``, a mapping or list of
    (name, x, y)) or ``x`` and ``y``; ``time`` (or ``t``); ``drawdown``
    (or ``s``); optionally ``sigma``.  Returns a dict of columns.
    """
    if wells is not None and not isinstance(wells, dict):
        wells = {str(w[0]): (float(w[1]), float(w[2])) for w in wells}
    cols = {"well": [], "x": [], "y": [], "t": [], "drawdown": [], "sigma": []}
    with open(path, newline="") as fh:
        reader = csv.DictReader(fh)
        if reader.fieldnames is None:
            raise ValueError(f"{path}: empty file")
        head = {h.strip().lower(): h for h in reader.fieldnames if h is not None}

        def pick(*names):
            for n in names:
                if n in head:
                    return head[n]
            return None

        c_well, c_x, c_y = pick("well", "name"), pick("x"), pick("y")
        c_t, c_s, c_sig = pick("time", "t"), pick("drawdown", "s"), pick("sigma")
        if c_t is None or c_s is None or (c_well is None and (c_x is None or c_y is None)):
            raise ValueError(f"{path}: needs the columns well (or x, y), time and drawdown; has {reader.fieldnames}")
        for lineno, row in enumerate(reader, start=2):
            try:
                if c_x is not None and c_y is not None and row.get(c_x, "").strip():
                    xv, yv = float(row[c_x]), float(row[c_y])
                    name = row[c_well].strip() if c_well else f"({xv:g}, {yv:g})"
                else:
                    name = row[c_well].strip()
                    if wells is None or name not in wells:
                        raise ValueError(f"unknown well {name!r} (known: {', '.join(wells or [])})")
                    xv, yv = wells[name]
                tv, sv = float(row[c_t]), float(row[c_s])
                sg = float(row[c_sig]) if c_sig and row.get(c_sig, "").strip() else 1.0
            except (TypeError, ValueError, KeyError) as exc:
                raise ValueError(f"{path}, line {lineno}: {exc}") from None
            for k, v in zip(cols, (name, xv, yv, tv, sv, sg)):
                cols[k].append(v)
    if not cols["t"]:
        raise ValueError(f"{path}: no observations")
    out = {k: np.asarray(v, dtype=float) for k, v in cols.items() if k != "well"}
    out["well"] = cols["well"]
    if c_sig is None:
        del out["sigma"]
    return out


def _calibrate_config(path):
    import tomllib

    with open(path, "rb") as fh:
        doc = tomllib.load(fh)
    cfg = doc.get("calibrate")
    if not isinstance(cfg, dict):
        raise ValueError(f"{path}: no [calibrate] table")
    known = ("free", "bounds", "start", "depletion", "depletion_kind", "max_nfev", "restarts", "loss")
    for k in cfg:
        if k not in known:
            raise ValueError(f"{path}: [calibrate]: unknown key {k!r}; known: {', '.join(known)}")
    for k in ("bounds", "start"):
        if k in cfg and not isinstance(cfg[k], dict):
            raise ValueError(f"{path}: [calibrate] {k} must be a table of parameter = value")
    return cfg


def main(argv=None):
    import argparse

    ap = argparse.ArgumentParser(prog="python3 -m kelvorat calibrate",
                                 description="Fit a project's parameters to observed drawdowns")
    ap.add_argument("project", help="PROJECT.toml with a [calibrate] table")
    ap.add_argument("observations", help="CSV: well (or x, y), time, drawdown[, sigma]")
    ap.add_argument("--free", default=None, help="comma-separated free parameters (overrides [calibrate] free)")
    args = ap.parse_args(argv)
    try:
        import kelvorat as kv

        project = kv.load_project(args.project)
        cfg = _calibrate_config(args.project)
        free = args.free.split(",") if args.free else cfg.get("free")
        if not free:
            raise ValueError("[calibrate] free: name the parameters to fit")
        obs = read_observations(args.observations, wells=project.observations)
        depletion = None
        if cfg.get("depletion"):
            dpath = os.path.join(os.path.dirname(os.path.abspath(args.project)), cfg["depletion"])
            depletion = _read_depletion(dpath)
        bounds = {k: tuple(v) for k, v in (cfg.get("bounds") or {}).items()}
        res = calibrate(project.model, obs, free=free, bounds=bounds or None, start=cfg.get("start"),
                        depletion=depletion, depletion_kind=cfg.get("depletion_kind", "ratio"),
                        max_nfev=cfg.get("max_nfev"), restarts=cfg.get("restarts", 3),
                        loss=cfg.get("loss", "linear"))
        outdir = str(project.output_dir)
        paths = res.write_csv(outdir)
        paths.append(res.plot(os.path.join(outdir, "calibration.png")))
    except (ValueError, OSError, KeyError, TypeError) as exc:
        print(f"kelvorat calibrate: {exc}", file=sys.stderr)
        return 2
    print(res.summary())
    for p in paths:
        print(p)
    if not res.success:
        print(f"kelvorat calibrate: the fit did not converge: {res.message}", file=sys.stderr)
        return 1
    return 0


def _read_depletion(path):
    with open(path, newline="") as fh:
        reader = csv.DictReader(fh)
        head = {h.strip().lower(): h for h in (reader.fieldnames or [])}
        c_t = head.get("time", head.get("t"))
        c_v = next((head[k] for k in ("value", "ratio", "depletion", "rate", "volume") if k in head), None)
        if c_t is None or c_v is None:
            raise ValueError(f"{path}: needs the columns time and value (or ratio/rate/volume)")
        t, v = [], []
        for lineno, row in enumerate(reader, start=2):
            try:
                t.append(float(row[c_t]))
                v.append(float(row[c_v]))
            except (TypeError, ValueError) as exc:
                raise ValueError(f"{path}, line {lineno}: {exc}") from None
    return {"t": np.array(t), "value": np.array(v)}


if __name__ == "__main__":
    sys.exit(main())
