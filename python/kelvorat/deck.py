"""Input decks of the batch program (kelvorat.dat) as models."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from . import _core
from .model import Boundaries, Model, Settings, Stream, Well, Zone

__all__ = ["Deck", "read_deck", "deck_times"]


def deck_times(T0: float, T0STEP: float, TA: float, NT: int) -> np.ndarray:
    """The output times of a deck: T0, then each time plus an increment that
    starts at T0STEP and grows by the factor TA before every use."""
    times = []
    t, dt = float(T0), float(T0STEP)
    for i in range(max(int(NT), 0)):
        times.append(t)
        if i + 1 < NT:
            dt = dt * TA
            t = t + dt
    return np.array(times, dtype=float)


@dataclass
class Deck:
    """A deck read whole: its values, its observation wells in deck order
    [(x, y), ...] and its output times."""

    path: Path
    text: bytes
    values: dict
    observations: list
    times: np.ndarray

    @property
    def model(self) -> Model:
        """The Model of the deck: one well pumping Q from time 0, stopping at
        STOPT (schedule [(0, Q), (STOPT, 0)], or [(0, Q)] when it never stops),
        the deck's NTERMS and ERRMAX.  Its drawdown at the deck's times is the
        run's DRAW bit for bit, and its depletion ratio the run's DEPL wherever
        the run's cuts do not act."""
        v = self.values
        T1, S1, T2, S2, T3, S3, XLB, XRB, DN, K, thickness = v["aquifer"]
        XW, YW, RW = v["well"]
        test = v["test"]
        schedule = [(0.0, test["Q"])]
        if test["STOPT"] > 0.0:
            schedule.append((test["STOPT"], 0.0))
        return Model(
            zones=(Zone(T1, S1), Zone(T2, S2), Zone(T3, S3)),
            stream=Stream(width=abs(DN), K=K, thickness=thickness),
            boundaries=Boundaries(left=abs(XLB), right=XRB),
            wells=[Well(x=XW, y=YW, radius=RW, schedule=schedule)],
            settings=Settings(nterms=v["NTERMS"], errmax=v["ERRMAX"]),
        )

    @property
    def Q(self) -> float:
        return self.values["test"]["Q"]

    @property
    def STOPT(self) -> float:
        return self.values["test"]["STOPT"]

    def series(self, as_frame: bool = False) -> list:
        """Per observation well the run's series with all its cuts, bit for
        bit as the batch program computes them: dicts with TIME, DRAW, DEPL,
        DERR (numpy arrays), ILAST (the tables leave out the rows up to it)
        and placement.  With as_frame, pandas DataFrames whose attrs hold
        ILAST and placement."""
        out = _core.deck_series(self.text, self.path.name)
        if not as_frame:
            return out
        import pandas as pd

        frames = []
        for w in out:
            df = pd.DataFrame({k: w[k] for k in ("TIME", "DRAW", "DEPL", "DERR")})
            df.attrs["ILAST"] = w["ILAST"]
            df.attrs["placement"] = w["placement"]
            frames.append(df)
        return frames


def read_deck(path: str | os.PathLike) -> Deck:
    """Reads an input deck.  A deck that cannot be read raises DeckError (a
    ValueError) naming the file, line, record and text."""
    path = Path(path)
    # The bytes as the batch program reads them: no newline translation.
    text = path.read_bytes()
    values = _core.parse_deck(text, path.name)
    test = values["test"]
    nt = test["NT"]
    return Deck(
        path=path,
        text=text,
        values=values,
        observations=[tuple(o) for o in values["observations"]],
        times=deck_times(test["T0"], test["T0STEP"], test["TA"], min(max(nt, 0), 100000)),
    )
