"""Command line: python3 -m kelvorat <command> ...

    plot RUN_DIR        figures (PNG, SVG) from the result files of a run
    run PROJECT.toml    compute a project: CSV tables and figures
    sweep ...           parameter sweeps (kelvorat.sweep, when installed)
    calibrate ...       fits to observations (kelvorat.calibrate, when installed)
"""

from __future__ import annotations

import argparse
import importlib
import importlib.util
import sys
from pathlib import Path

# Subcommands served by modules of their own: name -> module with main(argv).
PLUGIN_COMMANDS = {"sweep": "kelvorat.sweep", "calibrate": "kelvorat.calibrate"}


def _use_agg():
    import matplotlib

    matplotlib.use("Agg")


def cmd_plot(argv) -> int:
    p = argparse.ArgumentParser(prog="python3 -m kelvorat plot",
                                description="Figures from the result files of a run.")
    p.add_argument("run_dir", type=Path, help="directory holding adet.res, kelvorat.res, ...")
    p.add_argument("-o", "--out", type=Path, default=None,
                   help="where the figures go (default: RUN_DIR/plots)")
    p.add_argument("--formats", default="png,svg", help="comma-separated: png, svg, pdf")
    p.add_argument("--map", type=float, default=None, metavar="TIME",
                   help="also a drawdown map at TIME days, computed from RUN_DIR/kelvorat.dat")
    p.add_argument("--threads", type=int, default=None)
    a = p.parse_args(argv)
    _use_agg()
    from . import plots as P
    from .results import read_results

    formats = [f.strip() for f in a.formats.split(",") if f.strip()]
    try:
        results = read_results(a.run_dir)
    except FileNotFoundError as e:
        print(f"kelvorat plot: {e}", file=sys.stderr)
        return 2
    out = a.out or (a.run_dir / "plots")
    out.mkdir(parents=True, exist_ok=True)
    written = []
    for stem, fig in P.results_figures(results).items():
        written += P.save_figure(fig, out / stem, formats)
    if a.map is not None:
        from .deck import read_deck

        deck_path = a.run_dir / "kelvorat.dat"
        if not deck_path.exists():
            print(f"kelvorat plot: --map needs the deck {deck_path}", file=sys.stderr)
            return 2
        deck = read_deck(deck_path)
        obs = [(f"obs. well {i + 1}", x, y) for i, (x, y) in enumerate(deck.observations)]
        fig = P.drawdown_map_figure(deck.model, a.map, observations=obs, threads=a.threads)
        written += P.save_figure(fig, out / "drawdown_map", formats)
    for f in written:
        print(f)
    return 0


def cmd_run(argv) -> int:
    p = argparse.ArgumentParser(prog="python3 -m kelvorat run",
                                description="Compute a project: CSV tables and figures.")
    p.add_argument("project", type=Path, help="the project file (TOML)")
    p.add_argument("-o", "--out", type=Path, default=None,
                   help="output directory (default: [output] dir of the project)")
    p.add_argument("--threads", type=int, default=None, help="threads (default: every core)")
    p.add_argument("--no-plots", action="store_true", help="tables only")
    bar = p.add_mutually_exclusive_group()
    bar.add_argument("--progress", action="store_true", default=None, help="always show progress")
    bar.add_argument("--quiet", action="store_true", help="no progress bar")
    a = p.parse_args(argv)
    from .project import load_project
    from .run import run_project

    try:
        project = load_project(a.project)
    except FileNotFoundError as e:
        print(f"kelvorat run: {e}", file=sys.stderr)
        return 2
    except ValueError as e:
        print(f"kelvorat run: {e}", file=sys.stderr)
        return 2
    if not a.no_plots and project.plots:
        _use_agg()
    progress = False if a.quiet else (True if a.progress else None)
    try:
        result = run_project(project, threads=a.threads, progress=progress,
                             plots=False if a.no_plots else None, out_dir=a.out)
    except ValueError as e:
        print(f"kelvorat run: {e}", file=sys.stderr)
        return 2
    for f in list(result["paths"].values()) + result.get("figures", []):
        print(f)
    return 0


COMMANDS = {"plot": cmd_plot, "run": cmd_run}


def main(argv=None) -> int:
    argv = list(sys.argv[1:] if argv is None else argv)
    names = list(COMMANDS) + list(PLUGIN_COMMANDS)
    if not argv or argv[0] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if argv else 2
    cmd, rest = argv[0], argv[1:]
    if cmd in COMMANDS:
        return COMMANDS[cmd](rest)
    if cmd in PLUGIN_COMMANDS:
        module = PLUGIN_COMMANDS[cmd]
        if importlib.util.find_spec(module) is None:
            print(f"kelvorat: the command {cmd!r} is not available in this installation "
                  f"(no module {module})", file=sys.stderr)
            return 2
        return importlib.import_module(module).main(rest) or 0
    print(f"kelvorat: unknown command {cmd!r}; commands: {', '.join(names)}", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
