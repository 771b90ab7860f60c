"""Projects: a model with schedules and several wells, observation points,
output times and where the results go, in one TOML file.

    [aquifer]
    zones = [{T = 800.0, S = 0.15}, {T = 300.0, S = 0.10}, {T = 1000.0, S = 0.20}]
    left = 500.0                 # distance of the left boundary beyond the stream
    right = 2000.0               # the right boundary, on the wells' side

    [stream]
    width = 10.0                 # width of the stream zone
    K = 0.5                      # streambed hydraulic conductivity (m/day)
    thickness = 1.0              # streambed thickness (m)

    [settings]                   # optional
    nterms = 12
    errmax = 1e-8

    [[wells]]
    name = "P1"
    x = 100.0
    y = 0.0
    radius = 0.2
    schedule = [[0.0, 2000.0], [50.0, 0.0]]   # (start time in days, rate in m3/day)

    [[observations]]
    name = "OW1"
    x = 50.0
    y = 0.0

    [times]                      # values = [...], or:
    start = 0.1
    stop = 100.0
    count = 40
    spacing = "log"              # or "linear"

    [output]                     # optional
    dir = "results"              # relative to the project file
    formats = ["png", "svg"]
    plots = true
    map_time = 30.0              # time of the drawdown map (default: the last time)

Every table and key is checked; an unknown one is an error.  Tables that
other parts of the package read (such as [sweep] and [calibrate]) are
registered with register_table() and handed over unchecked here.
"""

from __future__ import annotations

import math
import os
import tomllib
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

import numpy as np

from .model import Boundaries, Model, Settings, Stream, Well, Zone

__all__ = ["Project", "load_project", "register_table", "ProjectError"]


class ProjectError(ValueError):
    """A project file that cannot be used: names the file, table and key."""


# Tables read by other modules: name -> validator(table, where) or None.
_EXTRA_TABLES: dict[str, Callable | None] = {"sweep": None, "calibrate": None}


def register_table(name: str, validator: Callable | None = None) -> None:
    """Lets a project carry the table [name]; validator(table, where) may
    check it (raising ProjectError) when the project is loaded."""
    _EXTRA_TABLES[name] = validator


@dataclass
class Project:
    """A loaded project."""

    path: Path
    model: Model
    observations: list  # [(name, x, y)]
    times: np.ndarray
    output_dir: Path
    formats: tuple = ("png", "svg")
    plots: bool = True
    map_time: float | None = None
    tables: dict = field(default_factory=dict)  # the whole file, as read

    def observation_names(self) -> list[str]:
        return [o[0] for o in self.observations]


def _where(path, table, key=None):
    return f"{path}: [{table}]" + (f" {key}" if key is not None else "")


def _check_keys(path, table_name, table, allowed, required=()):
    if not isinstance(table, dict):
        raise ProjectError(f"{_where(path, table_name)} must be a table, got {table!r}")
    for k in table:
        if k not in allowed:
            raise ProjectError(f"{_where(path, table_name)}: unknown key {k!r}; "
                               f"known: {', '.join(allowed)}")
    for k in required:
        if k not in table:
            raise ProjectError(f"{_where(path, table_name)}: missing key {k!r}")


