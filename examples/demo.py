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
