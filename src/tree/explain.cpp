#include "tree/explain.h"

#include <unordered_set>

#include "parser/tokenize.h"
#include "references.h"

namespace ostrel::tree {

namespace {

// A childless copy of the node with the given formulas.
Node explained(const Node& node, AnyDim<std::string> formulas) {
  Node copy;
  copy.id = node.id;
  copy.name = node.name;
  copy.formula = std::move(formulas);
  copy.value = node.value;
  copy.is_hidden = node.is_hidden;
  copy.cells = node.cells;
  return copy;
}

}  // namespace

const Node* find_node_by_id(const Node& root, std::string_view id) {
  const Node* found = nullptr;
  for_each_pre_order(root, [&](const Node& node) {
    if (found == nullptr && node.id == id) found = &node;
  });
  return found;
}

std::vector<std::string> extract_node_references_from_all(const AnyDim<std::string>& formulas) {
  std::vector<std::string> names;
  std::unordered_set<std::string> taken;
  for (const std::string& formula : formulas) {
    if (formula.empty()) continue;
    for (const parser::Token& token : parser::scan_tokens(formula)) {
      if (token.kind != parser::TokenKind::NodeReference) continue;
      if (token.text.starts_with("children") || token.text.starts_with("right")) continue;
      auto reference = parse_node_reference_from_str(token.text);
      if (!reference) continue;
      if (taken.insert(reference.value().name).second) names.push_back(std::move(reference.value().name));
    }
  }
  return names;
}

Result<std::optional<Node>, ExpandedTreeTooLarge> explain_node(const Node& root, std::string_view id) {
  const Node* target = find_node_by_id(root, id);
  if (target == nullptr) return std::optional<Node>();
  // The whole tree is walked, since what a formula expands to depends on what the walk met
  // before it; but only the answer's texts are written.
  const TreeExpansion expansion(root);
  const TreeIndex& index = expansion.index();
  NodeIndex at = 0;
  while (&index.node(at) != target) ++at;
  std::uint64_t total = expansion.total_length(at);
  if (total > kMaxExpandedTreeBytes) return fail(ExpandedTreeTooLarge{});
  AnyDim<std::string> formulas = expansion.formulas(at);
  std::vector<NodeIndex> inputs;
  for (const std::string& name : extract_node_references_from_all(formulas)) {
    const std::span<const NodeIndex> named = index.named(name);
    if (named.size() != 1) continue;
    total += expansion.total_length(named[0]);
    if (total > kMaxExpandedTreeBytes) return fail(ExpandedTreeTooLarge{});
    inputs.push_back(named[0]);
  }
  Node result = explained(*target, std::move(formulas));
  result.children.reserve(inputs.size());
  for (const NodeIndex input : inputs)
    result.children.push_back(explained(index.node(input), expansion.formulas(input)));
  return std::optional<Node>(std::move(result));
}

}  // namespace ostrel::tree
