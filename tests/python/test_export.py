"""export_tree_to_excel: the surface, cells written back under the in-place rule, host
faults as for evaluate_tree, and content that never raises."""

import inspect
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import Boom, N
from ostrel_formulas import export_tree_to_excel


def cells(root):
    out = []
    stack = [root]
    while stack:
        node = stack.pop()
        out.append(node.cells)
        stack.extend(reversed(node.children))
    return out


def test_signature_and_docstring():
    assert export_tree_to_excel.__text_signature__ == "(root, in_place=False)"
    assert export_tree_to_excel.__doc__ is None
    parameters = list(inspect.signature(export_tree_to_excel).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("root", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("in_place", inspect.Parameter.POSITIONAL_OR_KEYWORD, False),
    ]


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "export_tree_to_excel() missing required argument 'root' (pos 1)"),
        ((N("a"), True, 1), {}, "export_tree_to_excel() takes at most 2 positional arguments (3 given)"),
        ((N("a"),), {"in_place": None}, "export_tree_to_excel() argument 'in_place' must be bool, not NoneType"),
        ((N("a"), 1), {}, "export_tree_to_excel() argument 'in_place' must be bool, not int"),
        ((N("a"),), {"inplace": True}, "export_tree_to_excel() got an unexpected keyword argument 'inplace'"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        export_tree_to_excel(*args, **kwargs)
    assert str(raised.value) == message


def plan():
    return N("plan", "=sum(children)", [
        N("revenue", ["100", "1.234,5"], cells=["B2", "C2"]),
        N("cost", "=@revenue * 40%", cells=["B3", "C3"]),
        N("note", "Hello, world.", cells="B4"),
        N("folder", "", [N("tax", "15%", cells=("B6",))]),
    ], cells=["B1", "C1"])


def test_contents_are_written_onto_a_copy():
    root = plan()
    result = export_tree_to_excel(root)
    assert result is not root
    assert cells(root) == [["B1", "C1"], ["B2", "C2"], ["B3", "C3"], "B4", None, ("B6",)]
    # Per-dimension addresses give lists, a single address one text; a node read without
    # cells receives an empty list.
    assert cells(result) == [
        ["REF!", "REF!"],  # the folder among the children has no cell
        ["100", "1234.5"],
        ["=B2*0.4", "=C2*0.4"],
        "Hello world.",
        [],
        ["=0.15"],
    ]


def test_in_place_writes_onto_the_callers_objects():
    root = plan()
    assert export_tree_to_excel(root, in_place=True) is root
    assert root.children[1].cells == ["=B2*0.4", "=C2*0.4"]
    assert root.children[3].cells == []


def test_aggregating_the_children_in_place():
    root = N("total", "=sum(children)", [N("a", "1", cells="A1"), N("b", "2", cells="A2")], cells="A3")
    export_tree_to_excel(root, True)
    assert cells(root) == ["=SUM(A1,A2)", "1", "2"]


@pytest.mark.parametrize(
    "formula, addresses, expected",
    [
        (["=1", "=2", "=3"], ["A1"], ["=1"]),
        (["=1"], ["A1", "A2", "A3"], ["=1", "", ""]),
        ([], ["A1", "A2"], ["", ""]),
        ("=right", ["A1", "A2"], ["=A2", "REF!"]),
        (["=sum(right)", "", ""], ["A1", "", "A3"], ["=SUM(,A3)", "", ""]),
        ("=@Self * 2", "A1", "=A1*2"),
        ("=1", "", ""),
        ("=1", [], []),
    ],
)
def test_cells_lists_shorter_or_longer_than_formula_lists(formula, addresses, expected):
    root = N("n", formula, cells=addresses)
    assert export_tree_to_excel(root).cells == expected


@pytest.mark.parametrize(
    "formula",
    [
        "=" + "(" * 1_000_000,
        "=" + "1+" * 500_000 + "1",
        "=" + "@a+" * 300_000 + "@a",
        "=" + "abs(" * 127 + "1" + ")" * 127,
        "=" + "coalesce(" * 120 + "@a" + "; 1)" * 120,
        "\x00=\ud7ff\ufffd",
        "=@{" + "x" * 100_000 + "}",
        "=@a[99999999999999999999999]",
        "=" + "x" * 1_000_000,
        "€" * 300_000,
    ],
    ids=["open parens", "long sum", "many refs", "deep calls", "deep coalesce", "odd chars", "long name",
         "huge index", "junk", "long text"],
)
def test_bad_formulas_never_raise(formula):
    root = N("root", formula, [N("a", "1", cells="A1")], cells=["R1", "R2"])
    result = export_tree_to_excel(root)
    assert len(result.cells) == 2 and all(type(c) is str for c in result.cells)


@given(
    st.one_of(st.text(max_size=40), st.lists(st.text(max_size=20), max_size=4)),
    st.one_of(st.none(), st.text(max_size=6), st.lists(st.text(max_size=6), max_size=4)),
)
@settings(max_examples=300, deadline=None)
def test_any_formula_and_cells_give_text_in_the_shape_of_the_cells(formula, addresses):
    root = N("n", formula, [N("a", ["1", "2"], cells=["A1", "A2"])], cells=addresses)
    result = export_tree_to_excel(root).cells
    if addresses is None or addresses == [] or addresses == "":
        assert result == ("" if addresses == "" else [])
    elif isinstance(addresses, str):
        assert type(result) is str
    else:
        assert type(result) is list and len(result) == len(addresses) and all(type(c) is str for c in result)


def test_addresses_are_copied_verbatim():
    odd = "'My sheet'!$B$7 ünïcode, ; @x"
    root = N("n", "=@a + 1", [N("a", "1", cells=odd)], cells="Z1")
    assert export_tree_to_excel(root).cells == "=" + odd + "+1"


MISSING_NAME = (
    "Missing required attribute 'name'. Expected a Protocol-compatible object with name, formula, value, "
    "is_hidden, and children attributes"
)


class Minimal:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


@pytest.mark.parametrize(
    "attributes, error, message",
    [
        ({"formula": "", "children": []}, AttributeError, None),
        ({"name": 3, "formula": "", "children": []}, TypeError, MISSING_NAME),
        ({"name": "a", "formula": 5, "children": []}, TypeError, "Attribute 'formula' must be a string or list of strings"),
        ({"name": "a", "formula": "", "children": ()}, TypeError, "Attribute 'children' must be a list"),
    ],
)
def test_protocol_errors_raise_as_for_evaluate_tree(attributes, error, message):
    with pytest.raises(error) as raised:
        export_tree_to_excel(Minimal(**attributes))
    if message is not None:
        assert str(raised.value) == message


def test_cells_of_another_type_are_read_as_none():
    root = N("n", "=1", [Minimal(name="a", formula="1", children=[], cells=["A1", 3])], cells=5)
    result = export_tree_to_excel(root)
    assert (result.cells, result.children[0].cells) == ([], [])


def test_deepcopy_failure_raises_and_in_place_still_works():
    class NoCopy(N):
        def __deepcopy__(self, memo):
            raise Boom("copy")

    root = N("root", "=@a", [NoCopy("a", "2", cells="A1")], cells="R1")
    with pytest.raises(Boom):
        export_tree_to_excel(root)
    assert cells(root) == ["R1", "A1"]
    assert export_tree_to_excel(root, in_place=True) is root
    assert cells(root) == ["=A1", "2"]


def test_failing_write_in_place_keeps_earlier_updates():
    class Refuses(N):
        def __setattr__(self, name, value):
            if name == "cells" and getattr(self, "armed", False):
                raise Boom("no")
            object.__setattr__(self, name, value)

    late = Refuses("b", "=2", cells="B1")
    late.armed = True
    root = N("root", "=1", [N("a", "=3", cells="A1"), late, N("c", "=4", cells="C1")], cells="R1")
    with pytest.raises(Boom):
        export_tree_to_excel(root, in_place=True)
    assert cells(root) == ["=1", "=3", "B1", "C1"]


def test_deep_tree_within_the_limit():
    depth = sys.getrecursionlimit() - 50
    root = N("n0", "=children + 1", cells="A0")
    at = root
    for i in range(depth):
        at.children.append(N(f"n{i + 1}", "=children + 1" if i + 1 < depth else "7", cells=f"A{i + 1}"))
        at = at.children[0]
    export_tree_to_excel(root, in_place=True)
    assert root.cells == "=A1+1"
    assert at.cells == "7"


def test_repeated_calls_keep_the_object_count_flat():
    import gc

    def rounds():
        for _ in range(200):
            export_tree_to_excel(plan())
            export_tree_to_excel(N("n", "=@x", cells=["A1"]), in_place=True)
        gc.collect()
        return len(gc.get_objects())

    counts = [rounds() for _ in range(3)]
    # Warm-up may allocate once; after that nothing may pile up.
    assert counts[2] <= counts[1]
