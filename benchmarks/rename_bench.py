"""rename_nodes on generated host trees of 10,000 and 100,000 nodes with 12 dimensions.

Run: python3 benchmarks/rename_bench.py. The new tree differs from the old one by a few
hundred renames, moves and removals; `rename_nodes(old, new, in_place=True)` is timed, best
of five, once with per-dimension formulas that repeat one text and once with a different
text in every dimension. Wall time and the process's processor time are both given; on a
machine shared with other work the processor time is the steadier figure. The host share is
the processor time of the same call between two unchanged trees (reading both trees and
writing the formulas back, no formula to rewrite); the engine share is the rest.
"""

import random
import sys
import time

import ostrel_formulas
from host_tree import Line

DIMENSIONS = 12
RENAMES, MOVES, REMOVALS = 300, 150, 150


def name(i):
    """Plain names, some needing braces, and one name shared by every 50th node."""
    if i % 50 == 0:
        return "shared"
    return f"cost {i}" if i % 7 == 0 else f"n{i}"


def reference(i):
    n = name(i)
    if n == "shared":
        return f"@shared[{i // 50 + 1}]"
    return f"@{{{n}}}" if " " in n else f"@{n}"


def formulas(i, distinct):
    """Per-dimension formulas reading earlier nodes by name and their own later dimensions:
    the same text in every dimension but the last, or a different text in each."""
    if i < 2:
        return [str(d + 1) for d in range(DIMENSIONS)]
    a, b = reference(i - 1), reference(i - 2)
    factor = (lambda d: d + 2) if distinct else (lambda d: 2)
    return [f"={a} * {factor(d)} + right[1] - {b}" for d in range(DIMENSIONS - 1)] + [f"=if({a} > 0; {b}; 1) + 0,5"]


def shape(nodes):
    """Node numbers grouped under group nodes, groups of about 100, as (group, members)."""
    groups = max(1, nodes // 100)
    per_group = nodes // groups - 1
    return [list(range(g * per_group, (g + 1) * per_group)) for g in range(groups)]


def build(groups, names, removed=frozenset(), distinct=False):
    group_lines = []
    for g, members in enumerate(groups):
        leaves = [Line(names.get(i, name(i)), formulas(i, distinct), id=str(i)) for i in members if i not in removed]
        group_lines.append(Line(f"g{g}", ["=sum(children)"] * DIMENSIONS, leaves))
    return Line("root", "=sum(children) / count(children)", group_lines)


def edits(groups, seed=1):
    """Renames, moves to another group, and removals of random leaves."""
    rng = random.Random(seed)
    leaves = [i for members in groups for i in members]
    chosen = rng.sample(leaves, RENAMES + MOVES + REMOVALS)
    renames = {i: f"renamed {i}" if i % 2 else f"r{i}" for i in chosen[:RENAMES]}
    moved = chosen[RENAMES:RENAMES + MOVES]
    removed = frozenset(chosen[RENAMES + MOVES:])
    new_groups = [list(members) for members in groups]
    for i in moved:
        for members in new_groups:
            if i in members:
                members.remove(i)
        new_groups[rng.randrange(len(new_groups))].insert(0, i)
    return new_groups, renames, removed


def measure(nodes, changed, distinct, runs=5):
    """Best of `runs` calls: (wall seconds, processor seconds, node count, formulas rewritten)."""
    groups = shape(nodes)
    new_groups, renames, removed = edits(groups) if changed else (groups, {}, frozenset())
    best = float("inf")
    best_cpu = float("inf")
    rewritten = 0
    for _ in range(runs):
        old = build(groups, {}, distinct=distinct)
        new = build(new_groups, renames, removed, distinct)
        start, start_cpu = time.perf_counter(), time.process_time()
        result = ostrel_formulas.rename_nodes(old, new, in_place=True)
        best_cpu = min(best_cpu, time.process_time() - start_cpu)
        best = min(best, time.perf_counter() - start)
        assert result is new
        if changed and not rewritten:
            before = build(new_groups, renames, removed, distinct)
            rewritten = sum(
                f != g
                for lines in zip(before.children, new.children)
                for a, b in zip(lines[0].children, lines[1].children)
                for f, g in zip(a.formula, b.formula)
            )
            assert rewritten > 0
    count = 1 + len(new_groups) + sum(len(m) for m in new_groups) - len(removed)
    return best, best_cpu, count, rewritten


def main():
    print(
        f"{'nodes':>7} {'dimensions':>11} {'wall':>9} {'cpu':>9} {'engine':>9} {'host':>9} {'cpu/node':>9} "
        f"{'rewritten':>10}"
    )
    for distinct in (False, True):
        kind = "distinct" if distinct else "repeated"
        totals = {}
        for nodes in (10_000, 100_000):
            wall, cpu, count, rewritten = measure(nodes, True, distinct)
            _, host, _, _ = measure(nodes, False, distinct)
            totals[nodes] = cpu
            print(
                f"{count:7} {kind:>11} {wall * 1e3:7.0f}ms {cpu * 1e3:7.0f}ms {(cpu - host) * 1e3:7.0f}ms "
                f"{host * 1e3:7.0f}ms {cpu / count * 1e9:7.0f}ns {rewritten:10}"
            )
        print(f"100,000 / 10,000 nodes ({kind}): {totals[100_000] / totals[10_000]:.1f}x the processor time")


if __name__ == "__main__":
    # `measure NODES CHANGED DISTINCT RUNS` measures in this process alone, for host_tree.run_fresh.
    if len(sys.argv) > 1 and sys.argv[1] == "measure":
        print(*measure(int(sys.argv[2]), sys.argv[3] == "True", sys.argv[4] == "True", int(sys.argv[5])))
    else:
        main()
