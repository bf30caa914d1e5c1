// The explanation of one node: the node with its formulas expanded down to input nodes and,
// as its children, the nodes that the expanded formulas refer to, each with its own
// expanded formula. Nothing is evaluated.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "nodes/tree_index.h"
#include "support/interrupt.h"
#include "support/result.h"
#include "tree/expand.h"
#include "types.h"

namespace ostrel::tree {

// The first node of the subtree in pre-order whose id is exactly `id`, hidden ones included.
const Node* find_node_by_id(const Node& root, std::string_view id);

// The nodes that the formulas of `node` read through their references, each once, in order
// of first appearance: the node a name with an index selects, every node that bears a name
// without one, and the children that a children reference reads. A right reference reads
// the node itself and adds nothing.
std::vector<NodeIndex> extract_node_references_from_all(const TreeIndex& index, NodeIndex node,
                                                        const AnyDim<std::string>& formulas);

// The explanation of the node with that id, or nothing when no node has it. Only the texts
// of the answer count toward kMaxExpandedTreeBytes.
Result<std::optional<Node>, ExpansionFailure> explain_node(const Node& root, std::string_view id,
                                                           Interrupt* interrupt = nullptr);

}  // namespace ostrel::tree
