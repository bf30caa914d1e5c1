"""Results of evaluate, evaluate_boolean and get_tokens."""

import pytest

from ostrel_formulas import evaluate, evaluate_boolean, get_tokens

KIND_NAMES = {
    "number",
    "operator",
    "nodereference",
    "modifier",
    "function",
    "aggregation",
    "conditional",
    "parenthesis",
    "unexpected",
}


# The evaluation rules are tested in the core; these check what reaches Python: each kind of
# result text, the leading "=", decimal commas and the number display form.
@pytest.mark.parametrize(
    "formula, expected",
    [
        ("", ""),
        ("   ", ""),
        ("12", "12"),
        ("-3,5", "-3.5"),
        ("15%", "0.15"),
        ("1+1", "ERROR!"),
        ("=1+1", "2"),
        ("=1/3", "0.3333333333"),
        ("=0.1+0.2", "0.3"),
        ("=1.234,5 * 2", "2469"),
        ("=round(1234.5678; -2) + log(8; 2)", "1203"),
        ("=WHEN(2 > 1; 10; 1/0 > 1; 20)", "10"),
        ("=iferror(1/0)", ""),
        ("=(1", "ERROR!"),
        ("=@{Unit cost} * 2", "REF!"),
        ("=children", "MANY!"),
        ("=1/0 + @a", "VALUE!"),
        ("=total(@a)", "0"),
        ("=10^21", "1000000000000000000000"),
        ("=10^400", "inf"),
        ("=-(10^400)", "-inf"),
        ("=10^400 - 10^400", "NaN"),
        ("=-0.00000000001", "0"),
        ("=10^300", str(int(10.0**300))),
    ],
)
def test_evaluate(formula, expected):
    assert evaluate(formula) == expected


@pytest.mark.parametrize(
    "condition, expected",
    [
        ("1 > 0", "true"),
        ("1 > 2 or not 1 == 1", "false"),
        ("1 <> 2 and 2 >= 2", "true"),
        ("NOT 1", "false"),
        ("not not 0", "false"),
        ("(1 > 2) or (2 > 1)", "true"),
        ("1 > 0 or 1 / 0 > 1", "true"),
        ("1 > 2 and @a > 1", "false"),
        ("@a > 1", "REF!"),
        ("1 / 0 > 1", "VALUE!"),
        ("children > 1", "MANY!"),
        ("=1 > 0", "ERROR!"),
        ("", "ERROR!"),
        ("1 >", "ERROR!"),
    ],
)
def test_evaluate_boolean(condition, expected):
    assert evaluate_boolean(condition) == expected


@pytest.mark.parametrize(
    "formula, tokens",
    [
        ("", []),
        ("   ", []),
        (
            "=sum(@a; 2) + 15%",
            [
                ("=", "operator"),
                ("sum", "aggregation"),
                ("(", "parenthesis"),
                ("@a", "nodereference"),
                (";", "operator"),
                ("2", "number"),
                (")", "parenthesis"),
                ("+", "operator"),
                ("15%", "number"),
            ],
        ),
        (
            "=round(@{Unit cost}[2]; 2) * total(@b)",
            [
                ("=", "operator"),
                ("round", "function"),
                ("(", "parenthesis"),
                ("@{Unit cost}[2]", "nodereference"),
                (";", "operator"),
                ("2", "number"),
                (")", "parenthesis"),
                ("*", "operator"),
                ("total", "modifier"),
                ("(", "parenthesis"),
                ("@b", "nodereference"),
                (")", "parenthesis"),
            ],
        ),
        ("=if(@x > 1; 2)", None),
        ("=1 # 2", None),
    ],
)
def test_get_tokens(formula, tokens):
    result = get_tokens(formula)
    assert isinstance(result, list)
    assert all(type(token) is tuple and len(token) == 2 for token in result)
    assert all(type(text) is str and kind in KIND_NAMES for text, kind in result)
    if tokens is not None:
        assert result == tokens


def test_get_tokens_classifies_conditionals_and_unexpected_text():
    assert ("if", "conditional") in get_tokens("=if(@x > 1; 2)")
    # An unexpected run keeps the blanks that follow it.
    assert ("# ", "unexpected") in get_tokens("=1 # 2")


# The formula's own expression is the first of the 128 levels allowed.
@pytest.mark.parametrize("depth, expected", [(100, "1"), (127, "1"), (128, "ERROR!"), (100_000, "ERROR!")])
def test_nesting_beyond_the_limit_gives_error(depth, expected):
    assert evaluate("=" + "(" * depth + "1" + ")" * depth) == expected


def test_long_formulas_are_accepted():
    formula = "=" + "+".join(["1"] * 200_000)
    assert evaluate(formula) == "200000"
    assert len(get_tokens(formula)) == 1 + 2 * 200_000 - 1
