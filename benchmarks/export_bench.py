"""export_tree_to_excel in place on generated host trees of 10,000 and 100,000 nodes with
12 dimensions: references by name, children, right-hand cells and aggregations.

Run: python3 benchmarks/export_bench.py (against the installed module). Each size is
measured in a fresh process, best of five runs. The host share is the same call on a tree
of the same shape whose formulas are all empty (reading the host objects and writing the
cells, no formula work); the engine share is the rest.
"""

import sys
import time

from host_tree import Line, run_fresh

DIMENSIONS = 12
COLUMNS = [chr(ord("B") + d) for d in range(DIMENSIONS)]
RUNS = 5


def formulas(i):
    """Inputs, single formulas reading earlier nodes by name, lists reading their own right."""
    kind = i % 4
    if kind == 0:
        return [str(i % 97 + d) for d in range(DIMENSIONS)]
    if kind == 1:
        return f"=@n{i - 1} * 2 + if(@n{i - 1} > 50; 1; 0)"
    if kind == 2:
        return [f"=right[1] * 0,5 + @n{i - 2}" for _ in range(DIMENSIONS - 1)] + [f"=total(@n{i - 1})"]
    return f"=round(ratio(@n{i - 3}); 2) + max(@n{i - 1}; @n{i - 2})"


def build(nodes, empty):
    groups = max(1, nodes // 100)
    per_group = nodes // groups - 1
    row = 1
    children = []
    i = 0
    for g in range(groups):
        leaves = []
        for _ in range(per_group):
            row += 1
            f = formulas(i)
            if empty:
                f = "" if isinstance(f, str) else [""] * DIMENSIONS
            leaves.append(Line(f"n{i}", f, cells=[f"{c}{row}" for c in COLUMNS]))
            i += 1
        row += 1
        group = "" if empty else "=sum(children) + avg(children[1]; children[2])"
        children.append(Line(f"g{g}", group, leaves, cells=[f"{c}{row}" for c in COLUMNS]))
    root_formula = "" if empty else "=sum(children) / count(children)"
    return Line("root", root_formula, children, cells=[f"{c}1" for c in COLUMNS]), i + groups + 1


def measure(nodes, empty, runs):
    import ostrel_formulas

    best = None
    for _ in range(runs):
        root, count = build(nodes, empty)
        start = time.perf_counter()
        result = ostrel_formulas.export_tree_to_excel(root, in_place=True)
        elapsed = time.perf_counter() - start
        assert result is root
        if not empty:
            assert root.cells[0].startswith("=SUM(") and root.children[0].children[3].cells[0].startswith("=")
        best = elapsed if best is None else min(best, elapsed)
    print(f"{best} {count}")


def run(nodes, empty, runs=RUNS):
    """The fastest of `runs` calls in one fresh process: (seconds, node count)."""
    total, count = run_fresh(__file__, nodes, empty, runs)
    return total, int(count)


def main():
    print(f"{'nodes':>7} {'total':>9} {'engine':>9} {'host':>9} {'per cell':>9}   (in place, best of {RUNS})")
    totals = {}
    for nodes in (10_000, 100_000):
        total, count = run(nodes, False)
        host, _ = run(nodes, True)
        totals[nodes] = total
        print(
            f"{count:7} {total * 1e3:7.0f}ms {(total - host) * 1e3:7.0f}ms {host * 1e3:7.0f}ms "
            f"{total / (count * DIMENSIONS) * 1e9:7.0f}ns"
        )
    print(f"100,000 / 10,000 nodes: {totals[100_000] / totals[10_000]:.1f}x the time")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "measure":
        measure(int(sys.argv[2]), sys.argv[3] == "True", int(sys.argv[4]))
    else:
        main()
