// Renaming: compares a tree before an edit with the tree after it, matching nodes by id,
// and rewrites the references in every formula of the edited tree so that each keeps
// naming the node it named before. A node's reference text is its preferred form with
// "[occurrence]" appended while several visible nodes share its name, so renames, moves,
// additions and removals can all change it. Only whole reference tokens are replaced;
// every other byte of a formula is kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "types.h"

namespace ostrel::tree {

// A visible node as renaming sees it: its name and its position, counting from 1 in
// pre-order, among the visible nodes of its tree that bear the same name.
struct NodeInfo {
  std::string name;
  std::size_t occurrence = 0;

  friend bool operator==(const NodeInfo&, const NodeInfo&) = default;
};

// Name to the number of visible nodes bearing it.
using NameCounts = std::unordered_map<std::string, std::size_t>;
// Id to the visible node carrying it; of several nodes with one id, the last in pre-order.
using NodesById = std::unordered_map<std::string, NodeInfo>;
// Old reference text to the text that replaces it.
using Replacements = std::unordered_map<std::string, std::string>;

// The visible nodes of the tree by id, their occurrences counted in `counts`, which thus
// ends up holding the number of visible nodes of each name. Hidden nodes get no entry and do
// not shift the occurrences of the nodes after them; their subtrees are still visited.
NodesById collect_nodes_by_id(const Node& root, NameCounts& counts);

// What each old reference text becomes in the new tree: the node's new text for nodes both
// trees have; "REF!" for nodes renamed to a name that cannot be written as a reference;
// and "REF!" for a removed node's text when it would otherwise come to name a node that
// the old tree had already (visible or hidden). A removed node's text that names nothing,
// or only nodes new to the tree, stays.
Replacements find_replacements(const Node& old_root, const Node& new_root);

// `formula` with every node reference token that is a key of `replacements` swapped for
// its value, each token looked up once.
std::string replace_references(std::string_view formula, const Replacements& replacements);

// Rewrites every formula of the tree, all dimensions, hidden nodes included.
void replace_references_in_tree(Node& root, const Replacements& replacements);

// Rewrites the formulas of `new_root` after the edit that turned `old_root` into it.
void rename_references(const Node& old_root, Node& new_root);

}  // namespace ostrel::tree
