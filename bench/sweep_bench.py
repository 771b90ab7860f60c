"""Throughput of sweeps: draws per second of the bundled example's depletion.

A Monte Carlo of the depletion ratio and the depleted volume of
examples/kelvorat.dat at its 20 output times, the streambed K drawn from a
lognormal distribution, evaluated on 1 and 2 local cores (threads; the
engine releases the GIL), on 2 processes and on a two-worker Dask
LocalCluster; then the same for the drawdown at the deck's three observation
wells, where the wavenumber integrals make each draw far dearer.  All runs
use the same seed and must give the same numbers; the script checks it.

    PYTHONPATH=build/python /usr/bin/python3 bench/sweep_bench.py [DRAWS [DRAWDOWN_DRAWS]]

Not a test: timings depend on the machine.
"""

import os
import sys
import time

import numpy as np

import kelvorat as kv
from kelvorat.sweep import sweep

HERE = os.path.dirname(os.path.abspath(__file__))


def run(label, model, outputs, draws, **kw):
    t0 = time.perf_counter()
    res = sweep(model, {"K": ("lognormal", 0.5, 1.0)}, outputs, draws=draws, seed=1,
                progress=False, **kw)
    dt = time.perf_counter() - t0
    print(f"  {label:<34} {draws:6d} draws {dt:8.2f} s {draws / dt:9.1f} draws/s", flush=True)
    return res


def layouts(title, model, outputs, draws):
    from distributed import Client, LocalCluster

    print(title)
    one = run("1 core (threads)", model, outputs, draws, workers=1)
    others = [
        run("2 cores (threads)", model, outputs, draws, workers=2),
        run("2 cores (processes)", model, outputs, draws, workers=2, executor="processes"),
    ]
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        others.append(run("LocalCluster, 2 worker processes", model, outputs, draws, client=client))
    for other in others:
        for label in one.outputs:
            assert np.array_equal(one.outputs[label], other.outputs[label]), label
    print("  same numbers on every layout: yes")
    return one


def main(argv):
    draws = int(argv[1]) if len(argv) > 1 else 2000
    dd_draws = int(argv[2]) if len(argv) > 2 else 200
    deck = kv.read_deck(os.path.join(HERE, "..", "examples", "kelvorat.dat"))
    model, times = deck.model, deck.times
    print(f"bundled example: NTERMS {model.nterms}, {times.size} output times, "
          f"streambed K lognormal (median 0.5 m/day, sigma_ln 1)")
    one = layouts("depletion ratio and depleted volume:", model,
                  [("depletion_ratio", times), ("depleted_volume", times)], draws)
    p = one.percentiles["depletion_ratio"]
    print(f"  depletion ratio at {times[16]:g} days: P10 {p[0, 16]:.4f}  P50 {p[1, 16]:.4f}  "
          f"P90 {p[2, 16]:.4f}")
    layouts(f"drawdown at the {len(deck.observations)} observation wells:", model,
            [("drawdown", deck.observations, times)], dd_draws)


if __name__ == "__main__":
    main(sys.argv)
