"""Properties: random arithmetic agrees with a small reference evaluator; tokens cover the
formula in order with only whitespace between them."""

import math

from hypothesis import example, given, settings
from hypothesis import strategies as st

from ostrel_formulas import evaluate, get_tokens

from conftest import examples


class Failed(Exception):
    """An error result: the first failing operand decides its text."""


# An expression is built together with its reference value (a float, or Failed).
numbers = st.one_of(st.integers(min_value=0, max_value=10**6).map(str),
                    st.tuples(st.integers(0, 9999), st.integers(0, 999)).map(lambda p: f"{p[0]}.{p[1]:03d}"))
OPERATIONS = {"+": float.__add__, "-": float.__sub__, "*": float.__mul__, "/": float.__truediv__, "%": math.fmod}


def apply(op, a, b):
    """Operands are taken left to right: the left one's failure wins."""
    failed = next((v for v in (a, b) if isinstance(v, Failed)), None)
    return failed or (Failed("VALUE!") if op in "/%" and b == 0 else OPERATIONS[op](a, b))


def combine(children):
    return st.one_of(
        st.tuples(children, st.sampled_from("+-*/%"), children).map(
            lambda t: (f"({t[0][0]} {t[1]} {t[2][0]})", apply(t[1], t[0][1], t[2][1]))),
        children.map(lambda c: (f"-({c[0]})", c[1] if isinstance(c[1], Failed) else -c[1])),
    )


expressions = st.recursive(numbers.map(lambda text: (text, float(text))), combine, max_leaves=12)


def assert_shows(text, value):
    """An error by its text; a number as "NaN", "inf", "-inf", or a decimal within half a step of the tenth decimal."""
    if isinstance(value, Failed):
        assert text == str(value)
    elif math.isnan(value) or math.isinf(value):
        assert text == {"nan": "NaN", "inf": "inf", "-inf": "-inf"}[str(value)]
    else:
        assert abs(float(text) - value) <= 0.5e-10 + 2 * math.ulp(value), (text, value)


@settings(max_examples=examples(400), deadline=None)
@given(expressions)
@example(("((15921 * 16003) * (62632 * 62666))", (15921 * 16003) * (62632 * 62666) * 1.0))
def test_arithmetic_agrees_with_the_reference(expression):
    text, value = expression
    assert_shows(evaluate("=" + text), value)


formula_alphabet = st.sampled_from(
    list("=+-*/%^();[]@{}., 0123456789abcxyz<>!#$") + ["sum", "round", "if", "total", "children", "right", "é", "\u3000", "\t"]
)


@settings(max_examples=examples(400), deadline=None)
@given(st.lists(formula_alphabet, max_size=40).map("".join))
def test_tokens_cover_the_formula_in_order(formula):
    position = 0
    for text, _kind in get_tokens(formula):
        assert text
        found = formula.index(text, position)
        assert formula[position:found].strip() == ""
        position = found + len(text)
    assert formula[position:].strip() == ""
