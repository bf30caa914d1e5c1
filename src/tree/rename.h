// Renaming: compares a tree before an edit with the tree after it and rewrites the
// references in every formula of the edited tree, so that no reference comes to read
// another node: each keeps reading its node, or becomes "REF!", which a person can see and
// mend. Nodes are matched by id, and only where the id tells them apart: a non-empty id
// that no other node of the same tree carries. A reference is read as evaluation reads it
// in the old tree (its name and index, whatever its form); when the node it selects has
// another reference text in the new tree, the reference takes that text in its preferred
// form. References to nodes that cannot be identified, and to nodes whose text stays,
// keep their bytes; so does every byte outside reference tokens.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "nodes/tree_index.h"
#include "parser/reference_tokens.h"
#include "support/interrupt.h"
#include "types.h"

namespace ostrel::tree {

// What one edit does to references, worked out once for both trees.
class Renaming {
 public:
  // `old_root` must outlive the renaming unchanged; `new_root` is read only here. Once the
  // poll (when given) says stop, the renaming is left unfinished, only good for dropping.
  Renaming(const Node& old_root, const Node& new_root, InterruptPoll* poll = nullptr);

  // The text that replaces one reference token of a formula of the new tree, or nothing
  // when the token keeps its bytes.
  std::optional<std::string_view> replacement(const parser::ScannedReference& reference) const;

  // The old names of the nodes whose references may change: a reference token of any other
  // name keeps its bytes.
  const std::vector<std::string>& names() const { return names_; }

 private:
  // What becomes of the references that select one visible node of the old tree.
  struct Fate {
    // The node's reference text in the new tree ("REF!" when it has none); empty when the
    // node is gone or hidden, and the references that would now select another node
    // become "REF!".
    std::string text;
    // For a node gone or hidden: the number of visible nodes of its name in the new tree.
    std::size_t namesakes = 0;
  };

  TreeIndex old_index_;
  std::unordered_map<NodeIndex, Fate> fates_;  // nodes not listed keep their references
  std::vector<std::string> names_;
};

// `formula` with every node reference token that the renaming replaces swapped, each token
// read once, so that swaps and chains come out right.
std::string replace_references(std::string_view formula, const Renaming& renaming);

// Rewrites every formula of the tree, all dimensions, hidden nodes included. False when
// the interrupt stopped it, some formulas rewritten and some not.
bool replace_references_in_tree(Node& root, const Renaming& renaming, Interrupt* interrupt = nullptr);

// Rewrites the formulas of `new_root` after the edit that turned `old_root` into it; false
// when the interrupt stopped it.
bool rename_references(const Node& old_root, Node& new_root, Interrupt* interrupt = nullptr);

}  // namespace ostrel::tree
