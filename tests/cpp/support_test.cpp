// The support types: every tree operation asks its interrupt as it goes, stops at the first
// yes and says so; a result never hands out its missing side.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "eval/tree.h"
#include "excel/export.h"
#include "node_builders.h"
#include "support/interrupt.h"
#include "support/result.h"
#include "tree/expand.h"
#include "tree/explain.h"
#include "tree/rename.h"

namespace ostrel {
namespace {

using testing::json_of;
using testing::numbered;

// Says yes at its `yes_at`-th ask (never when 0), and counts the asks.
class CountingInterrupt final : public Interrupt {
 public:
  explicit CountingInterrupt(std::size_t yes_at) : yes_at_(yes_at) {}
  bool requested() override { return ++asks_ == yes_at_; }
  std::size_t asks() const { return asks_; }

 private:
  std::size_t yes_at_;
  std::size_t asks_ = 0;
};

// Groups of inputs and formulas over them, with cells to export: 50 groups of 100.
Node plan() {
  Node root = testing::node("root", "=sum(children)");
  root.id = "root";
  root.cells = AnyDim<std::string>::single("A1");
  for (int g = 0; g < 50; ++g) {
    Node group = testing::node(numbered("g", g), "=sum(children)");
    group.id = numbered("g", g);
    group.cells = AnyDim<std::string>::single(numbered("A", g + 2));
    for (int k = 0; k < 100; ++k) {
      const std::string name = numbered(numbered("i", g) + "_", k);
      const std::string previous = numbered(numbered("i", g) + "_", k - 1);
      Node leaf = testing::node(name, k % 2 == 0 ? "5" : "=@" + previous + " * 2");
      leaf.id = name;
      leaf.cells = AnyDim<std::string>::single(numbered("B", k + 1));
      group.children.push_back(std::move(leaf));
    }
    root.children.push_back(std::move(group));
  }
  return root;
}

// Runs an operation on a fresh plan; true when it finished, false when it reports a stop.
using Operation = std::function<bool(Node&, Interrupt*)>;

struct Case {
  const char* name;
  Operation run;
};

const Case kCases[] = {
    {"evaluate_tree", [](Node& root, Interrupt* i) { return eval::evaluate_tree(root, i); }},
    {"rename_references",
     [](Node& root, Interrupt* i) {
       // Every group renamed: each reference to one of its leaves follows.
       for (Node& group : root.children) {
         for (Node& leaf : group.children) leaf.name.insert(0, "new ");
       }
       return tree::rename_references(plan(), root, i);
     }},
    {"expand_tree_formulas",
     [](Node& root, Interrupt* i) {
       const auto expanded = tree::expand_tree_formulas(root, i);
       if (!expanded) {
         EXPECT_EQ(expanded.error(), tree::ExpansionFailure::Stopped);
       }
       return expanded.ok();
     }},
    {"explain_node",
     [](Node& root, Interrupt* i) {
       const auto explained = tree::explain_node(root, "root", i);
       if (!explained) {
         EXPECT_EQ(explained.error(), tree::ExpansionFailure::Stopped);
       }
       return explained.ok();
     }},
    {"export_tree_to_excel", [](Node& root, Interrupt* i) { return excel::export_tree_to_excel(root, i); }},
};

class Interrupted : public ::testing::TestWithParam<Case> {};

TEST_P(Interrupted, StopsAtTheFirstYesAndSaysSo) {
  const Operation& run = GetParam().run;
  Node untouched = plan();
  ASSERT_TRUE(run(untouched, nullptr));
  CountingInterrupt never(0);
  Node asked = plan();
  ASSERT_TRUE(run(asked, &never));
  EXPECT_EQ(json_of(asked), json_of(untouched)) << "an interrupt that never says yes changed the outcome";
  // 5,051 nodes: every phase asks now and then, not once at the end.
  EXPECT_GE(never.asks(), 5051u / InterruptPoll::kInterval);

  for (const std::size_t yes_at : {std::size_t{1}, never.asks() / 2, never.asks()}) {
    CountingInterrupt stop(yes_at);
    Node root = plan();
    EXPECT_FALSE(run(root, &stop)) << "yes at ask " << yes_at;
    EXPECT_EQ(stop.asks(), yes_at) << "asked again after a yes";
  }
}

INSTANTIATE_TEST_SUITE_P(TreeOperations, Interrupted, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Interrupted, ExpansionLeavesTheTreeAsItWas) {
  CountingInterrupt stop(3);
  Node root = plan();
  ASSERT_FALSE(tree::expand_tree_formulas(root, &stop));
  EXPECT_EQ(json_of(root), json_of(plan()));
}

// Taking the missing side of a result is an engine fault the boundary reports, never a
// read of the other side's bytes.
TEST(Result, TakingTheMissingSideIsAnInvariantFailure) {
  Result<int, std::string> failed = fail(std::string("why"));
  Result<int, std::string> succeeded = 7;
  EXPECT_THROW(static_cast<void>(failed.value()), InvariantError);
  EXPECT_THROW(static_cast<void>(succeeded.error()), InvariantError);
  EXPECT_EQ(std::move(succeeded).value(), 7);
  EXPECT_EQ(std::as_const(failed).error(), "why");
}

}  // namespace
}  // namespace ostrel
