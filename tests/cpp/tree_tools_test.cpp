// The tree tools: expansion and explanation against a plain recursive expansion, the mended
// cases and the limits; renaming, and the rewrite of whole reference tokens only.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "node_builders.h"
#include "nodes/tree_index.h"
#include "parser/reference_tokens.h"
#include "parser/tokenize.h"
#include "references.h"
#include "tree/expand.h"
#include "tree/explain.h"
#include "tree/rename.h"

namespace ostrel::tree {
namespace {

using testing::find_all_nodes_by_name;
using testing::hidden;
using testing::json_of;
using testing::multi;
using testing::node;
using testing::numbered;
using testing::with_id;
using Strings = std::vector<std::string>;

// Every formula of the tree in pre-order, a list's texts joined by " | ".
Strings formulas_of(const Node& root) {
  Strings out;
  for_each_pre_order(root, [&](const Node& n) {
    std::string text = n.formula.is_multi() ? "[" : "";
    for (const std::string& f : n.formula) text += (&f == &*n.formula.begin() ? "" : " | ") + f;
    out.push_back(n.formula.is_multi() ? text + "]" : text);
  });
  return out;
}

Strings expanded(Node root) {
  EXPECT_TRUE(expand_tree_formulas(root));
  return formulas_of(root);
}

TEST(Expand, MendedCases) {
  // A formula that begins with blanks and "=" is parenthesised too.
  for (const char* blanks : {" ", "\t", "\r\n", "  \n "}) {
    EXPECT_EQ(expanded(node("r", "", node("A", std::string(blanks) + "=@X*2"), node("X", "5"), node("B", "=@A+1")))[3],
              "=(@X*2)+1")
        << blanks;
  }
  // A reference with an index that selects nothing neither fills nor reads the cache.
  EXPECT_EQ(expanded(node("r", "", node("A", "=@A[2]+1"), node("B", "=@A")))[2], "=(@A[2]+1)");
  // Keywords are read in any case: children too is spread.
  for (const std::string children : {"CHILDREN", "Children"}) {
    EXPECT_EQ(expanded(node("r", "", node("p", "=sum(" + children + ")", node("A", "1"), node("B", "2"))))[1],
              "=sum(@A; @B)")
        << children;
  }
}

// ---- The plain recursive expansion, on strings ---------------------------------------------

// The same rules without shared pieces: every replacement is a string, built recursively.
// Only what a formula's tokens are (read_references) is shared with the expansion.
class PlainExpansion {
 public:
  explicit PlainExpansion(const Node& root) : root_(root) {}

  // The expanded copy of the whole tree, recursing over it.
  Node expand(const Node& n) {
    Node copy = testing::without_children(n);
    bool context = false;
    std::vector<std::string> texts;
    for (const std::string& f : n.formula) texts.push_back(expand_formula(f, texts.size(), n, context));
    copy.formula = n.formula.is_single() ? AnyDim<std::string>::single(texts[0]) : AnyDim<std::string>::multi(texts);
    for (const Node& child : n.children) copy.children.push_back(expand(child));
    return copy;
  }

 private:
  using Kind = ReferenceToken::Kind;
  struct Cached {
    bool done = false;
    bool stands_in = false;
    std::string text;
  };

  // `context` is set when a right or children reference stays as written.
  std::string expand_formula(const std::string& f, std::size_t d, const Node& at, bool& context) {
    std::string out;
    std::size_t previous = 0;
    for (const ReferenceToken& t : read_references(f)) {
      out += f.substr(previous, t.start - previous);
      const std::string token = f.substr(t.start, t.end - t.start);
      std::string piece = token;
      switch (t.kind) {
        case Kind::Name:
          piece = reference(token, selected(t.name, t.index), at, d);
          break;
        case Kind::Modifier:
          break;
        case Kind::Children:
          piece = child(token, d, at);
          break;
        case Kind::Spread:
          piece = children(token, d, at, out.size());
          break;
        case Kind::Right:
          context = true;
          break;
      }
      if (out.size() + piece.size() > kMaxExpandedFormulaBytes) piece = token;
      if (piece == token && (t.kind == Kind::Children || t.kind == Kind::Spread)) context = true;
      out += piece;
      previous = t.end;
    }
    return out + f.substr(std::min(previous, f.size()));
  }

  const Node* selected(const std::string& name, std::optional<std::uint64_t> index) const {
    const std::vector<const Node*> found = find_all_nodes_by_name(root_, name);
    if (!index) return found.size() == 1 ? found[0] : nullptr;
    return *index >= 1 && *index <= found.size() ? found[*index - 1] : nullptr;
  }

  // The reference that selects exactly this child, if any.
  std::optional<std::string> written(const Node& child) const {
    if (child.is_hidden) return std::nullopt;
    const std::vector<const Node*> found = find_all_nodes_by_name(root_, child.name);
    const std::size_t occurrence = std::find(found.begin(), found.end(), &child) - found.begin() + 1;
    std::string text = build_unambiguous_name(child.name, occurrence, found.size());
    if (text.empty()) return std::nullopt;
    return text;
  }

