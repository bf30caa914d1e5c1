"""evaluate_tree, and the node protocol every tree function shares: attributes read, fields written back under the
in-place rule, host faults, depth and threads."""

import copy
import sys
from concurrent.futures import ThreadPoolExecutor
from types import SimpleNamespace as Minimal

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import WRITERS, Boom, N, NoCopy, examples, pre_order, raising, reference_chain, refusing, tree_calls
from ostrel_formulas import evaluate_tree, expand_tree_formulas


def values(root):
    return [node.value for node in pre_order(root)]


def test_values_are_written_as_text_onto_a_copy_or_in_place():
    root = N("root", "=@a + @b", [N("a", "1"), N("b", "=@a * 2"), N("c", "=1/0"), N("d", "=(1"), N("e", "")])
    result = evaluate_tree(root)
    assert result is not root and values(root) == [None] * 6
    assert values(result) == ["3", "1", "2", "VALUE!", "ERROR!", ""] and all(type(v) is str for v in values(result))
    root = N("root", ["=@a", "=@a * 2"], [N("a", ("1", "2", "3"))])
    assert evaluate_tree(root, True) is root
    assert root.value == ["1", "4", ""] and root.children[0].value == ["1", "2", "3"]


@pytest.mark.parametrize("children, expected", [
    # A single formula still being evaluated in one dimension while references finish its
    # other dimensions, some twice: its parsed form must outlive them all.
    ([N("N", "=@A + 10"), N("A", ["1", "=@C", "2", "1"]), N("C", ["0", "=right[2] + right[1] + @E", "=@N", "=@N"]),
      N("E", ["0", "=right[2] + @F", "0", "=@N"]), N("B", "5"), N("F", "=@B + 99")], ["11", "148", "12", "11"]),
    ([N("N", "=iferror(@X; 0) + 1"), N("X", ["0", "=right[1] + iferror(@N; 0) + @Z", "=@N"]),
      N("Z", ["0", "=right[1]", "=@N"])], ["1", "4", "2"]),
])
def test_tangled_dimensions_keep_their_values(children, expected):
    for _ in range(20):  # a freed parse reused by another gave wrong values only now and then
        assert evaluate_tree(N("R", "0", copy.deepcopy(children))).children[0].value == expected


@pytest.mark.parametrize("attributes, expected", [
    ({"formula": "=@a"}, "7"),
    ({"formula": ("=@a", "2")}, ["7", "2"]),
    ({"formula": []}, [""]),  # the tree's one dimension
    ({"formula": "=1", "id": 42, "cells": ["A1", 3]}, "1"),
])
def test_protocol_reads_attributes_with_defaults(attributes, expected):
    node = Minimal(name="n", children=[], **attributes)  # its sibling's hidden flag is not a bool: visible
    root = N("r", "", [node, Minimal(name="a", formula="7", children=[], is_hidden=1)])
    evaluate_tree(root, in_place=True)
    assert node.value == expected


MISSING = ("Missing required attribute '{}'. Expected a Protocol-compatible object with name, formula, value, "
           "is_hidden, and children attributes")
FORMULA_TYPE = "Attribute 'formula' must be a string or list of strings"
NAME_TYPE = "Attribute 'name' must be a string"


@pytest.mark.parametrize("attributes, error, message", [
    ({"formula": "", "children": []}, AttributeError, None),
    ({"name": 3, "formula": "", "children": []}, TypeError, NAME_TYPE),
    ({"name": None, "formula": "", "children": []}, TypeError, NAME_TYPE),
    ({"name": "\ud800", "formula": "", "children": []}, UnicodeEncodeError, None),
    ({"name": "a", "formula": ["1", "\udfff"], "children": []}, UnicodeEncodeError, None),
    ({"name": "a", "children": []}, AttributeError, None),
    ({"name": "a", "formula": 5, "children": []}, TypeError, FORMULA_TYPE),
    ({"name": "a", "formula": ["1", 2], "children": []}, TypeError, FORMULA_TYPE),
    ({"name": "a", "formula": {"x": "1"}, "children": []}, TypeError, FORMULA_TYPE),
    ({"name": "a", "formula": ""}, TypeError, MISSING.format("children")),
    ({"name": "a", "formula": "", "children": ()}, TypeError, "Attribute 'children' must be a list"),
])
def test_protocol_errors(attributes, error, message):
    with pytest.raises(error) as raised:
        evaluate_tree(Minimal(**attributes))
    if message is not None:
        assert str(raised.value) == message


