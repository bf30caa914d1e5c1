"""export_tree_to_excel: cells written back under the in-place rule in the shape of the
addresses, cells of other types, and content that never raises. The translation is tested
in the core, and proven in a spreadsheet by test_export_roundtrip.py."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import N, pre_order
from ostrel_formulas import export_tree_to_excel


def cells(root):
    return [node.cells for node in pre_order(root)]


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
    # (The folder among the root's children has no cell.)
    expected = [["REF!", "REF!"], ["100", "1234.5"], ["=B2*0.4", "=C2*0.4"], "Hello world.", [], ["=0.15"]]
    assert cells(result) == expected
    assert export_tree_to_excel(root, in_place=True) is root and cells(root) == expected


@pytest.mark.parametrize(
    "formula",
    ["=" + "(" * 1_000_000, "=" + "1+" * 500_000 + "1", "=" + "@a+" * 300_000 + "@a",
     "=" + "abs(" * 127 + "1" + ")" * 127, "=" + "coalesce(" * 120 + "@a" + "; 1)" * 120, "\x00=\ud7ff\ufffd",
     "=@{" + "x" * 100_000 + "}", "=@a[99999999999999999999999]", "=" + "x" * 1_000_000, "€" * 300_000],
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


def test_cells_of_another_type_are_read_as_none():
    root = N("n", "=1", [N("a", "1", cells=["A1", 3])], cells=5)
    result = export_tree_to_excel(root)
    assert (result.cells, result.children[0].cells) == ([], [])
