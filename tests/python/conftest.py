"""Host node classes, a walk over host trees, the tree functions applied to one tree, the property tests' budget."""

import os
import re

import pytest

import ostrel_formulas


ERRORS = {"ERROR!", "REF!", "MANY!", "VALUE!"}  # the engine's error texts


def examples(count):
    """`count` examples scaled by OSTREL_EXAMPLES_SCALE (say 0.1 for a quick pass), at least 10."""
    return max(10, round(count * float(os.environ.get("OSTREL_EXAMPLES_SCALE", "1"))))


def require(missing):
    """Skips a test for a missing tool (`missing` says which; None: nothing is); under CI=true it fails instead."""
    if missing is not None:
        (pytest.fail if os.environ.get("CI") == "true" else pytest.skip)(missing + " (CI=true requires it)")


class N:
    """A host node with every protocol attribute."""

    def __init__(self, name, formula="", children=None, *, id="", is_hidden=False, cells=None):
        self.id, self.name, self.formula, self.value, self.is_hidden = id, name, formula, None, is_hidden
        self.cells = cells
        self.children = children if children is not None else []  # last: a refusing() node is built from here on

    def __repr__(self):
        return f"N({self.name!r}, {self.formula!r})"


class Boom(Exception):
    """A host failure the tests raise on purpose."""


class NoCopy(N):
    def __deepcopy__(self, memo):
        raise Boom("copy")


def refusing(field, error):
    """A node class that raises `error("from writing")` on every write of `field` once built."""

    def setter(self, name, value):
        if name == field and "children" in self.__dict__:
            raise error("from writing")
        object.__setattr__(self, name, value)

    return type(f"Refusing_{field}", (N,), {"__setattr__": setter})


def raising(attribute, error):
    """A node class whose `attribute` getter raises `error("from <attribute>")`."""

    def getter(self):
        raise error("from " + attribute)

    return type(f"Raising_{attribute}", (N,), {attribute: property(getter, lambda self, value: None)})


def listed(texts):
    """A formula or cells as a list: a text alone is a list of one."""
    return [texts] if isinstance(texts, str) else texts


def cut_at_references(formula, pattern_of):
    """A pattern that the formula matches, each reference token in it read as the pattern `pattern_of` gives its text
    (None: as written)."""
    pattern, at = "", 0
    for text, kind in ostrel_formulas.get_tokens(formula):
        start = formula.index(text, at)
        replaced = pattern_of(text) if kind == "nodereference" else None
        pattern += re.escape(formula[at:start]) + (re.escape(text) if replaced is None else f"({replaced})")
        at = start + len(text)
    return pattern + re.escape(formula[at:])


def reference_chain(length):
    """A root that reads n0, each n<i> reading n<i+1> plus 1, the last one 1."""
    return N("root", "=@n0", [N(f"n{i}", f"=@n{i + 1}+1" if i + 1 < length else "1") for i in range(length)], id="r")


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


# The functions that write a field back, each with an old tree that renames "@A" to "@X".
WRITERS = {
    "value": lambda root, in_place: ostrel_formulas.evaluate_tree(root, in_place=in_place),
    "formula": lambda root, in_place: ostrel_formulas.rename_nodes(N("r", "", [N("A", id="1")], id="0"), root,
                                                                   in_place=in_place),
    "cells": lambda root, in_place: ostrel_formulas.export_tree_to_excel(root, in_place=in_place),
}
