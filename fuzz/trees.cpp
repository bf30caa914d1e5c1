// Small node trees decoded from the input, through the tree tools: tree evaluation,
// formula expansion, renaming and the spreadsheet export. Besides running without a fault:
//  - evaluation: every node's value and its written shape are those of a plain recursive
//    evaluation of the same tree;
//  - expansion: every expanded formula stays within the per-formula limit (plus the bytes
//    its own formula keeps as written), its stated length is its text's, a formula without
//    references is kept as it is, the whole-tree call fails, changing nothing, exactly
//    when the formulas together pass the tree limit, and in a tree without cycles every
//    node evaluates after expansion to the value it had (any error for an error);
//  - renaming: an edit that changes nothing replaces nothing, and any edit leaves formulas
//    without references alone;
//  - export: formulas stay, cells keep their shape (or stay as they were when there are
//    none), no content passes the cell limit, and the same tree exports the same way.
//
// The input is one line per node, the first line the root's, at most kMaxNodes lines:
//   byte 0  depth below the root, byte - '0' held to 1..3 (the root's is ignored); a node
//           is at most one level below the one before it
//   byte 1  name: kNames[(byte - '0') % size], of the first four with formulas of terms
//   byte 2  id: the byte itself, or the empty id for '-'
//   byte 3  flags, (byte - '0'): 1 hidden, 2 a formula list, 4 a cell list, 8 formulas made
//           of terms
//   byte 4  cells, v = byte - '0': a single address kCells[v % size], or a list of v % 4
//           addresses from kCells[v / 4 % size] on
//   byte 5  ignored (a space, for legibility)
//   rest    the formula; for a formula list, up to kMaxFormulas texts separated by "|". Made
//           of terms, each byte of a text is a term, kTerms[byte % size], joined to the one
//           before it by kOperators[byte / size % size] after an "=" (one number byte alone
//           is that plain number): references that hit the names, formula lists that read
//           each other and single formulas across dimensions.
// Missing bytes read as '0'.
// An input that starts with "~" is instead a tangle (tests/cpp/tangle_generator.h) whose
// random choices are the bytes after it: trees whose nodes read each other across dimensions.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "eval/tree.h"
#include "excel/convert_error.h"
#include "excel/export.h"
#include "nodes/tree_index.h"
#include "parser/grammar.h"
#include "parser/tokenize.h"
#include "recursive_evaluation.h"
#include "tangle_generator.h"
#include "tree/expand.h"
#include "tree/rename.h"
#include "types.h"

