"""What evaluate, evaluate_boolean and get_tokens hand to Python. The rules themselves are
tested in the core; here one row per kind of result text."""

import pytest

from ostrel_formulas import evaluate, evaluate_boolean, get_tokens


@pytest.mark.parametrize(
    "formula, expected",
    [
        ("", ""),
        ("-3,5", "-3.5"),
        ("15%", "0.15"),
        ("1+1", "ERROR!"),
        ("=1.234,5 * 2", "2469"),
        ("=1/3", "0.3333333333"),
        ("=iferror(1/0)", ""),
        ("=@{Unit cost} * 2", "REF!"),
        ("=children", "MANY!"),
        ("=1/0 + @a", "VALUE!"),
        ("=-(10^400)", "-inf"),
        ("=10^400 - 10^400", "NaN"),
        ("=10^300", str(int(10.0**300))),
    ],
)
def test_evaluate(formula, expected):
    assert evaluate(formula) == expected


@pytest.mark.parametrize(
    "condition, expected",
    [("1 <> 2 and 2 >= 2", "true"), ("1 > 2 or not 1 == 1", "false"), ("@a > 1", "REF!"), ("1 / 0 > 1", "VALUE!"),
     ("children > 1", "MANY!"), ("=1 > 0", "ERROR!")],
)
def test_evaluate_boolean(condition, expected):
    assert evaluate_boolean(condition) == expected


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
