// Parses and evaluates each formula of formula_functions_bench.py a fixed number of times,
// for instruction counts under callgrind, which do not depend on the machine's load:
//
//   valgrind --tool=callgrind --callgrind-out-file=cg.out --toggle-collect='ostrel_bench_run_*'
//       build/bench/benchmarks/parse_eval_count
//   callgrind_annotate --inclusive=yes cg.out | grep ostrel_bench_run_
//
// Each formula runs in a function of its own (ostrel_bench_run_0 ... 5), so the callgrind
// output gives the inclusive instructions per formula; divide by kRepeats for one call
// (which includes formatting the result as a text, as `evaluate` does).
// Without valgrind it prints each outcome, as a check that the formulas still evaluate.
#include <cstdio>
#include <string>
#include <string_view>

#include "eval/standalone.h"

namespace {

constexpr int kRepeats = 1000;

constexpr std::string_view kFormulas[] = {
    "=1 + 2 * 3 - 4 / 5",
    "=(12.5 + 7.25) * 3 - 100 / 8",
    "=round(1234.5678; 2) + abs(-3) * 2",
    "=max(1; 2; 3) + min(4; 5) * 2 - 7 % 3",
    "=2 ^ 10 - 15% * 200 + 1,5",
    "=if(3 > 2 and 1 < 2; 10; 20) + 1",
};

template <int I>
[[gnu::noinline]] std::size_t run() {
  std::size_t total = 0;
  for (int i = 0; i < kRepeats; ++i) total += ostrel::eval::evaluate_formula_text(kFormulas[I]).size();
  return total;
}

}  // namespace

extern "C" {
[[gnu::noinline]] std::size_t ostrel_bench_run_0() { return run<0>(); }
[[gnu::noinline]] std::size_t ostrel_bench_run_1() { return run<1>(); }
[[gnu::noinline]] std::size_t ostrel_bench_run_2() { return run<2>(); }
[[gnu::noinline]] std::size_t ostrel_bench_run_3() { return run<3>(); }
[[gnu::noinline]] std::size_t ostrel_bench_run_4() { return run<4>(); }
[[gnu::noinline]] std::size_t ostrel_bench_run_5() { return run<5>(); }
}

int main() {
  const std::size_t total = ostrel_bench_run_0() + ostrel_bench_run_1() + ostrel_bench_run_2() + ostrel_bench_run_3() +
                            ostrel_bench_run_4() + ostrel_bench_run_5();
  for (std::string_view formula : kFormulas) {
    std::printf("%-40.*s %s\n", static_cast<int>(formula.size()), formula.data(),
                ostrel::eval::evaluate_formula_text(formula).c_str());
  }
  std::printf("%d runs each, %zu bytes of results\n", kRepeats, total);
  return 0;
}
