"""The installed type stubs agree with the module, document every function and serve a type checker."""

import ast
import subprocess
import sys
from importlib.metadata import version
from pathlib import Path

import ostrel_formulas


def test_stubs_match_the_runtime():
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "ostrel_formulas"], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def test_type_checker_sees_the_signatures(tmp_path):
    program = tmp_path / "client.py"
    program.write_text("import ostrel_formulas\nok: str = ostrel_formulas.evaluate('=1')\n"
                       "tokens: list[tuple[str, str]] = ostrel_formulas.get_tokens('=1')\n"
                       "bad: int = ostrel_formulas.evaluate_boolean('1 > 0')\n")
    result = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", str(program)], capture_output=True,
                            text=True)
    # Exactly the one wrong assignment is reported.
    assert "client.py:4: error: Incompatible types in assignment" in result.stdout
    assert "Found 1 error" in result.stdout, result.stdout


def test_every_function_is_documented_in_the_stubs_and_the_version_is_the_packages():
    stub = Path(ostrel_formulas.__file__).with_name("ostrel_formulas.pyi")
    functions = {f.name: ast.get_docstring(f) for f in ast.parse(stub.read_text()).body if isinstance(f, ast.FunctionDef)}
    assert sorted(functions) == sorted(ostrel_formulas.__all__)
    assert all(functions.values()), [name for name, doc in functions.items() if not doc]
    assert ostrel_formulas.__version__ == version("ostrel_formulas")