namespace {

using ostrel::AnyDim;
using ostrel::EvalResult;
using ostrel::Node;
using ostrel::NodeIndex;
using ostrel::fuzz::fail;
using Texts = AnyDim<std::string>;

// Whether the token scanner finds a node reference token in the formula.
bool contains_references(std::string_view formula) {
  for (const ostrel::parser::Token& token : ostrel::parser::scan_tokens(formula)) {
    if (token.kind == ostrel::parser::TokenKind::NodeReference) return true;
  }
  return false;
}

// Names that references can hit, in the plain and the braced form, and some that no
// reference can be written for.
constexpr std::string_view kNames[] = {"a",
                                       "b",
                                       "c",
                                       "A",
                                       "a b",
                                       "Gr\xC3\xB6\xC3\x9F"
                                       "e",
                                       "x{y}",
                                       "a}b",
                                       "",
                                       "children",
                                       "1a",
                                       "a[1]",
                                       "right",
                                       "b_2",
                                       "sum",
                                       "a\xC2\xA0"
                                       "b"};
constexpr std::string_view kCells[] = {"A1", "B2", "C3", "", "Sheet2!D4", "$E$5", "A1:B2", "'My sheet'!F6"};
// Terms that read the first names of kNames, the node's later dimensions and its children.
constexpr std::string_view kTerms[] = {"@a",
                                       "@b",
                                       "@c",
                                       "@A",
                                       "@{a b}",
                                       "@a[1]",
                                       "@a[2]",
                                       "@b[1]",
                                       "iferror(@a; 0)",
                                       "iferror(@b; 1)",
                                       "iferror(@c; 0)",
                                       "iferror(@A; 2)",
                                       "right[1]",
                                       "right[2]",
                                       "right[3]",
                                       "iferror(right[1]; 0)",
                                       "sum(right)",
                                       "right",
                                       "children[1]",
                                       "sum(children)",
                                       "children",
                                       "total(@a)",
                                       "total(@b)",
                                       "ratio(@c)",
                                       "iferror(ratio(@a); 0)",
                                       "if(@a > 1; @b; 2)",
                                       "coalesce(@b; 3)",
                                       "empty",
                                       "0",
                                       "1",
                                       "2",
                                       "5"};
constexpr std::string_view kOperators[] = {" + ", " - ", " * ", " / "};
constexpr std::size_t kMaxNodes = 8;
constexpr std::size_t kMaxFormulas = 5;

std::size_t field(std::string_view line, std::size_t at) {
  const unsigned char byte = at < line.size() ? static_cast<unsigned char>(line[at]) : '0';
  return static_cast<unsigned char>(byte - '0');
}

template <std::size_t N>
std::string pick(const std::string_view (&table)[N], std::size_t k) {
  return std::string(table[k % N]);
}

// A formula text made of terms, one per byte.
std::string terms(std::string_view bytes) {
  constexpr std::size_t kCount = std::size(kTerms);
  auto term = [](char byte) { return kTerms[static_cast<unsigned char>(byte) % kCount]; };
  if (bytes.size() == 1 && std::isdigit(static_cast<unsigned char>(term(bytes[0])[0])))
    return std::string(term(bytes[0]));
  std::string formula;
  for (const char byte : bytes) {
    formula += formula.empty() ? "=" : kOperators[static_cast<unsigned char>(byte) / kCount % std::size(kOperators)];
    formula += term(byte);
  }
  return formula;
}

Node decode_node(std::string_view line) {
  Node node;
  const std::size_t flags = field(line, 3);
  // Nodes whose formulas are made of terms bear the names the terms read.
  node.name = pick(kNames, field(line, 1) % ((flags & 8) != 0 ? 4 : std::size(kNames)));
  if (line.size() > 2 && line[2] != '-') node.id = std::string(1, line[2]);
  node.is_hidden = (flags & 1) != 0;
  const std::size_t cells = field(line, 4);
  if ((flags & 4) != 0) {
    std::vector<std::string> addresses;
    for (std::size_t j = 0; j < cells % 4; ++j) addresses.push_back(pick(kCells, cells / 4 + j));
    node.cells = Texts::multi(std::move(addresses));
  } else {
    node.cells = Texts::single(pick(kCells, cells));
  }
  const std::string_view rest = line.size() > 6 ? line.substr(6) : std::string_view();
  auto text = [&](std::string_view bytes) { return (flags & 8) != 0 ? terms(bytes) : std::string(bytes); };
  if ((flags & 2) == 0) {
    node.formula = Texts::single(text(rest));
    return node;
  }
  std::vector<std::string> formulas;
  for (std::size_t from = 0; from < rest.size() && formulas.size() < kMaxFormulas;) {
    std::size_t bar = rest.find('|', from);
    if (bar == std::string_view::npos) bar = rest.size();
    formulas.push_back(text(rest.substr(from, bar - from)));
    from = bar + 1;
  }
  node.formula = Texts::multi(std::move(formulas));
  return node;
}

// A tangle whose random choices are the input's bytes (0 once they run out).
Node decode_tangle(std::string_view choices, bool renamed) {
  std::size_t next = 0;
  auto below = [&](std::size_t n) {
    return next < choices.size() ? static_cast<unsigned char>(choices[next++]) % n : std::size_t{0};
  };
  Node root = ostrel::testing::random_tangle(below);
  if (renamed) {
    Node* last = &root;
    while (!last->children.empty()) last = &last->children.back();
    last->name += "x";
  }
  return root;
}

// The tree the input describes; `renamed` gives the last node the next name of the table.
Node decode_tree(std::string_view input, bool renamed = false) {
  if (!input.empty() && input[0] == '~') return decode_tangle(input.substr(1), renamed);
  std::vector<Node> nodes;
  std::vector<std::size_t> parents;
  std::vector<std::size_t> path;  // the latest node at each depth
  std::size_t from = 0;
  while (from <= input.size() && nodes.size() < kMaxNodes) {
    std::size_t end = input.find('\n', from);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(from, end - from);
    from = end + 1;
    if (nodes.empty()) {
      path.push_back(0);
      parents.push_back(0);
    } else {
      const std::size_t depth = std::min(std::clamp<std::size_t>(field(line, 0), 1, 3), path.size());
      parents.push_back(path[depth - 1]);
      path.resize(depth);
      path.push_back(nodes.size());
    }
    nodes.push_back(decode_node(line));
  }
  if (renamed) {
    std::size_t k = 0;
    while (kNames[k] != nodes.back().name) ++k;
    nodes.back().name = pick(kNames, k + 1);
  }
  // Children come after their parent: attach from the last node back, each in front.
  for (std::size_t i = nodes.size() - 1; i > 0; --i) {
    std::vector<Node>& siblings = nodes[parents[i]].children;
    siblings.insert(siblings.begin(), std::move(nodes[i]));
  }
  return std::move(nodes.front());
}

// Every node of a tree in pre-order.
template <class NodeT>
std::vector<NodeT*> pre_order(NodeT& root) {
  std::vector<NodeT*> out;
  ostrel::for_each_pre_order(root, [&](NodeT& n) { out.push_back(&n); });
  return out;
}

std::size_t formula_count(const Texts& formula) { return formula.is_single() ? 1 : formula.multi_values().size(); }

bool same_shape(const Texts& a, const Texts& b) {
  return a.is_single() == b.is_single() && (a.is_single() || a.multi_values().size() == b.multi_values().size());
}

// Whether the scanner finds anything in the formula that reads another node.
bool reads_no_node(std::string_view formula) {
  for (const ostrel::parser::Token& token : ostrel::parser::scan_tokens(formula)) {
    if (token.kind == ostrel::parser::TokenKind::NodeReference || token.kind == ostrel::parser::TokenKind::Modifier) {
      return false;
    }
  }
  return true;
}

// Whether the tree's formulas nest little enough for the recursive evaluation's stack: it
// nests every formula that a reference reaches inside the one that asks.
bool shallow(const Node& root) {
  std::size_t parentheses = 0;
  for_each_pre_order(root, [&](const Node& node) {
    for (const std::string& text : node.formula) parentheses += std::count(text.begin(), text.end(), '(');
  });
  return parentheses <= 64;
}

void check_evaluation(std::string_view input) {
  Node root = decode_tree(input);
  Node reference = decode_tree(input);
  if (!shallow(reference)) return;
  ostrel::eval::evaluate_tree(root);
  const std::vector<std::string> expected = ostrel::testing::recursive_values(reference);
  const std::vector<std::string> actual = ostrel::testing::values_in_pre_order(root);
  const std::vector<const Node*> nodes = pre_order(std::as_const(root));
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (actual[i] != expected[i]) {
      fail("tree evaluation differs from the recursive evaluation", input,
           "node " + std::to_string(i) + " (" + nodes[i]->name + "): " + actual[i] + " in the tree, " + expected[i] +
               " recursively");
    }
  }
}

