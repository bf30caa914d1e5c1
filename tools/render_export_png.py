"""Renders the workbook that examples/plan.py exports into docs/export_plan.png.

    python tools/render_export_png.py [output.png]

Needs the module, openpyxl, LibreOffice (soffice) and pdftoppm (Debian: poppler-utils).
Steps: the example's budget is exported and written into an .xlsx, with one more column
showing the January contents as text; LibreOffice recalculates it
(spreadsheet_recalc.recalculate), converts the recalculated workbook to PDF, and pdftoppm
turns the top of the PDF's first page into a PNG.
"""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "examples"))
sys.path.insert(0, str(ROOT / "tools"))

import plan  # noqa: E402
import spreadsheet_recalc  # noqa: E402


def annotate(path: Path, exported_rows) -> None:
    """Adds column E with the January contents as plain text, and a printable layout."""
    from openpyxl import load_workbook

    book = load_workbook(path)
    sheet = book.active
    sheet["E1"] = "Jan content"
    for row, line in exported_rows:
        cell = sheet[f"E{row}"]
        cell.value = line.cells[0]
        cell.data_type = "s"  # shown as text, not computed
    sheet.column_dimensions["A"].width = 16
    sheet.column_dimensions["E"].width = 22
    sheet.print_options.gridLines = True
    sheet.print_options.headings = True  # the column letters and row numbers
    book.save(path)


def render(output: Path) -> Path:
    soffice = spreadsheet_recalc.find_soffice()
    if soffice is None or shutil.which("pdftoppm") is None:
        raise SystemExit("needs LibreOffice (soffice) and pdftoppm (apt-get install poppler-utils)")
    with tempfile.TemporaryDirectory(prefix="render-") as folder:
        folder = Path(folder)
        workbook = folder / "plan.xlsx"
        exported, rows, _ = plan.export_workbook(plan.budget(), workbook)
        annotate(workbook, [(row, line) for (row, _), line in zip(rows, plan.lines(exported))])
        recalculated = spreadsheet_recalc.recalculate(workbook)
        try:
            profile = folder / "profile"
            subprocess.run(
                [soffice, f"-env:UserInstallation={profile.as_uri()}", "--headless", "--norestore",
                 "--convert-to", "pdf", "--outdir", str(folder), str(recalculated)],
                check=True, capture_output=True, timeout=180,
            )
        finally:
            pdf = folder / (recalculated.stem + ".pdf")
            shutil.rmtree(recalculated.parent.parent, ignore_errors=True)
        subprocess.run(
            # The table fills the top left of the first page: keep that part.
            ["pdftoppm", "-png", "-r", "110", "-f", "1", "-l", "1", "-x", "70", "-y", "95", "-W", "760", "-H", "280",
             "-singlefile", str(pdf), str(folder / "page")],
            check=True, timeout=120,
        )
        page = folder / "page.png"
        shutil.copyfile(page, output)
    return output


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "docs" / "export_plan.png"
    target.parent.mkdir(parents=True, exist_ok=True)
    print(render(target))
