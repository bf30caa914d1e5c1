// What asking an interrupt costs the tree operations: each runs on the same plan of 20,000
// nodes and 12 dimensions without an interrupt and with one that never says yes (as the
// module's, which only looks at a flag, answers almost always). Instruction counts under
// callgrind, which do not depend on the machine's load:
//
//   valgrind --tool=callgrind --callgrind-out-file=cg.out --toggle-collect='ostrel_bench_*'
//       build/bench/benchmarks/interrupt_overhead_count evaluate_tree
//   callgrind_annotate --inclusive=yes cg.out | grep ostrel_bench_
//
// Without valgrind it prints the best of five times of each, side by side; with the name of
// one operation as argument it runs that one only, once each way.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "eval/tree.h"
#include "excel/export.h"
#include "support/interrupt.h"
#include "tree/expand.h"
#include "tree/rename.h"
#include "types.h"

namespace {

using ostrel::AnyDim;
using ostrel::Node;

class NeverInterrupt final : public ostrel::Interrupt {
 public:
  bool requested() override { return false; }
};

Node line(std::string name, AnyDim<std::string> formula, AnyDim<std::string> cells) {
  Node n;
  n.id = name;
  n.name = std::move(name);
  n.formula = std::move(formula);
  n.cells = std::move(cells);
  return n;
}

// Appends rather than "A" + std::to_string(k), which g++ 12 at -O3 misreads as an
// overlapping copy.
std::string text(std::string text, int k, const char* rest = "") {
  text += std::to_string(k);
  text += rest;
  return text;
}

// 200 groups of 100 lines: inputs per dimension and formulas over the line before.
Node plan(const char* prefix = "i") {
  constexpr int kDimensions = 12;
  Node root = line("root", AnyDim<std::string>::single("=sum(children)"), AnyDim<std::string>::single("A1"));
  for (int g = 0; g < 200; ++g) {
    Node group = line(text("g", g), AnyDim<std::string>::single("=sum(children)"),
                      AnyDim<std::string>::single(text("A", g + 2)));
    for (int k = 0; k < 100; ++k) {
      const std::string name = text(text(prefix, g, "_"), k);
      std::vector<std::string> inputs;
      std::vector<std::string> cells;
      for (int d = 0; d < kDimensions; ++d) {
        inputs.push_back(std::to_string(k + d));
        cells.push_back(text(text("R", k + 1, "C"), d + 1));
      }
      AnyDim<std::string> formula =
          k % 2 == 0 ? AnyDim<std::string>::multi(std::move(inputs))
                     : AnyDim<std::string>::single(text(text("=@i", g, "_"), k - 1, " * 2 + right[1]"));
      group.children.push_back(line(name, std::move(formula), AnyDim<std::string>::multi(std::move(cells))));
    }
    root.children.push_back(std::move(group));
  }
  return root;
}

using Operation = bool (*)(Node& root, const Node& renamed, ostrel::Interrupt* interrupt);

struct Named {
  const char* name;
  Operation operation;
};

const Named kOperations[] = {
    {"evaluate_tree",
     [](Node& root, const Node&, ostrel::Interrupt* i) { return ostrel::eval::evaluate_tree(root, i); }},
    {"expand_tree_formulas",
     [](Node& root, const Node&, ostrel::Interrupt* i) { return ostrel::tree::expand_tree_formulas(root, i).ok(); }},
    {"rename_references", [](Node& root, const Node& renamed,
                             ostrel::Interrupt* i) { return ostrel::tree::rename_references(renamed, root, i); }},
    {"export_tree_to_excel",
     [](Node& root, const Node&, ostrel::Interrupt* i) { return ostrel::excel::export_tree_to_excel(root, i); }},
};

}  // namespace

// The two ways of calling, as functions of their own for callgrind.
extern "C" {
[[gnu::noinline]] bool ostrel_bench_plain(Operation operation, Node& root, const Node& renamed) {
  return operation(root, renamed, nullptr);
}
[[gnu::noinline]] bool ostrel_bench_polled(Operation operation, Node& root, const Node& renamed) {
  NeverInterrupt never;
  return operation(root, renamed, &never);
}
}

// With the name of one operation as argument: that one only, once each way (for callgrind).
int main(int argc, char** argv) {
  const Node renamed = plan("r");
  std::printf("%-22s %12s %12s %8s\n", "20,000 nodes", "no interrupt", "interrupt", "change");
  for (const Named& named : kOperations) {
    if (argc > 1 && std::string(argv[1]) != named.name) continue;
    const int rounds = argc > 1 ? 1 : 5;
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < rounds; ++round) {
      for (int polled = 0; polled < 2; ++polled) {  // side by side, alternating
        Node root = plan();
        const auto start = std::chrono::steady_clock::now();
        const bool done = polled ? ostrel_bench_polled(named.operation, root, renamed)
                                 : ostrel_bench_plain(named.operation, root, renamed);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (!done) return 1;
        best[polled] = std::min(best[polled], took.count());
      }
    }
    std::printf("%-22s %10.1fms %10.1fms %+7.1f%%\n", named.name, best[0], best[1],
                100.0 * (best[1] - best[0]) / best[0]);
  }
  return 0;
}
