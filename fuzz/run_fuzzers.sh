#!/usr/bin/env bash
# Builds the libFuzzer harnesses into build/fuzz and runs each one for the given number of
# seconds (default 60), one after another, on a scratch copy of its seed corpus in
# fuzz/corpus/<harness>/: what the fuzzer finds never lands in the committed corpus. Fails
# on any crash, sanitizer report, leak, timeout or failed property; the input that caused
# it is kept as build/fuzz/runs/<harness>/findings/crash-* (or leak-*, timeout-*, ...).
# Needs clang-14 and libclang-rt-14-dev (run_tests.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz
harnesses=(parse_routes tokens evaluate trees)

if ! command -v clang++-14 >/dev/null; then
  echo "run_fuzzers.sh: clang++-14 is missing (apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 1
fi

mkdir -p "$build"
echo "fuzz: building the harnesses into $build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_BUILD_FUZZERS=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_PYTHON=OFF &&
  cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
  tail -n 60 "$build/build.log"
  echo "fuzz: the build failed (whole log: $build/build.log)" >&2
  exit 1
fi

export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for harness in "${harnesses[@]}"; do
  run="$build/runs/$harness"
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/findings"
  cp fuzz/corpus/"$harness"/* "$run/corpus/"
  echo "fuzz: $harness for ${seconds} s"
  if "$build/fuzz/fuzz_$harness" -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=4096 \
    -dict=fuzz/formula.dict -print_final_stats=1 -artifact_prefix="$run/findings/" "$run/corpus" >"$run/log" 2>&1; then
    # The last status line: coverage, corpus size, speed.
    grep -E '^#[0-9]+' "$run/log" | tail -n 1 || true
  else
    tail -n 60 "$run/log"
    echo "fuzz: $harness FAILED; input kept in $run/findings/, whole log in $run/log" >&2
    failed+=("$harness")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: failures in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: ${#harnesses[@]} harnesses ran ${seconds} s each without a finding"
