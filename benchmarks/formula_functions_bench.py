"""evaluate and get_tokens from Python, against simpleeval on the same arithmetic.

Run: python3 benchmarks/formula_functions_bench.py (needs `pip install simpleeval`).
Prints the time per call of each formula, the ratio to simpleeval, and the floor: the time of
a C function of the same shape on the same str (`str.lower`: reads the text, returns a new
str), all measured side by side in one run, interleaved, best of five.
"""

import statistics
import timeit

import ostrel_formulas
from simpleeval import SimpleEval

# (formula in this language, the same arithmetic for simpleeval)
CASES = [
    ("=1 + 2 * 3 - 4 / 5", "1 + 2 * 3 - 4 / 5"),
    ("=(12.5 + 7.25) * 3 - 100 / 8", "(12.5 + 7.25) * 3 - 100 / 8"),
    ("=round(1234.5678; 2) + abs(-3) * 2", "round(1234.5678, 2) + abs(-3) * 2"),
    ("=max(1; 2; 3) + min(4; 5) * 2 - 7 % 3", "max(1, 2, 3) + min(4, 5) * 2 - 7 % 3"),
    ("=2 ^ 10 - 15% * 200 + 1,5", "2 ** 10 - 0.15 * 200 + 1.5"),
    ("=if(3 > 2 and 1 < 2; 10; 20) + 1", "(10 if 3 > 2 and 1 < 2 else 20) + 1"),
]

TOKEN_FORMULAS = [
    "=round(@{Unit cost} * @Units; 2) + 15%",
    "=if(@Revenue > 0; @Profit / @Revenue; 0)",
    "=sum(children) - total(@Cost) * 2",
]


def per_call(function, argument, number, repeat=5):
    runs = timeit.repeat(lambda: function(argument), number=number, repeat=repeat)
    return min(runs) / number


def simpleeval_evaluator():
    return SimpleEval(functions={"round": round, "abs": abs, "max": max, "min": min})


def side_by_side(repeat=5, number=200_000, simpleeval_number=5_000):
    """Per-call times of each case as (evaluate, simpleeval, floor), best of `repeat`.

    The three are measured in turn inside each repeat, case after case, so that a change of
    load on the machine falls on all of them alike rather than on whichever ran last."""
    evaluator = simpleeval_evaluator()
    for formula, python_text in CASES:
        assert float(ostrel_formulas.evaluate(formula)) == float(evaluator.eval(python_text)), formula
    best = [[float("inf")] * 3 for _ in CASES]
    for _ in range(repeat):
        for times, (formula, python_text) in zip(best, CASES):
            times[0] = min(times[0], per_call(ostrel_formulas.evaluate, formula, number, 1))
            times[1] = min(times[1], per_call(evaluator.eval, python_text, simpleeval_number, 1))
            times[2] = min(times[2], per_call(str.lower, formula, number, 1))
    return [tuple(times) for times in best]


def main():
    print(f"{'formula':44} {'bytes':>5} {'evaluate':>10} {'simpleeval':>11} {'ratio':>7} {'floor':>8} {'/floor':>7}")
    ratios, ours, floors = [], [], []
    for (formula, _), (t_ours, t_theirs, t_floor) in zip(CASES, side_by_side()):
        ratios.append(t_theirs / t_ours)
        ours.append(t_ours)
        floors.append(t_floor)
        print(f"{formula:44} {len(formula):5} {t_ours * 1e9:8.0f}ns {t_theirs * 1e9:9.0f}ns {t_theirs / t_ours:6.0f}x "
              f"{t_floor * 1e9:6.0f}ns {t_ours / t_floor:6.1f}x")
    print(f"evaluate: median {statistics.median(ours) * 1e9:.0f} ns per call; "
          f"simpleeval / evaluate: median {statistics.median(ratios):.0f}x, lowest {min(ratios):.0f}x; "
          f"C-call floor (str.lower): median {statistics.median(floors) * 1e9:.0f} ns")
    print()
    print(f"{'get_tokens formula':44} {'bytes':>5} {'time':>10} {'tokens':>7}")
    for formula in TOKEN_FORMULAS:
        t = per_call(ostrel_formulas.get_tokens, formula, 200_000)
        print(f"{formula:44} {len(formula):5} {t * 1e9:8.0f}ns {len(ostrel_formulas.get_tokens(formula)):7}")


if __name__ == "__main__":
    main()
