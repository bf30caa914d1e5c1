#!/usr/bin/env bash
# The whole test suite: installs what a fresh machine lacks, runs the core tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then installs the module into the
# virtual environment .venv and runs the Python tests against the installed copy.
set -euo pipefail
cd "$(dirname "$0")"

tools/install_missing.sh g++ googletest libgtest-dev unicode-data
# The spreadsheet that recalculates exported workbooks in the round-trip test.
tools/install_missing.sh --no-install-recommends libreoffice-calc-nogui

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_SANITIZE=ON -DOSTREL_WERROR=ON
cmake --build build/sanitize
ctest --test-dir build/sanitize --output-on-failure -j2

# The stack bounds hold for optimised code without sanitizers, whose frames differ.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_WERROR=ON
cmake --build build/release --target core_tests
build/release/core_tests --gtest_brief=1 --gtest_filter='*Stack*:*Deep*'

# The Python tests run in a virtual environment, .venv (created on first use, reused
# afterwards), since a system Python may refuse pip installs outside one (Debian 12).
if [ -d tests/python ] && ls tests/python/test_*.py >/dev/null 2>&1; then
  python3 -c 'import ensurepip, venv' 2>/dev/null || tools/install_missing.sh python3-venv
  [ -x .venv/bin/python ] || python3 -m venv .venv
  venv_python="$PWD/.venv/bin/python"
  "$venv_python" -m pip install -q --disable-pip-version-check pytest hypothesis mypy openpyxl numpy
  "$venv_python" -m pip install -q --disable-pip-version-check .
  (cd tests/python && "$venv_python" -m pytest -q -p no:cacheprovider .)
fi
