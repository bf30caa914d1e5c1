"""A short tour: evaluate a few formulas and conditions, and cut one into tokens."""

import ostrel_formulas as of

FORMULAS = [
    "=1 + 2 * 3",
    "=round(1234.5678; -2)",
    "=0.1 + 0.2",
    "15%",
    "=sum(1; 2; 3) / count(1; 2; 3)",
    "=if(2 > 1; 10; 20)",
    "=1 / 0",
    "=@Revenue - @Cost",
]

for formula in FORMULAS:
    print(f"{formula!r:36} -> {of.evaluate(formula)!r}")

for condition in ["1 > 0 and not 2 < 1", "@a > 1"]:
    print(f"{condition!r:36} -> {of.evaluate_boolean(condition)!r}")

print()
for text, kind in of.get_tokens("=round(@{Unit cost} * @Units; 2) + 15%"):
    print(f"{text!r:16} {kind}")

print()


class Line:
    """A plan line as a host application might keep it."""

    def __init__(self, name, formula, children=()):
        self.name = name
        self.formula = formula
        self.value = None
        self.children = list(children)


plan = Line(
    "Profit",
    "=@Revenue - @Cost",
    [
        Line("Revenue", ["=@Units * @Price", "=@Units * @Price * 1,1"]),
        Line("Units", ["100", "120"]),
        Line("Price", "2,5"),
        Line("Cost", "=sum(children)", [Line("Rent", "50"), Line("Staff", ["=right[1] * 2", "40"])]),
    ],
)
result = of.evaluate_tree(plan)
stack = [(result, 0)]
while stack:
    line, depth = stack.pop()
    print(f"{'  ' * depth}{line.name:12} {line.value}")
    stack.extend((child, depth + 1) for child in reversed(line.children))
