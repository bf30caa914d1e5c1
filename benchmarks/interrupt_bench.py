"""How soon a signal stops each tree function on a tree of 300,000 nodes.

Run: python3 benchmarks/interrupt_bench.py. For each function the call is first timed
uninterrupted (best of three); then a timer signal whose handler raises KeyboardInterrupt
(as Ctrl-C's does) is set to go off at 5%, 15%, ..., 95% of that time, so that every phase
is hit: reading the host tree, the engine's work, copying and writing back. The delay is
the time from the signal to the exception reaching the caller. Target: at most 0.1 s
everywhere.
"""

import signal
import time

import ostrel_formulas
from host_tree import Line

DIMENSIONS = 12


def plan(groups=3000, per_group=100, renamed=False):
    """Inputs and formulas over them in groups of 100, 12 dimensions, with cells; `renamed`
    gives every tenth input another name, for rename_nodes."""
    lines = []
    for g in range(groups):
        leaves = []
        for k in range(per_group):
            name = f"r{g}_{k}" if renamed and k % 20 == 0 else f"i{g}_{k}"
            if k % 2 == 0:
                formula = [str(k + d) for d in range(DIMENSIONS)]
            else:
                formula = f"=@i{g}_{k - 1} * 2 + right[1]" if k % 4 == 1 else f"=@i{g}_{k - 1} * 2"
            leaves.append(Line(name, formula, id=f"{g}.{k}", cells=[f"R{k}C{d}" for d in range(DIMENSIONS)]))
        lines.append(Line(f"g{g}", "=sum(children)", leaves, cells=f"A{g}"))
    return Line("root", "=sum(children)", lines, cells="A1")


CALLS = {
    "evaluate_tree (in place)": lambda root: ostrel_formulas.evaluate_tree(root, in_place=True),
    "evaluate_tree (copy)": lambda root: ostrel_formulas.evaluate_tree(root),
    "expand_tree_formulas": ostrel_formulas.expand_tree_formulas,
    "explain_node": lambda root: ostrel_formulas.explain_node(root, "root"),
    "rename_nodes (in place)": lambda root: ostrel_formulas.rename_nodes(root, RENAMED[0], in_place=True),
    "export_tree_to_excel (copy)": lambda root: ostrel_formulas.export_tree_to_excel(root),
}


RENAMED = []  # the renamed tree, made once


def delay_after(call, root, at):
    """Seconds from a signal at `at` seconds into the call until it raised; None when the
    call ended first."""
    start = time.perf_counter()
    signal.setitimer(signal.ITIMER_REAL, at)
    try:
        call(root)
        signal.setitimer(signal.ITIMER_REAL, 0)
        return None
    except KeyboardInterrupt:
        return time.perf_counter() - start - at


def main():
    root = plan()
    RENAMED.append(plan(renamed=True))
    signal.signal(signal.SIGALRM, signal.default_int_handler)
    print(f"{'function':<30} {'call':>8} {'worst delay':>12} {'median':>8}  (signals at 5%..95% of the call)")
    for name, call in CALLS.items():
        times = []
        for _ in range(3):
            start = time.perf_counter()
            call(root)
            times.append(time.perf_counter() - start)
        duration = min(times)
        delays = [delay_after(call, root, duration * (0.05 + 0.1 * k)) for k in range(10)]
        measured = sorted(d for d in delays if d is not None)
        worst = max(measured) if measured else float("nan")
        median = measured[len(measured) // 2] if measured else float("nan")
        print(f"{name:<30} {duration:7.2f}s {worst * 1e3:10.1f}ms {median * 1e3:6.1f}ms  ({len(measured)} of 10 hit)")


if __name__ == "__main__":
    main()
