"""Throughput of sweeps: draws per second of the bundled example's depletion.

A Monte Carlo of the depletion ratio and the depleted volume of
examples/kelvorat.dat at its 20 output times, the streambed K drawn from a
lognormal distribution, evaluated on 1 and 2 local cores (threads; the
engine releases the GIL) and on a two-worker Dask LocalCluster.  The three
runs use the same seed and must give the same numbers; the script checks it.

    PYTHONPATH=build/python /usr/bin/python3 bench/sweep_bench.py [DRAWS]

Not a test: timings depend on the machine.
"""

import os
import sys
import time

import numpy as np

import kelvorat as kv
from kelvorat.sweep import sweep

HERE = os.path.dirname(os.path.abspath(__file__))


def run(label, model, times, draws, **kw):
    t0 = time.perf_counter()
    res = sweep(model, {"K": ("lognormal", 0.5, 1.0)},
                [("depletion_ratio", times), ("depleted_volume", times)],
                draws=draws, seed=1, progress=False, **kw)
    dt = time.perf_counter() - t0
    print(f"{label:<34} {draws:6d} draws {dt:8.2f} s {draws / dt:9.1f} draws/s", flush=True)
    return res


def main(argv):
    draws = int(argv[1]) if len(argv) > 1 else 2000
    deck = kv.read_deck(os.path.join(HERE, "..", "examples", "kelvorat.dat"))
    model, times = deck.model, deck.times
    print(f"bundled example: NTERMS {model.nterms}, {times.size} times, depletion ratio and volume")
    one = run("1 core (threads)", model, times, draws, workers=1)
    two = run("2 cores (threads)", model, times, draws, workers=2)
    procs = run("2 cores (processes)", model, times, draws, workers=2, executor="processes")
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        dask = run("LocalCluster, 2 worker processes", model, times, draws, client=client)
    for other in (two, procs, dask):
        for label in one.outputs:
            assert np.array_equal(one.outputs[label], other.outputs[label]), label
    print("same numbers on every layout: yes")
    p = one.percentiles["depletion_ratio"]
    print(f"depletion ratio at {times[16]:g} days: P10 {p[0, 16]:.4f}  P50 {p[1, 16]:.4f}  P90 {p[2, 16]:.4f}")


if __name__ == "__main__":
    main(sys.argv)
