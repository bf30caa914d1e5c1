"""Every ```python block of README.md and docs/*.md runs, in order in one namespace per document:
blocks with ">>>" prompts as doctests, the others as scripts that assert their claims."""

import doctest
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
BLOCK = re.compile(r"^```python\n(.*?)^```", re.DOTALL | re.MULTILINE)
# The notes under an exception (shown from 3.11 on), and an exception line that a note follows.
NOTE = re.compile(r"^while (reading|writing) .*\n", re.MULTILINE)
NOTED = re.compile(r"^\w+: .*\n(?=while (reading|writing) )", re.MULTILINE)


def doctest_compares_notes():
    """3.10 has no notes, and early 3.11 releases (3.11.2) compare the exception's last line only."""
    if not hasattr(BaseException, "add_note"):
        return False
    example = (">>> error = ValueError('x')\n>>> error.add_note('n')\n>>> raise error\n"
               "Traceback (most recent call last):\nValueError: x\nn\n")
    test = doctest.DocTestParser().get_doctest(example, {}, "notes", None, 0)
    return doctest.DocTestRunner().run(test, out=lambda _: None).failed == 0


def as_this_doctest_reads(code):
    """Without note comparison doctest reads the last line only: the note (early 3.11) or the exception (3.10)."""
    if doctest_compares_notes():
        return code
    return NOTED.sub("", code) if hasattr(BaseException, "add_note") else NOTE.sub("", code)


def run_document(path):
    """Runs the document's blocks; returns how many doctest examples and script blocks ran."""
    text = path.read_text(encoding="utf-8")
    namespace, ran = {"__name__": f"docs_{path.stem}"}, 0
    for match in BLOCK.finditer(text):
        line, code = text.count("\n", 0, match.start()) + 2, match.group(1)
        name = f"{path.name}:{line}"
        if ">>> " in code:
            test = doctest.DocTestParser().get_doctest(as_this_doctest_reads(code), namespace, name, str(path), line - 1)
            output = []
            result = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS).run(test, out=output.append, clear_globs=False)
            assert result.failed == 0, f"{name}:\n" + "".join(output)
            namespace.update(test.globs)  # the test ran on a copy of the namespace
            ran += result.attempted
        else:
            exec(compile(code, name, "exec"), namespace)
            ran += 1
    return ran


@pytest.mark.parametrize("path", DOCUMENTS, ids=lambda p: p.relative_to(ROOT).as_posix())
def test_document_blocks_run_as_written(path):
    assert run_document(path) > 0, f"{path.name} has no python blocks"


@pytest.mark.parametrize("block", ['>>> import ostrel_formulas as of\n>>> of.evaluate("=1+1")\n\'3\'\n',
                                   'import ostrel_formulas as of\nassert of.evaluate("=1+1") == "3"\n'])
def test_a_wrong_output_is_caught(tmp_path, block):
    (tmp_path / "wrong.md").write_text(f"```python\n{block}\n```\n")
    with pytest.raises(AssertionError):
        run_document(tmp_path / "wrong.md")


def anchors(path):
    """The anchors of a document's headings, as rendered Markdown makes them."""
    headings = re.findall(r"^#+ (.*)$", path.read_text(encoding="utf-8"), re.MULTILINE)
    return {re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-") for heading in headings}


@pytest.mark.parametrize("path", DOCUMENTS, ids=lambda p: p.relative_to(ROOT).as_posix())
def test_local_links_lead_somewhere(path):
    for target, anchor in re.findall(r"\]\(([^)#\s]*)(?:#([^)\s]+))?\)", path.read_text(encoding="utf-8")):
        if "://" not in target:
            linked = (path.parent / target).resolve() if target else path
            assert linked.exists(), f"{path.name} links to missing {target}"
            assert not anchor or anchor in anchors(linked), f"{path.name} links to missing anchor {target}#{anchor}"
