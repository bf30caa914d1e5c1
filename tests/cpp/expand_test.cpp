// Formula expansion and explanation: the rules as tables, a plainly recursive expansion on
// strings to compare with on random trees, and the limits that keep any tree in memory.
#include "tree/expand.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "node_builders.h"
#include "node_json.h"
#include "parser/tokenize.h"
#include "references.h"
#include "tree/explain.h"

namespace ostrel::tree {
namespace {

using testing::hidden;
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

TEST(Expand, ReplacesReferencesToComputedNodes) {
  // Numbers only: nothing changes.
  EXPECT_EQ(expanded(node("r", "", node("a", "1"), node("b", "=2*3"))), (Strings{"", "1", "=2*3"}));
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X*2"), node("X", "5"), node("B", "=@A+@A"))),
            (Strings{"", "=@X*2", "5", "=(@X*2)+(@X*2)"}));
  // No leading "=": inserted as it is.
  EXPECT_EQ(expanded(node("r", "", node("A", "@X*2"), node("X", "5"), node("B", "=@A+1")))[3], "=@X*2+1");
  // Blanks between tokens survive; the children token's own trailing blank does not.
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X*2"), node("X", "5"), node("B", "= @A  +  1")))[3], "= (@X*2)  +  1");
  EXPECT_EQ(expanded(node("r", "=children + 1", node("A", "=@X", node("X", "5"))))[0], "=(@X)+ 1");
  // Names: braces, shared names, input names.
  EXPECT_EQ(expanded(node("r", "", node("Unit cost", "=@X/2"), node("X", "5"), node("B", "=@{Unit cost}")))[3],
            "=(@X/2)");
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X"), node("A", "=@X"), node("X", "5"), node("B", "=@A")))[4], "=@A");
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X"), node("A", "7"), node("X", "5"), node("B", "=@A")))[4], "=@A");
  EXPECT_EQ(expanded(node("r", "", hidden(node("A", "=@X")), node("X", "5"), node("B", "=@A")))[3], "=@A");
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X"), node("B", "=@A")))[2], "=(@X)");
}

TEST(Expand, ChildrenRightAndIndexes) {
  EXPECT_EQ(expanded(node("r", "", node("leaf", "=children + right"))), (Strings{"", "=children + right"}));
  EXPECT_EQ(expanded(node("p", "=sum(children)", node("A", "1"), node("B", "=@A*2"))),
            (Strings{"=sum(@A; (@A*2))", "1", "=@A*2"}));
  EXPECT_EQ(expanded(node("p", "=children[2]", node("A", "1"), node("B", "=@A*2")))[0], "=(@A*2)");
  for (const char* kept : {"=sum(children[3])", "=sum(children[0])", "=sum(children[ 2 ])", "=Children"}) {
    EXPECT_EQ(expanded(node("p", kept, node("A", "1"), node("B", "=@A*2")))[0], kept);
  }
  // Hidden children take part; a child without a reference form is left out of the join.
  EXPECT_EQ(expanded(node("p", "=sum(children)", hidden(node("A", "1")), node("a}b", "2"), node("C", "3")))[0],
            "=sum(@A; @C)");
  EXPECT_EQ(expanded(node("p", "=sum(children)", node("a}b", "2")))[0], "=sum()");
  // A shared child name is written without an index, and then stays.
  EXPECT_EQ(expanded(node("r", "", node("p", "=sum(children)", node("A", "=@X")), node("A", "1"), node("X", "2")))[1],
            "=sum(@A)");
  EXPECT_EQ(expanded(multi("r", {"=@A", "=@A"}, multi("A", {"=@X+1"}), node("X", "1")))[0], "[=(@X+1) | =@A]");
  EXPECT_EQ(expanded(multi("r", {"=@A", "=@A"}, node("A", "=@X+1"), node("X", "1")))[0], "[=(@X+1) | =(@X+1)]");
}

TEST(Expand, CyclesDependOnTheWalk) {
  EXPECT_EQ(expanded(node("r", "", node("A", "=@B"), node("B", "=@A"))), (Strings{"", "=((@B))", "=(@B)"}));
  EXPECT_EQ(expanded(node("r", "", node("A", "=@A+1"))), (Strings{"", "=(@A+1)+1"}));
}

TEST(Expand, MendedCases) {
  // A formula that begins with blanks and "=" is parenthesised too.
  for (const char* blanks : {" ", "\t", "\r\n", "  \n "}) {
    EXPECT_EQ(expanded(node("r", "", node("A", std::string(blanks) + "=@X*2"), node("X", "5"), node("B", "=@A+1")))[3],
              "=(@X*2)+1")
        << blanks;
  }
  // An index other than 1 on a name one node bears names nothing; [1] is the node itself.
  EXPECT_EQ(expanded(node("r", "", node("A", "=@X"), node("X", "5"), node("B", "=@A[2] + @A[0] + @A[1]")))[3],
            "=@A[2] + @A[0] + (@X)");
  // And such a reference neither fills nor reads the cache.
  EXPECT_EQ(expanded(node("r", "", node("A", "=@A[2]+1"), node("B", "=@A")))[2], "=(@A[2]+1)");
}

// ---- The plain recursive expansion, on strings ---------------------------------------------

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class PlainExpansion {
 public:
  explicit PlainExpansion(const Node& root) : root_(root) {
    for_each_pre_order(root, [&](const Node& n) {
      bool any = false;
      for (const std::string& f : n.formula) any = any || contains_references(f);
      if (!n.is_hidden && !any) inputs_.insert(n.name);
    });
  }

  // The expanded copy of the whole tree, recursing over it.
  Node expand(const Node& n) {
    Node copy;
    copy.id = n.id;
    copy.name = n.name;
    copy.value = n.value;
    copy.is_hidden = n.is_hidden;
    copy.cells = n.cells;
    if (n.formula.is_single()) {
      copy.formula = AnyDim<std::string>::single(expand_formula(n.formula.single_value(), 0, n));
    } else {
      std::vector<std::string> texts;
      for (std::size_t d = 0; d < n.formula.multi_values().size(); ++d) {
        texts.push_back(expand_formula(n.formula.multi_values()[d], d, n));
      }
      copy.formula = AnyDim<std::string>::multi(std::move(texts));
    }
    for (const Node& child : n.children) copy.children.push_back(expand(child));
    return copy;
  }

 private:
  std::string expand_formula(const std::string& f, std::size_t d, const Node& context) {
    std::string out;
    std::size_t previous = 0;
    for (const parser::Token& t : parser::scan_tokens(f)) {
      out += f.substr(previous, t.start - previous);
      std::string piece = t.text;
      if (t.kind == parser::TokenKind::NodeReference) {
        piece = t.text.starts_with("children") ? children(t.text, d, context, out.size()) : reference(t.text, d);
        if (out.size() + piece.size() > kMaxExpandedFormulaBytes) piece = t.text;
      }
      out += piece;
      previous = t.end;
    }
    return out + f.substr(std::min(previous, f.size()));
  }

  std::string children(const std::string& t, std::size_t d, const Node& context, std::size_t built) {
    if (const std::size_t open = t.find('['); open != std::string::npos) {
      const std::size_t close = t.find(']', open);
      if (close == std::string::npos) return t;
      const std::string inner = t.substr(open + 1, close - open - 1);
      if (inner.empty() || inner.size() > 9 || inner.find_first_not_of("0123456789") != std::string::npos) return t;
      const std::size_t n = std::stoul(inner);
      if (n == 0 || n > context.children.size()) return t;
      const auto preferred = get_preferred_reference_format(context.children[n - 1].name);
      return preferred ? reference(*preferred, d) : t;
    }
    if (context.children.empty()) return t;
    std::string joined;
    bool first = true;
    for (const Node& child : context.children) {
      const auto preferred = get_preferred_reference_format(child.name);
      if (!preferred) continue;
      std::string item = reference(*preferred, d);
      const std::size_t separator = first ? 0 : 2;
      if (built + joined.size() + separator + item.size() > kMaxExpandedFormulaBytes) item = *preferred;
      joined += (first ? "" : "; ") + item;
      first = false;
      if (built + joined.size() > kMaxExpandedFormulaBytes) return t;
    }
    return joined;
  }

  std::string reference(const std::string& r, std::size_t d) {
    if (r.starts_with("right")) return r;
    const auto parsed = parse_node_reference_from_str(r);
    if (!parsed) return r;
    if (parsed.value().index && *parsed.value().index != 1) return r;
    const std::string& name = parsed.value().name;
    if (inputs_.count(name) != 0) return r;
    const std::string key = name + ":" + std::to_string(d);
    if (const auto cached = cache_.find(key); cached != cache_.end()) return cached->second;
    const std::vector<const Node*> found = find_all_nodes_by_name(root_, name);
    if (found.size() != 1) return r;
    const Node& target = *found[0];
    if (target.formula.is_multi() && d >= target.formula.multi_values().size()) return r;
    const std::string& formula =
        target.formula.is_single() ? target.formula.single_value() : target.formula.multi_values()[d];
    if (formula.empty() || !contains_references(formula)) return r;
    cache_[key] = r;
    const std::string e = expand_formula(formula, d, target);
    std::size_t blanks = 0;
    while (blanks < e.size() && is_blank(e[blanks])) ++blanks;
    const std::string result = blanks < e.size() && e[blanks] == '=' ? "(" + e.substr(blanks + 1) + ")"
                               : e.empty()                           ? r
                                                                     : e;
    cache_[key] = result;
    return result;
  }

  const Node& root_;
  std::set<std::string> inputs_;
  std::map<std::string, std::string> cache_;
};

// The explanation from the plain expansion of the whole tree.
std::optional<std::string> plain_explanation(const Node& root, const std::string& id) {
  if (find_node_by_id(root, id) == nullptr) return std::nullopt;
  const Node tree = PlainExpansion(root).expand(root);
  const Node& target = *find_node_by_id(tree, id);
  Node result;
  result.id = target.id;
  result.name = target.name;
  result.formula = target.formula;
  result.value = target.value;
  result.is_hidden = target.is_hidden;
  result.cells = target.cells;
  for (const std::string& name : extract_node_references_from_all(target.formula)) {
    const std::vector<const Node*> found = find_all_nodes_by_name(tree, name);
    if (found.size() != 1) continue;
    Node input;
    input.id = found[0]->id;
    input.name = found[0]->name;
    input.formula = found[0]->formula;
    input.value = found[0]->value;
    input.is_hidden = found[0]->is_hidden;
    input.cells = found[0]->cells;
    result.children.push_back(std::move(input));
  }
  std::string json;
  write_json(result, json);
  return json;
}

// Trees of a few nodes whose formulas refer to each other in every way expansion treats
// differently: shared and braced names, indexes, children, right, blanks, cycles.
Node random_tree(std::mt19937& random, int& ids) {
  auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  const char* const names[] = {"a", "b", "c", "d", "e f", "a}b"};
  const char* const terms[] = {"@a",
                               "@b",
                               "@c",
                               "@d",
                               "@{e f}",
                               "@a[1]",
                               "@b[2]",
                               "children",
                               "children[1]",
                               "children[2]",
                               "right",
                               "@{a}",
                               "sum(children)",
                               "2",
                               "x",
                               "@c[1]",
                               "children[ 1 ]",
                               "@{d}[1]"};
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
      f += terms[below(std::size(terms))];
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
      std::string json;
      write_json(*explanation.value(), json);
      ASSERT_EQ(json, plain_explanation(tree, std::to_string(id))) << "tree " << i << " id " << id;
    }
    ASSERT_EQ(expanded(std::move(tree)), expected) << "tree " << i;
  }
}

