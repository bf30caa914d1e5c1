"""Exports a small quarterly plan to export_plan.xlsx next to this script and, where
LibreOffice is installed, prints the spreadsheet's recalculated values beside the engine's
and counts the cells where they agree. Error texts are written as the sheet's errors
(spreadsheet_recalc does it), so a failing cell stays an error in the sheet.

Run after installing the module: python3 examples/export_plan.py (needs openpyxl).
"""

import sys
from pathlib import Path

import ostrel_formulas as of

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tools"))
import spreadsheet_recalc  # noqa: E402

QUARTERS = ["Q1", "Q2", "Q3", "Q4"]
COLUMNS = "BCDE"


class Line:
    """A plan line as a host application might keep it."""

    def __init__(self, name, formula, children=()):
        self.id = name
        self.name = name
        self.formula = formula
        self.value = None
        self.is_hidden = False
        self.cells = None
        self.children = list(children)


def plan():
    return Line("Profit", "=@Revenue - @Costs", [
        Line("Revenue", "=@Units * @Price", [
            Line("Units", ["1200", "1350", "1500", "1650"]),
            Line("Price", ["9,90", "=right[1]", "=right[1]", "10,50"]),
        ]),
        Line("Costs", "=sum(children)", [
            Line("Materials", "=@Revenue * 35%"),
            Line("Staff", ["4000", "4000", "4500", "4500"]),
            Line("Rent", "1500"),
        ]),
        # Two lines of one name: a sum takes both, a plain reference would be MANY!.
        Line("Sales team", "", [Line("Headcount", ["3", "3", "4", "4"])]),
        Line("Support team", "", [Line("Headcount", ["2", "2", "2", "3"])]),
        Line("Staff per head", "=@Staff / sum(@Headcount)"),
        Line("Margin", "=round(@Profit / @Revenue * 100; 1)"),
        Line("Profit vs Q1", "=ratio(@Profit)"),
        Line("Units to come", ["=@Units + right[1]"] * 3 + ["=@Units"]),
        Line("On target", "=if(@Profit > 0 and @Margin >= 20; 1; 0)"),
    ])


def rows_of(root):
    """Every line in pre-order with its spreadsheet row (row 1 holds the quarters)."""
    lines, stack = [], [root]
    while stack:
        line = stack.pop()
        lines.append(line)
        stack.extend(reversed(line.children))
    return [(line, row) for row, line in enumerate(lines, start=2)]


def main():
    title = "A quarterly plan exported to a spreadsheet: each cell's content, the engine's value and the spreadsheet's"
    print(title)
    print("-" * len(title))
    root = plan()
    for line, row in rows_of(root):
        line.cells = [f"{column}{row}" for column in COLUMNS]
    exported = of.export_tree_to_excel(root)
    evaluated = of.evaluate_tree(root)

    # The exported copy's cells hold the contents of the addresses given above.
    contents, labels = {}, {f"{c}1": q for c, q in zip(COLUMNS, QUARTERS)}
    for line, row in rows_of(exported):
        labels[f"A{row}"] = line.name
        contents.update(zip([f"{c}{row}" for c in COLUMNS], line.cells))
    target = HERE / "export_plan.xlsx"
    spreadsheet_recalc.write_workbook(target, contents, labels)
    print(f"wrote {target}")

    sheet = {}
    if spreadsheet_recalc.find_soffice() is None:
        print("LibreOffice is not installed: the spreadsheet's own values are not shown")
    else:
        sheet = spreadsheet_recalc.recalculated_values(target, contents.keys())

    print(f"{'line':14} {'quarter':7} {'cell content':32} {'engine':>10} {'spreadsheet':>12}")
    agreed = cells = 0
    for (line, row), engine in zip(rows_of(exported), (line for line, _ in rows_of(evaluated))):
        values = engine.value if isinstance(engine.value, list) else [engine.value] * len(QUARTERS)
        for column, quarter, content, value in zip(COLUMNS, QUARTERS, line.cells, values):
            shown = sheet.get(f"{column}{row}", "")
            shown = "" if shown is None else (f"{shown:.12g}" if isinstance(shown, float) else str(shown))
            print(f"{line.name:14} {quarter:7} {content:32} {value:>10} {shown:>12}")
            agreed += sheet != {} and same(value, sheet.get(f"{column}{row}"))
            cells += 1
    if sheet:
        print(f"the spreadsheet agrees with the engine in {agreed} of {cells} cells")


def same(engine, sheet):
    """The engine's value text and the spreadsheet's value are the same value."""
    if sheet is None or engine == "":
        return engine == "" and sheet in (None, "")
    try:
        return abs(float(engine) - float(sheet)) <= 1e-9 * max(1.0, abs(float(engine)))
    except ValueError:
        return engine == sheet


if __name__ == "__main__":
    main()
