"""Writes exported cell contents into an .xlsx and lets LibreOffice Calc recalculate it.

Shared by the round-trip test and the export examples. The host's side of the export:
a content that is an error text alone ("REF!") is the sheet's error (=#REF!), contents
starting with "=" are formulas, plain numbers are numbers, anything else is text;
functions that spreadsheets store under a prefix get it (a writer such as openpyxl copies
formula text verbatim). LibreOffice runs headless with a profile of its own per run (so
runs never share one), set to recalculate every formula on loading, in its own process
group, which is killed as a whole on timeout.
"""

from __future__ import annotations

import csv
import os
import re
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

# Functions newer than the file format's first version, stored with the "_xlfn." prefix.
PREFIXED_FUNCTIONS = ("STDEV.S",)
_PREFIX_PATTERN = re.compile(r"(?<![A-Za-z0-9_.])(" + "|".join(re.escape(f) for f in PREFIXED_FUNCTIONS) + r")\(")

_PROFILE_SETTINGS = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" \
xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse">\
<value>0</value></prop></item>
</oor:items>
"""


def find_soffice() -> str | None:
    """The LibreOffice program, or None when it is not installed."""
    return shutil.which("soffice") or shutil.which("libreoffice")


def with_prefixes(formula: str) -> str:
    """The formula as the file must hold it: "=STDEV.S(B2,B3)" becomes "=_xlfn.STDEV.S(B2,B3)"."""
    return _PREFIX_PATTERN.sub(lambda m: "_xlfn." + m.group(1) + "(", formula)


# The sheet's errors for the engine's error texts. A cell that holds the text "REF!" would
# be skipped by SUM and compared as text by IF: a silent wrong number, not an error.
SHEET_ERRORS = {"REF!": "=#REF!", "VALUE!": "=#VALUE!", "MANY!": "=#N/A", "ERROR!": "=#N/A"}


def cell_value(content: str):
    """What a host writes for one exported content: an error, a formula, a number or a text."""
    content = SHEET_ERRORS.get(content, content)
    if content.startswith("="):
        return with_prefixes(content)
    try:
        number = float(content)
    except ValueError:
        return content if content != "" else None
    # "inf" and "nan" are texts to a spreadsheet, not numbers.
    return number if number == number and abs(number) != float("inf") else content


def write_workbook(path: Path, contents: dict[str, str], labels: dict[str, str] | None = None) -> None:
    """Writes exported contents (address to content) and optional text labels into one sheet."""
    from openpyxl import Workbook

    book = Workbook()
    sheet = book.active
    for address, text in (labels or {}).items():
        sheet[address] = text
    for address, content in contents.items():
        sheet[address] = cell_value(content)
    book.save(path)


# Output filters: the workbook itself, or the first sheet's values as UTF-8 CSV: numbers
# at full precision (not as displayed), errors as the spreadsheet shows them, which tells
# a formula it rejected ("Err:511") from one that failed when computed ("#DIV/0!").
_FILTERS = {"xlsx": "xlsx", "csv": "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false"}


def recalculate(source: Path, timeout: float = 180.0, target: str = "xlsx") -> Path:
    """Runs LibreOffice on `source` and gives the recalculated copy as `target` ("xlsx" or
    "csv"). It lies in a new temporary folder, beside the run's own profile: the caller
    removes the file's parent's parent."""
    soffice = find_soffice()
    if soffice is None:
        raise FileNotFoundError("LibreOffice (soffice) is not installed")
    work = Path(tempfile.mkdtemp(prefix="recalc-"))
    profile = work / "profile"
    (profile / "user").mkdir(parents=True)
    (profile / "user" / "registrymodifications.xcu").write_text(_PROFILE_SETTINGS)
    out = work / "out"
    out.mkdir()
    command = [
        soffice,
        f"-env:UserInstallation={profile.as_uri()}",
        "--headless",
        "--norestore",
        "--convert-to",
        _FILTERS[target],
        "--outdir",
        str(out),
        str(source),
    ]
    process = subprocess.Popen(
        command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True, env=dict(os.environ)
    )
    try:
        stdout, stderr = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise
    result = out / (source.stem + "." + target)
    if process.returncode != 0 or not result.exists():
        raise RuntimeError(f"LibreOffice failed ({process.returncode}): {stdout.decode()} {stderr.decode()}")
    return result


def column_letters(column: int) -> str:
    """The letters of a 1-based column number: 1 is "A", 27 is "AA"."""
    letters = ""
    while column > 0:
        column, rest = divmod(column - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def read_values(path: Path) -> dict:
    """The values of a sheet saved as CSV by `recalculate`, by address: a float, a text
    (also an error's, such as "#DIV/0!" or "Err:511"), or None for an empty cell."""
    values = {}
    with open(path, newline="", encoding="utf-8") as handle:
        for row, line in enumerate(csv.reader(handle), start=1):
            for column, text in enumerate(line, start=1):
                if text == "":
                    continue
                try:
                    value = float(text)
                except ValueError:
                    value = text
                values[column_letters(column) + str(row)] = value
    return values


def recalculated_values(path: Path, addresses, timeout: float = 180.0) -> dict:
    """The spreadsheet's own values of the cells of a workbook on disk: address to value."""
    result = recalculate(path, timeout, target="csv")
    try:
        values = read_values(result)
    finally:
        shutil.rmtree(result.parent.parent, ignore_errors=True)
    return {address: values.get(address) for address in addresses}


def round_trip(contents: dict[str, str], labels: dict[str, str] | None = None, timeout: float = 180.0) -> dict:
    """Writes, recalculates and reads back: address to the spreadsheet's value."""
    with tempfile.TemporaryDirectory(prefix="export-") as folder:
        source = Path(folder) / "export.xlsx"
        write_workbook(source, contents, labels)
        return recalculated_values(source, contents.keys(), timeout)