@pytest.mark.parametrize("function", tree_calls())
@pytest.mark.parametrize("bad, error, note", [
    (Minimal(name="x", formula=5, children=[]), TypeError, "while reading the node {path}, named 'x'"),
    (Minimal(name=7, formula="", children=[]), TypeError, "while reading the node {path}"),
    (raising("cells", KeyboardInterrupt)("x", ""), KeyboardInterrupt, "while reading the node {path}, named 'x'"),
])
def test_errors_name_the_node_they_concern(function, bad, error, note):
    root = N("r", "", [N("a", ""), N("b", "", [N("c", ""), bad])])
    with pytest.raises(error) as raised:
        tree_calls()[function](root)
    root_name = {"rename_nodes (old tree)": "old_root", "rename_nodes (new tree)": "new_root"}.get(function, "root")
    assert getattr(raised.value, "__notes__", []) == [note.format(path=root_name + ".children[1].children[1]")]


def test_attributes_are_read_in_protocol_order_once_each():
    seen = []
    attributes = {"id": "i", "name": "n", "formula": "1", "is_hidden": False, "cells": "A1", "children": []}

    class Watched:
        def __getattribute__(self, name):
            seen.append(name)
            return attributes.get(name)

        def __setattr__(self, name, value):
            seen.append("set " + name)

    evaluate_tree(Watched(), in_place=True)
    assert seen == ["id", "name", "formula", "is_hidden", "cells", "children", "set value", "children"]


def test_children_lists_that_change_while_being_written():
    class Shrinking(N):
        def __setattr__(self, name, value):
            object.__setattr__(self, name, value)
            # Between reading and writing, one list becomes a tuple and another loses an element.
            if name == "value" and self.__dict__.get("armed"):
                self.children[0].children = tuple(self.children[0].children)
                del self.children[1]

    root = Shrinking("root", "=1", [N("a", "=2", [N("x", "=3")]), N("b", "=4")])
    root.armed = True
    evaluate_tree(root, in_place=True)
    assert (root.value, root.children[0].value, root.children[0].children[0].value) == ("1", "2", None)
    assert len(root.children) == 1


@pytest.mark.parametrize("field, written", [("value", "REF!"), ("formula", "=@X"), ("cells", "REF!")])
def test_a_failing_write_keeps_earlier_updates_in_place_and_none_on_a_copy(field, written):
    def tree():
        late = refusing(field, Boom)("b", "=@A", cells="B1")
        return N("r", "=@A", [N("X", "=@A", id="1", cells="A1"), late, N("c", "=@A", cells="C1")], id="0", cells="R1")

    def fields(root):
        return [getattr(node, field) for node in [root, *root.children]]

    root = tree()
    before = fields(root)
    with pytest.raises(Boom) as raised:
        WRITERS[field](root, True)
    assert fields(root) == [written, written, *before[2:]]
    path = ("new_root" if field == "formula" else "root") + ".children[1]"
    assert getattr(raised.value, "__notes__", []) == [f"while writing '{field}' to the node {path}, named 'b'"]
    root = tree()
    with pytest.raises(Boom):
        WRITERS[field](root, False)
    assert fields(root) == before


