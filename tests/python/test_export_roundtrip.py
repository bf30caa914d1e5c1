"""The export proven in a spreadsheet: random acyclic plans, exported into one .xlsx and recalculated by LibreOffice
in one run, hold what evaluate_tree computes in every cell; the same run measures each divergence docs/api.md lists."""

import importlib.util
import math
import random
import sys
import tempfile
from pathlib import Path

import pytest

import export_plans
from conftest import ERRORS, N, listed, pre_order, require
from ostrel_formulas import evaluate_tree, export_tree_to_excel

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import spreadsheet_recalc  # noqa: E402

PLANS, SEED, COLUMNS = 240, 21, "BCDE"  # one column per dimension; column A holds the node's name
# A computation's errors (Err:502 is #NUM!); any other "Err:" or #NAME? is an export failure.
SHEET_ERRORS = {"#N/A", "#REF!", "#VALUE!", "#DIV/0!", "#NUM!", "Err:502"}
DOCS = Path(__file__).resolve().parents[2] / "docs" / "api.md"


def divergence_examples():
    """(name, tree, engine text, spreadsheet value) of the node "subject", its inputs beside or below it."""
    blank, bad, note = ("blank", ""), ("bad", "=1/0"), ("note", "Hello, world.")
    cases = [
        ("Remainders of negative numbers", "=-7 % 3", [], "-1", 2.0),
        ("Rounding ties", "=round(1,005; 2)", [], "1", 1.01),
        ("Roots of negative numbers", "=root(-8; 3)", [], "NaN", -2.0),
        ("Nearly equal numbers", "=if(0,1 + 0,2 == 0,3; 1; 0)", [], "0", 1.0),
        ("Comparisons with empty cells", "=if(@blank < 1; 1; 0)", [blank], "VALUE!", 1.0),
        ("Formulas that read an empty cell", "=@blank", [blank], "", 0.0),
        ("`max` and `min` of empty cells", "=max(@blank)", [blank], "VALUE!", 0.0),
        ("`count` skips error cells", "=count(@bad; 1)", [bad], "REF!", 1.0),
        ("The empty text", "=iferror(@bad) + 1", [bad], "1", "#VALUE!"),
        ("Overflow", "=2^1024", [], "inf", "#NUM!"),
        ("Short-circuit conditions", "=if(1 > 0 or @bad > 0; 1; 0)", [bad], "1", "#DIV/0!"),
        ("Lists through `if` and `when`", "=sum(if(1 > 0; children; 0))", [("c1", "1"), ("c2", "2")], "3", "#N/A"),
        ("Texts", "=sum(@note; 1)", [note], "REF!", 1.0),
    ]

    def tree(formula, others):
        below, others = "children" in formula, [N(*other) for other in others]
        return N("example", "", [N("subject", formula, others if below else []), *([] if below else others)])

    return [(name, tree(formula, others), engine, sheet) for name, formula, others, engine, sheet in cases]


def place(root, first_row, columns, contents, labels):
    """Lays a tree out a row per node (one address per dimension, or one for a node that asks), exports and evaluates
    it, fills contents and labels, and gives its cells: (node, dimension, address, content, engine value)."""
    nodes, cells = list(pre_order(root)), []
    for row, node in enumerate(nodes, start=first_row):
        node.cells = f"B{row}" if getattr(node, "single_address", False) else [f"{c}{row}" for c in COLUMNS[:columns]]
    for row, node, done, engine in zip(range(first_row, first_row + len(nodes)), nodes,
                                       pre_order(export_tree_to_excel(root)), pre_order(evaluate_tree(root))):
        labels[f"A{row}"] = node.name
        values = [engine.value] * columns if isinstance(engine.value, str) else list(engine.value)
        values += [""] * (columns - len(values))
        for d, (address, content) in enumerate(zip(listed(node.cells), listed(done.cells))):
            contents[address] = content
            cells.append((node, d, address, content, values[d]))
    return cells, first_row + len(nodes)