// Whether no node reads itself through other nodes. A node reads every visible node of a
// name it refers to (whatever the index), and all its children through a children
// reference; right reads its own later dimensions, which ends.
bool acyclic(const Node& root) {
  const ostrel::TreeIndex index(root);
  std::vector<std::vector<NodeIndex>> reads(index.size());
  for (NodeIndex i = 0; i < index.size(); ++i) {
    for (const std::string& text : index.node(i).formula) {
      for (const ostrel::tree::ReferenceToken& token : ostrel::tree::read_references(text)) {
        using Kind = ostrel::tree::ReferenceToken::Kind;
        if (token.kind == Kind::Name || token.kind == Kind::Modifier) {
          const auto bearers = index.named(token.name);
          reads[i].insert(reads[i].end(), bearers.begin(), bearers.end());
        } else if (token.kind == Kind::Children || token.kind == Kind::Spread) {
          reads[i].insert(reads[i].end(), index.children(i).begin(), index.children(i).end());
        }
      }
    }
  }
  // Depth first with colours: 1 on the path, 2 done.
  std::vector<int> colour(index.size(), 0);
  std::vector<std::pair<NodeIndex, std::size_t>> path;
  for (NodeIndex start = 0; start < index.size(); ++start) {
    if (colour[start] != 0) continue;
    colour[start] = 1;
    path.emplace_back(start, 0);
    while (!path.empty()) {
      auto& [at, next] = path.back();
      if (next == reads[at].size()) {
        colour[at] = 2;
        path.pop_back();
        continue;
      }
      const NodeIndex to = reads[at][next++];
      if (colour[to] == 1) return false;
      if (colour[to] == 0) {
        colour[to] = 1;
        path.emplace_back(to, 0);
      }
    }
  }
  return true;
}

