"""kelvorat: drawdown and stream depletion of pumping wells in a strip
aquifer of three zones cut by a leaky stream, with pumping schedules and
several wells by superposition.

    import kelvorat as kv
    model = kv.Model(zones=(kv.Zone(800, 0.15), kv.Zone(300, 0.10), kv.Zone(1000, 0.20)),
                     stream=kv.Stream(width=10, K=0.5, thickness=1),
                     boundaries=kv.Boundaries(left=500, right=2000),
                     wells=[kv.Well(x=100, y=0, radius=0.2, schedule=[(0, 2000), (50, 0)])],
                     settings=kv.Settings(nterms=12, errmax=1e-8))
    model.drawdown(50, 0, [1, 10, 60])
    model.depletion_ratio([10, 50, 100])
"""

from ._core import DeckError, ExpGuardError
from .deck import Deck, read_deck
from .model import PARAMETERS, Boundaries, Model, Settings, Stream, Well, Zone
from .project import Project, ProjectError, load_project, register_table
from .results import Results, WellResults, read_results
from .theis import E1
# The functions, not their modules, under these names (kelvorat.sweep.main
# and kelvorat.calibrate.main stay reachable through importlib).
from .sweep import sweep  # noqa: E402
from .calibrate import calibrate  # noqa: E402

__all__ = [
    "Zone", "Stream", "Boundaries", "Well", "Settings", "Model", "PARAMETERS",
    "Deck", "read_deck", "Results", "WellResults", "read_results",
    "Project", "ProjectError", "load_project", "register_table",
    "E1", "ExpGuardError", "DeckError", "sweep", "calibrate",
]


def __getattr__(name):
    # matplotlib loads only when a figure is asked for.
    if name == "plots":
        import importlib

        return importlib.import_module(".plots", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
