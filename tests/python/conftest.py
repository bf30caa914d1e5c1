"""Host node classes for the tree tests (plain classes that follow the node protocol), a walk
over host trees, the tree functions applied to one tree, and the property tests' budget."""

import os

import ostrel_formulas


def examples(count):
    """A property test's number of generated examples: `count`, scaled by the environment's
    OSTREL_EXAMPLES_SCALE (say 0.1 for a quick pass on another Python), at least 10."""
    return max(10, round(count * float(os.environ.get("OSTREL_EXAMPLES_SCALE", "1"))))


class N:
    """A host node with every protocol attribute."""

    def __init__(self, name, formula="", children=None, *, id="", is_hidden=False, cells=None):
        self.id = id
        self.name = name
        self.formula = formula
        self.value = None
        self.is_hidden = is_hidden
        self.cells = cells
        self.children = children if children is not None else []

    def __repr__(self):
        return f"N({self.name!r}, {self.formula!r})"


class Boom(Exception):
    """A host failure the tests raise on purpose."""


def raising(attribute, error):
    """A node class whose `attribute` getter raises `error("from <attribute>")`."""

    def getter(self):
        raise error("from " + attribute)

    return type(f"Raising_{attribute}", (N,), {attribute: property(getter, lambda self, value: None)})


def pre_order(root):
    """The nodes of a host tree, root first, children in order."""
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(reversed(node.children))


def tree_calls():
    """Each tree function applied to a host tree, in place where it can be, by name."""
    of = ostrel_formulas
    return {
        "evaluate_tree": lambda root: of.evaluate_tree(root, in_place=True),
        "expand_tree_formulas": of.expand_tree_formulas,
        "explain_node": lambda root: of.explain_node(root, ""),
        "rename_nodes (old tree)": lambda root: of.rename_nodes(root, N("r", ""), in_place=True),
        "rename_nodes (new tree)": lambda root: of.rename_nodes(N("r", ""), root, in_place=True),
        "export_tree_to_excel": lambda root: of.export_tree_to_excel(root, in_place=True),
    }
