// Tree evaluation: every node of a node tree in every dimension, each node-dimension once,
// references resolved on demand through the cache. Cycles give "REF!".
#pragma once

#include <cstddef>

#include "eval/tree_context.h"
#include "support/interrupt.h"
#include "types.h"

namespace ostrel::eval {

// The longest formula list in the tree (a single formula counts 1, an empty list 0).
std::size_t get_max_dimensions(const Node& root);

// How much stack evaluating values nested in the formulas that ask for them may take, by
// default: well short of the smallest stack a host is likely to give a thread (a few hundred
// KiB; the main thread has megabytes).
inline constexpr std::size_t kNestedStackBytes = 128 * 1024;

// Every node in pre-order, each in all dimensions before its first child. With a budget of
// 0, nothing nests: every formula waits for what it needs and starts again. False when the
// interrupt stopped it, the cache then unfinished.
bool evaluate_all(TreeState& state, std::size_t nested_stack_bytes = kNestedStackBytes, Interrupt* interrupt = nullptr);

// The whole evaluation: values computed and written into every evaluated node's `value`.
// False when the interrupt stopped it before any value was written.
bool evaluate_tree(Node& root, Interrupt* interrupt = nullptr);

}  // namespace ostrel::eval
