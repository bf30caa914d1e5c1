#include "tree/explain.h"

#include <algorithm>

#include "parser/reference_tokens.h"

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

std::vector<NodeIndex> extract_node_references_from_all(const TreeIndex& index, NodeIndex node,
                                                        const AnyDim<std::string>& formulas) {
  std::vector<NodeIndex> nodes;
  std::vector<bool> taken(index.size(), false);
  auto take = [&](NodeIndex n) {
    if (!taken[n]) nodes.push_back(n);
    taken[n] = true;
  };
  auto take_all = [&](std::span<const NodeIndex> selection, std::optional<std::uint64_t> n) {
    if (!n) {
      std::for_each(selection.begin(), selection.end(), take);
    } else if (*n >= 1 && *n <= selection.size()) {
      take(selection[*n - 1]);
    }
  };
  for (const std::string& formula : formulas) {
    for (const parser::ScannedReference& reference : parser::scan_references(formula)) {
      switch (reference.kind) {
        case parser::ScannedReference::Kind::Node:
          take_all(index.named(reference.name), reference.index);
          break;
        case parser::ScannedReference::Kind::Children:
          take_all(index.children(node), reference.index);
          break;
        case parser::ScannedReference::Kind::Right:  // the node itself
          break;
      }
    }
  }
  return nodes;
}

Result<std::optional<Node>, ExpansionFailure> explain_node(const Node& root, std::string_view id,
                                                           Interrupt* interrupt) {
  const Node* target = find_node_by_id(root, id);
  if (target == nullptr) return std::optional<Node>();
  // The whole tree is walked, since what a formula expands to depends on what the walk met
  // before it; but only the answer's texts are written.
  const TreeExpansion expansion(root, interrupt);
  if (expansion.stopped()) return fail(ExpansionFailure::Stopped);
  const TreeIndex& index = expansion.index();
  NodeIndex at = 0;
  while (&index.node(at) != target) ++at;
  std::uint64_t total = expansion.total_length(at);
  if (total > kMaxExpandedTreeBytes) return fail(ExpansionFailure::TooLarge);
  AnyDim<std::string> formulas = expansion.formulas(at);
  const std::vector<NodeIndex> inputs = extract_node_references_from_all(index, at, formulas);
  for (const NodeIndex input : inputs) {
    total += expansion.total_length(input);
    if (total > kMaxExpandedTreeBytes) return fail(ExpansionFailure::TooLarge);
  }
  Node result = explained(*target, std::move(formulas));
  result.children.reserve(inputs.size());
  for (const NodeIndex input : inputs)
    result.children.push_back(explained(index.node(input), expansion.formulas(input)));
  return std::optional<Node>(std::move(result));
}

}  // namespace ostrel::tree