  std::string child(const std::string& t, std::size_t d, const Node& at) {
    const std::size_t open = t.find('[');
    if (!t.starts_with("children") || open == std::string::npos) return t;
    const std::size_t close = t.find(']', open);
    if (close == std::string::npos) return t;
    const std::string inner = t.substr(open + 1, close - open - 1);
    if (inner.empty() || inner.size() > 9 || inner.find_first_not_of("0123456789") != std::string::npos) return t;
    const std::size_t n = std::stoul(inner);
    if (n == 0 || n > at.children.size()) return t;
    const auto text = written(at.children[n - 1]);
    if (!text) return t;
    return reference(*text, &at.children[n - 1], at, d);
  }

  std::string children(const std::string& t, std::size_t d, const Node& at, std::size_t built) {
    if (!t.starts_with("children") || at.children.empty()) return t;
    for (const Node& c : at.children) {
      if (!written(c)) return t;
    }
    std::string joined;
    bool first = true;
    for (const Node& c : at.children) {
      const std::string text = *written(c);
      std::string item = reference(text, &c, at, d);
      const std::size_t separator = first ? 0 : 2;
      if (built + joined.size() + separator + item.size() > kMaxExpandedFormulaBytes) item = text;
      joined += (first ? "" : "; ") + item;
      first = false;
      if (built + joined.size() > kMaxExpandedFormulaBytes) return t;
    }
    return joined;
  }

  // Whether a formula's expansion can replace a reference at all, before it is expanded.
  bool may_stand_in(const std::string& f) const {
    const std::vector<ReferenceToken> tokens = read_references(f);
    for (const ReferenceToken& t : tokens) {
      if (t.kind == Kind::Right) return false;
      if (t.kind == Kind::Name && t.own && !t.index && find_all_nodes_by_name(root_, t.name).size() > 1) return false;
    }
    return !tokens.empty();
  }

  std::string reference(const std::string& r, const Node* target, const Node& from, std::size_t d) {
    if (target == nullptr) return r;
    const bool single = target->formula.is_single();
    if (!single && from.formula.is_single()) return r;
    const std::size_t k = single ? 0 : d;
    if (!single && k >= target->formula.multi_values().size()) return r;
    const std::string& formula = single ? target->formula.single_value() : target->formula.multi_values()[k];
    if (!may_stand_in(formula)) return r;
    const std::pair<const Node*, std::size_t> key{target, k};
    if (const auto cached = cache_.find(key); cached != cache_.end()) {
      return cached->second.done && cached->second.stands_in ? cached->second.text : r;
    }
    cache_[key] = Cached{};
    bool context = false;
    const std::string e = expand_formula(formula, k, *target, context);
    const std::size_t blanks = std::min(e.find_first_not_of(" \t\r\n"), e.size());
    const bool stands_in = !context && blanks < e.size() && e[blanks] == '=';
    cache_[key] = Cached{true, stands_in, stands_in ? "(" + e.substr(blanks + 1) + ")" : ""};
    return stands_in ? cache_[key].text : r;
  }

