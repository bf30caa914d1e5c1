"""Expansion and explanation never change a value: on acyclic trees every node of the expanded tree, and a node
given its explained formula, evaluates as in the tree in every dimension (an error stays an error of any kind: a
reference turns each into REF!). A longer run: OSTREL_EXPANSION_PROFILE=expansion-long pytest <this file>."""

import copy
import os

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from conftest import ERRORS, N, examples, pre_order
from ostrel_formulas import evaluate_tree, expand_tree_formulas, explain_node

settings.register_profile("expansion", max_examples=examples(2_000), deadline=None,
                          suppress_health_check=[HealthCheck.too_slow])
settings.register_profile("expansion-long", settings.get_profile("expansion"), max_examples=20_000)
PROFILE = settings.get_profile(os.environ.get("OSTREL_EXPANSION_PROFILE", "expansion"))

# Names that several nodes may share ("Unit cost" needs braces); Z is borne by no node.
SHARED = ["A", "B", "Unit cost"]
NUMBERS = ["1,5", "2.25", "3", "10%", "1.234,5", "0", "7"]


def reference(name):
    return "@{" + name + "}" if " " in name else "@" + name


def values(root):
    """Every node's value in every dimension, in pre-order; any error reads "error"."""
    m = max(len(n.formula) if isinstance(n.formula, list) else 1 for n in pre_order(root))
    return [["error" if v in ERRORS else v for v in (node.value if isinstance(node.value, list) else [node.value] * m)]
            for node in pre_order(root)]


def assert_values_kept(tree):
    expected = values(evaluate_tree(tree))
    expanded = expand_tree_formulas(tree)
    assert values(evaluate_tree(expanded)) == expected, [n.formula for n in pre_order(expanded)]
    for i, node in enumerate(pre_order(tree)):
        explained = explain_node(tree, node.id)
        changed = copy.deepcopy(tree)
        list(pre_order(changed))[i].formula = explained["formula"]
        assert values(evaluate_tree(changed))[i] == expected[i], (node.name, explained["formula"])


def pick(draw, options):
    return options[draw(st.integers(0, len(options) - 1))]


def expression(draw, atoms, lists, depth):
    """An expression over atoms in groups each as likely as the others; `lists` give several values."""
    shape = draw(st.integers(-3, 8)) if depth > 0 else 0

    def sub():
        return expression(draw, atoms, lists, depth - 1)

    def spread():
        # A term of several values, a single reference, or anything.
        return pick(draw, [lambda: pick(draw, lists), lambda: pick(draw, atoms[1]), sub])()

    def condition():
        return pick(draw, [lambda: sub() + pick(draw, [" > ", " <= ", " == "]) + sub(),
                           lambda: sub() + pick(draw, [" and ", " or "]) + sub(), lambda: "not " + sub()])()

    return [lambda: pick(draw, pick(draw, atoms)), lambda: sub() + pick(draw, [" + ", " - ", "*", " / "]) + sub(),
            lambda: "sum(" + "; ".join(spread() for _ in range(draw(st.integers(1, 3)))) + ")",
            lambda: pick(draw, ["count", "coalesce", "max"]) + "(" + spread() + ")",
            lambda: f"iferror({spread()}; {sub()})", lambda: f"if({condition()}; {spread()}; {sub()})",
            lambda: f"({spread()})", lambda: "-" + sub(), spread][max(shape, 0)]()


