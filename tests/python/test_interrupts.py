"""Interrupts and MemoryError raised by host objects reach the caller unchanged, however
the node protocol would otherwise fall back."""

import pytest

import ostrel_formulas
from conftest import N, raising, tree_calls

SEVERE = [KeyboardInterrupt, SystemExit, GeneratorExit, MemoryError]


class Formulas:
    """A sequence whose iteration raises part way."""

    def __init__(self, error):
        self.error = error

    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i == 1:
            raise self.error("from iteration")
        return "=1"


@pytest.mark.parametrize("function", tree_calls())
@pytest.mark.parametrize("error", SEVERE)
@pytest.mark.parametrize("attribute", ["id", "is_hidden", "cells", "children"])
def test_reading_an_attribute(function, error, attribute):
    child = raising(attribute, error)("c", "=1")
    root = N("r", "=2", [N("a", "=3"), child])
    with pytest.raises(error, match="from " + attribute):
        tree_calls()[function](root)
    assert root.value is None and root.children[0].value is None


@pytest.mark.parametrize("function", tree_calls())
@pytest.mark.parametrize("error", SEVERE)
@pytest.mark.parametrize("where", ["formula", "cells"])
def test_iterating_a_sequence(function, error, where):
    child = N("c", "=1")
    setattr(child, where, Formulas(error))
    root = N("r", "=2", [child])
    with pytest.raises(error, match="from iteration"):
        tree_calls()[function](root)
    assert root.value is None


WRITERS = {
    "value": lambda root: ostrel_formulas.evaluate_tree(root, in_place=True),
    "formula": lambda root: ostrel_formulas.rename_nodes(root, root, in_place=True),
    "cells": lambda root: ostrel_formulas.export_tree_to_excel(root, in_place=True),
}


@pytest.mark.parametrize("error", SEVERE)
@pytest.mark.parametrize("field", WRITERS)
def test_writing_back(error, field):
    class Refusing(N):
        def __setattr__(self, name, value):
            if name == field and getattr(self, "ready", False):
                raise error("from writing")
            super().__setattr__(name, value)

    refusing = Refusing("c", "=1", cells="B2")
    refusing.ready = True
    later = N("d", "=3", cells="C3")
    root = N("r", "=2", [refusing, later], cells="A1")
    before = getattr(later, field)
    with pytest.raises(error, match="from writing"):
        WRITERS[field](root)
    assert getattr(later, field) == before


def test_ordinary_failures_still_fall_back():
    for attribute, error in [("id", LookupError), ("is_hidden", ValueError), ("cells", AttributeError)]:
        root = N("r", "=2", [raising(attribute, error)("c", "=1")])
        assert ostrel_formulas.evaluate_tree(root).value == "2"
    with pytest.raises(TypeError, match="Missing required attribute 'children'"):
        ostrel_formulas.evaluate_tree(raising("children", RuntimeError)("r", ""))
    with pytest.raises(TypeError, match="Attribute 'formula' must be"):
        ostrel_formulas.evaluate_tree(N("r", Formulas(ValueError)))
