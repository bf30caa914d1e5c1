"""rename_nodes: the surface, formulas rewritten after edits, the in-place rule, the old
tree left alone, host faults, depth, and properties over random edits."""

import copy
import inspect
import re
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import N
from ostrel_formulas import evaluate_tree, get_tokens, rename_nodes


def formulas(root):
    out = []
    stack = [root]
    while stack:
        node = stack.pop()
        out.append(node.formula)
        stack.extend(reversed(node.children))
    return out


def test_signature():
    assert rename_nodes.__text_signature__ == "(old_root, new_root, in_place=False)"
    assert rename_nodes.__doc__ is None
    parameters = list(inspect.signature(rename_nodes).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("old_root", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("new_root", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("in_place", inspect.Parameter.POSITIONAL_OR_KEYWORD, False),
    ]


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "rename_nodes() missing required argument 'old_root' (pos 1)"),
        ((N("a"),), {}, "rename_nodes() missing required argument 'new_root' (pos 2)"),
        ((N("a"), N("a"), True, 1), {}, "rename_nodes() takes at most 3 positional arguments (4 given)"),
        ((N("a"), N("a")), {"in_place": None}, "rename_nodes() argument 'in_place' must be bool, not NoneType"),
        ((N("a"), N("a"), 1), {}, "rename_nodes() argument 'in_place' must be bool, not int"),
        ((N("a"), N("a")), {"root": N("a")}, "rename_nodes() got an unexpected keyword argument 'root'"),
        ((N("a"),), {"old_root": N("a")}, "argument for rename_nodes() given by name ('old_root') and position (1)"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        rename_nodes(*args, **kwargs)
    assert str(raised.value) == message


def test_arguments_by_name():
    old = N("r", "", [N("Cost", id="7")])
    new = N("r", "=@Cost", [N("Price", id="7")])
    result = rename_nodes(new_root=new, old_root=old, in_place=True)
    assert result is new and new.formula == "=@Price"


def pair(old_names, new_names, formula):
    """Two flat trees: (id, name) children under a root that carries `formula` in the new one."""
    old = N("root", "", [N(name, id=i) for i, name in old_names], id="root")
    new = N("root", formula, [N(name, id=i) for i, name in new_names], id="root")
    return old, new


@pytest.mark.parametrize(
    "old_names, new_names, formula, expected",
    [
        ([("7", "Cost")], [("7", "Unit cost")], "=@Cost*2", "=@{Unit cost}*2"),
        ([("7", "Cost")], [("7", "a}b")], "=@Cost*2", "=REF!*2"),
        ([("1", "A"), ("2", "A")], [("1", "A"), ("2", "B")], "=@A[1]+@A[2]", "=@A+@B"),
        ([("1", "A"), ("2", "A")], [("2", "A")], "=@A[1]+@A[2]", "=REF!+@A"),
        ([("1", "A"), ("2", "A"), ("3", "A")], [("2", "A"), ("3", "A")], "=@A[1]+@A[2]+@A[3]", "=REF!+@A[1]+@A[2]"),
        ([("1", "A"), ("2", "B")], [("1", "B"), ("2", "A")], "=@A-@B", "=@B-@A"),
        ([("1", "A"), ("2", "B")], [("2", "B"), ("1", "A")], " =@A-@B # x", " =@A-@B # x"),
        ([("1", "A")], [("1", "B")], "=@{A}+@A[1]+children+@A", "=@{A}+@A[1]+children+@B"),
    ],
)
def test_formulas_follow_the_edit(old_names, new_names, formula, expected):
    old, new = pair(old_names, new_names, formula)
    assert rename_nodes(old, new).formula == expected


def test_every_dimension_and_hidden_nodes_are_rewritten():
    old = N("root", "", [N("A", id="1"), N("h", is_hidden=True)])
    new = N("root", ("=@A", "=right", "=@A*2"), [N("B", id="1"), N("h", "=@A", is_hidden=True)])
    result = rename_nodes(old, new)
    assert result.formula == ["=@B", "=right", "=@B*2"]
    assert result.children[1].formula == "=@B"


def test_in_place_rule():
    old, new = pair([("1", "A")], [("1", "B")], "=@A")
    saved = copy.deepcopy(new)
    result = rename_nodes(old, new)
    assert result is not new and result.formula == "=@B"
    assert formulas(new) == formulas(saved)
    assert rename_nodes(old, new, True) is new
    assert new.formula == "=@B"
    # Every formula is written back as text, unchanged ones included.
    assert all(type(f) is str for f in formulas(new))


class Watched(N):
    """A node that records every attribute assignment made after it was built."""

    def __setattr__(self, name, value):
        if getattr(self, "built", False):
            self.writes.append(name)
        object.__setattr__(self, name, value)


def watched(*args, **kwargs):
    node = Watched(*args, **kwargs)
    node.writes = []
    node.built = True
    return node


@pytest.mark.parametrize("in_place", [False, True])
def test_old_root_is_never_written(in_place):
    old = watched("root", "=@A", [watched("A", "=1", id="1")])
    new = N("root", "=@A", [N("B", "=1", id="1")])
    rename_nodes(old, new, in_place=in_place)
    assert old.writes == [] and old.children[0].writes == []
    assert old.formula == "=@A"


class Boom(Exception):
    pass


class RaisingFormula(N):
    @property
    def formula(self):
        raise Boom("formula")

    @formula.setter
    def formula(self, value):
        pass


def test_old_tree_is_read_first():
    with pytest.raises(Boom):
        rename_nodes(N("r", "", [RaisingFormula("a")]), N("r", 5))
    with pytest.raises(TypeError, match="Attribute 'formula'"):
        rename_nodes(N("r", 5), N("r", "", [RaisingFormula("a")]))


@pytest.mark.parametrize("in_place", [False, True])
def test_raising_getter_in_new_tree_changes_nothing(in_place):
    old, _ = pair([("1", "A")], [("1", "B")], "")
    new = N("root", "=@A", [N("B", id="1"), RaisingFormula("x")])
    with pytest.raises(Boom):
        rename_nodes(old, new, in_place=in_place)
    assert new.formula == "=@A"


def test_failing_write_keeps_earlier_updates_in_place_and_none_on_a_copy():
    class Refuses(N):
        def __setattr__(self, name, value):
            if name == "formula" and getattr(self, "armed", False):
                raise Boom("no")
            object.__setattr__(self, name, value)

    def trees():
        late = Refuses("B", "=@A", id="2")
        late.armed = True
        old = N("r", "", [N("A", id="1"), N("B", id="2"), N("C", id="3")])
        new = N("r", "=@A", [N("X", "=@A", id="1"), late, N("C", "=@A", id="3")])
        return old, new

    old, new = trees()
    with pytest.raises(Boom):
        rename_nodes(old, new, in_place=True)
    assert formulas(new) == ["=@X", "=@X", "=@A", "=@A"]
    old, new = trees()
    with pytest.raises(Boom):
        rename_nodes(old, new)
    assert formulas(new) == ["=@A", "=@A", "=@A", "=@A"]


def test_deepcopy_failure_raises_and_in_place_still_works():
    class NoCopy(N):
        def __deepcopy__(self, memo):
            raise Boom("copy")

    old, _ = pair([("1", "A")], [], "")
    new = NoCopy("root", "=@A", [N("B", id="1")], id="root")
    with pytest.raises(Boom):
        rename_nodes(old, new)
    assert new.formula == "=@A"
    assert rename_nodes(old, new, in_place=True) is new and new.formula == "=@B"


@pytest.mark.parametrize("which", ["old", "new"])
def test_self_containing_tree_raises_recursion_error(which):
    looped = N("root", "=@A")
    looped.children.append(looped)
    plain = N("root", "=@A", [N("A")])
    with pytest.raises(RecursionError):
        rename_nodes(looped, plain) if which == "old" else rename_nodes(plain, looped, in_place=True)
    assert plain.formula == "=@A"


def deep(depth, last_name):
    root = N("n0", "=@n1", id="0")
    at = root
    for i in range(1, depth + 1):
        at.children.append(N(last_name if i == depth else f"n{i}", f"=@n{depth}", id=str(i)))
        at = at.children[0]
    return root


def test_tree_deeper_than_the_recursion_limit_raises():
    depth = sys.getrecursionlimit() + 10
    new = deep(depth, "z")
    with pytest.raises(RecursionError):
        rename_nodes(deep(depth, f"n{depth}"), new, in_place=True)
    assert new.children[0].formula == f"=@n{depth}"


def test_deep_tree_within_the_limit():
    depth = sys.getrecursionlimit() - 50
    new = deep(depth, "z")
    rename_nodes(deep(depth, f"n{depth}"), new, in_place=True)
    assert new.children[0].formula == "=@z"


def test_formulas_of_any_content_do_not_raise():
    junk = ["=" + "(" * 50_000 + "@A", "@{" * 100_000, "=children[ 2 ]+@A", "=@{a}b}+@A", "\x00@A", "=" + "@A+" * 300_000]
    old, new = pair([("1", "A")], [("1", "B")], "")
    new.children += [N(f"j{i}", f, id=f"j{i}") for i, f in enumerate(junk)]
    result = rename_nodes(old, new)
    assert [c.formula for c in result.children[1:]] == [
        "=" + "(" * 50_000 + "@B", "@{" * 100_000, "=children[ 2 ]+@B", "=@{a}b}+@B", "\x00@B", "=" + "@B+" * 300_000
    ]


# Random edits over a small pool of names; each name's preferred reference form is fixed
# here, independently of the module.
FORMS = {"A": "@A", "B": "@B", "Unit cost": "@{Unit cost}", "x[1]": "@{x[1]}", "a}b": None}
NAMES = list(FORMS)


@st.composite
def edits(draw):
    """An old tree and a new one made from it by renames, removals, additions, moves and
    hidden flags; every node has a unique id."""
    count = draw(st.integers(1, 10))
    old = [(str(i), draw(st.sampled_from(NAMES)), draw(st.booleans()) and draw(st.booleans())) for i in range(count)]
    old_parents = [draw(st.integers(-1, i - 1)) for i in range(count)]
    new = []
    for id_, name, hidden in old:
        if draw(st.integers(0, 4)) == 0:
            continue  # removed
        if draw(st.integers(0, 2)) == 0:
            name = draw(st.sampled_from(NAMES))
        if draw(st.integers(0, 4)) == 0:
            hidden = not hidden
        new.append((id_, name, hidden))
    for k in range(draw(st.integers(0, 3))):
        new.append((f"new{k}", draw(st.sampled_from(NAMES)), False))
    new = draw(st.permutations(new))
    new_parents = [draw(st.integers(-1, i - 1)) for i in range(len(new))]
    return (old, old_parents), (new, new_parents)


def build(shape, formula_of, extra=()):
    nodes, parents = shape
    root = N("Root", "", id="root", is_hidden=True)
    hosts = [N(name, formula_of(id_), id=id_, is_hidden=hidden) for id_, name, hidden in nodes]
    for host, parent in zip(hosts, parents):
        (root if parent < 0 else hosts[parent]).children.append(host)
    root.children.extend(extra)
    return root


def references(root):
    """Each visible node's preferred reference text, by id (None for a name without one)."""
    order = []
    stack = [root]
    while stack:
        node = stack.pop()
        if not node.is_hidden:
            order.append(node)
        stack.extend(reversed(node.children))
    out = {}
    for node in order:
        same = [n for n in order if n.name == node.name]
        form = FORMS[node.name]
        if form is not None and len(same) > 1:
            form += f"[{same.index(node) + 1}]"
        out[node.id] = form
    return out


def value_of(id_):
    return str(1000 + int(id_)) if id_.isdigit() else str(5000 + int(id_[3:]))


@given(edits())
@settings(max_examples=400, deadline=None)
def test_references_keep_their_node_or_become_errors(edit):
    """Each old node's reference, probed from a hidden node (which takes no part), after
    renaming still reads that node's value when the node was kept; otherwise it reads an
    error, or a node that only the new tree has: never another node that was there before."""
    old_shape, new_shape = edit
    old = build(old_shape, value_of)
    probes = {id_: text for id_, text in references(old).items() if text is not None}
    old_ids = {id_ for id_, _, _ in old_shape[0]}

    def probe_nodes():
        return [N("probe", f"={text}", id=f"probe{id_}", is_hidden=True) for id_, text in probes.items()]

    new = build(new_shape, value_of, probe_nodes())
    kept = {id_ for id_, _, hidden in new_shape[0] if not hidden} & set(references(old))
    rename_nodes(old, new, in_place=True)
    evaluate_tree(new, in_place=True)
    for probe in new.children[-len(probes):] if probes else []:
        id_ = probe.id[len("probe"):]
        new_text = references(new).get(id_)
        if id_ in kept:
            assert probe.formula == (f"={new_text}" if new_text is not None else "=REF!")
            if new_text is not None:
                assert probe.value == value_of(id_)
            continue
        assert probe.formula in (f"={probes[id_]}", "=REF!")
        if probe.formula != "=REF!":
            only_new = {value_of(id_) for id_, _, _ in new_shape[0] if id_ not in old_ids}
            assert probe.value in only_new | {"REF!", "MANY!"}, (probe.formula, probe.value)


def new_nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(node.children)


PIECES = [" ", "\t", "+", "*2", "(", ")", "# ", "children", "right", "sum(", ";", "1,5", "{", "}", "[", "]", "[2]",
          "@", "x", "=", "@A", "@A[2]", "@B", "@B[1]", "@{Unit cost}", "@{Unit cost}[3]", "@{x[1]}", "@{A}", "@AB",
          "@{a}b}", "REF!"]
formula_texts = st.lists(st.sampled_from(PIECES), max_size=12).map("".join)


def allowed_texts():
    out = {"REF!"}
    for form in FORMS.values():
        if form is not None:
            out.add(form)
            out.update(f"{form}[{i}]" for i in range(1, 20))
    return out


@given(edits(), st.data())
@settings(max_examples=300, deadline=None)
def test_every_byte_outside_reference_tokens_survives(edit, data):
    old_shape, new_shape = edit
    old = build(old_shape, lambda _: "")
    texts = {id_: data.draw(formula_texts) for id_, _, _ in new_shape[0]}
    new = build(new_shape, lambda id_: texts[id_])
    rename_nodes(old, new, in_place=True)
    allowed = allowed_texts()
    for node in new_nodes(new):
        if node.id == "root":
            continue
        before = texts[node.id]
        # The formula cut at its reference tokens; the pieces between must come out as they were.
        pattern, kept_from, position = "", 0, 0
        for text, kind in get_tokens(before):
            start = before.index(text, position)
            position = start + len(text)
            if kind == "nodereference" and text.startswith("@"):
                pattern += re.escape(before[kept_from:start]) + "(" + "|".join(map(re.escape, {text} | allowed)) + ")"
                kept_from = position
        pattern += re.escape(before[kept_from:])
        assert re.fullmatch(pattern, node.formula, re.DOTALL), (before, node.formula)


@given(edits(), st.data())
@settings(max_examples=300, deadline=None)
def test_renaming_without_a_change_changes_no_formula(edit, data):
    old_shape, _ = edit
    texts = {id_: data.draw(formula_texts) for id_, _, _ in old_shape[0]}
    old = build(old_shape, lambda id_: texts[id_])
    new = build(old_shape, lambda id_: texts[id_])
    assert formulas(rename_nodes(old, new)) == formulas(old)
