"""The three-zone strip aquifer with a leaky stream, its pumping wells and
their schedules, and the functions of space and time it answers.

Geometry: x runs across the strip, y along the stream.  Zone 1 lies beyond
the stream, from x = -left to x = -width; zone 2 is the stream zone, from
x = -width to 0, with its leaky streambed; zone 3, from 0 to x = right,
holds the pumping wells.  Metres and days throughout; rates in m3/day.

A schedule is a list of (start time, rate) steps: the rate holds from its
start until the next step starts.  The responses of all rate changes of all
wells are superposed.  The numbers are those of the batch program's model,
without the cuts its result tables apply (see :mod:`kelvorat.deck` for a deck
reproduced with them).
"""

from __future__ import annotations

import math
import numbers
import warnings
from dataclasses import dataclass, field, replace
from typing import Iterable, Sequence

import numpy as np

from . import _core

__all__ = ["Zone", "Stream", "Boundaries", "Well", "Settings", "Model", "PARAMETERS"]


def _number(name: str, value) -> float:
    """value as a float, or a ValueError naming the parameter."""
    if isinstance(value, bool) or not isinstance(value, (numbers.Real, np.floating, np.integer)):
        raise ValueError(f"{name} must be a number, got {value!r}")
    v = float(value)
    if math.isnan(v) or math.isinf(v):
        raise ValueError(f"{name} must be a finite number, got {v!r}")
    return v


def _positive(name: str, value) -> float:
    v = _number(name, value)
    if not v > 0.0:
        raise ValueError(f"{name} must be positive, got {v!r}")
    return v


def _non_negative(name: str, value) -> float:
    v = _number(name, value)
    if v < 0.0:
        raise ValueError(f"{name} must not be negative, got {v!r}")
    return v


@dataclass(frozen=True)
class Zone:
    """Transmissivity T (m2/day) and storage coefficient S of one zone."""

    T: float
    S: float

    def __post_init__(self):
        object.__setattr__(self, "T", _positive("Zone.T", self.T))
        object.__setattr__(self, "S", _positive("Zone.S", self.S))


@dataclass(frozen=True)
class Stream:
    """The stream zone: its width (m) and the streambed's hydraulic
    conductivity K (m/day) and thickness (m).  K = 0 makes the stream zone
    plain aquifer."""

    width: float
    K: float
    thickness: float = 1.0

    def __post_init__(self):
        object.__setattr__(self, "width", _positive("Stream.width", self.width))
        object.__setattr__(self, "K", _non_negative("Stream.K", self.K))
        object.__setattr__(self, "thickness", _positive("Stream.thickness", self.thickness))

    @property
    def leakance(self) -> float:
        """K / thickness (1/day)."""
        return self.K / self.thickness


@dataclass(frozen=True)
class Boundaries:
    """The ends of the strip: x = -left beyond the stream, x = right on the
    wells' side (both distances from the stream bank x = 0, in m)."""

    left: float
    right: float

    def __post_init__(self):
        object.__setattr__(self, "left", _positive("Boundaries.left", self.left))
        object.__setattr__(self, "right", _positive("Boundaries.right", self.right))


def _schedule(name: str, schedule) -> tuple[tuple[float, float], ...]:
    try:
        steps = [tuple(step) for step in schedule]
    except TypeError:
        raise ValueError(f"{name} must be a list of (start time, rate) pairs, got {schedule!r}")
    if not steps:
        raise ValueError(f"{name} must hold at least one (start time, rate) step, got {schedule!r}")
    out = []
    for i, step in enumerate(steps):
        if len(step) != 2:
            raise ValueError(f"{name}[{i}] must be a (start time, rate) pair, got {step!r}")
        start = _non_negative(f"{name}[{i}] start time", step[0])
        rate = _number(f"{name}[{i}] rate", step[1])
        if out and not start > out[-1][0]:
            raise ValueError(
                f"{name}[{i}] start time must be later than the step before "
                f"({out[-1][0]!r}), got {start!r}"
            )
        out.append((start, rate))
    return tuple(out)


