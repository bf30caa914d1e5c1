#!/usr/bin/env bash
# The whole test suite: installs what a fresh machine lacks, checks the C++ format, runs
# the core tests under AddressSanitizer and UndefinedBehaviorSanitizer and the fuzzing
# harnesses for half a minute each, then the Python tests against the installed module
# with every CPython from 3.10 up that the machine has, and once more against a copy built
# with the sanitizers.
set -euo pipefail
cd "$(dirname "$0")"

tools/install_missing.sh g++ googletest libgtest-dev libbenchmark-dev unicode-data python3-dev poppler-utils
# The spreadsheet that recalculates exported workbooks in the round-trip test.
tools/install_missing.sh --no-install-recommends libreoffice-calc-nogui

tools/check_format.sh

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_SANITIZE=ON -DOSTREL_WERROR=ON
cmake --build build/sanitize
ctest --test-dir build/sanitize --output-on-failure -j2

# The stack bounds hold for optimised code without sanitizers, whose frames differ. The
# benchmark programs are built here too, so that a change cannot leave them broken.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_WERROR=ON -DOSTREL_BUILD_BENCHMARKS=ON
cmake --build build/release --target core_tests benchmarks
build/release/core_tests --gtest_brief=1 --gtest_filter='*Stack*:*Deep*'

# The fuzzing harnesses, built with clang's libFuzzer and the sanitizers: each runs for 30 s
# on a scratch copy of its seed corpus, and any crash or failed property fails the suite.
tools/install_missing.sh clang-14 libclang-rt-14-dev
fuzz/run_fuzzers.sh 30

# The Python tests, against every CPython from 3.10 up that the machine has (each in a
# virtual environment of its own, .venv for python3: a system Python may refuse pip installs
# outside one). The spreadsheet round trip, the examples, the documents' blocks and the timed
# signal test run with python3 only: they test the same module through programs of their
# own, or the engine's pace rather than the interpreter's. The property tests generate a
# tenth of their examples on the other versions: what differs between interpreters is the
# boundary, which every example crosses.
python3 -c 'import ensurepip, venv' 2>/dev/null || tools/install_missing.sh python3-venv
# Every version builds the same engine sources with the same flags: compile them once.
tools/install_missing.sh ccache
export CMAKE_CXX_COMPILER_LAUNCHER=ccache
tested=()
while read -r version python; do
  if [ "$python" = python3 ]; then
    tools/python_tests.sh "$python"
  else
    OSTREL_EXAMPLES_SCALE=0.1 tools/python_tests.sh "$python" \
      --ignore=test_export_roundtrip.py --ignore=test_examples.py --ignore=test_docs.py \
      -k "not test_a_signal_stops_a_long_call_soon"
  fi
  tested+=("$version")
done < <(tools/find_pythons.sh)
echo "python tests: passed on Python ${tested[*]}"

# Again against the module built with AddressSanitizer and UndefinedBehaviorSanitizer,
# their runtimes loaded first. The interpreter keeps memory until it exits, so leak checks
# are off. Tests that start other programs (the spreadsheet, the examples, the documents'
# blocks) ran in the plain pass: the runtimes must not reach those programs. So did the
# timed signal test, whose 300,000-node calls the sanitizers slow several times over. The
# property tests generate a quarter of their examples here.
venv_python="$PWD/.venv/bin/python"
"$venv_python" -m pip install -q --disable-pip-version-check --no-deps --upgrade --target build/python-sanitize \
  --config-settings=cmake.build-type=RelWithDebInfo --config-settings=cmake.define.OSTREL_SANITIZE=ON \
  --config-settings=build-dir=build/wheel-sanitize .
runtimes="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
sanitized_site="$PWD/build/python-sanitize"
(cd tests/python && LD_PRELOAD="$runtimes" ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1 \
  OSTREL_EXAMPLES_SCALE=0.25 \
  PYTHONPATH="$sanitized_site" "$venv_python" -m pytest -q -p no:cacheprovider . \
  --ignore=test_export_roundtrip.py --ignore=test_examples.py --ignore=test_docs.py \
  -k "not test_a_signal_stops_a_long_call_soon")
