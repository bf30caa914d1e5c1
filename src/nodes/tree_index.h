// A node tree numbered once in pre-order, with the visible nodes of every name: the one
// lookup that evaluation, expansion, explanation and the export share, so no step walks
// the tree per reference.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "types.h"

namespace ostrel {

// A node of an indexed tree by its position in pre-order (the root is 0).
using NodeIndex = std::uint32_t;

class TreeIndex {
 public:
  // The tree must stay unchanged in shape while the index is used.
  explicit TreeIndex(const Node& root);

  std::size_t size() const { return nodes_.size(); }
  const Node& node(NodeIndex i) const { return *nodes_[i]; }
  const std::vector<NodeIndex>& children(NodeIndex i) const { return children_[i]; }
  // The visible nodes of exactly this name, in pre-order (a hidden node's subtree is still
  // searched); empty when there are none.
  std::span<const NodeIndex> named(std::string_view name) const;

 private:
  // Names to their visible nodes: open addressing over the names' hashes, one probe run
  // per lookup. A slot holds its name, and a name's nodes lie side by side in `members_`,
  // so that a lookup in a large tree touches few places in memory.
  struct Slot {
    std::uint64_t hash = 0;
    std::string_view name;
    std::uint32_t group = 0;  // 1 + the name's group; 0 for a free slot
  };
  static std::uint64_t hash(std::string_view name);
  std::size_t probe(std::string_view name, std::uint64_t h) const;

  std::vector<const Node*> nodes_;
  std::vector<std::vector<NodeIndex>> children_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> group_starts_;  // group g's nodes: members_[starts[g], starts[g + 1])
  std::vector<NodeIndex> members_;
};

}  // namespace ostrel
