#!/usr/bin/env bash
# The whole test suite: installs what a fresh machine lacks, runs the core tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then installs the module and runs the
# Python tests against the installed copy.
set -euo pipefail
cd "$(dirname "$0")"

tools/install_missing.sh g++ googletest libgtest-dev unicode-data
# The spreadsheet that recalculates exported workbooks in the round-trip test.
tools/install_missing.sh --no-install-recommends libreoffice-calc-nogui
python3 -m pip install -q --disable-pip-version-check -r tests/python/requirements.txt

tools/check_format.sh

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_SANITIZE=ON -DOSTREL_WERROR=ON
cmake --build build/sanitize
ctest --test-dir build/sanitize --output-on-failure -j2

# The stack bounds hold for optimised code without sanitizers, whose frames differ.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_WERROR=ON
cmake --build build/release --target core_tests
build/release/core_tests --gtest_brief=1 --gtest_filter='*Stack*:*Deep*'

if [ -d tests/python ] && ls tests/python/test_*.py >/dev/null 2>&1; then
  python3 -m pip install -q --disable-pip-version-check .
  (cd tests/python && python3 -m pytest -q -p no:cacheprovider .)
fi
