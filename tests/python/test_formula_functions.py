"""What get_tokens hands to Python, and evaluate and get_tokens on hostile input. The values of each
kind of text run in the documents' examples; the rules are tested in the core."""

import pytest

from ostrel_formulas import evaluate, get_tokens


def test_get_tokens_gives_text_and_kind_pairs():
    assert get_tokens("") == []
    assert get_tokens("=round(@{Unit cost}[2]; 2) * total(@b) + sum(15%) # if") == [
        ("=", "operator"), ("round", "function"), ("(", "parenthesis"), ("@{Unit cost}[2]", "nodereference"),
        (";", "operator"), ("2", "number"), (")", "parenthesis"), ("*", "operator"), ("total", "modifier"),
        ("(", "parenthesis"), ("@b", "nodereference"), (")", "parenthesis"), ("+", "operator"),
        ("sum", "aggregation"), ("(", "parenthesis"), ("15%", "number"), (")", "parenthesis"),
        ("# ", "unexpected"), ("if", "conditional"),
    ]


# The formula's own expression is the first of the 128 levels allowed.
@pytest.mark.parametrize("depth, expected", [(127, "1"), (128, "ERROR!"), (100_000, "ERROR!")])
def test_nesting_beyond_the_limit_gives_error(depth, expected):
    assert evaluate("=" + "(" * depth + "1" + ")" * depth) == expected


def test_long_formulas_are_accepted():
    formula = "=" + "+".join(["1"] * 200_000)
    assert evaluate(formula) == "200000"
    assert len(get_tokens(formula)) == 1 + 2 * 200_000 - 1
