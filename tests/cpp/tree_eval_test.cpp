// Tree evaluation: the driver against a recursive evaluation, the mends, deep trees.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "eval/evaluator.h"
#include "eval/tree.h"
#include "node_builders.h"
#include "parser/grammar.h"
#include "recursive_evaluation.h"
#include "tangle_generator.h"

namespace ostrel::eval {
namespace {

using testing::hidden;
using testing::multi;
using testing::node;
using testing::numbered;
using testing::random_tangle;
using testing::recursive_values;
using testing::shown;
using testing::values_in_pre_order;

// Evaluates the tree under a root named "root" and gives each child's value text.
template <class... Children>
std::vector<std::string> values_of(Children... children) {
  Node root = node("root", "", std::move(children)...);
  evaluate_tree(root);
  std::vector<std::string> out;
  for (const Node& child : root.children) out.push_back(shown(child));
  return out;
}

using Strings = std::vector<std::string>;

// What the random tangles below never write: errors other than a cycle's, parse failures,
// case, index 0, plain children and single formulas that read right-hand values.
TEST(TreeEval, ReferencesAndDimensions) {
  // Another node's error counts as "REF!"; a right-hand value keeps its kind.
  EXPECT_EQ(values_of(node("a", "=1/0"), node("b", "=@a"), node("c", "=@a + 1")), (Strings{"VALUE!", "REF!", "REF!"}));
  EXPECT_EQ(values_of(node("a", "=(1"), node("b", "=@a")), (Strings{"ERROR!", "REF!"}));
  EXPECT_EQ(values_of(node("p", "=count(children)", node("a", "1"), node("b", "=1/0"))), Strings{"REF!"});
  EXPECT_EQ(values_of(multi("r", {"=right[1]", "=1/0"}))[0], "[VALUE!, VALUE!]");
  EXPECT_EQ(values_of(node("p", "=sum(children)", node("a", "1"), hidden(node("b", "2")), node("c", ""))),
            Strings{"3"});
  const std::vector<std::pair<std::string, std::string>> picks = {
      {"=@c", "MANY!"}, {"=@c + 1", "MANY!"}, {"=sum(@c)", "5"},  {"=@c[1]", "2"},
      {"=@c[2]", "3"},  {"=@c[3]", "REF!"},   {"=@c[0]", "REF!"}, {"=@C", "REF!"}};
  for (const auto& [formula, expected] : picks) {
    EXPECT_EQ(values_of(node("c", "2"), node("p", "", node("c", "3")), node("r", formula))[2], expected) << formula;
  }
  EXPECT_EQ(values_of(node("r", "=sum(right)"))[0], "REF!");
  // right[k] needs dimension d + k alone: the last dimension here is no cycle.
  EXPECT_EQ(values_of(multi("A", {"=right[1]", "", "=total(@A)"}))[0], "[, , 0]");
  EXPECT_EQ(values_of(multi("A", {"=sum(right)", "", "=total(@A)"}))[0], "[REF!, , REF!]");
  EXPECT_EQ(values_of(multi("x", {"0", "2"}), node("q", "=ratio(@x)"))[1], "VALUE!");
}

// Evaluates a whole tree and gives the value text of every node in pre-order.
std::vector<std::string> all_values(Node root) {
  evaluate_tree(root);
  return values_in_pre_order(root);
}

TEST(TreeEval, CyclePlaceholderIsEvaluatedAgainInLaterDimensions) {
  // Y is first evaluated inside X's cycle in every dimension; once its value differs in
  // dimension 1, the placeholders of the later dimensions must not survive.
  const std::string x = "=iferror(@Y;5)";
  EXPECT_EQ(all_values(multi("X", {x, x, x}, node("Y", "=@X"))), (Strings{"[5, 5, 5]", "[REF!, 5, 5]"}));
}

TEST(TreeEval, WriteBackShapeFollowsTheValuesNotTheWalk) {
  // A single formula is written as one value exactly when its values agree in every dimension,
  // however early a later dimension was read.
  EXPECT_EQ(all_values(multi("A", {"1", "=@B"}, node("B", "=5"))), (Strings{"[1, 5]", "5"}));
  EXPECT_EQ(all_values(multi("A", {"1", "2"}, node("B", "=5"))), (Strings{"[1, 2]", "5"}));
  EXPECT_EQ(all_values(multi("A", {"", "=@B"}, node("B", ""))), (Strings{"[, ]", ""}));
  EXPECT_EQ(all_values(node("C", "=@C", multi("C", {"", ""}))), (Strings{"MANY!", "[, ]"}));
  EXPECT_EQ(all_values(multi("C", {"1", "=@B[2]"}, node("B", "=total(@B[2])"), node("B", "=sum(@B)"))),
            (Strings{"[1, REF!]", "REF!", "REF!"}));
  // Zeros of either sign are equal; empty and zero are not.
  EXPECT_EQ(all_values(multi("A", {"0", "-0"}, node("B", "=@A"))), (Strings{"[0, 0]", "0"}));
  EXPECT_EQ(all_values(multi("A", {"", "0"}, node("B", "=@A"))), (Strings{"[, 0]", "[, 0]"}));
  // Values that differ (errors by their kind), or never equal (NaN), make a list.
  EXPECT_EQ(all_values(multi("A", {"1", "=@B"}, node("B", "=@A"))), (Strings{"[1, REF!]", "[1, REF!]"}));
  EXPECT_EQ(all_values(multi("A", {"0", "=1/0"}, node("B", "=1/@A"))), (Strings{"[0, VALUE!]", "[VALUE!, REF!]"}));
  EXPECT_EQ(all_values(multi("A", {"1", "2"}, node("B", "=10^400 - 10^400"))), (Strings{"[1, 2]", "[NaN, NaN]"}));
}

TEST(TreeEval, SyntaxTreesOutliveEveryFrameThatReadsThem) {
  // N's single formula is still being evaluated in dimension 1 while nested evaluations
  // finish its other dimensions, some of them twice (a single entry turning per-dimension
  // empties the later slots): its syntax tree must stay until the last of them is done.
  EXPECT_EQ(values_of(node("N", "=@A + 10"), multi("A", {"1", "=@C", "2", "1"}),
                      multi("C", {"0", "=right[2] + right[1] + @E", "=@N", "=@N"}),
                      multi("E", {"0", "=right[2] + @F", "0", "=@N"}), node("B", "5"), node("F", "=@B + 99"))[0],
            "[11, 148, 12, 11]");
  // The smallest such tangle: a cycle's "REF!" turns N per-dimension while its dimension 1
  // is under way, and Z's reading of N's dimension 2 evaluates it a second time.
  EXPECT_EQ(values_of(node("N", "=iferror(@X; 0) + 1"), multi("X", {"0", "=right[1] + iferror(@N; 0) + @Z", "=@N"}),
                      multi("Z", {"0", "=right[1]", "=@N"}))[0],
            "[1, 4, 2]");
}

TEST(TreeEval, EmptyListsMeanNoDimensions) {
  Node root = multi("root", {}, multi("a", {}));
  root.value = AnyDim<EvalResult>::single(EvalResult::number(7));
  EXPECT_EQ(get_max_dimensions(root), 0u);
  evaluate_tree(root);
  EXPECT_EQ(shown(root), "7");
  EXPECT_EQ(shown(root.children[0]), "");
}

// ---- The driver against a recursive evaluation --------------------------------------------

// Without nesting every formula waits and starts again; with a little, nested evaluations
// also run out of budget midway and are continued as frames; with the default, small trees
// nest throughout.
TEST(TreeEval, DriverMatchesRecursiveEvaluation) {
  std::mt19937 random(42);
  auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  for (int i = 0; i < 20000; ++i) {
    // Nodes do not copy: each evaluation gets the same tree from the same generator state.
    const std::mt19937 at_tree = random;
    Node expected_tree = random_tangle(below);
    const std::vector<std::string> expected = recursive_values(expected_tree);
    for (const std::size_t budget : {std::size_t{0}, std::size_t{1500}, kNestedStackBytes}) {
      random = at_tree;
      Node actual_tree = random_tangle(below);
      TreeState state(actual_tree, get_max_dimensions(actual_tree));
      evaluate_all(state, budget);
      state.save_values();
      ASSERT_EQ(values_in_pre_order(actual_tree), expected) << "tree " << i << ", stack budget " << budget;
    }
  }
}

// ---- Depth --------------------------------------------------------------------------------

TEST(TreeEval, LongReferenceChainNeedsNoStack) {
  constexpr int kLength = 100000;
  Node root = node("root", "=@n0");
  root.children.reserve(kLength);
  for (int i = 0; i < kLength; ++i) {
    const std::string next = i + 1 < kLength ? "=@n" + std::to_string(i + 1) + " + 1" : "1";
    root.children.push_back(node(numbered("n", i), next));
  }
  evaluate_tree(root);
  EXPECT_EQ(shown(root), std::to_string(kLength));
  EXPECT_EQ(shown(root.children[kLength - 2]), "2");
}

TEST(TreeEval, DeepTreesNeedNoStack) {
  constexpr int kDepth = 100000;
  Node root = node("n0", "=sum(children) + 1");
  Node* at = &root;
  for (int i = 1; i < kDepth; ++i) {
    at->children.push_back(node(numbered("n", i), i + 1 < kDepth ? "=sum(children) + 1" : "1"));
    at = &at->children.back();
  }
  EXPECT_EQ(get_max_dimensions(root), 1u);
  EXPECT_EQ(TreeIndex(root).named("n99999").size(), 1u);
  evaluate_tree(root);
  EXPECT_EQ(shown(root), std::to_string(kDepth));
  // Destroying the tree must not recurse either (the test ends by doing so).
}

}  // namespace
}  // namespace ostrel::eval
