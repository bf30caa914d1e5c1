"""evaluate and get_tokens on hostile input: nesting beyond the limit and very long formulas. What
the formula functions give for each kind of text runs in the documents' examples; the rules in the core."""

import pytest

from ostrel_formulas import evaluate, get_tokens


# The formula's own expression is the first of the 128 levels allowed.
@pytest.mark.parametrize("depth, expected", [(127, "1"), (128, "ERROR!"), (100_000, "ERROR!")])
def test_nesting_beyond_the_limit_gives_error(depth, expected):
    assert evaluate("=" + "(" * depth + "1" + ")" * depth) == expected


def test_long_formulas_are_accepted():
    formula = "=" + "+".join(["1"] * 200_000)
    assert evaluate(formula) == "200000"
    assert len(get_tokens(formula)) == 1 + 2 * 200_000 - 1
