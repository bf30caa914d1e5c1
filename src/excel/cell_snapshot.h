// The host's cell addresses as they were before the export replaced any of them, keyed by
// node identity, so that the order in which nodes are converted never matters.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

#include "anydim.h"
#include "excel/convert_error.h"
#include "support/result.h"
#include "types.h"

namespace ostrel::excel {

// One node of the tree being exported, by its storage location: two nodes with the same
// name or id are still two keys. Valid while the tree is neither moved nor restructured.
struct NodeKey {
  const Node* node;
  friend bool operator==(NodeKey, NodeKey) = default;
};

struct NodeKeyHash {
  std::size_t operator()(NodeKey key) const noexcept { return std::hash<const Node*>{}(key.node); }
};

// Each node's `cells` as read from the host.
using CellSnapshot = std::unordered_map<NodeKey, AnyDim<std::string>, NodeKeyHash>;

// Adds (or replaces) an entry for `node` and every node below it.
void collect_cells_snapshot(const Node& node, CellSnapshot& snapshot);

// The node's address in the dimension: its single address for every dimension, or its
// list's entry; a missing entry or an empty address is `ConvertError::Ref`.
Result<std::string_view, ConvertError> cell_at(const Node& node, std::size_t dimension, const CellSnapshot& snapshot);

}  // namespace ostrel::excel
