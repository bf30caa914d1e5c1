#!/usr/bin/env bash
# All benchmarks, in one command: installs what a fresh machine lacks, builds the core in
# Release with the benchmark programs (build/bench), and runs each benchmark in turn. Any
# arguments go to the Google Benchmark programs, e.g. --benchmark_filter=scan.
#
# Each step is a function listed in `steps`; to add a benchmark, write its function and
# append its name there.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
bench_args=("$@")

install_tools() {
  tools/install_missing.sh g++ libbenchmark-dev
}

build_core_benchmarks() {
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DOSTREL_BUILD_BENCHMARKS=ON -DOSTREL_BUILD_TESTS=OFF
  cmake --build "$build_dir"
}

run_parse_bench() {
  "$build_dir/benchmarks/parse_bench" "${bench_args[@]}"
}

# The Python benchmarks run on the installed module.
install_module() {
  python3 -m pip install -q --disable-pip-version-check . simpleeval
}

# The Python functions against simpleeval.
run_formula_functions_bench() {
  python3 benchmarks/formula_functions_bench.py
}

run_evaluate_tree_bench() {
  python3 benchmarks/evaluate_tree_bench.py
}

run_expand_bench() {
  python3 benchmarks/expand_bench.py
}

run_rename_bench() {
  python3 benchmarks/rename_bench.py
}

run_export_bench() {
  python3 benchmarks/export_bench.py
}

run_interrupt_bench() {
  python3 benchmarks/interrupt_bench.py
  "$build_dir/benchmarks/interrupt_overhead_count"
}

# Every figure beside its target, measured again in one run, last so that it ends the output.
run_targets() {
  python3 benchmarks/targets.py
}

steps=(
  install_tools
  build_core_benchmarks
  run_parse_bench
  install_module
  run_formula_functions_bench
  run_evaluate_tree_bench
  run_expand_bench
  run_rename_bench
  run_export_bench
  run_interrupt_bench
  run_targets
)

for step in "${steps[@]}"; do
  echo "== $step"
  "$step"
done
