"""export_tree_to_excel: cells written back in the shape of the addresses, content that never raises, formulas that
an xlsx grammar reads (the values are proven by test_export_roundtrip.py)."""

import functools

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import N, examples, listed, pre_order
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
    assert result is not root and cells(root) == [["B1", "C1"], ["B2", "C2"], ["B3", "C3"], "B4", None, ("B6",)]
    # Addresses per dimension give lists, a single one a text, none an empty list (the folder: no cell).
    expected = [["REF!", "REF!"], ["100", "1234.5"], ["=B2*0.4", "=C2*0.4"], "Hello, world.", [], ["=0.15"]]
    assert cells(result) == expected
    assert export_tree_to_excel(root, in_place=True) is root and cells(root) == expected


@pytest.mark.parametrize("formula", [
    "=" + "(" * 1_000_000, "=" + "1+" * 500_000 + "1", "=" + "@a+" * 300_000 + "@a",
    "=" + "abs(" * 127 + "1" + ")" * 127, "=" + "coalesce(" * 120 + "@a" + "; 1)" * 120, "\x00=\ud7ff\ufffd",
    "=@{" + "x" * 100_000 + "}", "=@a[99999999999999999999999]", "=" + "x" * 1_000_000, "€" * 300_000], ids=[
    "open parens", "long sum", "many refs", "deep calls", "deep coalesce", "odd chars", "long name", "huge index",
    "junk", "long text"])
def test_bad_formulas_never_raise(formula):
    root = N("root", formula, [N("a", "1", cells="A1")], cells=["R1", "R2"])
    assert [type(c) for c in export_tree_to_excel(root).cells] == [str, str]


@given(
    st.one_of(st.text(max_size=40), st.lists(st.text(max_size=20), max_size=4)),
    st.one_of(st.none(), st.text(max_size=6), st.lists(st.text(max_size=6), max_size=4)),
)
@settings(max_examples=examples(300), deadline=None)
def test_any_formula_and_cells_give_text_in_the_shape_of_the_cells(formula, addresses):
    root = N("n", formula, [N("a", ["1", "2"], cells=["A1", "A2"])], cells=addresses)
    result = export_tree_to_excel(root).cells
    if not addresses:
        assert result == ("" if addresses == "" else [])
    else:
        assert type(result) is type(addresses) and [type(c) for c in listed(result)] == [str] * len(listed(addresses))


def test_addresses_are_copied_verbatim_and_cells_of_another_type_read_as_none():
    odd = "'My sheet'!$B$7 ünïcode, ; @x"
    assert export_tree_to_excel(N("n", "=@a + 1", [N("a", "1", cells=odd)], cells="Z1")).cells == "=" + odd + "+1"
    result = export_tree_to_excel(N("n", "=1", [N("a", "1", cells=["A1", 3])], cells=5))
    assert (result.cells, result.children[0].cells) == ([], [])


# Random trees over every construct, with references that resolve and ones that fail, literals beyond the doubles,
# blanks before "=": every exported formula parses with an independent xlsx parser, and no function lacks an argument.

NAMES = ["a", "b", "x", "Self", "nobody", "h"]  # x is shared; h is hidden; nobody is no node
leaf_expression = st.one_of(
    st.sampled_from(["1", "2,5", "0", "15%", "1.234,5", "0,00000000001234", "1" + "0" * 400, "empty"]),
    *[st.builds(lambda word, index: word + ("" if index is None else f"[{index}]"), st.sampled_from(words),
                st.none() | st.integers(0, 3)) for words in [[f"@{name}" for name in NAMES], ["children", "right"]]],
    st.builds("{}(@{})".format, st.sampled_from(["total", "ratio"]), st.sampled_from(NAMES + ["x[2]"])))


def compound(inner):
    arguments = st.lists(inner, max_size=3).map("; ".join)
    condition = st.one_of(
        st.builds("{} {} {}".format, inner, st.sampled_from(["==", "!=", ">", "<", ">=", "<="]), inner), inner,
        st.builds("not {}".format, inner), st.builds("{} and {} or ({})".format, inner, inner, inner))
    return st.one_of(
        st.builds("{} {} {}".format, inner, st.sampled_from(["+", "-", "*", "/", "%", "^"]), inner),
        st.builds("{}{}".format, st.sampled_from(["-", "+"]), inner),
        st.builds("({})".format, inner),
        st.builds("{}({})".format, st.sampled_from(["abs", "round", "ceil", "floor", "log", "sign", "iferror"]), inner),
        st.builds("{}({}; {})".format, st.sampled_from(["round", "pow", "root", "log", "mod", "iferror"]), inner, inner),
        st.builds("{}({})".format, st.sampled_from(
            ["sum", "mult", "avg", "median", "stdev", "max", "min", "count", "coalesce"]), arguments),
        st.builds("if({}; {}; {})".format, condition, inner, inner),
        st.builds("when({}; {}; {}; {})".format, condition, inner, condition, inner),
        st.builds("when({}; {})".format, condition, inner),
    )


expressions = st.recursive(leaf_expression, compound, max_leaves=8)
formula_texts = st.one_of(st.builds("{}={}".format, st.sampled_from(["", "", " "]), expressions),
                          st.sampled_from(["", "7", "1,5", "15%", "Hello, world.", ".=x", "1e400", "nan", "=1 +"]))
addresses = st.sampled_from(["B2", "C3", "$D$4", "'My sheet'!E5", ""])
# Made once: strategies built inside the draws below would be analysed anew every time.
node_names = st.sampled_from(["a", "b", "x", "x", "Self", "h"])
formulas = formula_texts | st.lists(formula_texts, min_size=1, max_size=3)
node_cells = addresses.filter(bool) | st.lists(addresses, min_size=1, max_size=3)
child_counts = [st.integers(0, 2), st.integers(0, 2), st.just(0)]


@st.composite
def trees(draw):
    """Up to three levels of nodes named from NAMES, every node with cells."""
    def node(depth):
        name, formula, addresses = draw(node_names), draw(formulas), draw(node_cells)
        return N(name, formula, [node(depth + 1) for _ in range(draw(child_counts[depth]))], is_hidden=name == "h",
                 cells=addresses)
    return node(0)


@functools.lru_cache(maxsize=None)
def xlsx_tokens(formula):
    """The tokens of the formulas package's xlsx parser, which raises on a text that is no formula."""
    from formulas import Parser

    return tuple((type(token).__name__, str(token)) for token in Parser().ast(formula)[0])


def missing_arguments(tokens):
    """The functions written with an argument left out: NAME(), NAME(,x), NAME(x,)."""
    return [token for token in tokens if token[0] == "Empty"] + [
        text for (kind, text), following in zip(tokens, tokens[2:]) if kind == "Function" and following[1][0] == ")"]


@given(trees())
@settings(max_examples=examples(2000), deadline=None)
def test_every_exported_formula_parses_as_a_spreadsheet_formula(root):
    for node in pre_order(export_tree_to_excel(root)):
        for content in listed(node.cells):
            if content.startswith("="):
                assert missing_arguments(xlsx_tokens(content)) == [], content