def _num(path, table, key, value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise ProjectError(f"{_where(path, table, key)} must be a number, got {value!r}")
    v = float(value)
    if math.isnan(v) or math.isinf(v):
        raise ProjectError(f"{_where(path, table, key)} must be a finite number, got {value!r}")
    return v


def _wrap(path, table, fn):
    """Runs fn, turning the model's ValueErrors into ProjectErrors that name
    the file and table."""
    try:
        return fn()
    except ProjectError:
        raise
    except ValueError as e:
        raise ProjectError(f"{_where(path, table)}: {e}") from None


def _times(path, t) -> np.ndarray:
    _check_keys(path, "times", t, ("values", "start", "stop", "count", "spacing"))
    if "values" in t:
        if set(t) - {"values"}:
            raise ProjectError(f"{_where(path, 'times')}: give either values or "
                               f"start/stop/count/spacing, not both")
        vals = t["values"]
        if not isinstance(vals, list) or not vals:
            raise ProjectError(f"{_where(path, 'times', 'values')} must be a non-empty list")
        return np.array([_num(path, "times", "values", v) for v in vals])
    _check_keys(path, "times", t, ("start", "stop", "count", "spacing"),
                required=("start", "stop", "count"))
    start = _num(path, "times", "start", t["start"])
    stop = _num(path, "times", "stop", t["stop"])
    count = t["count"]
    if isinstance(count, bool) or not isinstance(count, int) or count < 1:
        raise ProjectError(f"{_where(path, 'times', 'count')} must be a positive integer, "
                           f"got {count!r}")
    spacing = t.get("spacing", "log")
    if spacing not in ("log", "linear"):
        raise ProjectError(f"{_where(path, 'times', 'spacing')} must be \"log\" or \"linear\", "
                           f"got {spacing!r}")
    if not stop > start:
        raise ProjectError(f"{_where(path, 'times', 'stop')} must be later than start "
                           f"{start!r}, got {stop!r}")
    if spacing == "log":
        if not start > 0.0:
            raise ProjectError(f"{_where(path, 'times', 'start')} must be positive for "
                               f"logarithmic spacing, got {start!r}")
        return np.logspace(math.log10(start), math.log10(stop), count)
    return np.linspace(start, stop, count)


def load_project(path: str | os.PathLike) -> Project:
    """Reads a project file (TOML).  Raises ProjectError (a ValueError)
    naming the file, the table and the key for anything it cannot use."""
    path = Path(path)
    try:
        with open(path, "rb") as f:
            doc = tomllib.load(f)
    except tomllib.TOMLDecodeError as e:
        raise ProjectError(f"{path}: not a valid TOML file: {e}") from None
    known = ("aquifer", "stream", "settings", "wells", "observations", "times", "output")
    for k in doc:
        if k not in known and k not in _EXTRA_TABLES:
            raise ProjectError(f"{path}: unknown table [{k}]; known: "
                               f"{', '.join(known + tuple(_EXTRA_TABLES))}")
    for k in ("aquifer", "stream", "wells", "times"):
        if k not in doc:
            raise ProjectError(f"{path}: missing table [{k}]")

    aq = doc["aquifer"]
    _check_keys(path, "aquifer", aq, ("zones", "left", "right"), required=("zones", "left", "right"))
    zones_in = aq["zones"]
    if not isinstance(zones_in, list) or len(zones_in) != 3:
        raise ProjectError(f"{_where(path, 'aquifer', 'zones')} must list three zones "
                           f"(1 beyond the stream, 2 the stream zone, 3 of the wells)")
    zones = []
    for i, z in enumerate(zones_in):
        name = f"aquifer.zones[{i}]"
        _check_keys(path, name, z, ("T", "S"), required=("T", "S"))
        zones.append(_wrap(path, name, lambda z=z, name=name: Zone(
            _num(path, name, "T", z["T"]), _num(path, name, "S", z["S"]))))
    boundaries = _wrap(path, "aquifer", lambda: Boundaries(
        left=_num(path, "aquifer", "left", aq["left"]),
        right=_num(path, "aquifer", "right", aq["right"])))

    st = doc["stream"]
    _check_keys(path, "stream", st, ("width", "K", "thickness"), required=("width", "K"))
    stream = _wrap(path, "stream", lambda: Stream(
        width=_num(path, "stream", "width", st["width"]), K=_num(path, "stream", "K", st["K"]),
        thickness=_num(path, "stream", "thickness", st.get("thickness", 1.0))))

    se = doc.get("settings", {})
    _check_keys(path, "settings", se, ("nterms", "errmax"))
    settings = _wrap(path, "settings", lambda: Settings(**se))

    wells_in = doc["wells"]
    if not isinstance(wells_in, list) or not wells_in:
        raise ProjectError(f"{path}: [[wells]] must hold at least one well")
    wells = []
    for i, w in enumerate(wells_in):
        name = f"wells[{i}]"
        _check_keys(path, name, w, ("name", "x", "y", "radius", "schedule"),
                    required=("x", "y", "schedule"))
        wells.append(_wrap(path, name, lambda w=w, i=i, name=name: Well(
            x=_num(path, name, "x", w["x"]), y=_num(path, name, "y", w["y"]),
            radius=_num(path, name, "radius", w.get("radius", 0.1)),
            schedule=w["schedule"], name=str(w.get("name", f"P{i + 1}")))))
        if not 0.0 < wells[-1].x < boundaries.right:
            raise ProjectError(f"{_where(path, name)}: {wells[-1].name}.x must lie in zone 3, "
                               f"0 < x < right boundary {boundaries.right!r}, got {wells[-1].x!r}")

    model = _wrap(path, "aquifer", lambda: Model(zones, stream, boundaries, wells, settings))

    observations = []
    for i, o in enumerate(doc.get("observations", [])):
        name = f"observations[{i}]"
        _check_keys(path, name, o, ("name", "x", "y"), required=("x", "y"))
        x = _num(path, name, "x", o["x"])
        y = _num(path, name, "y", o["y"])
        if not -boundaries.left <= x <= boundaries.right:
            raise ProjectError(f"{_where(path, name, 'x')} must lie in the strip, from "
                               f"-{boundaries.left:g} to {boundaries.right:g}, got {x!r}")
        observations.append((str(o.get("name", f"OW{i + 1}")), x, y))
    names = [o[0] for o in observations]
    if len(set(names)) != len(names):
        raise ProjectError(f"{path}: [[observations]] names must differ, got {names!r}")

    times = _times(path, doc["times"])

    out = doc.get("output", {})
    _check_keys(path, "output", out, ("dir", "formats", "plots", "map_time"))
    out_dir = Path(out.get("dir", path.stem + "_results"))
    if not out_dir.is_absolute():
        out_dir = path.parent / out_dir
    formats = out.get("formats", ["png", "svg"])
    if not isinstance(formats, list) or not all(f in ("png", "svg", "pdf") for f in formats):
        raise ProjectError(f"{_where(path, 'output', 'formats')} must list \"png\", \"svg\" or "
                           f"\"pdf\", got {formats!r}")
    plots = out.get("plots", True)
    if not isinstance(plots, bool):
        raise ProjectError(f"{_where(path, 'output', 'plots')} must be true or false, "
                           f"got {plots!r}")
    map_time = out.get("map_time")
    if map_time is not None:
        map_time = _num(path, "output", "map_time", map_time)

    for name, validator in _EXTRA_TABLES.items():
        if name in doc and validator is not None:
            validator(doc[name], _where(path, name))

    return Project(path=path, model=model, observations=observations, times=times,
                   output_dir=out_dir, formats=tuple(formats), plots=plots, map_time=map_time,
                   tables=doc)
