// Renaming: what each old reference becomes after renames, moves, additions and removals,
// and the rewrite that replaces whole reference tokens only.
#include "tree/rename.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "parser/tokenize.h"

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
  EXPECT_EQ(replace_references(c.formula, find_replacements(old_root, new_root)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, Rename,
    ::testing::Values(
        RenameCase{"plain_to_braced", "r:R, .7:Cost", "r:R, .7:Unit cost", "=@Cost*2", "=@{Unit cost}*2"},
        RenameCase{"braced_to_plain", "r:R, .7:Unit cost", "r:R, .7:Cost", "=@{Unit cost}*2", "=@Cost*2"},
        RenameCase{"to_name_with_brackets", "r:R, .7:A", "r:R, .7:a[1]", "=@A", "=@{a[1]}"},
        RenameCase{"unicode", "r:R, .7:Größe", "r:R, .7:Maß", "=@Größe^2", "=@Maß^2"},
        // A name without a reference form leaves an error, not a hole in the formula.
        RenameCase{"to_name_without_form", "r:R, .7:Cost", "r:R, .7:a}b", "=@Cost*2", "=REF!*2"},
        RenameCase{"to_empty_name", "r:R, .7:Cost", "r:R, .7:", "=@Cost*2", "=REF!*2"},
        RenameCase{"from_name_without_form", "r:R, .7:a}b", "r:R, .7:Cost", "=@{a}b}*2", "=@{a}b}*2"},
        RenameCase{"shared_name_loses_its_index", "r:R, .1:A, .2:A", "r:R, .1:A, .2:B", "=@A[1]+@A[2]", "=@A+@B"},
        RenameCase{"braced_shared_name", "r:R, .1:Unit cost, .2:Unit cost", "r:R, .1:X, .2:Unit cost",
                   "=@{Unit cost}[1]+@{Unit cost}[2]", "=@X+@{Unit cost}"},
        RenameCase{"added_after_shares_the_name", "r:R, .1:A", "r:R, .1:A, .9:A", "=@A", "=@A[1]"},
        RenameCase{"added_before_shares_the_name", "r:R, .1:A", "r:R, .9:A, .1:A", "=@A", "=@A[2]"},
        RenameCase{"removal_shifts_later_indexes", "r:R, .1:A, .2:A, .3:A", "r:R, .2:A, .3:A", "=@A[1]+@A[2]+@A[3]",
                   "=REF!+@A[1]+@A[2]"},
        // "@A[1]" would silently come to mean node 2.
        RenameCase{"removed_first_of_two", "r:R, .1:A, .2:A", "r:R, .2:A", "=@A[1]+@A[2]", "=REF!+@A"},
        RenameCase{"removed_last_of_two", "r:R, .1:A, .2:A", "r:R, .1:A", "=@A[1]+@A[2]", "=@A+@A[2]"},
        RenameCase{"removed_name_taken_by_kept_node", "r:R, .1:A, .2:B", "r:R, .2:A", "=@A+@B", "=REF!+@A"},
        RenameCase{"removed_name_now_shared_by_kept_nodes", "r:R, .1:A, .2:B, .3:B", "r:R, .2:A, .3:A", "=@A", "=REF!"},
        // A node only the new tree has may take a removed node's name.
        RenameCase{"removed_name_taken_by_formerly_hidden_node", "r:R, .1:A, .~2:A", "r:R, .2:A", "=@A", "=REF!"},
        RenameCase{"removed_name_taken_by_new_node", "r:R, .1:A", "r:R, .9:A", "=@A", "=@A"},
        RenameCase{"removed_unique", "r:R, .1:A, .2:B", "r:R, .2:B", "=@A+@B", "=@A+@B"},
        RenameCase{"moved_only", "r:R, .1:A, ..2:B, .3:C", "r:R, .3:C, ..2:B, .1:A", "=@A+@B+@C", "=@A+@B+@C"},
        RenameCase{"moved_past_a_namesake", "r:R, .1:A, .2:A", "r:R, .2:A, .1:A", "=@A[1]-@A[2]", "=@A[2]-@A[1]"},
        RenameCase{"swap", "r:R, .1:A, .2:B", "r:R, .1:B, .2:A", "=@A-@B", "=@B-@A"},
        RenameCase{"chain", "r:R, .1:A, .2:B", "r:R, .1:B, .2:C", "=@A+@B", "=@B+@C"},
        RenameCase{"root_renamed", "r:R", "r:S", "=@R+1", "=@S+1"},
        // Of several nodes without an id, the last visible one of each tree is matched.
        RenameCase{"empty_ids", "r:R, .:A, .:B, .~:H", "r:R, .:A, .:C", "=@A+@B", "=@A+@C"},
        RenameCase{"duplicate_ids_last_wins", "r:R, .1:A, .1:B", "r:R, .1:A, .1:C", "=@A+@B", "=@A+@C"},
        RenameCase{"hidden_nodes_do_not_count", "r:R, .~1:A, .2:A", "r:R, .~1:A, .2:B", "=@A", "=@B"},
        RenameCase{"hidden_nodes_do_not_shift", "r:R, .1:A, .~5:A, .2:A", "r:R, .~5:A, .2:A", "=@A[1]+@A[2]",
                   "=REF!+@A"},
        RenameCase{"below_hidden_node", "r:R, .~h:H, ..1:A", "r:R, .~h:H, ..1:B", "=@A", "=@B"},
        RenameCase{"visible_to_hidden_is_removed", "r:R, .1:A, .2:A", "r:R, .~1:A, .2:A", "=@A[1]+@A[2]", "=REF!+@A"},
        RenameCase{"hidden_to_visible_plays_no_part", "r:R, .~1:A, .2:A", "r:R, .1:A, .2:A", "=@A", "=@A[2]"},
        // Only the preferred form of a text is a key.
        RenameCase{"other_forms_untouched", "r:R, .1:A", "r:R, .1:B", "=@{A}+@A[1]+@A+@AB", "=@{A}+@A[1]+@B+@AB"},
        RenameCase{"node_named_children", "r:R, .1:children", "r:R, .1:kids", "=@children+children+sum(children[ 2 ])",
                   "=@kids+children+sum(children[ 2 ])"},
        RenameCase{"bytes_around_tokens_kept", "r:R, .1:A", "r:R, .1:Unit cost", "  = \t@A  +@A*2 # junk \n",
                   "  = \t@{Unit cost}  +@{Unit cost}*2 # junk \n"},
        RenameCase{"unclosed_bracket", "r:R, .1:A", "r:R, .1:B", "=(@A*(2", "=(@B*(2"},
        RenameCase{"without_equals_sign", "r:R, .1:A", "r:R, .1:B", "@A", "@B"},
        RenameCase{"junk_only", "r:R, .1:A", "r:R, .1:B", "#$%& {{ }} ]][[", "#$%& {{ }} ]][["},
        RenameCase{"empty_formula", "r:R, .1:A", "r:R, .1:B", "", ""},
        RenameCase{"unclosed_brace", "r:R, .1:A", "r:R, .1:B", "=@{A+1", "=@{A+1"}),
    [](const ::testing::TestParamInfo<RenameCase>& info) { return info.param.label; });

TEST(CollectNodesById, CountsOccurrencesAmongVisibleNodesOfTheName) {
  const Node root = tree("r:A, .1:A, ..~2:A, ...3:A, .4:B, .:A, .:B");
  const NodesById expected = {
      {"r", {"A", 1}}, {"1", {"A", 2}}, {"3", {"A", 3}}, {"4", {"B", 1}}, {"", {"B", 2}},
  };
  NameCounts counts;
  EXPECT_EQ(collect_nodes_by_id(root, counts), expected);
  EXPECT_EQ(counts, (NameCounts{{"A", 4}, {"B", 2}}));
}

TEST(FindReplacements, OnlyForReferencesThatChange) {
  EXPECT_EQ(find_replacements(tree("r:R, .1:A, ..2:B"), tree("r:R, .2:B, ..1:A")), Replacements{});
  EXPECT_EQ(find_replacements(tree("r:R, .1:A, .2:B"), tree("r:R, .1:C, .9:A, .2:B")), (Replacements{{"@A", "@C"}}));
  EXPECT_EQ(find_replacements(tree("r:R, .1:A, .2:A, .3:A"), tree("r:R, .3:A, .1:B")),
            (Replacements{{"@A[1]", "@B"}, {"@A[3]", "@A"}}));
}

TEST(ReplaceReferencesInTree, RewritesEveryDimensionOfEveryNode) {
  Node new_root = tree("r:R, .~1:B, ..2:C", "=@A+@C");
  new_root.children[0].children[0].formula =
      AnyDim<std::string>::multi({"=@A", "=@A", "", "=@C", "=@C", "=@A", "=right+@A[1]", "=right+@A[1]"});
  replace_references_in_tree(new_root, {{"@A", "@X"}, {"@C", "@{Y z}"}});
  EXPECT_EQ(new_root.formula.single_value(), "=@X+@{Y z}");
  // A hidden node's formula is rewritten like any other.
  EXPECT_EQ(new_root.children[0].formula.single_value(), "=@X+@{Y z}");
  EXPECT_EQ(new_root.children[0].children[0].formula.multi_values(),
            (std::vector<std::string>{"=@X", "=@X", "", "=@{Y z}", "=@{Y z}", "=@X", "=right+@A[1]", "=right+@A[1]"}));
}

TEST(ReplaceReferences, KeepsHostileFormulasOrRewritesOnlyTheirReferences) {
  const Replacements replacements{{"@A", "@B"}, {"@B", "@A"}};
  const std::string big = std::string(1 << 20, '(') + "@A";
  const std::string braces(1 << 20, '{');
  const std::string junk = "@{" + std::string(1 << 19, '}') + "@";
  EXPECT_EQ(replace_references(big, replacements), std::string(1 << 20, '(') + "@B");
  EXPECT_EQ(replace_references(braces, replacements), braces);
  EXPECT_EQ(replace_references(junk, replacements), junk);
  std::string many;
  std::string swapped;
  for (int i = 0; i < 100000; ++i) {
    many += i % 2 ? "@A-" : "@B-";
    swapped += i % 2 ? "@B-" : "@A-";
  }
  EXPECT_EQ(replace_references("=" + many + "1", replacements), "=" + swapped + "1");
}

// Every reference token of the formula that is a key, replaced; the rest kept.
std::string replaced_token_by_token(const std::string& formula, const Replacements& replacements) {
  std::string out;
  std::size_t at = 0;
  for (const parser::Token& token : parser::scan_tokens(formula)) {
    out += formula.substr(at, token.start - at);
    const auto found = replacements.find(token.text);
    const bool replaced = token.kind == parser::TokenKind::NodeReference && !token.text.starts_with("children") &&
                          found != replacements.end();
    out += replaced ? found->second : token.text;
    at = token.end;
  }
  return out + formula.substr(at);
}

TEST(ReplaceReferences, AgreesWithReplacingTokenByToken) {
  const std::vector<std::string> references = {
      "@A",    "@A[2]",    "@AB",    "@B",   "@{Unit cost}", "@{Unit cost}[12]", "@{x[1]}", "@" + std::string(300, 'l'),
      "right", "children", "@{a}b}", "@{A}", "@Größe"};
  const std::vector<std::string> junk = {" ", "+", "*2", "(", ")", "# ", "sum(", ";",
                                         "{", "}", "[",  "]", "@", "=",  "\xff"};
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    Replacements replacements;
    for (const std::string& reference : references) {
      if (random() % 3 == 0) replacements.emplace(reference, references[random() % references.size()]);
    }
    std::string formula;
    for (int piece = random() % 12; piece > 0; --piece) {
      formula += random() % 2 ? references[random() % references.size()] : junk[random() % junk.size()];
    }
    EXPECT_EQ(replace_references(formula, replacements), replaced_token_by_token(formula, replacements)) << formula;
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
