"""Shared fixtures: the source tree, the batch program and a run of the
bundled example."""

import os
import shutil
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("KELVORAT_SOURCE_DIR", Path(__file__).resolve().parents[2]))
EXAMPLE = SOURCE / "examples" / "kelvorat.dat"
GOLDEN = SOURCE / "tests" / "golden"


def cli_path():
    env = os.environ.get("KELVORAT_CLI")
    if env:
        return Path(env).resolve()
    guess = SOURCE / "build" / "driver" / "kelvorat"
    return guess if guess.exists() else None


def fortran_e(value: float, w: int, d: int, letter: str = "E") -> str:
    """Ew.d as the result files write it: 0.d1..dd, exponent E+nn (three
    digits without the letter beyond 99), right-justified in w columns."""
    if value == 0.0:
        body = "0." + "0" * d + letter + "+00"
    else:
        digits, exp = f"{abs(value):.{d - 1}e}".split("e")
        mant = digits.replace(".", "")
        e = int(exp) + 1
        ex = f"{letter}{'+' if e >= 0 else '-'}{abs(e):02d}" if abs(e) <= 99 else \
            f"{'+' if e >= 0 else '-'}{abs(e):03d}"
        body = ("-" if value < 0 else "") + "0." + mant + ex
    if len(body) > w and body.startswith(("0.", "-0.")):
        body = body.replace("0.", ".", 1)
    return body.rjust(w)


@pytest.fixture(scope="session")
def example_run(tmp_path_factory):
    """A run of the batch program on the bundled example, in a scratch
    directory (skipped when the program was not built)."""
    cli = cli_path()
    if cli is None or not cli.exists():
        pytest.skip("the batch program kelvorat is not built")
    d = tmp_path_factory.mktemp("example_run")
    shutil.copy(EXAMPLE, d / "kelvorat.dat")
    r = subprocess.run([str(cli)], cwd=d, capture_output=True, text=True, timeout=600)
    assert r.returncode == 0, r.stderr
    return d
