// Small node trees for tests. Nodes move but do not copy, so children are passed one by one.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "nodes/node_json.h"
#include "types.h"

namespace ostrel::testing {

// A numbered node name: numbered("n", 7) is "n7".
// Appended, not concatenated: g++ 12 at -O3 warns wrongly on the concatenation.
inline std::string numbered(std::string_view prefix, long long k) {
  return std::string(prefix).append(std::to_string(k));
}

template <class... Children>
Node node(std::string name, std::string formula, Children... children) {
  Node n;
  n.name = std::move(name);
  n.formula = AnyDim<std::string>::single(std::move(formula));
  (n.children.push_back(std::move(children)), ...);
  return n;
}

template <class... Children>
Node multi(std::string name, std::vector<std::string> formulas, Children... children) {
  Node n = node(std::move(name), "", std::move(children)...);
  n.formula = AnyDim<std::string>::multi(std::move(formulas));
  return n;
}

// The node without its children (Node does not copy, because of them).
inline Node without_children(const Node& n) {
  Node c;
  c.id = n.id;
  c.name = n.name;
  c.formula = n.formula;
  c.value = n.value;
  c.is_hidden = n.is_hidden;
  c.cells = n.cells;
  return c;
}

// The whole tree as JSON text, to compare trees by.
inline std::string json_of(const Node& root) {
  std::string out;
  write_json(root, out);
  return out;
}

inline Node hidden(Node n) {
  n.is_hidden = true;
  return n;
}

inline Node with_id(std::string id, Node n) {
  n.id = std::move(id);
  return n;
}

// The reference lookup by name: every visible node named exactly `name`, in pre-order, by a
// plain walk (a hidden node's subtree is still searched).
inline std::vector<const Node*> find_all_nodes_by_name(const Node& root, std::string_view name) {
  std::vector<const Node*> found;
  for_each_pre_order(root, [&](const Node& n) {
    if (!n.is_hidden && n.name == name) found.push_back(&n);
  });
  return found;
}

}  // namespace ostrel::testing
