"""rename_nodes: formulas written back as text, the old tree read first and never written, and properties over
random edits (the rules themselves are tested in the core)."""

import copy
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import ERRORS, Boom, N, cut_at_references, examples, pre_order, raising, refusing
from ostrel_formulas import evaluate_tree, rename_nodes


def formulas(root):
    return [node.formula for node in pre_order(root)]


def pair(old_names, new_names, formula):
    """Two flat trees of (id, name) children; the new root carries `formula`."""
    return [N("root", f, [N(name, id=i) for i, name in names], id="root") for f, names in [("", old_names),
                                                                                           (formula, new_names)]]


@pytest.mark.parametrize("old_names, new_names, formula, expected", [
    ([("7", "Cost")], [("7", "Unit cost")], " =@Cost*2 # x", " =@{Unit cost}*2 # x"),
    ([("1", "A"), ("2", "B")], [("1", "B"), ("2", "A")], ("=@A-@B", "=right"), ["=@B-@A", "=right"]),
])
def test_formulas_follow_the_edit_and_are_written_as_text(old_names, new_names, formula, expected):
    old, new = pair(old_names, new_names, formula)
    saved = copy.deepcopy(new)
    result = rename_nodes(old, new)
    assert result is not new and result.formula == expected
    assert formulas(new) == formulas(saved)
    assert rename_nodes(new_root=new, old_root=old, in_place=True) is new and new.formula == expected


@pytest.mark.parametrize("in_place", [False, True])
def test_old_root_is_never_written(in_place):
    Old = refusing("formula", Boom)  # any write to the old tree raises
    rename_nodes(Old("root", "=@A", [Old("A", "=1", id="1")]), N("root", "=@A", [N("B", "=1", id="1")]), in_place=in_place)


def test_old_tree_is_read_first_and_lookup_errors_pass_unchanged():
    with pytest.raises(Boom):
        rename_nodes(N("r", "", [raising("formula", Boom)("a")]), N("r", 5))
    with pytest.raises(TypeError, match="Attribute 'formula'"):
        rename_nodes(N("r", 5), N("r", "", [raising("formula", Boom)("a")]))


def test_formulas_of_any_content_do_not_raise():
    junk = ["=" + "(" * 50_000 + "@A", "@{" * 100_000, "=children[ 2 ]+@A", "=@{a}b}+@A", "\x00@A", "=" + "@A+" * 300_000]
    old, new = pair([("1", "A")], [("1", "B")], "")
    new.children += [N(f"j{i}", f, id=f"j{i}") for i, f in enumerate(junk)]
    assert [c.formula for c in rename_nodes(old, new).children[1:]] == [f.replace("@A", "@B") for f in junk]


# A pool of names and their reference forms without an index, the preferred first, fixed here.
WHOLE_FORMS = {"A": ["@A", "@{A}"], "B": ["@B", "@{B}"], "Unit cost": ["@{Unit cost}"], "x[1]": ["@{x[1]}"], "a}b": []}
FORMS = {name: forms[0] if forms else None for name, forms in WHOLE_FORMS.items()}
MISSING = object()  # an id kind: no attribute at all
BAD_IDS = [MISSING, None, "", "\ud800", 7, 7.0, b"raw"]