@pytest.mark.parametrize("field, written", [("value", "REF!"), ("formula", "=@X"), ("cells", "REF!"), (None, None)])
def test_a_failing_copy_raises_and_in_place_still_works(field, written):
    root = N("r", "=@A", [NoCopy("X", "1", id="1", cells="A1")], id="0", cells="R1")
    call = WRITERS[field] if field else lambda root, in_place: expand_tree_formulas(root)
    with pytest.raises(Boom):
        call(root, False)
    assert (root.value, root.formula, root.cells) == (None, "=@A", "R1")
    if field:
        assert call(root, True) is root and getattr(root, field) == written


def chain(depth, formula, **fields):
    """A root over `depth` nodes each the only child of the one before (the last: its own child for depth -1)."""
    root = at = N("n0", formula, **fields)
    for i in range(depth):
        at.children.append(N(f"n{i + 1}", formula, **fields))
        at = at.children[0]
    at.children += [root] if depth < 0 else []
    return root


@pytest.mark.parametrize("function", tree_calls())
@pytest.mark.parametrize("depth", [sys.getrecursionlimit() + 10, -1], ids=["too deep", "containing itself"])
def test_trees_too_deep_or_containing_themselves_raise_recursion_error(function, depth):
    root = chain(depth, "=@n1", cells="A1")
    with pytest.raises(RecursionError):
        tree_calls()[function](root)
    assert (root.value, root.formula, root.cells) == (None, "=@n1", "A1")


def test_deep_tree_within_the_limit():
    root = chain(depth := sys.getrecursionlimit() - 50, "=sum(children) + 1")
    assert evaluate_tree(root, in_place=True).value == str(depth + 1)


def run_threads(work, count):
    with ThreadPoolExecutor(count) as pool:
        list(pool.map(work, range(count)))


def test_long_reference_chain_in_a_thread():
    root = reference_chain(100_000)
    run_threads(lambda _: evaluate_tree(root, in_place=True), 1)
    assert root.value == "100000"


def test_threads_give_the_same_values_as_sequential_calls():
    def tree(seed):
        return N("root", [f"=sum(children) * {seed}", "=@x[1] + right[1]", "=ratio(@x)"],
                 [N("x", [str(seed), str(seed * 2), "=@y"]), N("y", "=total(@x) + 1"), N("x", "=@y * 3")])

    expected = [values(evaluate_tree(tree(seed))) for seed in range(8)]
    results = [None] * 8

    def work(seed):
        for _ in range(50):
            results[seed] = values(evaluate_tree(tree(seed)))

    run_threads(work, 8)
    assert results == expected


# Trees without cycles or duplicate names: node i reads only nodes numbered below it, its children number above it.
@st.composite
def acyclic_trees(draw):
    count, dims = draw(st.integers(1, 9)), draw(st.integers(1, 3))

    def formula(i, right):
        lower = st.sampled_from([f"@n{j}" for j in range(i)] or ["1"])
        term = st.one_of([st.sampled_from(["1", "2", "0,5"]), lower, lower.map("total({})".format),
                          lower.map(lambda r: f"if({r} > 1; 3; {r})")] + ([st.just("sum(right)")] if right else []))
        return "=" + " + ".join(draw(term) for _ in range(draw(st.integers(1, 3))))

    return [None] + [draw(st.integers(0, i - 1)) for i in range(1, count)], [
        formula(i, False) if draw(st.booleans()) else [formula(i, True) for _ in range(draw(st.integers(0, dims)))]
        for i in range(count)]


@given(acyclic_trees(), st.randoms(use_true_random=False))
@settings(max_examples=examples(300), deadline=None)
def test_sibling_order_changes_no_value_or_shape(tree, random):
    parents, formulas = tree
    runs = []
    for order in [range(len(formulas)), random.sample(range(len(formulas)), len(formulas))]:
        nodes = [N(f"n{i}", f) for i, f in enumerate(formulas)]
        for i in order:
            if parents[i] is not None:
                nodes[parents[i]].children.append(nodes[i])
        evaluate_tree(nodes[0], in_place=True)
        runs.append([n.value for n in nodes])
    assert runs[1] == runs[0]