// A node's value in each of `dimensions`, errors all alike.
std::vector<std::string> value_texts(const Node& node, std::size_t dimensions) {
  std::vector<std::string> out;
  for (std::size_t d = 0; d < dimensions; ++d) {
    const EvalResult& v = node.value.is_single() ? node.value.single_value() : node.value.multi_values().at(d);
    out.push_back(v.is_error() ? "error" : v.to_string());
  }
  return out;
}

void check_expansion(std::string_view input) {
  namespace tree = ostrel::tree;
  const Node original = decode_tree(input);
  const std::vector<const Node*> originals = pre_order(original);
  std::vector<Texts> expected;
  std::uint64_t total = 0;
  {
    const tree::TreeExpansion expansion(original);
    for (NodeIndex i = 0; i < originals.size(); ++i) {
      const Texts& own = originals[i]->formula;
      const Texts expanded = expansion.formulas(i);
      const std::string where = "node " + originals[i]->name;
      if (!same_shape(own, expanded)) fail("expanded formulas take another shape", input, where);
      std::uint64_t node_total = 0;
      for (std::size_t k = 0; k < formula_count(own); ++k) {
        const std::string& before = own.is_single() ? own.single_value() : own.multi_values()[k];
        const std::string& after = expanded.is_single() ? expanded.single_value() : expanded.multi_values()[k];
        const std::string detail =
            where + ", formula " + std::to_string(k) + ": " + std::to_string(after.size()) + " bytes";
        if (expansion.length(i, k) != after.size() || expansion.text(i, k) != after) {
          fail("an expanded formula's length or text disagrees with the formulas", input, detail);
        }
        // Whatever the limit stops from being replaced stays as written, so at most the
        // formula's own bytes come on top of it.
        if (after.size() > tree::kMaxExpandedFormulaBytes + before.size()) {
          fail("an expanded formula passes the per-formula limit", input, detail);
        }
        if (!contains_references(before) && after != before) {
          fail("a formula without references changes in expansion", input, detail);
        }
        node_total += after.size();
      }
      if (expansion.total_length(i) != node_total) fail("a node's total expanded length is wrong", input, where);
      total += node_total;
      expected.push_back(expanded);
    }
  }

  Node root = decode_tree(input);
  const auto result = tree::expand_tree_formulas(root);
  const std::vector<const Node*> nodes = pre_order(std::as_const(root));
  if (result.ok() != (total <= tree::kMaxExpandedTreeBytes)) {
    fail("the whole-tree expansion fails or succeeds against the tree limit", input,
         std::to_string(total) + " bytes in all");
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const Texts& wanted = result.ok() ? expected[i] : originals[i]->formula;
    if (!(nodes[i]->formula == wanted)) {
      fail(result.ok() ? "the whole-tree expansion writes other formulas than the expansion gives"
                       : "a failed whole-tree expansion changed a formula",
           input, "node " + nodes[i]->name);
    }
  }

  // The values stay: the expanded tree evaluates as the original does.
  Node evaluated = decode_tree(input);
  if (!result.ok() || !acyclic(evaluated)) return;
  ostrel::eval::evaluate_tree(evaluated);
  ostrel::eval::evaluate_tree(root);
  const std::size_t dimensions = ostrel::eval::get_max_dimensions(evaluated);
  const std::vector<const Node*> before = pre_order(std::as_const(evaluated));
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const std::vector<std::string> was = value_texts(*before[i], dimensions);
    const std::vector<std::string> is = value_texts(*nodes[i], dimensions);
    for (std::size_t d = 0; d < dimensions; ++d) {
      if (was[d] != is[d]) {
        fail("expansion changed a value", input,
             "node " + nodes[i]->name + ", dimension " + std::to_string(d) + ": " + was[d] + " before, " + is[d] +
                 " after");
      }
    }
  }
}

