"""expand_tree_formulas and explain_node: the copy, lists kept lists, the host's JSON reader, limits, and bytes
outside references kept."""

import copy
import json
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import N, cut_at_references, examples, pre_order, reference_chain
from ostrel_formulas import expand_tree_formulas, explain_node, get_tokens


def formulas(root):
    return [node.formula for node in pre_order(root)]


def plan():
    return N("Plan", "", [
        N("Gross", "=@Net * 1.19", id="g"), N("Net", "=@Price - @Discount", id="n"),
        N("Price", ["100", "110"], id="p"), N("Discount", "5", id="d", cells="B4"),
        N("Total", ["=sum(children)", "=children[2]"], [N("x", "=@Gross"), N("y", "2")], id="t"),
    ], id="root")


def test_expansion_is_written_onto_a_copy():
    root, before = plan(), formulas(plan())
    result = expand_tree_formulas(root)
    assert result is not root and formulas(root) == before
    assert formulas(result) == [
        "", "=(@Price - @Discount) * 1.19", "=@Price - @Discount", ["100", "110"], "5",
        ["=sum((((@Price - @Discount) * 1.19)); @y)", "=@y"], "=((@Price - @Discount) * 1.19)", "2",
    ]


def test_explanation_is_made_by_the_hosts_json_reader(monkeypatch):
    result = explain_node(plan(), "g")
    assert result == {"id": "g", "name": "Gross", "formula": "=(@Price - @Discount) * 1.19", "value": "",
                      "is_hidden": False, "cells": [], "children": [
                          {"id": "p", "name": "Price", "formula": ["100", "110"], "value": ["", ""], "is_hidden": False,
                           "cells": [], "children": []},
                          {"id": "d", "name": "Discount", "formula": "5", "value": "", "is_hidden": False,
                           "cells": "B4", "children": []}]}
    assert list(result) == ["id", "name", "formula", "value", "is_hidden", "cells", "children"]
    assert explain_node(plan(), "nope") is None
    root = plan()
    root.children[0].value = "123"  # values read from the host play no part
    assert explain_node(root, "g")["value"] == ""
    monkeypatch.setattr(json, "loads", lambda text: 1 / 0)  # the reader's faults reach the caller
    with pytest.raises(ZeroDivisionError):
        explain_node(plan(), "g")


def test_too_large_expansions_raise_memory_error_and_explanations_stay_small():
    root = reference_chain(100_000)
    with pytest.raises(MemoryError, match="256 MiB"):
        expand_tree_formulas(root)
    assert root.children[0].formula == "=@n1+1"
    head = explain_node(root, "r")
    assert len(head["formula"]) == 1 + 4 * 99_999 + len("@n99999")
    assert [child["name"] for child in head["children"]] == ["n99999"]


def test_junk_formulas_stay_as_written():
    junk = ["=(", "=@{", "=children[", "=sum(children[ 2 ])", "@z[", "=@{z}b}", "\x00=@z", "=" + "(" * 5000, "x" * 1_000_000]
    root = N("r", "", [N(f"n{i}", f) for i, f in enumerate(junk)] + [N("a", "=@b"), N("b", "1")])
    assert formulas(expand_tree_formulas(root))[1:-2] == junk


reference_free = st.text(alphabet=st.sampled_from("0123456789+-*/(); ,.%=abc\t"), max_size=30)


@given(st.lists(st.one_of(reference_free, st.lists(reference_free, max_size=3)), min_size=1, max_size=8))
@settings(max_examples=examples(200), deadline=None)
def test_tree_without_references_changes_nothing(texts):
    texts = [t for t in texts if not any(k == "nodereference" for f in ([t] if isinstance(t, str) else t)
                                         for _, k in get_tokens(f))]
    root = N("r", "", [N(f"n{i}", copy.copy(t)) for i, t in enumerate(texts)])
    assert formulas(expand_tree_formulas(root)) == [""] + texts


@given(st.lists(st.sampled_from(["=@A", " + ", "@B", "*2", "  ", "children", "(", ")", "=", "@{C d}", "x", "1,5"]),
                min_size=1, max_size=12))
@settings(max_examples=examples(300), deadline=None)
def test_bytes_outside_reference_tokens_survive(parts):
    formula = "".join(parts)
    root = N("r", formula, [N("A", "=@X*2"), N("B", "=@A-1"), N("C d", "7"), N("X", "3")])
    result = expand_tree_formulas(root).formula
    # Cut at the original's reference tokens, the pieces between come out in order, the last at the end.
    assert re.fullmatch(cut_at_references(formula, lambda _: ".*?"), result, re.DOTALL), (formula, result)
