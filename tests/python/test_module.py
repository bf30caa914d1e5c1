"""The module's surface: functions in order, signatures, docstrings, argument rules."""

import inspect

import pytest

import ostrel_formulas

FORMULA_FUNCTIONS = ["evaluate", "evaluate_boolean", "get_tokens"]
ALL_FUNCTIONS = [
    "evaluate",
    "evaluate_boolean",
    "evaluate_tree",
    "get_tokens",
    "rename_nodes",
    "expand_tree_formulas",
    "explain_node",
    "export_tree_to_excel",
]


def test_all_lists_the_functions_in_table_order():
    assert ostrel_formulas.__all__ == ALL_FUNCTIONS


def test_module_has_an_empty_docstring_and_nothing_but_its_functions():
    assert ostrel_formulas.__doc__ == ""
    public = sorted(name for name in vars(ostrel_formulas) if not name.startswith("__"))
    assert public == sorted(ostrel_formulas.__all__)


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
def test_function_carries_its_text_signature(name):
    function = getattr(ostrel_formulas, name)
    assert function.__name__ == name
    assert function.__module__ == "ostrel_formulas"
    assert function.__text_signature__ == "(formula)"
    # Nothing follows the signature block, so there is no further documentation.
    assert function.__doc__ is None
    parameters = list(inspect.signature(function).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("formula", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty)
    ]


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
def test_formula_may_be_given_by_position_or_by_name(name):
    function = getattr(ostrel_formulas, name)
    assert function("=1+1") == function(formula="=1+1")


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{}() missing required argument 'formula' (pos 1)"),
        (("=1", "=2"), {}, "{}() takes exactly 1 positional argument (2 given)"),
        ((), {"text": "=1"}, "{}() got an unexpected keyword argument 'text'"),
        (("=1",), {"formula": "=2"}, "argument for {}() given by name ('formula') and position (1)"),
        ((None,), {}, "{}() argument 'formula' must be str, not NoneType"),
        ((b"=1",), {}, "{}() argument 'formula' must be str, not bytes"),
        ((1,), {}, "{}() argument 'formula' must be str, not int"),
        ((), {"formula": 1.5}, "{}() argument 'formula' must be str, not float"),
    ],
)
def test_argument_errors(name, args, kwargs, message):
    function = getattr(ostrel_formulas, name)
    with pytest.raises(TypeError) as raised:
        function(*args, **kwargs)
    assert str(raised.value) == message.format(name)


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
def test_str_subclasses_are_accepted(name):
    class Formula(str):
        pass

    function = getattr(ostrel_formulas, name)
    assert function(Formula("=2*3")) == function("=2*3")


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
@pytest.mark.parametrize("text", ["\ud800", "=1+\udfff", "=@{a\ud83d}"])
def test_lone_surrogates_raise_a_unicode_error(name, text):
    function = getattr(ostrel_formulas, name)
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        function(text)


def _tree_calls():
    from conftest import N

    class NoCopy(N):
        def __deepcopy__(self, memo):
            raise RuntimeError("no copies")

    good = lambda: N("r", "=@a", [N("a", "1", id="a")])  # noqa: E731
    return [
        ("evaluate_tree", lambda: (good(),), None),
        ("evaluate_tree", lambda: (NoCopy("r", ""),), RuntimeError),
        ("expand_tree_formulas", lambda: (good(),), None),
        ("expand_tree_formulas", lambda: (N("r", 5),), TypeError),
        ("explain_node", lambda: (good(), "a"), None),
        ("explain_node", lambda: (N("r", "", ()), "a"), TypeError),
        ("rename_nodes", lambda: (good(), good()), None),
        ("rename_nodes", lambda: (good(), N("r", None)), TypeError),
        ("export_tree_to_excel", lambda: (good(),), None),
        ("export_tree_to_excel", lambda: (NoCopy("r", ""),), RuntimeError),
    ]


@pytest.mark.parametrize("name, args, error", _tree_calls())
@pytest.mark.parametrize("enabled", [True, False])
def test_tree_calls_leave_the_collector_as_they_found_it(name, args, error, enabled):
    import gc

    function = getattr(ostrel_formulas, name)
    (gc.enable if enabled else gc.disable)()
    try:
        if error is None:
            function(*args())
        else:
            with pytest.raises(error):
                function(*args())
        assert gc.isenabled() == enabled
    finally:
        gc.enable()
