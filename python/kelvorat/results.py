"""The result files of a run of the batch program, read back as series.

adet.res holds the echo of the deck and per observation well the whole
table (STEP, TIME, DRAW, DERR, DEPL); kelvorat.res (TIME, DRAW, RATE),
kelvdim.res (TDN, SDN, DEPL) and dim2.res (TDR, SDR, DEPL) hold the rows
after the last drawdown below 1e-10 m.  Wells are separated by two empty
lines in kelvorat.res and kelvdim.res; dim2.res has no separators, so its
rows are split by the row counts of the other two files.
"""

from __future__ import annotations

import math
import os
import re
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

__all__ = ["Results", "WellResults", "read_results", "parse_number"]

_NUMBER = re.compile(r"^([+-]?(?:\d+\.?\d*|\.\d+))(?:[EeDdQq]([+-]?\d+)|([+-]\d+))?$")

_HEADER = "   TIME STEP        TIME         DRAWDOWN        ERROR"

COLUMNS = {
    "adet": ("STEP", "TIME", "DRAW", "DERR", "DEPL"),
    "kelvorat": ("TIME", "DRAW", "RATE"),
    "kelvdim": ("TDN", "SDN", "DEPL"),
    "dim2": ("TDR", "SDR", "DEPL"),
}


def parse_number(text: str) -> float:
    """A number as the result files write it: fixed or E/D forms, an
    exponent beyond 99 written without its letter (0.1000-119); a field
    filled with asterisks, or anything unreadable, is NaN."""
    s = text.strip()
    m = _NUMBER.match(s)
    if not m:
        low = s.lower()
        if low in ("inf", "+inf", "infinity", "+infinity"):
            return math.inf
        if low in ("-inf", "-infinity"):
            return -math.inf
        return math.nan
    mantissa, e1, e2 = m.groups()
    exponent = e1 if e1 is not None else e2
    return float(mantissa + ("e" + exponent if exponent is not None else ""))


def _has_pandas() -> bool:
    try:
        import pandas  # noqa: F401
    except ImportError:
        return False
    return True


def _table(columns, rows, as_frame):
    data = {c: np.array([r[i] for r in rows], dtype=float) for i, c in enumerate(columns)}
    if as_frame:
        import pandas as pd

        return pd.DataFrame(data)
    return data


@dataclass
class WellResults:
    """One observation well's series from the result files (None where the
    file is missing).  Tables are dicts of numpy arrays, or DataFrames."""

    index: int
    location: tuple | None = None  # (XO, YO) as read
    zone: int | None = None
    case: str | None = None
    adet: object = None
    kelvorat: object = None
    kelvdim: object = None
    dim2: object = None

    @property
    def name(self) -> str:
        return f"well {self.index}"

    @property
    def label(self) -> str:
        """A legend label: the well's number, its location and case."""
        parts = [f"obs. well {self.index}"]
        if self.location is not None:
            parts.append(f"({self.location[0]:g}, {self.location[1]:g}) m")
        if self.case:
            parts.append(self.case)
        return " ".join(parts)


@dataclass
class Results:
    """The result files of one run directory."""

    run_dir: Path
    wells: list = field(default_factory=list)
    echo: dict = field(default_factory=dict)  # deck values found in adet.res

    def __len__(self):
        return len(self.wells)

    def __getitem__(self, i):
        return self.wells[i]

    @property
    def Q(self):
        return self.echo.get("Q")

    @property
    def STOPT(self):
        return self.echo.get("STOPT")


def _split_wells(lines: list[str]) -> list[list[str]]:
    """Rows per well; two empty lines end a well."""
    wells: list[list[str]] = [[]]
    empty = 0
    for line in lines:
        if line.strip() == "":
            empty += 1
            if empty == 2:
                wells.append([])
                empty = 0
            continue
        empty = 0
        wells[-1].append(line)
    return wells


def _row3(line: str) -> tuple[float, float, float]:
    # E12.4, 4X, E12.4, 4X, E12.4; fall back to blanks for rows of other widths.
    if len(line.rstrip()) >= 44 and line[12:16].strip() == "" and line[28:32].strip() == "":
        return parse_number(line[0:12]), parse_number(line[16:28]), parse_number(line[32:44])
    parts = line.split()
    vals = [parse_number(p) for p in parts[:3]] + [math.nan] * (3 - len(parts[:3]))
    return tuple(vals)


def _read_table_file(path: Path) -> list[list[tuple]] | None:
    if not path.exists():
        return None
    lines = path.read_text(encoding="latin-1").splitlines()
    return [[_row3(l) for l in rows] for rows in _split_wells(lines)]


