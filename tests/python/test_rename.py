"""rename_nodes: formulas written back as text, the old tree read first and never written,
and properties over random edits. The rename rules are tested in the core."""

import copy
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import Boom, N, pre_order, raising
from ostrel_formulas import evaluate_tree, get_tokens, rename_nodes


def formulas(root):
    return [node.formula for node in pre_order(root)]


def pair(old_names, new_names, formula):
    """Two flat trees of (id, name) children; the new root carries `formula`."""
    old = N("root", "", [N(name, id=i) for i, name in old_names], id="root")
    new = N("root", formula, [N(name, id=i) for i, name in new_names], id="root")
    return old, new


@pytest.mark.parametrize(
    "old_names, new_names, formula, expected",
    [
        ([("7", "Cost")], [("7", "Unit cost")], " =@Cost*2 # x", " =@{Unit cost}*2 # x"),
        ([("1", "A"), ("2", "B")], [("1", "B"), ("2", "A")], ("=@A-@B", "=right"), ["=@B-@A", "=right"]),
    ],
)
def test_formulas_follow_the_edit_and_are_written_as_text(old_names, new_names, formula, expected):
    old, new = pair(old_names, new_names, formula)
    saved = copy.deepcopy(new)
    result = rename_nodes(old, new)
    assert result is not new and result.formula == expected
    assert formulas(new) == formulas(saved)
    assert rename_nodes(new_root=new, old_root=old, in_place=True) is new and new.formula == expected


class Watched(N):
    """Records every attribute assignment made after it was built."""

    def __setattr__(self, name, value):
        self.__dict__.setdefault("writes", []).append(name)
        object.__setattr__(self, name, value)


@pytest.mark.parametrize("in_place", [False, True])
def test_old_root_is_never_written(in_place):
    old = Watched("root", "=@A", [Watched("A", "=1", id="1")])
    for node in pre_order(old):
        node.writes.clear()
    rename_nodes(old, N("root", "=@A", [N("B", "=1", id="1")]), in_place=in_place)
    assert [node.writes for node in pre_order(old)] == [[], []]


RaisingFormula = raising("formula", Boom)


def test_old_tree_is_read_first_and_lookup_errors_pass_unchanged():
    with pytest.raises(Boom):
        rename_nodes(N("r", "", [RaisingFormula("a")]), N("r", 5))
    with pytest.raises(TypeError, match="Attribute 'formula'"):
        rename_nodes(N("r", 5), N("r", "", [RaisingFormula("a")]))


def test_formulas_of_any_content_do_not_raise():
    junk = ["=" + "(" * 50_000 + "@A", "@{" * 100_000, "=children[ 2 ]+@A", "=@{a}b}+@A", "\x00@A", "=" + "@A+" * 300_000]
    old, new = pair([("1", "A")], [("1", "B")], "")
    new.children += [N(f"j{i}", f, id=f"j{i}") for i, f in enumerate(junk)]
    assert [c.formula for c in rename_nodes(old, new).children[1:]] == [f.replace("@A", "@B") for f in junk]


# Random edits over a small pool of names, whose preferred reference forms are fixed here,
# independently of the module.
FORMS = {"A": "@A", "B": "@B", "Unit cost": "@{Unit cost}", "x[1]": "@{x[1]}", "a}b": None}


@st.composite
def edits(draw):
    """An old tree, as (id, name, hidden) nodes and parent positions, and a new one made
    from it by renames, removals, additions, moves and hidden flags. Ids are unique."""
    names = st.sampled_from(list(FORMS))
    old = [(str(i), draw(names), draw(st.integers(0, 3)) == 0) for i in range(draw(st.integers(1, 10)))]
    new = []
    for id_, name, hidden in old:
        if draw(st.integers(0, 4)) > 0:
            new.append((id_, draw(names) if draw(st.integers(0, 2)) == 0 else name, hidden ^ (draw(st.integers(0, 4)) == 0)))
    new += [(f"new{k}", draw(names), False) for k in range(draw(st.integers(0, 3)))]
    new = draw(st.permutations(new))

    def parents(nodes):
        return [draw(st.integers(-1, i - 1)) for i in range(len(nodes))]

    return (old, parents(old)), (new, parents(new))