// Every formula of the tree in pre-order, flattened.
std::vector<std::string> all_formulas(const Node& root) {
  std::vector<std::string> out;
  for (const Node* node : pre_order(root)) {
    for (const std::string& text : node->formula) out.push_back(text);
  }
  return out;
}

void check_renaming(std::string_view input) {
  namespace tree = ostrel::tree;
  const Node old_root = decode_tree(input);
  const std::vector<std::string> before = all_formulas(old_root);

  Node same = decode_tree(input);
  const tree::Renaming unchanged(old_root, same);
  if (!unchanged.names().empty()) {
    fail("an edit that changes nothing changes references", input, "to \"" + unchanged.names().front() + "\"");
  }
  tree::rename_references(old_root, same);
  if (all_formulas(same) != before) fail("an edit that changes nothing changed a formula", input);

  Node renamed = decode_tree(input, true);
  tree::rename_references(old_root, renamed);
  const std::vector<std::string> after = all_formulas(renamed);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (reads_no_node(before[i]) && after[i] != before[i]) {
      fail("renaming changed a formula without references", input, "\"" + before[i] + "\" -> \"" + after[i] + "\"");
    }
  }
}

std::size_t cell_count(const Texts& cells) {
  if (cells.is_single()) return cells.single_value().empty() ? 0 : 1;
  return cells.multi_values().size();
}

void check_export(std::string_view input) {
  const Node original = decode_tree(input);
  Node root = decode_tree(input);
  ostrel::excel::export_tree_to_excel(root);
  Node again = decode_tree(input);
  ostrel::excel::export_tree_to_excel(again);
  const std::vector<const Node*> before = pre_order(original);
  const std::vector<const Node*> after = pre_order(std::as_const(root));
  const std::vector<const Node*> repeated = pre_order(std::as_const(again));
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::string where = "node " + before[i]->name;
    if (!(after[i]->formula == before[i]->formula)) fail("the export changed a formula", input, where);
    if (cell_count(before[i]->cells) == 0 && !(after[i]->cells == before[i]->cells)) {
      fail("the export changed the cells of a node without any", input, where);
    }
    if (!same_shape(after[i]->cells, before[i]->cells)) fail("exported contents take another shape", input, where);
    for (const std::string& content : after[i]->cells) {
      if (content.size() > ostrel::excel::kMaxCellText + 1)
        fail("a cell's content passes the cell limit", input, where);
      // A formula (none of the addresses here holds these texts) embeds the spreadsheet's
      // errors, never the engine's bare texts, and leaves no argument out.
      if (!content.starts_with('=')) continue;
      for (const std::string_view gap : {"()", "(,", ",)", ",,"}) {
        if (content.find(gap) != std::string::npos) fail("a formula leaves an argument out", input, content);
      }
      for (const std::string_view error : {"REF!", "VALUE!", "MANY!", "ERROR!"}) {
        for (std::size_t at = content.find(error); at != std::string::npos; at = content.find(error, at + 1)) {
          if (error == "MANY!" || at == 0 || content[at - 1] != '#') {
            fail("a formula holds a bare error text", input, content);
          }
        }
      }
    }
    if (!(repeated[i]->cells == after[i]->cells)) fail("the same tree exports differently", input, where);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_evaluation(input);
  check_expansion(input);
  check_renaming(input);
  check_export(input);
  return 0;
}
