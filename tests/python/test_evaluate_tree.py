"""evaluate_tree: the node protocol, values written back, the in-place rule, faults,
depth and threads."""

import copy
import inspect
import threading

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import Boom, N, raising
from ostrel_formulas import evaluate_tree


def values(root):
    out = []
    stack = [root]
    while stack:
        node = stack.pop()
        out.append(node.value)
        stack.extend(reversed(node.children))
    return out


def test_signature():
    parameters = list(inspect.signature(evaluate_tree).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("root", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("in_place", inspect.Parameter.POSITIONAL_OR_KEYWORD, False),
    ]


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "evaluate_tree() missing required argument 'root' (pos 1)"),
        ((N("a"), True, 1), {}, "evaluate_tree() takes at most 2 positional arguments (3 given)"),
        ((N("a"),), {"in_place": None}, "evaluate_tree() argument 'in_place' must be bool, not NoneType"),
        ((N("a"),), {"in_place": 0}, "evaluate_tree() argument 'in_place' must be bool, not int"),
        ((N("a"), 1), {}, "evaluate_tree() argument 'in_place' must be bool, not int"),
        ((N("a"),), {"inplace": True}, "evaluate_tree() got an unexpected keyword argument 'inplace'"),
        ((N("a"), True), {"in_place": True}, "argument for evaluate_tree() given by name ('in_place') and position (2)"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        evaluate_tree(*args, **kwargs)
    assert str(raised.value) == message


def test_values_are_written_as_text_onto_a_copy():
    root = N("root", "=@a + @b", [N("a", "1"), N("b", "=@a * 2"), N("c", "=1/0"), N("d", "=(1"), N("e", "")])
    result = evaluate_tree(root)
    assert result is not root
    assert values(root) == [None] * 6
    assert values(result) == ["3", "1", "2", "VALUE!", "ERROR!", ""]
    assert all(type(v) is str for v in values(result))


def test_in_place_writes_onto_the_callers_objects():
    root = N("root", ["=@a", "=@a * 2"], [N("a", ["1", "2", "3"])])
    assert evaluate_tree(root, in_place=True) is root
    assert root.value == ["1", "4", ""]
    assert root.children[0].value == ["1", "2", "3"]
    assert evaluate_tree(root, True) is root


def test_write_back_shape_follows_the_values():
    root = N("root", "", [N("m", ["1", "1", "2"]), N("s", "=@m"), N("t", "=@k"), N("k", ["5", "5", "5"])])
    evaluate_tree(root, in_place=True)
    # A single formula whose values differ per dimension is written as a list; one whose
    # values agree stays one text.
    assert values(root) == ["", ["1", "1", "2"], ["1", "1", "2"], "5", ["5", "5", "5"]]


def test_reader_gets_each_dimensions_value_wherever_it_stands():
    root = N("root", "", [N("z", "=@y"), N("y", "=@m"), N("m", ["1", "5"])])
    evaluate_tree(root, in_place=True)
    assert root.children[0].value == ["1", "5"]


def test_numpy_like_bools_count_as_bools():
    numpy = pytest.importorskip("numpy")
    root = N("root", "=@a", [N("a", "1", is_hidden=numpy.bool_(True))])
    assert evaluate_tree(root, in_place=numpy.bool_(True)) is root
    assert root.value == "REF!"


class Minimal:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


@pytest.mark.parametrize(
    "attributes, expected",
    [
        ({"name": "a", "formula": "=1", "children": []}, "1"),
        ({"name": "a", "formula": ("=1", "2"), "children": []}, ["1", "2"]),
        ({"name": "a", "formula": [], "children": []}, []),
        ({"name": "a", "formula": "=1", "children": [], "id": 42, "cells": None}, "1"),
        ({"name": "a", "formula": "=1", "children": [], "cells": ["A1", 3]}, "1"),
    ],
)
def test_protocol_reads_attributes_with_defaults(attributes, expected):
    node = Minimal(**attributes)
    evaluate_tree(node, in_place=True)
    assert node.value == expected


def test_hidden_flag_other_than_bool_means_visible():
    root = N("root", "=@a", [Minimal(name="a", formula="7", children=[], is_hidden=1)])
    evaluate_tree(root, in_place=True)
    assert root.value == "7"


MISSING_NAME = (
    "Missing required attribute 'name'. Expected a Protocol-compatible object with name, formula, value, "
    "is_hidden, and children attributes"
)
MISSING_CHILDREN = (
    "Missing required attribute 'children'. Expected a Protocol-compatible object with name, formula, value, "
    "is_hidden, and children attributes"
)
FORMULA_TYPE = "Attribute 'formula' must be a string or list of strings"


@pytest.mark.parametrize(
    "attributes, error, message",
    [
        ({"formula": "", "children": []}, AttributeError, None),
        ({"name": 3, "formula": "", "children": []}, TypeError, MISSING_NAME),
        ({"name": "\ud800", "formula": "", "children": []}, TypeError, MISSING_NAME),
        ({"name": "a", "children": []}, AttributeError, None),
        ({"name": "a", "formula": None, "children": []}, TypeError, FORMULA_TYPE),
        ({"name": "a", "formula": 5, "children": []}, TypeError, FORMULA_TYPE),
        ({"name": "a", "formula": ["1", 2], "children": []}, TypeError, FORMULA_TYPE),
        ({"name": "a", "formula": {"1"}, "children": []}, TypeError, FORMULA_TYPE),
        ({"name": "a", "formula": {"x": "1"}, "children": []}, TypeError, FORMULA_TYPE),
        ({"name": "a", "formula": ""}, TypeError, MISSING_CHILDREN),
        ({"name": "a", "formula": "", "children": ()}, TypeError, "Attribute 'children' must be a list"),
        ({"name": 3}, TypeError, MISSING_NAME),
    ],
)
def test_protocol_errors(attributes, error, message):
    with pytest.raises(error) as raised:
        evaluate_tree(Minimal(**attributes))
    if message is not None:
        assert str(raised.value) == message


def test_attributes_are_read_in_protocol_order_once_each():
    seen = []

    class Watched:
        def __getattr__(self, name):
            raise AttributeError(name)

        def __getattribute__(self, name):
            if name in ("id", "name", "formula", "value", "is_hidden", "cells", "children"):
                seen.append(name)
            return {"id": "i", "name": "n", "formula": "1", "is_hidden": False, "cells": "A1", "children": []}.get(
                name
            ) if name != "value" else None

        def __setattr__(self, name, value):
            seen.append("set " + name)

    evaluate_tree(Watched(), in_place=True)
    assert seen == ["id", "name", "formula", "is_hidden", "cells", "children", "set value", "children"]


def test_children_lists_that_change_while_being_written():
    class Shrinking(N):
        pass

    root = N("root", "=1", [N("a", "=2", [N("x", "=3")]), N("b", "=4")])
    # Between reading and writing, one list becomes a tuple and another loses an element.
    original_setattr = N.__setattr__

    def setattr_hook(self, name, value):
        original_setattr(self, name, value)
        if name == "value" and self.name == "root":
            self.children[0].children = tuple(self.children[0].children)
            del self.children[1]

    Shrinking.__setattr__ = setattr_hook
    root.__class__ = Shrinking
    evaluate_tree(root, in_place=True)
    assert root.value == "1"
    assert root.children[0].value == "2"
    assert root.children[0].children[0].value is None
    assert len(root.children) == 1


def test_raising_getter_raises_and_changes_nothing():
    root = N("root", "=1", [raising("formula", Boom)("a")])
    with pytest.raises(Boom):
        evaluate_tree(root, in_place=True)
    assert root.value is None


def test_failing_write_in_place_keeps_earlier_updates():
    class Refuses(N):
        def __setattr__(self, name, value):
            if name == "value" and getattr(self, "armed", False):
                raise Boom("no")
            object.__setattr__(self, name, value)

    late = Refuses("b", "=2")
    late.armed = True
    root = N("root", "=1", [N("a", "=3"), late, N("c", "=4")])
    with pytest.raises(Boom):
        evaluate_tree(root, in_place=True)
    assert [root.value, root.children[0].value, late.value, root.children[2].value] == ["1", "3", None, None]
    # Without in_place the caller's objects are never written, whatever fails on the copy.
    root = N("root", "=1", [N("a", "=3"), late])
    with pytest.raises(Boom):
        evaluate_tree(root)
    assert values(root) == [None, None, None]


def test_deepcopy_failure_raises_and_in_place_still_works():
    class NoCopy(N):
        def __deepcopy__(self, memo):
            raise Boom("copy")

    root = N("root", "=1", [NoCopy("a", "=2")])
    with pytest.raises(Boom):
        evaluate_tree(root)
    assert values(root) == [None, None]
    assert evaluate_tree(root, in_place=True) is root
    assert values(root) == ["1", "2"]


def chain(length):
    children = [N(f"n{i}", f"=@n{i + 1}+1") for i in range(length - 1)] + [N(f"n{length - 1}", "1")]
    return N("root", "=@n0", children)


def test_long_reference_chain():
    root = chain(100_000)
    evaluate_tree(root, in_place=True)
    assert root.value == "100000"
    assert root.children[-2].value == "2"


def test_long_reference_chain_in_a_thread():
    root = chain(100_000)
    failures = []

    def work():
        try:
            evaluate_tree(root, in_place=True)
        except BaseException as e:  # reported below
            failures.append(e)

    thread = threading.Thread(target=work)
    thread.start()
    thread.join()
    assert failures == []
    assert root.value == "100000"


def test_self_containing_tree_raises_recursion_error():
    root = N("root", "=1")
    root.children.append(root)
    with pytest.raises(RecursionError):
        evaluate_tree(root, in_place=True)
    assert root.value is None


def test_tree_deeper_than_the_recursion_limit_raises():
    import sys

    depth = sys.getrecursionlimit() + 10
    root = N("n0", "=1")
    at = root
    for i in range(depth):
        at.children.append(N(f"n{i + 1}", "=1"))
        at = at.children[0]
    with pytest.raises(RecursionError):
        evaluate_tree(root, in_place=True)
    assert root.value is None


def test_deep_tree_within_the_limit():
    import sys

    depth = sys.getrecursionlimit() - 50
    root = N("n0", "=sum(children) + 1")
    at = root
    for i in range(depth):
        at.children.append(N(f"n{i + 1}", "=sum(children) + 1"))
        at = at.children[0]
    evaluate_tree(root, in_place=True)
    assert root.value == str(depth + 1)


def test_threads_give_the_same_values_as_sequential_calls():
    def tree(seed):
        return N(
            "root",
            [f"=sum(children) * {seed}", "=@x[1] + right[1]", "=ratio(@x)"],
            [N("x", [str(seed), str(seed * 2), "=@y"]), N("y", "=total(@x) + 1"), N("x", "=@y * 3")],
        )

    expected = [values(evaluate_tree(tree(seed))) for seed in range(8)]
    results = [None] * 8

    def work(seed):
        for _ in range(50):
            results[seed] = values(evaluate_tree(tree(seed)))

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected


def test_copy_is_made_with_deepcopy_hooks():
    calls = []

    class Counted(N):
        def __deepcopy__(self, memo):
            calls.append(self.name)
            clone = Counted(self.name, self.formula, copy.deepcopy(self.children, memo))
            return clone

    root = Counted("root", "=1")
    result = evaluate_tree(root)
    assert calls == ["root"] and result.value == "1" and root.value is None


@pytest.mark.parametrize(
    "root, expected",
    [
        # A cycle's placeholder in a later dimension is evaluated again.
        (N("X", ["=iferror(@Y;5)"] * 3, [N("Y", "=@X")]), [["5", "5", "5"], ["REF!", "5", "5"]]),
        # One formula text with equal values is one text, whoever read it first.
        (N("A", ["1", "=@B"], [N("B", "=5")]), [["1", "5"], "5"]),
        (N("A", ["", "=@B"], [N("B", "")]), [["", ""], ""]),
        (N("C", "=@C", [N("C", ["", ""])]), ["MANY!", ["", ""]]),
        (N("C", ["1", "=@B[2]"], [N("B", "=total(@B[2])"), N("B", "=sum(@B)")]), [["1", "REF!"], "REF!", "REF!"]),
    ],
)
def test_results_do_not_depend_on_when_a_dimension_was_read(root, expected):
    assert values(evaluate_tree(root)) == expected


# Trees without cycles or duplicate names: node i may read only nodes numbered below i, so
# no order of evaluation can change what anybody computes.
@st.composite
def acyclic_trees(draw):
    count = draw(st.integers(1, 9))
    parents = [None] + [draw(st.integers(0, i - 1)) for i in range(1, count)]
    children = [[j for j in range(count) if parents[j] == i] for i in range(count)]
    dims = draw(st.integers(1, 3))

    def term(i, right):
        lower = [f"@n{j}" for j in range(i)]
        options = [st.sampled_from(["1", "2", "0,5"])]
        if lower:
            options.append(st.sampled_from(lower))
            options.append(st.sampled_from(lower).map(lambda r: f"total({r})"))
            options.append(st.sampled_from(lower).map(lambda r: f"if({r} > 1; 3; {r})"))
        if children[i] and all(c < i for c in children[i]):
            options.append(st.just("sum(children)"))
        if right:
            options.append(st.just("sum(right)"))
        return draw(st.one_of(options))

    def formula(i, right):
        return "=" + " + ".join(term(i, right) for _ in range(draw(st.integers(1, 3))))

    formulas = []
    for i in range(count):
        if draw(st.booleans()):
            formulas.append(formula(i, False))
        else:
            formulas.append([formula(i, True) for _ in range(draw(st.integers(0, dims)))])
    return parents, formulas


def build(parents, formulas, order):
    nodes = [N(f"n{i}", f) for i, f in enumerate(formulas)]
    for i in order:
        if parents[i] is not None:
            nodes[parents[i]].children.append(nodes[i])
    return nodes


@given(acyclic_trees(), st.randoms(use_true_random=False))
@settings(max_examples=300, deadline=None)
def test_sibling_order_changes_no_value_or_shape(tree, random):
    parents, formulas = tree
    order = list(range(len(formulas)))
    shuffled = order[:]
    random.shuffle(shuffled)
    first = build(parents, formulas, order)
    second = build(parents, formulas, shuffled)
    evaluate_tree(first[0], in_place=True)
    evaluate_tree(second[0], in_place=True)
    assert [n.value for n in second] == [n.value for n in first]