@dataclass(frozen=True)
class Well:
    """A pumping well in zone 3 at (x, y) with its bore radius (m) and its
    schedule of (start time in days, rate in m3/day) steps."""

    x: float
    y: float
    radius: float
    schedule: Sequence[tuple[float, float]]
    name: str | None = None

    def __post_init__(self):
        label = f"Well({self.name})" if self.name else "Well"
        object.__setattr__(self, "x", _number(f"{label}.x", self.x))
        object.__setattr__(self, "y", _number(f"{label}.y", self.y))
        object.__setattr__(self, "radius", _positive(f"{label}.radius", self.radius))
        object.__setattr__(self, "schedule", _schedule(f"{label}.schedule", self.schedule))

    def rate_at(self, t) -> np.ndarray:
        """The pumping rate at times t (the step that started before t)."""
        t = np.asarray(t, dtype=float)
        starts = np.array([s for s, _ in self.schedule])
        rates = np.concatenate([[0.0], [q for _, q in self.schedule]])
        return rates[np.searchsorted(starts, t, side="left")]


@dataclass(frozen=True)
class Settings:
    """Number of Stehfest terms and the relative error allowed for the
    integration over any interval.  The batch program's checks apply: a term
    count outside 6..20 becomes 6, an odd one is raised to the next even
    count, and an errmax the Stehfest weights cannot honour is lowered to a
    tenth of their bound (each with a warning).

    The defaults are the bundled example's, twelve terms with 1e-8.  A deck
    that gives no term count gets 20; with doubles that many terms magnify
    the rounding errors of the integrals beyond use (negative drawdowns at
    early times), so the default here is not the deck's."""

    nterms: int = 12
    errmax: float = 1e-8

    def __post_init__(self):
        if isinstance(self.nterms, bool) or not isinstance(self.nterms, (numbers.Integral,)):
            raise ValueError(f"Settings.nterms must be an integer, got {self.nterms!r}")
        object.__setattr__(self, "nterms", int(self.nterms))
        object.__setattr__(self, "errmax", _positive("Settings.errmax", self.errmax))

    def checked(self, warn: bool = True) -> tuple[int, float]:
        """(NTERMS, ERRMAX) as the computation uses them."""
        c = _core.check_settings(self.nterms, self.errmax)
        if warn and c["nterms_out_of_range"]:
            warnings.warn(f"Settings.nterms = {self.nterms} is outside 6..20: 6 terms are used",
                          stacklevel=3)
        elif warn and c["nterms_raised"]:
            warnings.warn(f"Settings.nterms = {self.nterms} is odd: {c['NTERMS']} terms are used",
                          stacklevel=3)
        if warn and c["errmax_lowered"]:
            warnings.warn(
                f"Settings.errmax = {self.errmax!r} is above what {c['NTERMS']} Stehfest terms "
                f"allow ({c['ERRBND']:.4e}): {c['ERRMAX']:.4e} is used",
                stacklevel=3,
            )
        return c["NTERMS"], c["ERRMAX"]


# The keys of Model.params() and Model.with_params().
PARAMETERS = ("T1", "S1", "T2", "S2", "T3", "S3", "K", "thickness", "width", "left", "right",
              "leakance")


def _threads(threads) -> int:
    if threads is None:
        return 0
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or threads < 1:
        raise ValueError(f"threads must be a positive integer or None, got {threads!r}")
    return int(threads)


def _finite_array(name: str, t) -> np.ndarray:
    a = np.asarray(t, dtype=float)
    if np.isnan(a).any() or np.isinf(a).any():
        bad = a[~np.isfinite(a)].ravel()[0]
        raise ValueError(f"{name} must hold finite numbers, got {bad!r}")
    return a