def _read_adet(path: Path):
    """Per-well tables and the echo of adet.res."""
    if not path.exists():
        return None, {}, []
    lines = path.read_text(encoding="latin-1").splitlines()
    echo: dict = {}
    meta: list[dict] = []
    tables: list[list[tuple]] = []
    current: dict = {}
    i = 0
    n = len(lines)
    # The echo of the deck, up to the first well.
    while i < n:
        line = lines[i]
        if line.startswith(" LOCATION OF THE OBS WELL:"):
            vals = line[len(" LOCATION OF THE OBS WELL: "):]
            current = {"location": (parse_number(vals[0:10]), parse_number(vals[10:20]))}
        elif line.startswith(" LOCATION OF THE PUMPING WELL:"):
            vals = line[len(" LOCATION OF THE PUMPING WELL: "):]
            echo["XW"], echo["YW"] = parse_number(vals[0:10]), parse_number(vals[10:20])
        elif line.startswith(" RADIUS OF PUMPING WELL"):
            echo["RW"] = parse_number(line.split()[-1])
        elif line.startswith(" ZONE NO."):
            zones = []
            for k in range(1, 4):
                if i + k < n:
                    z = lines[i + k]
                    zones.append((parse_number(z[9:19]), parse_number(z[19:29])))
            echo["zones"] = zones
        elif line.startswith(" LEFT BOUNDARY="):
            echo["XLB"] = parse_number(line.split("=")[1])
        elif line.startswith(" RIGHT BOUNDARY="):
            echo["XRB"] = parse_number(line.split("=")[1])
        elif line.startswith("  DN ="):
            echo["DN"] = parse_number(line.split("=")[1])
        elif line.startswith("  STREAMBED K ="):
            parts = line.split("=")
            echo["K"] = parse_number(parts[1].split()[0])
            echo["thickness"] = parse_number(parts[2])
        elif line.startswith("  Q     STOPT") and i + 1 < n:
            row = lines[i + 1]
            vals = [parse_number(row[k:k + 14]) for k in range(0, 70, 14)]
            for key, v in zip(("Q", "STOPT", "T0", "T0STEP", "TA"), vals):
                echo[key] = v
        elif line.startswith(" THE NO. OF TIME STEPS TO BE CALCULATED:"):
            echo["NT"] = int(parse_number(line.split(":")[1]))
        elif line.startswith(" THE OBS. WELL IS LOCATED INSIDE NO."):
            current["zone"] = int(parse_number(line.split("NO.")[1].split()[0]))
        elif line.startswith("  THE PROBLEM IS DEFINED AS CASE:"):
            current["case"] = line.split(":")[1].strip()
        elif line.startswith(_HEADER):
            rows = []
            i += 2  # the two header lines
            while i < n:
                r = lines[i]
                if len(r) < 57 or not r[0:8].strip().lstrip("-").isdigit():
                    break
                rows.append((float(int(r[0:8])), parse_number(r[11:27]), parse_number(r[27:45]),
                             parse_number(r[45:56]), parse_number(r[56:68])))
                i += 1
            tables.append(rows)
            meta.append(current)
            current = {}
            continue
        i += 1
    return tables, echo, meta


def read_results(run_dir: str | os.PathLike, as_frame: bool | None = None) -> Results:
    """The wells' series from kelvorat.res, kelvdim.res, dim2.res and
    adet.res of a run directory (any of them may be missing, not all).
    Tables are dicts of numpy arrays, or pandas DataFrames when pandas is
    installed (as_frame=None) or asked for (True)."""
    run_dir = Path(run_dir)
    if as_frame is None:
        as_frame = _has_pandas()
    adet, echo, meta = _read_adet(run_dir / "adet.res")
    kel = _read_table_file(run_dir / "kelvorat.res")
    dim = _read_table_file(run_dir / "kelvdim.res")
    dim2_path = run_dir / "dim2.res"
    if adet is None and kel is None and dim is None and not dim2_path.exists():
        raise FileNotFoundError(f"no result files (adet.res, kelvorat.res, kelvdim.res, dim2.res) "
                                f"in {run_dir}")
    dim2 = None
    if dim2_path.exists():
        rows = [_row3(l) for l in dim2_path.read_text(encoding="latin-1").splitlines()
                if l.strip()]
        counts = None
        if kel is not None:
            counts = [len(w) for w in kel]
        elif dim is not None:
            counts = [len(w) for w in dim]
        if counts is not None and sum(counts) == len(rows):
            dim2, k = [], 0
            for c in counts:
                dim2.append(rows[k:k + c])
                k += c
        else:
            # Without the row counts of the other table files, a new well
            # begins where the dimensionless time falls.
            dim2 = [[]]
            for r in rows:
                if dim2[-1] and r[0] < dim2[-1][-1][0]:
                    dim2.append([])
                dim2[-1].append(r)
    nwells = max(len(x) for x in (adet, kel, dim, dim2) if x is not None)
    results = Results(run_dir=run_dir, echo=echo)
    for w in range(nwells):
        m = meta[w] if w < len(meta) else {}
        wr = WellResults(index=w + 1, location=m.get("location"), zone=m.get("zone"),
                         case=m.get("case"))
        for name, tabs in (("adet", adet), ("kelvorat", kel), ("kelvdim", dim), ("dim2", dim2)):
            if tabs is not None:
                rows = tabs[w] if w < len(tabs) else []
                setattr(wr, name, _table(COLUMNS[name], rows, as_frame))
        results.wells.append(wr)
    return results
