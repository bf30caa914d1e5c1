// The compact JSON form of nodes: member order, value texts, and exactly the listed escapes.
#include "nodes/node_json.h"

#include <gtest/gtest.h>

#include <string>

#include "node_builders.h"

namespace ostrel {
namespace {

using namespace std::string_literals;

using testing::json_of;

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

}  // namespace
}  // namespace ostrel
