#!/usr/bin/env bash
# The Python tests against one interpreter, the quick way to run them alone:
#   tools/python_tests.sh [PYTHON] [PYTEST ARGUMENTS...]
# PYTHON (default python3) gets a virtual environment of its own (.venv for python3,
# .venv-X.Y for another version), created on first use and reused; the test requirements
# and the module are installed into it, and pytest runs on tests/python against the
# installed module, e.g. `tools/python_tests.sh python3 -k rename`.
set -euo pipefail
cd "$(dirname "$0")/.."
python="${1:-python3}"
shift || true

version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
if [ "$python" = python3 ]; then venv=.venv; else venv=".venv-$version"; fi
# A system Python may refuse installs outside a virtual environment (Debian 12).
[ -x "$venv/bin/python" ] || "$python" -m venv "$venv"
venv_python="$PWD/$venv/bin/python"
pip_install=("$venv_python" -m pip install -q --disable-pip-version-check)
"${pip_install[@]}" -r tests/python/requirements.txt
"${pip_install[@]}" .
echo "python tests: $("$venv_python" -c 'import sys; print(sys.version.split()[0])') ($python, $venv)"
cd tests/python
"$venv_python" -m pytest -q -p no:cacheprovider "$@" .
