#include "tree_index.h"

#include <utility>

#include "invariant.h"

namespace ostrel {

TreeIndex::TreeIndex(const Node& root) {
  // Numbering in pre-order, without recursing: each entry is a node and its parent's index.
  constexpr NodeIndex kNoParent = ~NodeIndex{0};
  std::vector<std::pair<const Node*, NodeIndex>> pending{{&root, kNoParent}};
  while (!pending.empty()) {
    const auto [node, parent] = pending.back();
    pending.pop_back();
    if (nodes_.size() >= kNoParent) invariant_failure("node tree too large to index");
    const auto index = static_cast<NodeIndex>(nodes_.size());
    nodes_.push_back(node);
    children_.emplace_back();
    if (parent != kNoParent) children_[parent].push_back(index);
    for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
      pending.emplace_back(&*child, index);
    }
  }
  std::size_t size = 16;
  while (size < 2 * nodes_.size()) size *= 2;
  slots_.assign(size, Slot{});
  for (NodeIndex i = 0; i < nodes_.size(); ++i) {
    if (!nodes_[i]->is_hidden) add(nodes_[i]->name, i);
  }
}

std::uint64_t TreeIndex::hash(std::string_view name) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::size_t TreeIndex::probe(std::string_view name, std::uint64_t h) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.group == 0 || (slot.hash == h && names_[slot.group - 1] == name)) return i;
  }
}

void TreeIndex::add(std::string_view name, NodeIndex node) {
  const std::uint64_t h = hash(name);
  Slot& slot = slots_[probe(name, h)];  // at most half full: the table has a slot pair per node
  if (slot.group == 0) {
    names_.push_back(name);
    groups_.emplace_back();
    slot = Slot{h, static_cast<std::uint32_t>(groups_.size())};
  }
  groups_[slot.group - 1].push_back(node);
}

std::span<const NodeIndex> TreeIndex::named(std::string_view name) const {
  const Slot& slot = slots_[probe(name, hash(name))];
  if (slot.group == 0) return {};
  return groups_[slot.group - 1];
}

}  // namespace ostrel
