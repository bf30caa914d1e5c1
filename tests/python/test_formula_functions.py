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


@pytest.mark.parametrize(
    "formula, expected",
    [
        # Plain values and the leading "=".
        ("", ""),
        ("   ", ""),
        ("12", "12"),
        ("-3,5", "-3.5"),
        ("15%", "0.15"),
        ("1+1", "ERROR!"),
        ("=1+1", "2"),
        ("=1/3", "0.3333333333"),
        ("=2/3", "0.6666666667"),
        ("=0.1+0.2", "0.3"),
        ("=1.234,5 * 2", "2469"),
        # Precedence and folding from the left.
        ("=1 + 2 * 3", "7"),
        ("=10 - 2 - 3", "5"),
        ("=2 ^ 3 ^ 2", "64"),
        ("=2 ** 10", "1024"),
        ("=-2 ^ 2", "4"),
        ("=7 % 3", "1"),
        ("=-7 % 3", "-1"),
        ("=50% * 4", "2"),
        # Errors and their texts.
        ("=(1", "ERROR!"),
        ("=1 +", "ERROR!"),
        ("=@a", "REF!"),
        ("=@{Unit cost} * 2", "REF!"),
        ("=children", "MANY!"),
        ("=right", "MANY!"),
        ("=children[1]", "REF!"),
        ("=1/0", "VALUE!"),
        ("=0/0", "VALUE!"),
        ("=5 % 0", "VALUE!"),
        ("=1 + @a + 1/0", "REF!"),
        ("=1/0 + @a", "VALUE!"),
        ("=-children", "MANY!"),
        # Functions, aggregations, conditionals, modifiers.
        ("=round(2.5)", "3"),
        ("=round(-2.5)", "-3"),
        ("=round(1234.5678; -2)", "1200"),
        ("=round(1.005; 2)", "1"),
        ("=log(100)", "2"),
        ("=log(8; 2)", "3"),
        ("=log(0)", "VALUE!"),
        ("=root(27; 3)", "3"),
        ("=root(-8; 3)", "NaN"),
        ("=mod(-7; 3)", "-1"),
        ("=sign()", "ERROR!"),
        ("=iferror(1/0)", ""),
        ("=iferror(1/0; 7)", "7"),
        ("=stdev(2; 4)", "1.4142135624"),
        ("=median(4; 1; 3; 2)", "2.5"),
        ("=sum()", "0"),
        ("=mult()", "1"),
        ("=avg()", "VALUE!"),
        ("=count(1; 2; 3)", "3"),
        ("=coalesce()", ""),
        ("=if(1 > 2; 10; 20)", "20"),
        ("=if(1 > 2; 10)", "ERROR!"),
        ("=when(1 > 2; 10)", ""),
        ("=WHEN(2 > 1; 10; 1/0 > 1; 20)", "10"),
        ("=when(1 > 2; 10; 1/0 > 1; 20)", "VALUE!"),
        # Without a tree a modifier selects no node in dimension 0.
        ("=total(@a)", "0"),
        ("=ratio(@a)", "VALUE!"),
        # Very large and very small numbers.
        ("=10^21", "1000000000000000000000"),
        ("=1e3", "ERROR!"),
        ("=10^400", "inf"),
        ("=-(10^400)", "-inf"),
        ("=-10^400", "inf"),
        ("=0.00000000001", "0"),
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