class Model:
    """The strip aquifer of three zones, the stream zone, the boundaries and
    the pumping wells with their schedules.

    zones: (zone 1 beyond the stream, zone 2 the stream zone, zone 3 of the
    wells).  All functions take numpy arrays (or scalars) and broadcast them;
    ``threads`` (None: every core) never changes a result.
    """

    def __init__(self, zones: Iterable[Zone], stream: Stream, boundaries: Boundaries,
                 wells: Iterable[Well], settings: Settings | None = None, *,
                 warn: bool = True):
        zones = tuple(zones)
        if len(zones) != 3 or not all(isinstance(z, Zone) for z in zones):
            raise ValueError(f"zones must be three Zone values (1, 2, 3), got {zones!r}")
        if not isinstance(stream, Stream):
            raise ValueError(f"stream must be a Stream, got {stream!r}")
        if not isinstance(boundaries, Boundaries):
            raise ValueError(f"boundaries must be Boundaries, got {boundaries!r}")
        wells = tuple(wells)
        if not wells or not all(isinstance(w, Well) for w in wells):
            raise ValueError(f"wells must be one or more Well values, got {wells!r}")
        settings = Settings() if settings is None else settings
        if not isinstance(settings, Settings):
            raise ValueError(f"settings must be Settings, got {settings!r}")
        if boundaries.left < stream.width:
            raise ValueError(
                f"Boundaries.left must be at least the stream width {stream.width!r}, "
                f"got {boundaries.left!r}"
            )
        for i, w in enumerate(wells):
            if not 0.0 < w.x < boundaries.right:
                label = w.name or f"wells[{i}]"
                raise ValueError(
                    f"{label}.x must lie in zone 3, 0 < x < right boundary {boundaries.right!r}, "
                    f"got {w.x!r}"
                )
        self.zones = zones
        self.stream = stream
        self.boundaries = boundaries
        self.wells = wells
        self.settings = settings
        # warn=False: the settings' corrections are not reported (again).
        self._nterms, self._errmax = settings.checked(warn=warn)
        # The arguments of the compiled core.
        z1, z2, z3 = zones
        self._aquifer = (z1.T, z1.S, z2.T, z2.S, z3.T, z3.S, boundaries.left, boundaries.right,
                         stream.width, stream.K, stream.thickness)
        self._wells = [(w.x, w.y, w.radius, [s for s, _ in w.schedule], [q for _, q in w.schedule])
                       for w in wells]
        self.last_stats: dict | None = None

    def __repr__(self):
        return (f"Model(zones={self.zones!r}, stream={self.stream!r}, "
                f"boundaries={self.boundaries!r}, wells={list(self.wells)!r}, "
                f"settings={self.settings!r})")

    def __eq__(self, other):
        if not isinstance(other, Model):
            return NotImplemented
        return (self.zones, self.stream, self.boundaries, self.wells, self.settings) == (
            other.zones, other.stream, other.boundaries, other.wells, other.settings)

    @property
    def nterms(self) -> int:
        """The number of Stehfest terms in use."""
        return self._nterms

    @property
    def errmax(self) -> float:
        """The integration tolerance in use."""
        return self._errmax

    # -- the functions of space and time -------------------------------------------------

    def _drawdown(self, x, y, t, threads):
        x = _finite_array("x", x)
        y = _finite_array("y", y)
        t = _finite_array("t", t)
        bx, by, bt = np.broadcast_arrays(x, y, t)
        shape = bt.shape
        s, err, stats = _core.drawdown(self._aquifer, self._nterms, self._errmax, self._wells,
                                       np.ascontiguousarray(bx, dtype=float).ravel(),
                                       np.ascontiguousarray(by, dtype=float).ravel(),
                                       np.ascontiguousarray(bt, dtype=float).ravel(),
                                       _threads(threads))
        self.last_stats = stats
        return s.reshape(shape), err.reshape(shape)

    def drawdown(self, x, y, t, threads=None) -> np.ndarray:
        """Drawdown (m) at points (x, y) and times t (days), broadcast."""
        return self._drawdown(x, y, t, threads)[0]

    def drawdown_error(self, x, y, t, threads=None) -> np.ndarray:
        """The error estimate of the drawdown (m): the sum of the magnitudes of
        the terms' estimates, 0 where every integration converged."""
        return self._drawdown(x, y, t, threads)[1]

    def drawdown_with_error(self, x, y, t, threads=None) -> tuple[np.ndarray, np.ndarray]:
        """(drawdown, error estimate) from one evaluation."""
        return self._drawdown(x, y, t, threads)

    def reference_rate(self) -> float:
        """The reference of the depletion ratio: the largest magnitude of the
        total pumping rate of all wells over their schedules (m3/day)."""
        return _core.reference_rate(self._aquifer, self._nterms, self._errmax, self._wells)

    def depletion(self, t, threads=None) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
        """(rate, ratio, volume) at times t from one evaluation."""
        t = _finite_array("t", t)
        ref = self.reference_rate()
        rate, ratio, volume, stats = _core.depletion(
            self._aquifer, self._nterms, self._errmax, self._wells,
            np.ascontiguousarray(t, dtype=float).ravel(), ref, _threads(threads))
        self.last_stats = stats
        return rate.reshape(t.shape), ratio.reshape(t.shape), volume.reshape(t.shape)

    def depletion_rate(self, t, threads=None) -> np.ndarray:
        """Stream flow taken by all wells (m3/day) at times t."""
        return self.depletion(t, threads)[0]

    def depletion_ratio(self, t, threads=None) -> np.ndarray:
        """The depletion rate over the reference rate (reference_rate(): the
        largest total pumping rate of the schedules).  For one well pumping at
        one rate this is the share of the pumped water taken from the stream."""
        return self.depletion(t, threads)[1]

    def depleted_volume(self, t, threads=None) -> np.ndarray:
        """Volume taken from the stream since t = 0 (m3)."""
        return self.depletion(t, threads)[2]

    def placement(self, x, y, well: int = 0) -> dict:
        """Where the point (x, y) lies relative to a pumping well: the zone,
        the case code "A1".."A4" and the moves out of the well's near field."""
        w = self.wells[well]
        return _core.place(self._aquifer, w.x, w.y, w.radius, _number("x", x), _number("y", y))

    # -- parameters -------------------------------------------------------------------------

    def params(self) -> dict:
        """The aquifer and streambed parameters by name (see PARAMETERS)."""
        z1, z2, z3 = self.zones
        return {
            "T1": z1.T, "S1": z1.S, "T2": z2.T, "S2": z2.S, "T3": z3.T, "S3": z3.S,
            "K": self.stream.K, "thickness": self.stream.thickness, "width": self.stream.width,
            "left": self.boundaries.left, "right": self.boundaries.right,
            "leakance": self.stream.K / self.stream.thickness,
        }

    def with_params(self, **changes) -> "Model":
        """A new Model with some parameters changed (keys of params();
        leakance sets K = leakance * thickness)."""
        unknown = sorted(set(changes) - set(PARAMETERS))
        if unknown:
            raise ValueError(f"unknown parameter {unknown[0]!r}; known: {', '.join(PARAMETERS)}")
        if "leakance" in changes and "K" in changes:
            raise ValueError("give either K or leakance, not both")
        p = self.params()
        p.update({k: v for k, v in changes.items() if k != "leakance"})
        if "leakance" in changes:
            p["K"] = _non_negative("leakance", changes["leakance"]) * _positive(
                "thickness", p["thickness"])
        zones = (Zone(p["T1"], p["S1"]), Zone(p["T2"], p["S2"]), Zone(p["T3"], p["S3"]))
        stream = Stream(width=p["width"], K=p["K"], thickness=p["thickness"])
        boundaries = Boundaries(left=p["left"], right=p["right"])
        return Model(zones, stream, boundaries, self.wells, self.settings, warn=False)

    def with_wells(self, wells: Iterable[Well]) -> "Model":
        """A new Model with other pumping wells."""
        return Model(self.zones, self.stream, self.boundaries, wells, self.settings, warn=False)

    # -- schedules --------------------------------------------------------------------------

    def total_rate(self, t) -> np.ndarray:
        """The total pumping rate of all wells at times t (m3/day)."""
        t = np.asarray(t, dtype=float)
        return sum(w.rate_at(t) for w in self.wells)

    def pumping_periods(self) -> list[tuple[float, float | None]]:
        """The intervals (start, end; None: open) in which any well pumps."""
        edges = sorted({s for w in self.wells for s, _ in w.schedule})
        periods: list[list] = []
        for i, start in enumerate(edges):
            end = edges[i + 1] if i + 1 < len(edges) else None
            on = any(_rate_after(w, start) != 0.0 for w in self.wells)
            if not on:
                continue
            if periods and periods[-1][1] == start:
                periods[-1][1] = end
            else:
                periods.append([start, end])
        return [tuple(p) for p in periods]


def _rate_after(w: Well, t: float) -> float:
    """The rate of w from t on (the step starting at or last before t)."""
    q = 0.0
    for s, rate in w.schedule:
        if s <= t:
            q = rate
    return q
