"""evaluate_tree on generated host trees of 10,000 and 100,000 nodes with 12 dimensions.

Run: python3 benchmarks/evaluate_tree_bench.py. Each tree is measured in a fresh process,
so that its peak memory is its own. The host share is the time of the same call on a tree
of the same shape whose formulas are all empty (reading and writing the host objects, no
formula work); the engine share is the rest.
"""

import gc
import sys
import time

from host_tree import Line, best_fresh, peak_mib

DIMENSIONS = 12


def formulas(i):
    """Inputs, single formulas reading them by name, and lists reading their own right."""
    kind = i % 3
    if kind == 0:
        return [str(i % 97 + d) for d in range(DIMENSIONS)]
    if kind == 1:
        return f"=@n{i - 1} * 2 + 1"
    return [f"=right[1] * 0,5 + @n{i - 2}" for _ in range(DIMENSIONS - 1)] + [f"=@n{i - 1}"]


def build(nodes, empty):
    groups = max(1, nodes // 100)
    per_group = nodes // groups - 1
    children = []
    i = 0
    for g in range(groups):
        leaves = []
        for _ in range(per_group):
            f = formulas(i)
            leaves.append(Line(f"n{i}", ("" if isinstance(f, str) else [""] * DIMENSIONS) if empty else f))
            i += 1
        children.append(Line(f"g{g}", "" if empty else "=sum(children)", leaves))
    return Line("root", "" if empty else "=sum(children) / count(children)", children), i + groups + 1


def measure(nodes, in_place, empty, collector_paused):
    import ostrel_formulas

    root, count = build(nodes, empty)
    if collector_paused:
        gc.disable()
    start = time.perf_counter()
    result = ostrel_formulas.evaluate_tree(root, in_place=in_place)
    elapsed = time.perf_counter() - start
    gc.enable()
    assert (result is root) == in_place
    if not empty:
        assert result.value not in ("", "REF!", "ERROR!", "MANY!", "VALUE!"), result.value
    print(f"{elapsed} {count} {peak_mib()}")


def run(nodes, in_place, empty, runs=1, collector_paused=False):
    """The fastest of `runs` fresh processes: (seconds, node count, peak MiB). With the
    collector paused for the call, the difference to the usual figure is the collector's share."""
    total, count, peak = best_fresh(runs, __file__, nodes, in_place, empty, collector_paused)
    return total, int(count), peak


def main():
    print(f"{'nodes':>7} {'mode':>8} {'total':>9} {'engine':>9} {'host':>9} {'per node-dim':>13} {'peak RSS':>9}")
    totals = {}
    for nodes in (10_000, 100_000):
        for in_place in (True, False):
            total, count, peak = run(nodes, in_place, False, 3)
            host = run(nodes, in_place, True, 3)[0]
            totals[(nodes, in_place)] = total
            mode = "in place" if in_place else "copy"
            print(
                f"{count:7} {mode:>8} {total * 1e3:7.0f}ms {(total - host) * 1e3:7.0f}ms {host * 1e3:7.0f}ms "
                f"{total / (count * DIMENSIONS) * 1e9:11.0f}ns {peak:7.0f}MiB"
            )
    for in_place in (True, False):
        ratio = totals[(100_000, in_place)] / totals[(10_000, in_place)]
        print(f"100,000 / 10,000 nodes ({'in place' if in_place else 'copy'}): {ratio:.1f}x the time")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "measure":
        measure(int(sys.argv[2]), sys.argv[3] == "True", sys.argv[4] == "True", sys.argv[5] == "True")
    else:
        main()
