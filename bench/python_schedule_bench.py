#!/usr/bin/env python3
"""Benchmark of the schedule superposition against the batch program.

A 10-year monthly on/off schedule (on at the start of every month, off at
its middle: 240 rate steps) for 3 wells, drawdown at 4 observation points
every day, and the depletion of the three wells.  The aquifer and the
numerical settings are those of bench/heavy.dat, which the batch program is
timed on as well.  Reported: unit responses (Stehfest inversions) and
drawdown integrals (inversions * NTERMS) per second, next to the batch
program's, whose run costs NT * NTERMS integrals per observation well,
twice that for the steps after the stop.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_schedule_bench.py [path/to/kelvorat]

Not a test: timings depend on the machine.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "build" / "python"))

import kelvorat as kv  # noqa: E402


def monthly_on_off(rate: float, years: int = 10, offset: float = 0.0):
    """On at the first day of each month, off at its 15th: whole days."""
    steps = []
    for m in range(12 * years):
        start = offset + round(m * 365.25 / 12.0)
        steps += [(float(start), rate), (float(start + 15), 0.0)]
    return steps


def time_cli(cli: Path, deck: Path, reps: int = 5):
    d = kv.read_deck(deck)
    work = Path(tempfile.mkdtemp())
    try:
        shutil.copy(deck, work / "kelvorat.dat")
        start = time.perf_counter()
        for _ in range(reps):
            subprocess.run([str(cli)], cwd=work, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        elapsed = (time.perf_counter() - start) / reps
    finally:
        shutil.rmtree(work)
    t = d.times
    nwells = len(d.observations)
    after = int(np.sum(t > d.STOPT)) if d.STOPT > 0 else 0
    inversions = nwells * (t.size + after)
    nterms = d.model.nterms
    return elapsed, inversions, inversions * nterms


def main(argv):
    cli = Path(argv[1]) if len(argv) > 1 else HERE.parent / "build" / "driver" / "kelvorat"
    heavy = kv.read_deck(HERE / "heavy.dat")
    base = heavy.model
    wells = [
        kv.Well(x=100.0, y=0.0, radius=0.2, schedule=monthly_on_off(2000.0)),
        kv.Well(x=250.0, y=300.0, radius=0.2, schedule=monthly_on_off(1500.0, offset=5.0)),
        kv.Well(x=400.0, y=-200.0, radius=0.2, schedule=monthly_on_off(1000.0, offset=10.0)),
    ]
    model = base.with_wells(wells)
    points = [(50.0, 0.0), (-5.0, 20.0), (-60.0, 0.0), (300.0, 100.0)]
    times = np.arange(1.0, 3653.0) + 0.5  # every day at noon, 10 years
    x = np.array([p[0] for p in points])[:, None]
    y = np.array([p[1] for p in points])[:, None]
    t = times[None, :]
    print(f"schedule: 3 wells x {len(wells[0].schedule)} rate steps, 4 points x {times.size} "
          f"times; NTERMS = {model.nterms}, ERRMAX = {model.errmax:.4e} (bench/heavy.dat)")
    cores = os.cpu_count() or 1
    rows = []
    for threads in sorted({1, cores}):
        start = time.perf_counter()
        model.drawdown(x, y, t, threads=threads)
        elapsed = time.perf_counter() - start
        st = model.last_stats
        rows.append(("drawdown", threads, elapsed, st))
        start = time.perf_counter()
        model.depletion(times, threads=threads)
        rows.append(("depletion", threads, time.perf_counter() - start, model.last_stats))
    for what, threads, elapsed, st in rows:
        print(f"  {what:9s} {threads} thread(s): {elapsed:8.2f} s, {st['terms']:9d} terms, "
              f"{st['inversions']:7d} inversions ({st['inversions'] / elapsed:9.0f}/s)"
              + (f", {st['integrations'] / elapsed:9.0f} integrals/s" if st["integrations"] else
                 " (no drawdown integrals)"))
    if cli.exists():
        elapsed, inversions, integrals = time_cli(cli, HERE / "heavy.dat")
        print(f"batch program on bench/heavy.dat: {elapsed * 1000:.1f} ms per run, "
              f"{inversions} inversions ({inversions / elapsed:.0f}/s), "
              f"{integrals} integrals ({integrals / elapsed:.0f}/s), one thread, with its "
              f"result files")
    else:
        print(f"batch program not found at {cli}: no comparison")
    # Without the cache every term would be its own inversion.
    st = rows[0][3]
    print(f"repeated lags computed once: {st['terms']} terms needed {st['inversions']} "
          f"inversions ({st['terms'] / max(st['inversions'], 1):.0f} x fewer)")


if __name__ == "__main__":
    main(sys.argv)
