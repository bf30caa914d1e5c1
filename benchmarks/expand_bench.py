"""expand_tree_formulas and explain_node on generated host trees of 10,000 and 100,000 nodes.

Run: python3 benchmarks/expand_bench.py. Each figure is the best of three fresh processes.
- expand: a 4-ary budget with 12 dimensions whose inner nodes are "=sum(children)*1.01+@leaf"
  and whose leaves are inputs; the host share is copy.deepcopy of the same tree, which the
  call makes too.
- explain: the head of a chain "=@n1+1", "=@n2+1", ...: its answer is the whole chain, while
  expanding every formula of the tree would be far beyond the limits.
"""

import copy
import gc
import sys
import time

from host_tree import Line, best_fresh, peak_mib

DIMENSIONS = 12


def budget(nodes):
    """A 4-ary tree: node k has the children 4k+1 to 4k+4; inner nodes sum their children."""
    lines = [Line(f"n{k}", None) for k in range(nodes - 1)]
    for k, line in enumerate(lines):
        line.children = lines[4 * k + 1 : 4 * k + 5]
        inner = bool(line.children)
        line.formula = ["=sum(children)*1.01+@leaf" if inner else str(k % 89 + d) for d in range(DIMENSIONS)]
    lines[0].children.append(Line("leaf", [str(d) for d in range(DIMENSIONS)]))
    return lines[0]


def chain(nodes):
    links = [Line(f"n{i}", f"=@n{i + 1}+1" if i + 1 < nodes else "1") for i in range(nodes)]
    return Line("root", "", links)


def measure(kind, nodes):
    import ostrel_formulas

    if kind == "expand":
        root = budget(nodes)
        start = time.perf_counter()
        result = ostrel_formulas.expand_tree_formulas(root)
        elapsed = time.perf_counter() - start
        # The deep copy alone, as the host would make it, with the collector paused.
        gc.disable()
        start = time.perf_counter()
        copy.deepcopy(root)
        host = time.perf_counter() - start
        gc.enable()
        size = 0
        stack = [result]
        while stack:
            line = stack.pop()
            size += sum(map(len, line.formula)) if isinstance(line.formula, list) else len(line.formula)
            stack.extend(line.children)
        print(f"{elapsed} {host} {size} {peak_mib()}")
    else:
        root = chain(nodes)
        start = time.perf_counter()
        answer = ostrel_formulas.explain_node(root, "n0")
        elapsed = time.perf_counter() - start
        print(f"{elapsed} 0 {len(answer['formula'])} {peak_mib()}")


def main():
    print(f"{'case':>8} {'nodes':>7} {'total':>9} {'host copy':>10} {'output':>10} {'peak RSS':>9}")
    for kind in ("expand", "explain"):
        times = {}
        for nodes in (10_000, 100_000):
            total, host, size, peak = best_fresh(3, __file__, kind, nodes)
            times[nodes] = total
            host_text = f"{host * 1e3:8.0f}ms" if kind == "expand" else f"{'':>10}"
            print(f"{kind:>8} {nodes:7} {total * 1e3:7.0f}ms {host_text} {size / 1e6:8.1f}MB {peak:7.0f}MiB")
        print(f"{kind:>8} 100,000 / 10,000 nodes: {times[100_000] / times[10_000]:.1f}x the time")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "measure":
        measure(sys.argv[2], int(sys.argv[3]))
    else:
        main()
