"""Every ```python block of README.md and docs/*.md is run, so the documents cannot drift
from the module. The blocks of one document run in order in one namespace (a later block
may use what an earlier one defined). A block with ">>>" prompts is a doctest: each
output shown must be the output produced. A block without prompts runs as a script and
checks its claims with assert statements."""

import doctest
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
BLOCK = re.compile(r"^```python\n(.*?)^```", re.DOTALL | re.MULTILINE)


def python_blocks(path):
    """(first line number, code) of every ```python block of the document."""
    text = path.read_text(encoding="utf-8")
    return [(text.count("\n", 0, m.start()) + 2, m.group(1)) for m in BLOCK.finditer(text)]


# The notes under an exception, which tracebacks show from Python 3.11 on, and the line of an
# exception that a note follows.
NOTE = re.compile(r"^while (reading|writing) .*\n", re.MULTILINE)
NOTED = re.compile(r"^\w+: .*\n(?=while (reading|writing) )", re.MULTILINE)


def doctest_compares_notes():
    """Whether this Python's doctest reads an exception's notes: 3.10 has none, and early
    3.11 releases (Debian 12's 3.11.2) compare the exception's last line only."""
    example = (">>> error = ValueError('x')\n>>> error.add_note('n')\n>>> raise error\n"
               "Traceback (most recent call last):\nValueError: x\nn\n")
    if not hasattr(BaseException, "add_note"):
        return False
    test = doctest.DocTestParser().get_doctest(example, {}, "notes", None, 0)
    return doctest.DocTestRunner().run(test, out=lambda _: None).failed == 0


def as_this_doctest_reads(code):
    """The documents show exceptions with their notes. A doctest that does not compare notes
    reads the last line of the exception only: its note where it has one (early 3.11), the
    exception itself on 3.10, which shows no notes."""
    if doctest_compares_notes():
        return code
    return NOTED.sub("", code) if hasattr(BaseException, "add_note") else NOTE.sub("", code)


def run_document(path):
    """Runs the document's blocks; returns how many doctest examples and script blocks ran."""
    namespace = {"__name__": f"docs_{path.stem}"}
    parser = doctest.DocTestParser()
    examples = scripts = 0
    for line, code in python_blocks(path):
        name = f"{path.name}:{line}"
        if ">>> " in code:
            code = as_this_doctest_reads(code)
            test = parser.get_doctest(code, namespace, name, str(path), line - 1)
            runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
            output = []
            result = runner.run(test, out=output.append, clear_globs=False)
            assert result.failed == 0, f"{name}:\n" + "".join(output)
            namespace.update(test.globs)  # the test ran on a copy of the namespace
            examples += result.attempted
        else:
            exec(compile(code, name, "exec"), namespace)
            scripts += 1
    return examples, scripts


@pytest.mark.parametrize("path", DOCUMENTS, ids=lambda p: p.relative_to(ROOT).as_posix())
def test_document_blocks_run_as_written(path):
    assert python_blocks(path), f"{path.name} has no python blocks"
    examples, scripts = run_document(path)
    assert examples + scripts > 0


def test_the_documents_are_all_there():
    names = {p.relative_to(ROOT).as_posix() for p in DOCUMENTS}
    assert {"README.md", "docs/language.md", "docs/api.md"} <= names


def test_a_wrong_output_is_caught(tmp_path):
    """The runner itself: a document whose shown output is wrong must fail."""
    wrong = tmp_path / "wrong.md"
    wrong.write_text('```python\n>>> import ostrel_formulas as of\n>>> of.evaluate("=1+1")\n\'3\'\n\n```\n')
    with pytest.raises(AssertionError):
        run_document(wrong)
    failing_script = tmp_path / "script.md"
    failing_script.write_text('```python\nimport ostrel_formulas as of\nassert of.evaluate("=1+1") == "3"\n```\n')
    with pytest.raises(AssertionError):
        run_document(failing_script)


LINK = re.compile(r"\]\(([^)#\s]+)(?:#([^)\s]+))?\)")


def anchors(path):
    """The anchors of a document's headings, as rendered Markdown makes them."""
    found = set()
    for heading in re.findall(r"^#+ (.*)$", path.read_text(encoding="utf-8"), re.MULTILINE):
        found.add(re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-"))
    return found


@pytest.mark.parametrize("path", DOCUMENTS, ids=lambda p: p.relative_to(ROOT).as_posix())
def test_local_links_lead_somewhere(path):
    text = path.read_text(encoding="utf-8")
    for target, anchor in LINK.findall(text):
        if "://" in target:
            continue
        linked = (path.parent / target).resolve()
        assert linked.exists(), f"{path.name} links to missing {target}"
        if anchor:
            assert anchor in anchors(linked), f"{path.name} links to missing anchor {target}#{anchor}"
    for anchor in re.findall(r"\]\(#([^)\s]+)\)", text):
        assert anchor in anchors(path), f"{path.name} links to missing anchor #{anchor}"