@st.composite
def followed_edits(draw):
    """Inputs (key, name, hidden, id) and formula nodes of an old tree; the new tree's inputs by renames (to shared
    names, names needing braces or without a form), removals, hiding, additions and moves. In messy trees some ids are
    missing, not a str, empty, lone surrogates, or shared."""
    names, messy = st.sampled_from(list(FORMS)), draw(st.booleans())

    def id_for(key, taken):
        if not messy or draw(st.integers(0, 2)) > 0:
            return f"id{key}"
        if taken and draw(st.booleans()):
            return draw(st.sampled_from(taken))  # shared with a node of the same tree
        return draw(st.sampled_from(BAD_IDS))

    inputs = []
    for key in range(draw(st.integers(1, 7))):
        ids = [i for _, _, _, i in inputs if isinstance(i, str) and i]
        inputs.append((key, draw(names), draw(st.integers(0, 4)) == 0, id_for(key, ids)))
    kept = [(key, draw(names) if draw(st.integers(0, 2)) == 0 else name, hidden ^ (draw(st.integers(0, 5)) == 0), id_)
            for key, name, hidden, id_ in inputs if draw(st.integers(0, 5)) > 0]
    # An added node may share the id of a node that is still there, never a removed one's:
    # the host would be telling that they are the same node.
    present = [i for _, _, _, i in kept if isinstance(i, str) and i]
    added = [(key, draw(names), draw(st.integers(0, 5)) == 0, id_for(key, present))
             for key in range(100, 100 + draw(st.integers(0, 3)))]
    formula_count = draw(st.integers(1, 5))
    old_order = draw(st.permutations([("in", k) for k, *_ in inputs] + [("f", j) for j in range(formula_count)]))
    new_order = [("in", k) for k, *_ in kept + added] + [("f", j) for j in range(formula_count)]
    new_order = new_order if draw(st.booleans()) else draw(st.permutations(new_order))

    def parents(order):
        return [draw(st.integers(-1, i - 1)) for i in range(len(order))]

    choices = [(draw(st.integers(0, 1000)), draw(st.integers(0, 1000))) for _ in range(formula_count)]
    return inputs, kept + added, (old_order, parents(old_order)), (new_order, parents(new_order)), choices


def host_tree(inputs, formulas, shape):
    """The host tree, and its nodes by ("in", key) and ("f", j)."""
    order, parents = shape
    by_key, nodes = {("in", key): (name, hidden, id_) for key, name, hidden, id_ in inputs}, {}
    for item in order:
        name, hidden, id_ = by_key.get(item, (f"f{item[1]}", False, f"f{item[1]}"))
        nodes[item] = N(name, formulas.get(item[1], "=0") if item[0] == "f" else str(100 + item[1]), is_hidden=hidden,
                        id=id_)
        if id_ is MISSING:
            del nodes[item].id
    root = N("Root", "", id="root", is_hidden=True)
    for item, parent in zip(order, parents):
        (root if parent < 0 else nodes[order[parent]]).children.append(nodes[item])
    return root, nodes


def occurrence(root, node):
    """The node's position among the visible nodes of its name, from 1, and their number."""
    same = [n for n in pre_order(root) if not n.is_hidden and n.name == node.name]
    return same.index(node) + 1, len(same)


def preferred_texts(root):
    """Each visible node's preferred reference text (None for a name without a form)."""
    return {node: (form := FORMS.get(node.name, f"@{node.name}")) and form + ("" if count == 1 else f"[{k}]")
            for node in pre_order(root) if not node.is_hidden for k, count in [occurrence(root, node)]}


def usable_ids(root):
    """The ids that identify one node: a non-empty str (UTF-8 can hold) that no other node carries."""
    ids = [getattr(node, "id", MISSING) for node in pre_order(root)]
    usable = [i for i in ids if isinstance(i, str) and i and not re.search("[\ud800-\udfff]", i)]
    return {i for i in usable if ids.count(i) == 1}


def written_reference(root, target, choice):
    """One accepted form of a reference that selects `target` in `root`."""
    (k, count), forms = occurrence(root, target), WHOLE_FORMS[target.name]
    indexes = [f"[{k}]", f"[0{k}]"] + ([""] if count == 1 else [])
    return forms[choice[0] % len(forms)] + indexes[choice[1] % len(indexes)]


