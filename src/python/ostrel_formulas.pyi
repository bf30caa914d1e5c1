from typing import Any, TypeVar

_Node = TypeVar("_Node")

__all__ = [
    "evaluate",
    "evaluate_boolean",
    "evaluate_tree",
    "get_tokens",
    "rename_nodes",
    "expand_tree_formulas",
    "explain_node",
    "export_tree_to_excel",
]

__version__: str

def evaluate(formula: str) -> str:
    """The value of one formula without a tree, as text.

    A number ("2"), the empty text for an empty value, or an error text: "ERROR!" when the
    formula does not parse, "REF!", "MANY!" or "VALUE!" when it cannot be computed. Formula
    problems never raise. Example: evaluate("=round(10 / 3; 2)") gives "3.33".
    """

def evaluate_boolean(formula: str) -> str:
    """The truth of one condition without a tree: "true", "false" or an error text.

    Example: evaluate_boolean("1 > 0 and not 2 < 1") gives "true".
    """

def evaluate_tree(root: _Node, in_place: bool = False) -> _Node:
    """Computes every node's value in every dimension and writes it into `value` as text.

    A node with one formula gets one str while its values agree in every dimension, a list
    of str (one per dimension) otherwise; a node with a formula list always gets a list.
    Returns a deep copy of the tree, or `root` itself with in_place=True.
    """

def get_tokens(formula: str) -> list[tuple[str, str]]:
    """The formula cut into (text, kind) pairs for display, such as syntax highlighting.

    Kinds: "number", "operator", "nodereference", "modifier", "function", "aggregation",
    "conditional", "parenthesis" and "unexpected". Never raises for formula content.
    """

def rename_nodes(old_root: object, new_root: _Node, in_place: bool = False) -> _Node:
    """Rewrites the references in new_root's formulas after nodes were renamed, moved, added
    or removed, matching the nodes of the two trees by their `id`.

    Returns a deep copy of new_root, or new_root itself with in_place=True.
    """

def expand_tree_formulas(root: _Node) -> _Node:
    """A deep copy of the tree whose formulas have their references to computed nodes
    replaced by those nodes' formulas, down to the input nodes. The tree is never changed.
    """

def explain_node(root: object, node_id: str) -> dict[str, Any] | None:
    """The node with this `id`, its formula expanded down to inputs, and the input nodes it
    rests on, as a dict; None when no node has the id.
    """

def export_tree_to_excel(root: _Node, in_place: bool = False) -> _Node:
    """Turns every node's formula into spreadsheet contents over the cell addresses in its
    `cells`, and writes them into `cells`.

    Returns a deep copy of the tree, or `root` itself with in_place=True.
    """