  const Node& root_;
  std::map<std::pair<const Node*, std::size_t>, Cached> cache_;
};

// The explanation from the plain expansion of the whole tree.
std::optional<std::string> plain_explanation(const Node& root, const std::string& id) {
  if (find_node_by_id(root, id) == nullptr) return std::nullopt;
  const Node tree = PlainExpansion(root).expand(root);
  const TreeIndex index(tree);
  NodeIndex at = 0;
  while (&index.node(at) != find_node_by_id(tree, id)) ++at;
  Node result = testing::without_children(index.node(at));
  for (const NodeIndex input : extract_node_references_from_all(index, at, index.node(at).formula)) {
    result.children.push_back(testing::without_children(index.node(input)));
  }
  return json_of(result);
}

// Trees of a few nodes whose formulas refer to each other in every way expansion treats
// differently: shared and braced names, indexes, children, right, blanks, cycles.
Node random_tree(std::mt19937& random, int& ids) {
  auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  const char* const names[] = {"a", "b", "c", "d", "e f", "a}b"};
  std::vector<std::string> terms;
  std::istringstream listed(
      "@a|@b|@c|@d|@{e f}|@a[1]|@b[2]|children|children[1]|children[2]|right|@{a}|sum(children)|2|x|@c[1]|"
      "children[ 1 ]|@{d}[1]|total(@a)|iferror(@b; 1)|right[1]|sum(children; 1)");
  for (std::string term; std::getline(listed, term, '|');) terms.push_back(term);
  auto formula = [&]() -> std::string {
    switch (below(8)) {
      case 0:
        return std::to_string(below(9));
      case 1:
        return "";
      default:
        break;
    }
    const char* const starts[] = {"=", " =", "", "= ", "\t="};
    std::string f = starts[below(5)];
    for (std::size_t n = 1 + below(3); n > 0; --n) {
      f += terms[below(terms.size())];
      if (n > 1) f += below(2) ? " + " : "*";
    }
    return f;
  };
  Node root = node(names[below(6)], formula());
  root.id = std::to_string(ids++);
  std::vector<Node*> all{&root};
  for (std::size_t count = 1 + below(8); count > 0; --count) {
    Node child = node(names[below(6)], formula());
    if (below(3) == 0) {
      std::vector<std::string> list(below(4));
      for (std::string& f : list) f = formula();
      child.formula = AnyDim<std::string>::multi(std::move(list));
    }
    child.is_hidden = below(7) == 0;
    child.id = std::to_string(ids++);
    all[below(all.size())]->children.push_back(std::move(child));
    all.clear();
    for_each_pre_order(root, [&](Node& n) { all.push_back(&n); });
  }
  return root;
}

TEST(Expand, SharedPiecesMatchThePlainExpansion) {
  std::mt19937 random(2026);
  for (int i = 0; i < 2000; ++i) {
    int ids = 0;
    Node tree = random_tree(random, ids);
    const Strings expected = formulas_of(PlainExpansion(tree).expand(tree));
    for (int id = 0; id < ids; ++id) {
      const auto explanation = explain_node(tree, std::to_string(id));
      ASSERT_TRUE(explanation);
      ASSERT_TRUE(explanation.value());
      ASSERT_EQ(json_of(*explanation.value()), plain_explanation(tree, std::to_string(id)))
          << "tree " << i << " id " << id;
    }
    ASSERT_EQ(expanded(std::move(tree)), expected) << "tree " << i;
  }
}

// ---- Explanation ----------------------------------------------------------------------------

TEST(Explain, FindsIdsAndTheNodesReferencesRead) {
  const Node tree = node("r", "", with_id("1", node("a", "")), with_id("1", node("b", "")));
  EXPECT_EQ(find_node_by_id(tree, "1"), &tree.children[0]);
  EXPECT_EQ(find_node_by_id(tree, "2"), nullptr);
  EXPECT_FALSE(explain_node(tree, "2").value());
  // In pre-order: r 0, a 1, b 2, c 3, x y 4, a 5, hidden c 6.
  const Node shared =
      node("r", "", node("a", ""), node("b", ""), node("c", ""), node("x y", ""), node("a", ""), hidden(node("c", "")));
  const TreeIndex index(shared);
  auto read = [&](std::vector<std::string> formulas) {
    return extract_node_references_from_all(index, 0, AnyDim<std::string>::multi(std::move(formulas)));
  };
  EXPECT_EQ(read({"=@b + @a[2] + right[1] + @{x y} + @a[3]", "", "=@a*@c + @nobody"}),
            (std::vector<NodeIndex>{2, 5, 4, 1, 3}));
  EXPECT_EQ(read({"=children[ 6 ] + Children[9]", "=sum(children)"}), (std::vector<NodeIndex>{6, 1, 2, 3, 4, 5}));
}

// ---- Limits ---------------------------------------------------------------------------------

TEST(Expand, DoublingChainsStopAtTheFormulaLimit) {
  // A0 is an input; A_k = A_(k-1) + A_(k-1) doubles until a reference would pass 1 MiB.
  Node root = node("r", "", node("A0", "1"));
  for (int k = 1; k <= 40; ++k) {
    root.children.push_back(node(numbered("A", k), "=@A" + std::to_string(k - 1) + "+@A" + std::to_string(k - 1)));
  }
  const Strings expected = formulas_of(PlainExpansion(root).expand(root));
  const Strings actual = expanded(std::move(root));
  EXPECT_EQ(actual, expected);
  for (const std::string& f : actual) EXPECT_LE(f.size(), kMaxExpandedFormulaBytes + 20);
  EXPECT_GT(actual.back().size(), kMaxExpandedFormulaBytes / 2);
  EXPECT_NE(actual.back().find("@A"), std::string::npos);
}

TEST(Expand, TooLargeTreesFailWithoutChangingAnything) {
  // A chain of 100,000 nodes: each formula is small, together they are gigabytes.
  constexpr int kLength = 100000;
  Node root = node("root", "=@n0");
  root.id = "root";
  for (int i = 0; i < kLength; ++i) {
    root.children.push_back(node(numbered("n", i), i + 1 < kLength ? "=@n" + std::to_string(i + 1) + "+1" : "1"));
  }
  EXPECT_FALSE(expand_tree_formulas(root));
  EXPECT_EQ(root.formula.single_value(), "=@n0");
  EXPECT_EQ(root.children[0].formula.single_value(), "=@n1+1");
  // The explanation of the chain's head writes only its own answer.
  const auto explanation = explain_node(root, "root");
  ASSERT_TRUE(explanation);
  const Node& head = *explanation.value();
  const std::string& formula = head.formula.single_value();
  // "=", then n0 to n99998 each as "(" ... "+1)" around the input n99999.
  EXPECT_EQ(formula.size(), 1 + 4 * (kLength - 1) + std::string("@n99999").size());
  EXPECT_EQ(formula.find("@n99999+1)+1)"), std::size_t{kLength});
  EXPECT_EQ(formula.substr(formula.size() - 6), "+1)+1)");
  ASSERT_EQ(head.children.size(), 1u);
  EXPECT_EQ(head.children[0].name, "n99999");
}

// ---- Renaming ------------------------------------------------------------------------------

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
