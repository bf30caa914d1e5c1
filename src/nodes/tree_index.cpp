#include "nodes/tree_index.h"

#include <utility>

#include "support/invariant.h"
#include "text/fnv1a.h"

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
  // Each visible node's group, numbering the names as they first appear; then the groups
  // laid out side by side, each in pre-order.
  std::vector<std::uint32_t> group_of(nodes_.size(), 0);
  std::vector<std::uint32_t> counts;
  for (NodeIndex i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i]->is_hidden) continue;
    const std::string_view name = nodes_[i]->name;
    const std::uint64_t h = hash(name);
    Slot& slot = slots_[probe(name, h)];  // at most half full: the table has a slot pair per node
    if (slot.group == 0) {
      counts.push_back(0);
      slot = Slot{h, name, static_cast<std::uint32_t>(counts.size())};
    }
    group_of[i] = slot.group;
    ++counts[slot.group - 1];
  }
  group_starts_.assign(counts.size() + 1, 0);
  for (std::size_t g = 0; g < counts.size(); ++g) group_starts_[g + 1] = group_starts_[g] + counts[g];
  members_.resize(group_starts_.back());
  std::vector<std::uint32_t> filled(group_starts_.begin(), group_starts_.end() - 1);
  for (NodeIndex i = 0; i < nodes_.size(); ++i) {
    if (group_of[i] != 0) members_[filled[group_of[i] - 1]++] = i;
  }
}

std::uint64_t TreeIndex::hash(std::string_view name) { return fnv1a::hash(name); }

std::size_t TreeIndex::probe(std::string_view name, std::uint64_t h) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.group == 0 || (slot.hash == h && slot.name == name)) return i;
  }
}

std::span<const NodeIndex> TreeIndex::named(std::string_view name) const {
  const Slot& slot = slots_[probe(name, hash(name))];
  if (slot.group == 0) return {};
  const std::uint32_t start = group_starts_[slot.group - 1];
  return std::span<const NodeIndex>(members_.data() + start, group_starts_[slot.group] - start);
}

}  // namespace ostrel
