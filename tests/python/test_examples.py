"""Every example under examples/ runs and shows what its text says; the spreadsheet parts need LibreOffice."""

import contextlib
import importlib.util
import io
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import require

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
NO_SOFFICE = None if shutil.which("soffice") or shutil.which("libreoffice") else "LibreOffice is not installed"


def run_script(path, *args):
    result = subprocess.run([sys.executable, str(path), *args], capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_every_example_is_covered_here():
    assert {p.name for p in EXAMPLES.glob("*.py")} == {"demo.py", "plan.py", "export_plan.py"}


def test_demo_prints_each_value_with_its_explanation():
    output = run_script(EXAMPLES / "demo.py")
    assert all(heading in output for heading in ["Single formulas", "Conditions", "Tokens", "A small plan"])
    lines = output.splitlines()

    def line_of(start):
        return next(line for line in lines if line.startswith(start + " ") and "->" in line)

    shown = {"'=1 + 2 * 3'": "'7'", "'=round(1234.5678; -2)'": "'1200'", "'=0.1 + 0.2'": "'0.3'", "'1,5'": "'1.5'",
             "'1.234,5'": "'1234.5'", "'15%'": "'0.15'", "'5 + 1'": "'ERROR!'", "'=1 / 0'": "'VALUE!'",
             "'=@Revenue - @Cost'": "'REF!'", "'1 > 0 and not 2 < 1'": "'true'", "'empty'": "'false'"}
    assert {start: line_of(start).split("-> ")[1][:len(value)] for start, value in shown.items()} == shown
    assert "before '+'" in line_of("'=1 + 2 * 3'")
    # Revenue is Units * Price (2.5), February with 10 % more; Staff in January doubles February's 40.
    plan = lines[next(i for i, line in enumerate(lines) if line.startswith("Profit")):]
    assert [line.split()[:4] for line in plan if line.split()[0] in ("Profit", "Revenue", "Staff", "Cost")] == [
        ["Profit", "120", "|", "240"], ["Revenue", "250", "|", "330"], ["Cost", "130", "|", "90"], ["Staff", "80", "|", "40"]]
    assert all(len(line.split()) >= 3 for line in plan)  # each plan line carries its explanation


@pytest.fixture(scope="module")
def plan_run():
    """Runs examples/plan.py in this process and keeps what it printed and returned."""
    spec = importlib.util.spec_from_file_location("plan_example", EXAMPLES / "plan.py")
    module, printed = importlib.util.module_from_spec(spec), io.StringIO()
    spec.loader.exec_module(module)
    with contextlib.redirect_stdout(printed):
        results = module.main()
    return module, printed.getvalue(), results


def test_plan_walks_through_every_step_and_evaluates_the_budget(plan_run):
    module, output, results = plan_run
    assert all(f"\n{number}. " in output for number in range(1, 6))
    assert "Balance = =" in output and "before '=@Tickets * 15%'" in output
    values = {line.name: line.value for line in module.lines(results["evaluated"])}
    # Income: tickets + 250 grants; expenses: 800 rent + 15 % of the tickets.
    assert [values[name] for name in ["Income", "Expenses", "Balance", "Margin %", "Tickets vs Jan"]] == [
        ["1450", "1600", "1750.5"], ["980", "1002.5", "1025.075"], ["470", "597.5", "725.425"],
        ["32.4", "37.3", "41.4"], ["1", "1.125", "1.2504166667"]]


def test_plan_explains_renames_expands_and_exports(plan_run):
    module, _, results = plan_run

    def field(step, name, ids):
        lines = {line.id: getattr(line, name) for line in module.lines(results[step])}
        return [lines[id_] for id_ in ids]

    explained = results["explained"]
    assert [child["name"] for child in explained["children"]] == ["Tickets", "Grants", "Rent"]
    assert "@Income" not in explained["formula"] and "@Expenses" not in explained["formula"]
    assert field("renamed", "formula", ["supplies", "growth", "balance"]) == [
        "=@{Ticket sales} * 15%", "=ratio(@{Ticket sales})", "=@Income - @Expenses"]
    expenses, margin = field("expanded", "formula", ["expenses", "margin"])
    assert expenses == "=sum(@Rent; (@Tickets * 15%))"
    assert not any(name in margin for name in ["@Income", "@Expenses", "@Supplies", "@Balance", "children"])
    assert results["workbook"].is_file()
    assert field("exported", "cells", ["balance", "tickets"]) == [["=B3-B6", "=C3-C6", "=D3-D6"],
                                                                  ["1200", "1350", "1500.5"]]


def test_plan_spreadsheet_agrees_with_the_engine(plan_run):
    require(NO_SOFFICE)
    _, _, results = plan_run
    assert results["recalculated"] and len(results["compared"]) == 27
    assert [(address, engine) for address, engine, sheet in results["compared"] if engine != sheet] == []


def test_export_plan_runs():
    output = run_script(EXAMPLES / "export_plan.py")
    assert output.startswith("A quarterly plan exported") and all(word in output for word in ["wrote", "Profit", "Q4"])


def test_the_picture_of_the_export_can_be_rendered(tmp_path):
    require(NO_SOFFICE)
    if shutil.which("pdftoppm") is None:
        pytest.skip("pdftoppm (poppler-utils) is not installed")
    target = tmp_path / "export.png"
    run_script(ROOT / "tools" / "render_export_png.py", str(target))
    data = target.read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n") and len(data) > 10_000
    assert (ROOT / "docs" / "export_plan.png").is_file()
