"""Monte Carlo of the bundled example's stream depletion with an uncertain
streambed conductance.

The streambed K of examples/kelvorat.dat (0.5 m/day) is rarely known to
better than an order of magnitude; here it is drawn from a lognormal
distribution with median 0.5 m/day and a spread of one natural-log unit
(a factor of about 2.7 either way), and the depletion ratio and the
cumulative depleted volume are computed at the deck's 20 output times for
every draw.  The P10/P50/P90 band is what a regulator asks for.

    /usr/bin/python3 examples/sweep_streambed.py [DRAWS] [OUTPUT_DIR]

(with the built package on PYTHONPATH, see the README).
"""

import os
import sys

import kelvorat as kv
from kelvorat.sweep import sweep

HERE = os.path.dirname(os.path.abspath(__file__))


def main(argv):
    draws = int(argv[1]) if len(argv) > 1 else 500
    outdir = argv[2] if len(argv) > 2 else "sweep_streambed_results"
    deck = kv.read_deck(os.path.join(HERE, "kelvorat.dat"))
    model = deck.model
    times = deck.times
    res = sweep(
        model,
        {"K": ("lognormal", 0.5, 1.0)},
        [("depletion_ratio", times), ("depleted_volume", times)],
        draws=draws,
        seed=20261209,
    )
    res.write_csv(outdir)
    res.plot(os.path.join(outdir, "sweep_band.png"))
    p = res.percentiles["depletion_ratio"]
    print(f"{res.n} draws in {res.elapsed:.1f} s; depletion ratio (pumping stops at {deck.STOPT:g} days):")
    print(f"{'time (d)':>10} {'P10':>8} {'P50':>8} {'P90':>8}")
    for k, t in enumerate(times):
        print(f"{t:10.4g} {p[0, k]:8.4f} {p[1, k]:8.4f} {p[2, k]:8.4f}")
    if res.failures:
        print(f"{len(res.failures)} draws refused by the engine", file=sys.stderr)
    print(f"tables and plot in {outdir}/")


if __name__ == "__main__":
    main(sys.argv)