def agree(engine, sheet):
    """Equal numbers (to 15 digits and the engine's 10 decimals), both empty, or both errors of any kind (the engine
    turns another node's error into REF!, the spreadsheet passes it on)."""
    def kind(value):
        if value is None or value == "":
            return "empty"
        if value in ERRORS or value in SHEET_ERRORS:
            return "error"
        try:
            return float(value) is not None and "number"
        except ValueError:
            return "text"

    if kind(engine) != kind(sheet) or kind(engine) == "text":
        return False
    return kind(engine) != "number" or math.isclose(float(engine), float(sheet), rel_tol=1e-9, abs_tol=1e-9)


@pytest.fixture(scope="module")
def workbook():
    require("LibreOffice is not installed (apt-get install --no-install-recommends libreoffice-calc-nogui)"
            if spreadsheet_recalc.find_soffice() is None else None)
    require("openpyxl is not installed" if importlib.util.find_spec("openpyxl") is None else None)
    rng, contents, labels, plan_cells, examples, row = random.Random(SEED), {}, {}, [], [], 1
    for index in range(PLANS):
        plan = export_plans.random_plan(rng)
        cells, row = place(plan, row, plan.dimensions, contents, labels)
        plan_cells += [(index, *cell) for cell in cells]
    for name, tree, engine, sheet in divergence_examples():
        cells, row = place(tree, row, 1, contents, labels)
        examples.append((name, next(cell for cell in cells if cell[0].name == "subject"), engine, sheet))
    with tempfile.TemporaryDirectory(prefix="roundtrip-") as folder:
        spreadsheet_recalc.write_workbook(source := Path(folder) / "plans.xlsx", contents, labels)
        return plan_cells, examples, spreadsheet_recalc.recalculated_values(source, contents.keys())


def test_random_plans_agree_with_the_engine(workbook):
    plan_cells, _, sheet = workbook
    assert len({cell[0] for cell in plan_cells}) >= 200
    disagreeing = [f"plan {index} {node.name}[{d}] {node.formula!r} -> {content!r}: engine {engine!r}, sheet "
                   f"{sheet[address]!r}" for index, node, d, address, content, engine in plan_cells
                   if not agree(engine, sheet[address])]
    assert disagreeing == [], f"{len(disagreeing)} of {len(plan_cells)} cells disagree"


def test_the_plans_use_every_construct(workbook):
    plan_cells = workbook[0]
    written = " ".join(cell[4] for cell in plan_cells)
    formulas = " ".join(" ".join(listed(cell[1].formula)) for cell in plan_cells)
    for name in ["ABS(", "ROUND(", "CEILING(", "FLOOR(", "POWER(", ")^(1/(", "LOG10(", "LOG(", "MOD(", "SIGN(",
                 "IFERROR(", "SUM(", "PRODUCT(1,", "AVERAGE(", "MEDIAN(", "STDEV.S(", "MAX(", "MIN(", "COUNT(",
                 "IF(", "AND(", "OR(", "NOT(", "<>", ">=", "<=", "#REF!", "#N/A", "#VALUE!", "=0.15"]:
        assert name in written, name
    for construct in ["children", "right", "total(", "ratio(", "coalesce(", "when(", "if(", "iferror(", "[1]", "[2]",
                      " and ", " or ", "not ", " =", "empty"]:
        assert construct in formulas, construct
    assert ERRORS - {"ERROR!"} <= {cell[4] for cell in plan_cells}


@pytest.mark.parametrize("index", range(len(divergence_examples())), ids=[e[0] for e in divergence_examples()])
def test_each_documented_divergence_is_measured(workbook, index):
    name, cell, engine, expected = workbook[1][index]
    sheet = workbook[2][cell[2]]
    assert (cell[4], sheet) == (engine, expected), f"{name}: {cell[3]!r}"
    assert not agree(engine, sheet)
    section = DOCS.read_text(encoding="utf-8").split("**Where the spreadsheet computes something else.**")[1]
    assert f"**{name}**" in section and cell[0].formula.lstrip("=") in section
