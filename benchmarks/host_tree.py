"""Host nodes for the tree benchmarks, and a runner that measures each case in a fresh
process, so that its peak memory is its own."""

import resource
import subprocess
import sys


class Line:
    """A host node; its id is its name unless given."""

    def __init__(self, name, formula, children=None, *, id=None, cells=None):
        self.id = name if id is None else id
        self.name = name
        self.formula = formula
        self.value = None
        self.is_hidden = False
        self.cells = cells
        self.children = children if children is not None else []


def peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def run_fresh(script, *args):
    """Runs `script measure ARGS...` and gives the numbers it printed."""
    out = subprocess.run(
        [sys.executable, script, "measure", *map(str, args)], check=True, capture_output=True, text=True
    ).stdout.split()
    return [float(x) for x in out]


def best_fresh(runs, script, *args):
    """The numbers of the fastest of `runs` fresh runs of `script measure ARGS...`, by the
    first number (the time)."""
    return min((run_fresh(script, *args) for _ in range(runs)), key=lambda numbers: numbers[0])
