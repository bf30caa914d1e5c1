// The node model: its compact JSON form (member order, value texts, exactly the listed escapes)
// and the shared tree index.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "node_builders.h"
#include "nodes/node_json.h"
#include "nodes/tree_index.h"

namespace ostrel {
namespace {

using namespace std::string_literals;

using testing::find_all_nodes_by_name;
using testing::json_of;
using testing::node;
using testing::numbered;

TEST(NodeJson, EscapesExactlyTheListedCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {std::string("\x00\x01\x1b\x1f", 4), "\"\\u0000\\u0001\\u001b\\u001f\""},
      {"/ \x7f", "\"/ \x7f\""},
      {"Gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC",
       "\"Gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC\""},
  };
  for (const auto& [text, expected] : cases) {
    std::string out;
    write_json_string(text, out);
    EXPECT_EQ(out, expected);
  }
}

TEST(NodeJson, WritesNodesInFieldOrder) {
  Node leaf;
  leaf.id = "1"s;
  leaf.name = "Na\"me\t\xC3\xBC";
  leaf.formula = AnyDim<std::string>::single("=@a");
  leaf.value = AnyDim<EvalResult>::single(EvalResult::number(2.5));
  leaf.cells = AnyDim<std::string>::single("B2");
  EXPECT_EQ(json_of(leaf),
            "{\"id\":\"1\",\"name\":\"Na\\\"me\\t\xC3\xBC\",\"formula\":\"=@a\",\"value\":\"2.5\",\"is_hidden\":false,"
            "\"cells\":\"B2\",\"children\":[]}");

  Node root;
  root.name = "r"s;
  root.is_hidden = true;
  root.formula = AnyDim<std::string>::multi({"1"});
  root.value = AnyDim<EvalResult>::multi({EvalResult::error(EvalError::Ref), EvalResult::empty()});
  root.children.push_back(std::move(leaf));
  Node second;
  second.formula = AnyDim<std::string>::multi({});
  root.children.push_back(std::move(second));
  EXPECT_EQ(json_of(root),
            "{\"id\":\"\",\"name\":\"r\",\"formula\":[\"1\"],\"value\":[\"REF!\",\"\"],\"is_hidden\":true,"
            "\"cells\":[],\"children\":[{\"id\":\"1\",\"name\":\"Na\\\"me\\t\xC3\xBC\",\"formula\":\"=@a\","
            "\"value\":\"2.5\",\"is_hidden\":false,\"cells\":\"B2\",\"children\":[]},{\"id\":\"\",\"name\":\"\","
            "\"formula\":[],\"value\":\"\",\"is_hidden\":false,\"cells\":[],\"children\":[]}]}");
}

TEST(NodeJson, DeepTreesAreWrittenWithoutRecursing) {
  constexpr int kDepth = 50000;
  Node root;
  Node* at = &root;
  for (int i = 0; i < kDepth; ++i) {
    at->children.emplace_back();
    at = &at->children.back();
  }
  const std::string out = json_of(root);
  EXPECT_EQ(out.size(), (kDepth + 1) * std::string("{\"id\":\"\",\"name\":\"\",\"formula\":\"\",\"value\":\"\","
                                                   "\"is_hidden\":false,\"cells\":[],\"children\":[]}")
                                           .size());
  EXPECT_EQ(out.substr(out.size() - 4), "]}]}");
}

// The shared tree index against a plain walk of the tree.
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
