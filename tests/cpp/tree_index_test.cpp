// The shared tree index against a plain walk of the tree.
#include "nodes/tree_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "node_builders.h"

namespace ostrel {
namespace {

using testing::find_all_nodes_by_name;
using testing::node;
using testing::numbered;

TEST(TreeIndex, AgreesWithTheWalkFromTheRoot) {
  std::mt19937 random(7);
  Node root = node("root", "");
  // Places are paths of child positions, since pointers into children vectors do not last.
  std::vector<std::vector<std::size_t>> places{{}};
  for (int i = 0; i < 400; ++i) {
    Node n = node(numbered("n", random() % 40), "");
    n.is_hidden = random() % 5 == 0;
    std::vector<std::size_t> place = places[random() % places.size()];
    Node* parent = &root;
    for (std::size_t step : place) parent = &parent->children[step];
    place.push_back(parent->children.size());
    parent->children.push_back(std::move(n));
    places.push_back(std::move(place));
  }
  const TreeIndex index(root);
  std::vector<const Node*> by_index;
  for_each_pre_order(root, [&](const Node& n) { by_index.push_back(&n); });
  ASSERT_EQ(index.size(), by_index.size());
  for (NodeIndex i = 0; i < index.size(); ++i) {
    ASSERT_EQ(&index.node(i), by_index[i]);
    const Node& parent = *by_index[i];
    ASSERT_EQ(index.children(i).size(), parent.children.size());
    for (std::size_t k = 0; k < parent.children.size(); ++k) {
      EXPECT_EQ(&index.node(index.children(i)[k]), &parent.children[k]);
    }
  }
  for (int k = 0; k < 42; ++k) {
    const std::string name = numbered("n", k);
    std::vector<const Node*> indexed;
    for (const NodeIndex i : index.named(name)) indexed.push_back(by_index[i]);
    EXPECT_EQ(indexed, find_all_nodes_by_name(root, name)) << name;
  }
}

}  // namespace
}  // namespace ostrel