// ---- Explanation ----------------------------------------------------------------------------

std::string explained_json(const Node& root, const std::string& id) {
  const auto explanation = explain_node(root, id);
  EXPECT_TRUE(explanation);
  if (!explanation.value()) return "None";
  std::string json;
  write_json(*explanation.value(), json);
  return json;
}

TEST(Explain, TheNodeWithItsInputs) {
  const Node tree =
      node("r", "", with_id("g", node("Gross", "=@Net * 1.19")), with_id("n", node("Net", "=@Price - @Discount")),
           with_id("p", node("Price", "100")), with_id("d", node("Discount", "=5")),
           with_id("h", hidden(multi("H", {"=@Price", "=@Price+@Price"}))));
  EXPECT_EQ(explained_json(tree, "g"),
            R"({"id":"g","name":"Gross","formula":"=(@Price - @Discount) * 1.19","value":"","is_hidden":false,)"
            R"("cells":[],"children":[{"id":"p","name":"Price","formula":"100","value":"","is_hidden":false,)"
            R"("cells":[],"children":[]},{"id":"d","name":"Discount","formula":"=5","value":"","is_hidden":false,)"
            R"("cells":[],"children":[]}]})");
  EXPECT_EQ(explained_json(tree, "p"),
            R"({"id":"p","name":"Price","formula":"100","value":"","is_hidden":false,"cells":[],"children":[]})");
  // Hidden nodes are found by id; a name used twice is listed once.
  EXPECT_EQ(explained_json(tree, "h").substr(0, 60), R"({"id":"h","name":"H","formula":["=@Price","=@Price+@Price"],)");
  EXPECT_EQ(explained_json(tree, "h").find("Price\",\"formula\":\"100\"", 70),
            explained_json(tree, "h").rfind("Price\",\"formula\":\"100\""));
  EXPECT_EQ(explained_json(tree, "x"), "None");
  // The first node of an id in pre-order; the empty id finds nodes without one.
  EXPECT_NE(explained_json(tree, "").find(R"("name":"r")"), std::string::npos);
}

TEST(Explain, FindsIdsAndNames) {
  const Node tree = node("r", "", with_id("1", node("a", "")), with_id("1", node("b", "")));
  EXPECT_EQ(find_node_by_id(tree, "1"), &tree.children[0]);
  EXPECT_EQ(find_node_by_id(tree, "2"), nullptr);
  EXPECT_EQ(extract_node_references_from_all(
                AnyDim<std::string>::multi({"=@b + @a[2] + children + right[1] + @{x y}", "", "=@a*@c + Children"})),
            (Strings{"b", "a", "x y", "c"}));
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

}  // namespace
}  // namespace ostrel::tree
