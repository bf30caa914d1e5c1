// Tree evaluation: every node of a node tree in every dimension, each node-dimension once,
// references resolved on demand through the cache. Cycles give "REF!".
#pragma once

#include <cstddef>

#include "eval/tree_context.h"
#include "types.h"

namespace ostrel::eval {

// The longest formula list in the tree (a single formula counts 1, an empty list 0).
std::size_t get_max_dimensions(const Node& root);

// Evaluates one node-dimension and whatever it needs first, then stores its result.
void evaluate_dimension(TreeState& state, NodeIndex node, std::size_t dimension);

// Every node in pre-order, each in all dimensions before its first child.
void evaluate_all(TreeState& state);

// The whole evaluation: values computed and written into every evaluated node's `value`.
void evaluate_tree(Node& root);

}  // namespace ostrel::eval
