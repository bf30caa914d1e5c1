"""Host node classes for the tree tests: plain classes that follow the node protocol."""

import pytest


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


@pytest.fixture
def make():
    return N
