"""Host node classes for the tree tests: plain classes that follow the node protocol."""


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
