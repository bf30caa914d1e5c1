"""A short tour: single formulas, conditions, the tokens of a formula, and a small plan.

Every printed value comes with a few words on why it is what it is. Run it with the
README's first command, or after installing the module: python examples/demo.py
"""

import uuid

import ostrel_formulas as of

FORMULAS = [
    ("=1 + 2 * 3", "'*' before '+'"),
    ("=round(1234.5678; -2)", "arguments are separated by ';'; -2 rounds to hundreds"),
    ("=0.1 + 0.2", "numbers are shown with at most 10 decimals"),
    ("1,5", "a plain value (no '='): the comma is a decimal separator"),
    ("1.234,5", "thousands point, decimal comma"),
    ("15%", "a percentage is divided by 100"),
    ("=sum(1; 2; 3) / count(1; 2; 3)", "aggregations over their arguments"),
    ("=if(2 > 1; 10; 20)", "a conditional: condition; value if true; otherwise"),
    ("", "an empty formula has an empty value"),
    ("5 + 1", "a calculation needs a leading '=': ERROR! means it does not parse"),
    ("=1 / 0", "errors are values too: VALUE! for a division by zero"),
    ("=@Revenue - @Cost", "REF!: without a tree there is no node to refer to"),
]

CONDITIONS = [
    ("1 > 0 and not 2 < 1", "conditions take no leading '='"),
    ("empty", "an empty value alone is false"),
    ("@a > 1", "a reference outside a tree is REF!"),
]


def heading(title):
    print()
    print(title)
    print("-" * len(title))


heading("Single formulas: evaluate(formula) gives the value as text")
for formula, why in FORMULAS:
    print(f"{formula!r:34} -> {of.evaluate(formula)!r:14} {why}")

heading("Conditions: evaluate_boolean(condition) gives 'true', 'false' or an error text")
for condition, why in CONDITIONS:
    print(f"{condition!r:34} -> {of.evaluate_boolean(condition)!r:14} {why}")

heading("Tokens: get_tokens(formula) cuts a formula into (text, kind) pairs for highlighting")
for text, kind in of.get_tokens("=round(@{Unit cost} * @Units; 2) + 15%"):
    print(f"{text!r:16} {kind}")


class Line:
    """A plan line as a host application might keep it: any object with name, formula
    and children will do."""

    def __init__(self, name, formula, children=()):
        self.id = uuid.uuid4().hex  # a str of its own: renaming (rename_nodes) follows lines by id
        self.name = name
        self.formula = formula  # one text for every month, or a list with one per month
        self.value = None
        self.children = list(children)


WHY = {
    "Profit": "Revenue minus Cost, month by month",
    "Revenue": "Units times Price; February's formula adds 10 %",
    "Units": "an input with one value per month",
    "Price": "one input for both months (2,5 is 2.5)",
    "Cost": "the sum of its children",
    "Rent": "the same every month",
    "Staff": "January doubles February's value (right[1]: the next month)",
}

heading("A small plan: evaluate_tree(root) gives a copy with every value filled in")
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
    value = line.value if isinstance(line.value, str) else " | ".join(line.value)
    print(f"{'  ' * depth}{line.name:{12 - 2 * depth}} {value:12} {WHY[line.name]}")
    stack.extend((child, depth + 1) for child in reversed(line.children))
print("(a list of values is one per month; a single value holds for every month)")
