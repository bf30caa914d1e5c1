"""One small budget, walked through everything the module does with a tree.

    1. evaluation of every line for three months,
    2. the explanation of the total,
    3. a rename (formulas before and after),
    4. the expansion of every formula down to the inputs,
    5. the export to a spreadsheet (examples/plan.xlsx); where LibreOffice is installed,
       the spreadsheet recalculates the workbook and its values are printed beside the
       engine's.

Run after installing the module: python examples/plan.py (the export needs openpyxl).
"""

import copy
import sys
from pathlib import Path

import ostrel_formulas as of

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tools"))

MONTHS = ["Jan", "Feb", "Mar"]
COLUMNS = "BCD"  # one spreadsheet column per month; column A holds the line names


class Line:
    """A budget line as a host application might keep it (any class with these
    attributes will do)."""

    def __init__(self, id, name, formula, children=()):
        self.id = id
        self.name = name
        self.formula = formula  # one text for every month, or one text per month
        self.value = None
        self.is_hidden = False
        self.cells = None
        self.children = list(children)


def budget():
    """A club's budget for three months."""
    return Line("balance", "Balance", "=@Income - @Expenses", [
        Line("income", "Income", "=sum(children)", [
            Line("tickets", "Tickets", ["1200", "1350", "1.500,5"]),
            Line("grants", "Grants", "250"),
        ]),
        Line("expenses", "Expenses", "=sum(children)", [
            Line("rent", "Rent", "800"),
            Line("supplies", "Supplies", "=@Tickets * 15%"),
        ]),
        Line("margin", "Margin %", "=round(@Balance / @Income * 100; 1)"),
        Line("growth", "Tickets vs Jan", "=ratio(@Tickets)"),
    ])


def lines(root):
    """Every line of the tree in pre-order (a line before its children)."""
    found, stack = [], [root]
    while stack:
        line = stack.pop()
        found.append(line)
        stack.extend(reversed(line.children))
    return found


def per_month(value):
    """A value written back by the module: one text for every month, or one per month."""
    return value if isinstance(value, list) else [value] * len(MONTHS)


def heading(title):
    print()
    print(title)
    print("-" * len(title))


def show_evaluation(root):
    heading("1. Evaluation: every line, every month (values come back as text)")
    evaluated = of.evaluate_tree(root)
    print(f"{'line':16} {'formula':38} " + " ".join(f"{m:>9}" for m in MONTHS))
    for line in lines(evaluated):
        formula = line.formula if isinstance(line.formula, str) else " | ".join(line.formula)
        print(f"{line.name:16} {formula:38} " + " ".join(f"{v:>9}" for v in per_month(line.value)))
    print("('1.500,5' is 1500.5 written with a decimal comma; 15% is 0.15; ratio() divides")
    print(" each month by January)")
    return evaluated


def show_explanation(root):
    heading("2. Explanation of the balance: its formula down to the inputs, and those inputs")
    explained = of.explain_node(root, "balance")
    print(f"Balance = {explained['formula']}")
    for child in explained["children"]:
        print(f"  rests on {child['name']:10} formula {child['formula']!r}")
    return explained


def show_rename(root):
    heading("3. Rename: Tickets becomes 'Ticket sales', Rent becomes 'Hall rent'")
    edited = copy.deepcopy(root)
    for line in lines(edited):
        if line.id == "tickets":
            line.name = "Ticket sales"
        elif line.id == "rent":
            line.name = "Hall rent"
    renamed = of.rename_nodes(root, edited)
    for before, after in zip(lines(root), lines(renamed)):
        if before.formula != after.formula:
            print(f"{after.name:16} before {before.formula!r:28} after {after.formula!r}")
    print("(names with a blank are written @{...}; formulas that name neither line are unchanged)")
    return renamed


def show_expansion(root):
    heading("4. Expansion: every reference to a computed line replaced by its formula")
    expanded = of.expand_tree_formulas(root)
    for line in lines(expanded):
        print(f"{line.name:16} {line.formula}")
    return expanded


def export_workbook(root, target):
    """Gives every line the addresses of its row (columns B to D), exports the tree and
    writes the exported contents, with the line names and month names, into `target`.
    Returns the exported copy and the rows (row number, line) in pre-order."""
    import spreadsheet_recalc

    rows = list(enumerate(lines(root), start=2))  # row 1 holds the month names
    for row, line in rows:
        line.cells = [f"{column}{row}" for column in COLUMNS]  # the addresses we chose
    exported = of.export_tree_to_excel(root)  # a copy whose cells hold the contents

    contents = {}
    labels = {f"{column}1": month for column, month in zip(COLUMNS, MONTHS)}
    for (row, _), line in zip(rows, lines(exported)):
        labels[f"A{row}"] = line.name
        contents.update(zip([f"{column}{row}" for column in COLUMNS], line.cells))
    spreadsheet_recalc.write_workbook(target, contents, labels)
    return exported, rows, contents


def as_engine_text(value):
    """A spreadsheet value written as the engine writes numbers (at most 10 decimals)."""
    if value is None:
        return ""
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return f"{value:.10f}".rstrip("0").rstrip(".")
    return str(value)


def show_export(root, evaluated):
    heading("5. Export to a spreadsheet: cell contents, then the spreadsheet's values beside the engine's")
    import spreadsheet_recalc

    target = HERE / "plan.xlsx"
    exported, rows, contents = export_workbook(root, target)
    print(f"wrote {target}")

    sheet = {}
    if spreadsheet_recalc.find_soffice() is None:
        print("LibreOffice is not installed: only the engine's values are shown")
    else:
        sheet = spreadsheet_recalc.recalculated_values(target, contents.keys())

    print(f"{'line':16} {'cell':5} {'content':22} {'engine':>13} {'spreadsheet':>13}")
    compared = []
    for (row, _), line, engine in zip(rows, lines(exported), lines(evaluated)):
        for column, content, value in zip(COLUMNS, line.cells, per_month(engine.value)):
            address = f"{column}{row}"
            shown = as_engine_text(sheet.get(address)) if sheet else "-"
            print(f"{line.name:16} {address:5} {content:22} {value:>13} {shown:>13}")
            compared.append((address, value, shown))
    return exported, target, compared, bool(sheet)


def main():
    root = budget()
    evaluated = show_evaluation(root)
    explained = show_explanation(root)
    renamed = show_rename(root)
    expanded = show_expansion(root)
    exported, workbook, compared, recalculated = show_export(root, evaluated)
    return {
        "evaluated": evaluated,
        "explained": explained,
        "renamed": renamed,
        "expanded": expanded,
        "exported": exported,
        "workbook": workbook,
        "compared": compared,
        "recalculated": recalculated,
    }


if __name__ == "__main__":
    main()
