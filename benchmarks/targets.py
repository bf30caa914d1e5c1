"""Every performance figure of the module beside its target, measured in one run.

Run: python3 benchmarks/targets.py [--quick] (against the installed module; needs
`pip install simpleeval`). Prints the machine's load at start and end, then:
- evaluate: the time per call of each typical formula, simpleeval on the same arithmetic and
  the C-call floor (str.lower on the same str), interleaved in one loop, best of the repeats;
  the median time and the median ratio to simpleeval are held to their targets;
- get_tokens: the time per call of each typical token formula;
- the tree functions on generated trees of 100,000 nodes with 12 dimensions, each measure the
  fastest of N fresh processes timing one call (the collector left alone), and evaluate_tree
  at 10,000 nodes for its growth and with the collector paused for the collector's share.
The trees and measurements are those of the other benchmark scripts, imported from them.
Each figure is marked "ok" or "MISS"; the exit status is 0 either way, since a miss is a
finding, not a failure of the run.
"""

import argparse
import os
import statistics
import time

import evaluate_tree_bench
import expand_bench
import export_bench
import formula_functions_bench
import ostrel_formulas
import rename_bench
from host_tree import best_fresh

NS, MS = 1e-9, 1e-3
NODES = 100_000
GROWTH_FROM = 10_000


class Report:
    """Prints rows of figures, marking those held to a target, and counts the misses."""

    def __init__(self):
        self.held = 0
        self.missed = []
        print(f"{'measure':58} {'figure':>11} {'target':>12}")

    def row(self, label, text, target_text="", met=None):
        mark = "" if met is None else "  ok" if met else "  MISS"
        print(f"{label:58} {text:>11} {target_text:>12}{mark}")
        if met is not None:
            self.held += 1
            if not met:
                self.missed.append(label.strip())

    def at_most(self, label, value, target, unit, scale):
        self.row(label, f"{value / scale:.0f} {unit}", f"<= {target / scale:.0f} {unit}", value <= target)

    def seconds_at_most(self, label, value, target, note=""):
        self.row(label, f"{value:.3f} s", f"<= {target:g} s", value <= target)
        if note:
            print(f"{'':4}{note}")

    def times_at_least(self, label, value, target):
        self.row(label, f"{value:.1f}x", f">= {target:g}x", value >= target)

    def times_at_most(self, label, value, target):
        self.row(label, f"{value:.1f}x", f"<= {target:g}x", value <= target)

    def section(self, title):
        print(f"-- {title}")


def load():
    one, five, fifteen = os.getloadavg()
    return f"load average {one:.2f} {five:.2f} {fifteen:.2f} on {os.cpu_count()} cores"


def formula_figures(report, repeat, number):
    cases = formula_functions_bench.CASES
    report.section(
        f"evaluate: per call, best of {repeat} x {number:,} calls (simpleeval {number // 40:,}), interleaved"
    )
    times = formula_functions_bench.side_by_side(repeat, number, number // 40)
    print(f"  {'formula':48} {'evaluate':>9} {'simpleeval':>11} {'ratio':>7} {'floor':>7}")
    for (formula, _), (ours, theirs, floor) in zip(cases, times):
        print(f"  {formula:48} {ours / NS:6.0f} ns {theirs / NS:8.0f} ns {theirs / ours:6.1f}x {floor / NS:4.0f} ns")
    ours, ratios, floors = [t[0] for t in times], [t[1] / t[0] for t in times], [t[2] for t in times]
    report.at_most("evaluate, median", statistics.median(ours), 150 * NS, "ns", NS)
    report.times_at_least("simpleeval / evaluate, median", statistics.median(ratios), 75)
    report.row("simpleeval / evaluate, lowest", f"{min(ratios):.1f}x")
    report.row("C-call floor (str.lower on the same str), median", f"{statistics.median(floors) / NS:.0f} ns")
    report.row("evaluate / floor, median", f"{statistics.median(o / f for o, f in zip(ours, floors)):.1f}x")

    report.section(f"get_tokens: per call, best of {repeat} x {number:,} calls")
    for formula in formula_functions_bench.TOKEN_FORMULAS:
        per_call = formula_functions_bench.per_call(ostrel_formulas.get_tokens, formula, number, repeat)
        report.at_most(f"  {formula}", per_call, 500 * NS, "ns", NS)


def tree_figures(report, runs):
    report.section(f"tree functions, 12 dimensions, in place: best of {runs} fresh processes, one call each")
    large = evaluate_tree_bench.run(NODES, True, False, runs)[0]
    small = evaluate_tree_bench.run(GROWTH_FROM, True, False, runs)[0]
    report.at_most(f"evaluate_tree, {NODES:,} nodes", large, 500 * MS, "ms", MS)
    report.row(f"evaluate_tree, {GROWTH_FROM:,} nodes", f"{small / MS:.0f} ms")
    report.times_at_most(f"evaluate_tree growth, {GROWTH_FROM:,} to {NODES:,} nodes", large / small, 11)
    paused = evaluate_tree_bench.run(NODES, True, False, runs, collector_paused=True)[0]
    print(f"{'':4}with the collector paused for the call: {paused / MS:.0f} ms at {NODES:,} nodes")

    for distinct in (False, True):
        wall, cpu, _, rewritten = best_fresh(runs, rename_bench.__file__, NODES, True, distinct, 1)
        kind = "distinct" if distinct else "repeated"
        report.seconds_at_most(
            f"rename_nodes, {NODES:,} nodes, {kind} dimension formulas",
            wall,
            0.5,
            f"processor time {cpu:.3f} s; {rewritten:.0f} formulas rewritten",
        )

    total, host, _, _ = best_fresh(runs, expand_bench.__file__, "expand", NODES)
    report.seconds_at_most(
        f"expand_tree_formulas, {NODES:,} nodes", total, 2, f"the same tree's deep copy alone: {host:.3f} s"
    )
    report.seconds_at_most(
        f"explain_node, head of a chain of {NODES:,}", best_fresh(runs, expand_bench.__file__, "explain", NODES)[0], 0.2
    )
    report.seconds_at_most(
        f"export_tree_to_excel, {NODES:,} nodes", best_fresh(runs, export_bench.__file__, NODES, False, 1)[0], 0.5
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--quick", action="store_true", help="fewer repeats and processes: a rough reading in under half the time"
    )
    quick = parser.parse_args().quick
    repeat, number, runs = (3, 100_000, 2) if quick else (5, 200_000, 5)

    started = time.perf_counter()
    print(f"start: {load()}")
    report = Report()
    formula_figures(report, repeat, number)
    tree_figures(report, runs)
    print(f"end: {load()}; {time.perf_counter() - started:.0f} s")
    print(f"{report.held - len(report.missed)} of {report.held} targets met", end="")
    print(f"; missed: {'; '.join(report.missed)}" if report.missed else "")


if __name__ == "__main__":
    main()