def build(shape, formula_of, extra=()):
    nodes, parents = shape
    root = N("Root", "", id="root", is_hidden=True)
    hosts = [N(name, formula_of(id_), id=id_, is_hidden=hidden) for id_, name, hidden in nodes]
    for host, parent in zip(hosts, parents):
        (root if parent < 0 else hosts[parent]).children.append(host)
    root.children.extend(extra)
    return root


def references(root):
    """Each visible node's preferred reference text by id (None for a name without one)."""
    visible = [node for node in pre_order(root) if not node.is_hidden]
    out = {}
    for node in visible:
        same = [n for n in visible if n.name == node.name]
        form = FORMS[node.name]
        out[node.id] = form + f"[{same.index(node) + 1}]" if form and len(same) > 1 else form
    return out


def value_of(id_):
    return str(1000 + int(id_)) if id_.isdigit() else str(5000 + int(id_[3:]))


@given(edits())
@settings(max_examples=400, deadline=None)
def test_references_keep_their_node_or_become_errors(edit):
    """Each old node's reference, probed from a hidden node (which takes no part), still reads
    that node's value after renaming when the node was kept; otherwise it reads an error or
    a node new to the tree, never another node that was there before."""
    old_shape, new_shape = edit
    old = build(old_shape, value_of)
    probes = {id_: text for id_, text in references(old).items() if text is not None}
    extra = {id_: N("probe", f"={text}", id=f"probe{id_}", is_hidden=True) for id_, text in probes.items()}
    new = build(new_shape, value_of, extra.values())
    kept = {id_ for id_, _, hidden in new_shape[0] if not hidden} & set(references(old))
    only_new = {value_of(id_) for id_, _, _ in new_shape[0] if id_ not in {i for i, _, _ in old_shape[0]}}
    rename_nodes(old, new, in_place=True)
    evaluate_tree(new, in_place=True)
    new_texts = references(new)
    for id_, probe in extra.items():
        if id_ in kept:
            text = new_texts[id_]
            assert probe.formula == (f"={text}" if text else "=REF!")
            assert text is None or probe.value == value_of(id_)
        elif probe.formula != "=REF!":
            assert probe.formula == f"={probes[id_]}"
            assert probe.value in only_new | {"REF!", "MANY!"}, (probe.formula, probe.value)


PIECES = [" ", "\t", "+", "*2", "(", ")", "# ", "children", "right", "sum(", ";", "1,5", "{", "}", "[", "]", "[2]",
          "@", "x", "=", "@A", "@A[2]", "@B", "@B[1]", "@{Unit cost}", "@{Unit cost}[3]", "@{x[1]}", "@{A}", "@AB",
          "@{a}b}", "REF!"]
formula_texts = st.lists(st.sampled_from(PIECES), max_size=12).map("".join)
REPLACEMENTS = {"REF!"} | {form + index for form in FORMS.values() if form for index in [""] + [f"[{i}]" for i in range(1, 20)]}


@given(edits(), st.data())
@settings(max_examples=300, deadline=None)
def test_every_byte_outside_reference_tokens_survives(edit, data):
    old_shape, new_shape = edit
    texts = {id_: data.draw(formula_texts) for id_, _, _ in new_shape[0]}
    new = build(new_shape, lambda id_: texts[id_])
    rename_nodes(build(old_shape, lambda _: ""), new, in_place=True)
    for node in list(pre_order(new))[1:]:
        before = texts[node.id]
        # The formula cut at its reference tokens: the pieces between come out as they were.
        pattern, kept_from, position = "", 0, 0
        for text, kind in get_tokens(before):
            start = before.index(text, position)
            position = start + len(text)
            if kind == "nodereference" and text.startswith("@"):
                choices = "|".join(map(re.escape, {text} | REPLACEMENTS))
                pattern += re.escape(before[kept_from:start]) + f"({choices})"
                kept_from = position
        assert re.fullmatch(pattern + re.escape(before[kept_from:]), node.formula, re.DOTALL), (before, node.formula)


@given(edits(), st.data())
@settings(max_examples=300, deadline=None)
def test_renaming_without_a_change_changes_no_formula(edit, data):
    old_shape, _ = edit
    texts = {id_: data.draw(formula_texts) for id_, _, _ in old_shape[0]}
    old = build(old_shape, lambda id_: texts[id_])
    assert formulas(rename_nodes(old, build(old_shape, lambda id_: texts[id_]))) == formulas(old)