@st.composite
def trees(draw):
    count, depth, parents = draw(st.integers(1, 10)), [0], [None]
    for i in range(1, count):
        d = draw(st.integers(1, depth[-1] + 1))
        parents.append(max(j for j in range(i) if depth[j] == d - 1))
        depth.append(d)
    names = [pick(draw, SHARED) if draw(st.booleans()) else f"N{i}" for i in range(count)]
    hidden = [draw(st.integers(0, 5)) == 0 for _ in range(count)]
    children = [[j for j in range(count) if parents[j] == i] for i in range(count)]
    bearers = {name: [j for j in range(count) if names[j] == name and not hidden[j]] for name in sorted(set(names) | {"Z"})}

    nodes = []
    for i in range(count):
        # References to nodes after this one only: names all of whose bearers follow it (or none), single ones by index.
        names_after = [reference(n) for n, b in bearers.items() if all(j > i for j in b)]
        indexed = [f"{reference(names[j])}[{bearers[names[j]].index(j) + 1}]" for j in range(i + 1, count)
                   if not hidden[j]] + [reference(names[i]) + "[9]"]
        singles = [r for r in names_after if len(bearers[r.strip("@{}")]) <= 1] + indexed
        modified = [f"{m}({r})" for m in ("total", "ratio") for r in names_after + indexed]
        lists = [r for r in names_after if r not in singles] or ["children", "right"]
        words = [f"children[{k}]" for k in range(1, len(children[i]) + 2)]
        atoms = [NUMBERS, singles, modified, words + ["children", "right[1]", "right[2]", "right", "empty"], lists]

        def formula():
            kind = draw(st.integers(0, 9))
            if kind == 0:
                return pick(draw, NUMBERS + [""])
            if kind <= 3:  # the plain shapes: one reference, alone or in a call
                call = pick(draw, ["{}", "sum({})", "iferror({}; 1)", "count({}; 2)", "{} * 2 - 1", "2 / {}"])
                return "=" + call.format(pick(draw, pick(draw, [singles, lists])))
            text = "=" + expression(draw, atoms, lists, 2)
            return {4: " " + text, 5: text + " +"}.get(kind, text)

        # Mostly one to three formulas in a list, now and then none.
        length = 0 if draw(st.integers(0, 7)) == 7 else draw(st.integers(1, 3))
        texts = formula() if draw(st.booleans()) else [formula() for _ in range(length)]
        nodes.append(N(names[i], texts, id=str(i), is_hidden=hidden[i]))
    for i in range(1, count):
        nodes[parents[i]].children.append(nodes[i])
    return nodes[0]


@given(trees())
@PROFILE
def test_expansion_and_explanation_keep_every_value(tree):
    assert_values_kept(tree)


# The cases that each rule of expansion answers.
ROWS = {
    # A modifier names a node: its argument is never expanded.
    "total and ratio": N("r", "", [N("S", "=@A*2"), N("A", ["1", "2"]), N("T", "=total(@S) + ratio(@S)")]),
    # A single formula holds in every dimension: it takes in no per-dimension formula.
    "single over a list": N("r", "", [N("Y", "=@X*10"), N("X", ["=@A", "=@B"]), N("A", "1"), N("B", "2")]),
    # right and children mean other nodes elsewhere.
    "right": N("r", "", [N("o", ["=@s*2", "5"]), N("s", ["=right[1] + 1", "10"])]),
    "children of a leaf": N("r", "", [N("Q", "=@P", [N("k", "5")]), N("P", "=sum(children)")]),
    "children left as written": N("r", "", [N("Q", "=@P*2"), N("P", "=children + 1", [N("k", "5")])]),
    # Each child as a reference that selects exactly it.
    "shared child name": N("r", "", [N("p", "=sum(children)", [N("A", "=@X")]), N("A", "1"), N("X", "2")]),
    "hidden child": N("r", "", [N("p", "=sum(children)", [N("A", "3", is_hidden=True), N("B", "2")])]),
    "child without a reference form": N("r", "", [N("p", "=sum(children)", [N("a}b", "3")])]),
    # Formulas that do not parse, or give several values, are not taken in.
    "no parse": N("r", "", [N("Y", "=@A+1"), N("A", "@X*2"), N("X", "5")]),
    "several values": N("r", "", [N("Y", "=sum(@M)"), N("M", "=iferror(@A; 0)"), N("A", "1"), N("A", "2")]),
    "children outside a call": N("r", "", [N("Y", "=iferror(@P; 4)"), N("P", "=children", [N("a", "1"), N("b", "2")])]),
}


@pytest.mark.parametrize("tree", ROWS.values(), ids=ROWS.keys())
def test_expansion_keeps_the_value_of(tree):
    for i, node in enumerate(pre_order(tree)):
        node.id = str(i)
    assert_values_kept(tree)


def test_explanation_lists_every_node_the_value_rests_on():
    tree = N("r", "", [
        N("T", "=@Salary[1] + sum(@C) + @Salary[2]", id="t"), N("Salary", "=@X", id="s1"), N("Salary", "5", id="s2"),
        N("C", "1", id="c1"), N("C", "2", id="c2"), N("X", "4", id="x"),
    ])
    explained = explain_node(tree, "t")
    assert explained["formula"] == "=(@X) + sum(@C) + @Salary[2]"
    assert [child["id"] for child in explained["children"]] == ["x", "c1", "c2", "s2"]
