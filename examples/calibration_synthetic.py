"""Synthetic pumping-test observations and their calibration.

Makes drawdowns at the four observation wells of examples/calibration.toml
from known parameters (T3 = 1000 m2/day, S3 = 0.2, streambed leakance
0.5 1/day), adds 1 % Gaussian noise (fixed seed), writes them to
calibration_obs.csv, then fits T3, S3 and the leakance from the project's
first guesses and prints the fitted values with their standard errors.

    /usr/bin/python3 examples/calibration_synthetic.py [OUTPUT_CSV]
"""

import os
import sys

import numpy as np

import kelvorat as kv
from kelvorat.calibrate import calibrate, read_observations

HERE = os.path.dirname(os.path.abspath(__file__))
TRUE = {"T3": 1000.0, "S3": 0.2, "leakance": 0.5}


def main(argv):
    out_csv = argv[1] if len(argv) > 1 else os.path.join(HERE, "calibration_obs.csv")
    project = kv.load_project(os.path.join(HERE, "calibration.toml"))
    truth = project.model.with_params(**TRUE)
    names = [o[0] for o in project.observations]
    x = np.repeat([o[1] for o in project.observations], project.times.size)
    y = np.repeat([o[2] for o in project.observations], project.times.size)
    t = np.tile(project.times, len(names))
    s = truth.drawdown(x, y, t)
    rng = np.random.default_rng(12345)
    noisy = s * (1.0 + 0.01 * rng.standard_normal(s.size))
    with open(out_csv, "w") as fh:
        fh.write("well,time,drawdown\n")
        for w, ti, si in zip(np.repeat(names, project.times.size), t, noisy):
            fh.write(f"{w},{ti:g},{si:.6g}\n")
    print(f"{s.size} observations written to {out_csv}")

    obs = read_observations(out_csv, wells=project.observations)
    res = calibrate(project.model, obs, free=list(TRUE),
                    bounds={"T3": (10.0, 1e5), "S3": (1e-4, 0.5), "leakance": (1e-4, 100.0)})
    print(res.summary())
    for n, true in TRUE.items():
        lo, hi = res.interval(2.0)[n]
        print(f"{n}: true {true:g}, {'inside' if lo <= true <= hi else 'OUTSIDE'} the 2-sigma interval")
    print("correlation:")
    print(np.array2string(res.correlation, precision=3))
    os.makedirs(project.output_dir, exist_ok=True)
    print(res.plot(os.path.join(project.output_dir, "calibration.png")))
    return 0 if res.success else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