@given(followed_edits())
@settings(max_examples=examples(2000), deadline=None)
def test_references_follow_their_node_or_become_errors(edit):
    """A reference to an input identified by a usable id gives its number, or an error when it is gone or hidden,
    never another; its text changes only to the input's new preferred reference; others stay as written."""
    inputs, new_inputs, old_shape, new_shape, choices = edit
    old, old_nodes = host_tree(inputs, {}, old_shape)
    old_texts = preferred_texts(old)
    targets = [node for item, node in old_nodes.items() if item[0] == "in" and old_texts.get(node)]
    formulas, read = {}, {}
    for j, choice in enumerate(choices if targets else []):
        target = targets[choice[0] % len(targets)]
        read[j] = next(item for item, node in old_nodes.items() if node is target)
        formulas[j] = old_nodes[("f", j)].formula = "=" + written_reference(old, target, choice)
    new, new_nodes = host_tree(new_inputs, formulas, new_shape)
    old_ids, new_ids = usable_ids(old), usable_ids(new)
    new_texts = preferred_texts(new)
    rename_nodes(old, new, in_place=True)
    evaluate_tree(new, in_place=True)
    for j, item in read.items():
        node = new_nodes[("f", j)]
        id_ = getattr(old_nodes[item], "id", MISSING)
        there = new_nodes.get(item)
        if id_ not in old_ids or (there is not None and id_ not in new_ids):
            assert node.formula == formulas[j], "a reference to a node without a usable id was rewritten"
        elif there is None or there.is_hidden:
            assert node.value in ERRORS and node.formula in (formulas[j], "=REF!"), (node.formula, node.value)
        else:
            before, after = old_texts[old_nodes[item]], new_texts[there]
            assert node.formula == (formulas[j] if before == after else f"={after or 'REF!'}")
            assert node.value == (str(100 + item[1]) if after else "ERROR!")


PIECES = [" ", "\t", "+", "*2", "(", ")", "# ", "children", "right", "sum(", ";", "1,5", "{", "}", "[", "]", "[2]",
          "@", "x", "=", "@A", "@A[2]", "@B", "@B[1]", "@{Unit cost}", "@{Unit cost}[3]", "@{x[1]}", "@{A}", "@AB",
          "@{a}b}", "REF!"]
formula_texts = st.lists(st.sampled_from(PIECES), max_size=12).map("".join)
REPLACEMENTS = {"REF!"} | {form + index for form in FORMS.values() if form for index in [""] + [f"[{i}]" for i in range(1, 20)]}


@given(followed_edits(), st.data())
@settings(max_examples=examples(300), deadline=None)
def test_every_byte_outside_reference_tokens_survives(edit, data):
    inputs, new_inputs, old_shape, new_shape, choices = edit
    new, _ = host_tree(new_inputs, {j: data.draw(formula_texts) for j in range(len(choices))}, new_shape)
    texts = formulas(new)
    rename_nodes(host_tree(inputs, {}, old_shape)[0], new, in_place=True)
    for before, node in zip(texts, pre_order(new)):
        # The formula cut at its reference tokens: the pieces between come out as they were.
        pattern = cut_at_references(before, lambda t: t[0] == "@" and "|".join(map(re.escape, {t} | REPLACEMENTS)) or None)
        assert re.fullmatch(pattern, node.formula, re.DOTALL), (before, node.formula)


@given(followed_edits(), st.data())
@settings(max_examples=examples(300), deadline=None)
def test_renaming_without_a_change_changes_no_formula(edit, data):
    inputs, _, old_shape, _, choices = edit
    texts = {j: data.draw(formula_texts) for j in range(len(choices))}
    old = host_tree(inputs, texts, old_shape)[0]
    assert formulas(rename_nodes(old, host_tree(inputs, texts, old_shape)[0])) == formulas(old)


@pytest.mark.parametrize("formula, error", [("\ud800", UnicodeEncodeError), (["=1", "\ud800"], UnicodeEncodeError),
                                            (["=1", 5], TypeError), (7, TypeError)])
def test_old_formulas_are_checked_though_renaming_never_reads_them(formula, error):
    with pytest.raises(error):
        rename_nodes(N("r", "", [N("a", formula, id="1")]), N("r", "=@a", [N("b", "1", id="1")]))
