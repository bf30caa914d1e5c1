// The explanation of one node: the node with its formulas expanded down to input nodes and,
// as its children, the nodes that the expanded formulas refer to, each with its own
// expanded formula. Nothing is evaluated.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"
#include "tree/expand.h"
#include "types.h"

namespace ostrel::tree {

// The first node of the subtree in pre-order whose id is exactly `id`, hidden ones included.
const Node* find_node_by_id(const Node& root, std::string_view id);

// The distinct names that the formulas refer to, in order of first appearance; children
// and right references, and indexes, are left out.
std::vector<std::string> extract_node_references_from_all(const AnyDim<std::string>& formulas);

// The explanation of the node with that id, or nothing when no node has it. Only the texts
// of the answer count toward kMaxExpandedTreeBytes.
Result<std::optional<Node>, ExpandedTreeTooLarge> explain_node(const Node& root, std::string_view id);

}  // namespace ostrel::tree
