// Renaming: what each old reference becomes, and the rewrite of whole reference tokens only.
#include "tree/rename.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parser/reference_tokens.h"

namespace ostrel::tree {
namespace {

// A tree from a compact text: entries separated by ", ", each "id:name" below a node
// (no dots) that is the root; each leading "." is one level deeper, and "~" after the dots
// marks a hidden node. Every node gets `formula`.
Node tree(std::string_view text, const std::string& formula = "") {
  Node root;
  std::vector<Node*> path;  // the last node seen at each depth
  while (!text.empty()) {
    const std::size_t cut = text.find(", ");
    std::string_view entry = text.substr(0, cut);
    text = cut == std::string_view::npos ? std::string_view{} : text.substr(cut + 2);
    std::size_t depth = 0;
    while (entry[depth] == '.') ++depth;
    entry.remove_prefix(depth);
    Node node;
    node.is_hidden = entry.starts_with('~');
    if (node.is_hidden) entry.remove_prefix(1);
    const std::size_t colon = entry.find(':');
    node.id = std::string(entry.substr(0, colon));
    node.name = std::string(entry.substr(colon + 1));
    node.formula = AnyDim<std::string>::single(formula);
    path.resize(depth);
    Node* placed = &root;
    if (depth == 0) {
      root = std::move(node);
    } else {
      path[depth - 1]->children.push_back(std::move(node));
      placed = &path[depth - 1]->children.back();
    }
    path.push_back(placed);
  }
  return root;
}

struct RenameCase {
  std::string label;
  std::string old_tree;
  std::string new_tree;
  std::string formula;
  std::string expected;
};

void PrintTo(const RenameCase& c, std::ostream* out) { *out << c.label; }

class Rename : public ::testing::TestWithParam<RenameCase> {};

TEST_P(Rename, RewritesTheFormula) {
  const RenameCase& c = GetParam();
  const Node old_root = tree(c.old_tree);
  // The formula stands in a node of the new tree, as it would for the host.
  Node new_root = tree(c.new_tree);
  new_root.formula = AnyDim<std::string>::single(c.formula);
  rename_references(old_root, new_root);
  EXPECT_EQ(new_root.formula.single_value(), c.expected);
  EXPECT_EQ(replace_references(c.formula, Renaming(old_root, new_root)), c.expected);
}

// Random edits, names without a form and the bytes around tokens are held by test_rename.py;
// here what a removal leaves, an empty name, and references that named no one node.
INSTANTIATE_TEST_SUITE_P(
    Edits, Rename,
    ::testing::Values(
        RenameCase{"unicode", "r:R, .7:Größe", "r:R, .7:Maß", "=@Größe^2", "=@Maß^2"},
        // A name without a reference form leaves an error, not a hole in the formula.
        RenameCase{"to_empty_name", "r:R, .7:Cost", "r:R, .7:", "=@Cost*2", "=REF!*2"},
        // "@A[1]" would silently come to mean node 2.
        RenameCase{"removed_first_of_two", "r:R, .1:A, .2:A", "r:R, .2:A", "=@A[1]+@A[2]", "=REF!+@A"},
        RenameCase{"removed_last_of_two", "r:R, .1:A, .2:A", "r:R, .1:A", "=@A[1]+@A[2]", "=@A+@A[2]"},
        RenameCase{"removed_name_taken_by_kept_node", "r:R, .1:A, .2:B", "r:R, .2:A", "=@A+@B", "=REF!+@A"},
        RenameCase{"removed_name_now_shared_by_kept_nodes", "r:R, .1:A, .2:B, .3:B", "r:R, .2:A, .3:A", "=@A", "=REF!"},
        RenameCase{"removed_name_taken_by_formerly_hidden_node", "r:R, .1:A, .~2:A", "r:R, .2:A", "=@A", "=REF!"},
        // Nor may a node new to the tree, or one without a usable id, take it over.
        RenameCase{"removed_name_taken_by_new_node", "r:R, .1:A", "r:R, .9:A", "=@A", "=REF!"},
        RenameCase{"removed_name_taken_by_node_without_id", "r:R, .1:A", "r:R, .:A", "=@A", "=REF!"},
        RenameCase{"removed_other_form_selects_a_node", "r:R, .1:A, .2:A", "r:R, .2:A", "=@{A}[1]+@A[02]", "=REF!+@A"},
        RenameCase{"removed_unique", "r:R, .1:A, .2:B", "r:R, .2:B", "=@A+@B", "=@A+@B"},
        RenameCase{"root_renamed", "r:R", "r:S", "=@R+1", "=@S+1"},
        // A reference that selected several nodes, or none, named no one node.
        RenameCase{"reference_to_several_stays", "r:R, .1:A, .2:A", "r:R, .1:B, .2:A", "=@A+@A[3]+@A[0]",
                   "=@A+@A[3]+@A[0]"},
        RenameCase{"node_named_children", "r:R, .1:children", "r:R, .1:kids", "=@children+children+sum(children[ 2 ])",
                   "=@kids+children+sum(children[ 2 ])"}),
    [](const ::testing::TestParamInfo<RenameCase>& info) { return info.param.label; });

TEST(ReplaceReferencesInTree, RewritesEveryDimensionOfEveryNode) {
  const Node old_root = tree("r:R, .a:A, .c:C, .~1:B, ..2:D");
  Node new_root = tree("r:R, .a:X, .c:Y z, .~1:B, ..2:D", "=@A+@C");
  Node& deepest = new_root.children[2].children[0];
  deepest.formula = AnyDim<std::string>::multi({"=@A", "=@A", "", "=@C", "=@C", "=@A", "=right+@A[1]", "=right+@A[1]"});
  replace_references_in_tree(new_root, Renaming(old_root, new_root));
  EXPECT_EQ(new_root.formula.single_value(), "=@X+@{Y z}");
  // A hidden node's formula is rewritten like any other.
  EXPECT_EQ(new_root.children[2].formula.single_value(), "=@X+@{Y z}");
  EXPECT_EQ(deepest.formula.multi_values(),
            (std::vector<std::string>{"=@X", "=@X", "", "=@{Y z}", "=@{Y z}", "=@X", "=right+@X", "=right+@X"}));
}

TEST(ReplaceReferences, KeepsHostileFormulasOrRewritesOnlyTheirReferences) {
  const Node old_root = tree("r:R, .1:A, .2:B");
  const Renaming swap(old_root, tree("r:R, .1:B, .2:A"));
  const std::string big = std::string(1 << 20, '(') + "@A";
  const std::string braces(1 << 20, '{');
  const std::string junk = "@{" + std::string(1 << 19, '}') + "@";
  EXPECT_EQ(replace_references(big, swap), std::string(1 << 20, '(') + "@B");
  EXPECT_EQ(replace_references(braces, swap), braces);
  EXPECT_EQ(replace_references(junk, swap), junk);
  std::string many;
  std::string swapped;
  for (int i = 0; i < 100000; ++i) {
    many += i % 2 ? "@A-" : "@B-";
    swapped += i % 2 ? "@B-" : "@A-";
  }
  EXPECT_EQ(replace_references("=" + many + "1", swap), "=" + swapped + "1");
}

// Every reference token of the formula that the renaming replaces, replaced; the rest kept.
std::string replaced_token_by_token(const std::string& formula, const Renaming& renaming) {
  std::string out;
  std::size_t at = 0;
  for (const parser::ScannedReference& reference : parser::scan_references(formula)) {
    const auto replacement = renaming.replacement(reference);
    if (!replacement) continue;
    out += formula.substr(at, reference.start - at);
    out += *replacement;
    at = reference.end();
  }
  return out + formula.substr(at);
}

// The quick filter that spares scanning formulas never skips one with a reference to replace.
TEST(ReplaceReferences, AgreesWithReplacingTokenByToken) {
  const std::string longest(300, 'l');
  const std::vector<std::pair<std::string, std::string>> edits = {
      {"r:R, .1:A, .2:B, .3:Unit cost, .4:x[1], .5:Größe, .6:AB", "r:R, .1:B, .2:A, .3:x[1], .4:Unit cost, .6:AB"},
      {"r:R, .1:A, .2:A, .3:A, .4:" + longest, "r:R, .3:A, .2:A, .4:AB, .5:A"},
      {"r:R, .1:A, .2:a}b, .3:children", "r:R, .1:a}b, .2:A, .3:right"},
  };
  const std::vector<std::string> references = {
      "@A",    "@A[2]",    "@AB",    "@B",   "@{Unit cost}", "@{Unit cost}[12]", "@{x[1]}", "@" + longest,
      "right", "children", "@{a}b}", "@{A}", "@Größe",       "@A[01]",           "@{A}[3]", "@children"};
  const std::vector<std::string> junk = {" ", "+", "*2", "(", ")", "# ", "sum(", ";",
                                         "{", "}", "[",  "]", "@", "=",  "\xff"};
  std::mt19937 random(11);
  for (const auto& [old_text, new_text] : edits) {
    const Node old_root = tree(old_text);
    const Renaming renaming(old_root, tree(new_text));
    ASSERT_FALSE(renaming.names().empty()) << new_text;
    for (int round = 0; round < 1000; ++round) {
      std::string formula;
      for (int piece = random() % 12; piece > 0; --piece) {
        formula += random() % 2 ? references[random() % references.size()] : junk[random() % junk.size()];
      }
      EXPECT_EQ(replace_references(formula, renaming), replaced_token_by_token(formula, renaming)) << formula;
    }
  }
}

TEST(RenameReferences, DeepTreeDoesNotRecurse) {
  constexpr int kDepth = 100000;
  Node old_root = tree("0:n0", "=@n1");
  Node new_root = tree("0:n0", "=@n1");
  Node* old_at = &old_root;
  Node* new_at = &new_root;
  for (int i = 1; i <= kDepth; ++i) {
    for (Node** at : {&old_at, &new_at}) {
      Node child;
      child.id = std::to_string(i);
      child.name = std::string("n").append(std::to_string(i));
      child.formula = AnyDim<std::string>::single(
          std::string("=@n").append(std::to_string(i + 1)).append("+@n").append(std::to_string(kDepth)));
      (*at)->children.push_back(std::move(child));
      *at = &(*at)->children.back();
    }
  }
  new_at->name = "last";
  rename_references(old_root, new_root);
  EXPECT_EQ(new_root.children[0].formula.single_value(), "=@n2+@last");
  EXPECT_EQ(new_root.formula.single_value(), "=@n1");
}

}  // namespace
}  // namespace ostrel::tree
