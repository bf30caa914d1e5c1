// The export driver: the shape of the cells, the address snapshot, large and deep inputs.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "excel/export.h"
#include "node_builders.h"

namespace ostrel::excel {
namespace {

using testing::numbered;
using Texts = AnyDim<std::string>;

Texts multi(std::initializer_list<std::string> texts) { return Texts::multi(texts); }
Texts single(std::string text) { return Texts::single(std::move(text)); }

template <class... Children>
Node node(std::string name, Texts formula, Texts cells, Children... children) {
  Node n;
  n.name = std::move(name);
  n.formula = std::move(formula);
  n.cells = std::move(cells);
  (n.children.push_back(std::move(children)), ...);
  return n;
}

// The contents of the root's children after exporting the tree.
template <class... Children>
std::vector<Texts> exported(Children... children) {
  Node root = node("root", single(""), multi({}), std::move(children)...);
  export_tree_to_excel(root);
  std::vector<Texts> out;
  for (const Node& child : root.children) out.push_back(child.cells);
  return out;
}

TEST(ExcelExport, ContentsFollowTheShapeOfTheCells) {
  const auto x = [] { return node("x", multi({"1", "2"}), multi({"X1", "X2"})); };
  // One content per address, each translated in its own dimension.
  EXPECT_EQ(exported(x(), node("n", single("=1+@x"), multi({"A1", "A2"})))[1], multi({"=1+X1", "=1+X2"}));
  // One address: one content, from the first formula only.
  EXPECT_EQ(exported(x(), node("n", multi({"=@x", "=2", "=3"}), single("A1")))[1], single("=X1"));
  EXPECT_EQ(exported(node("n", single("5%"), single("A1")))[0], single("=0.05"));
  // A formula list shorter than the cells: the missing formulas give empty contents.
  EXPECT_EQ(exported(node("n", multi({"=1"}), multi({"A1", "A2"})))[0], multi({"=1", ""}));
  EXPECT_EQ(exported(node("n", multi({}), multi({"A1"})))[0], multi({""}));
  // Longer than the cells: the surplus is not converted.
  EXPECT_EQ(exported(node("n", multi({"=1", "=(", "x"}), multi({"A1"})))[0], multi({"=1"}));
  // An empty address is still a cell of the node's own.
  EXPECT_EQ(exported(node("n", single("=2"), multi({"A1", "", "C1"})))[0], multi({"=2", "=2", "=2"}));
  // A reference to a node without an address in the dimension ends the cell.
  EXPECT_EQ(exported(node("g", single("1"), multi({"G1", ""})), node("n", single("=@g"), multi({"A1", "A2"})))[1],
            multi({"=G1", "REF!"}));
}

TEST(ExcelExport, NodesWithoutCellsKeepThemAndTheirChildrenAreConverted) {
  const std::vector<Texts> out =
      exported(node("none", single("=1"), multi({}), node("child", single("=2"), single("C1"))),
               node("blank", single("=1"), single(""), node("child2", single("=@child"), multi({"D1"}))));
  EXPECT_EQ(out[0], multi({}));
  EXPECT_EQ(out[1], single(""));
  Node root = node("root", single(""), multi({}),
                   node("none", single("=1"), multi({}), node("child", single("=2"), single("C1"))));
  export_tree_to_excel(root);
  EXPECT_EQ(root.children[0].children[0].cells, single("=2"));
}

TEST(ExcelExport, AddressesComeFromTheSnapshotWhateverWasConvertedFirst) {
  // The root is converted before b and b after the root: both read addresses only.
  Node root = node("root", single("=@b"), multi({"R1"}), node("b", single("=@root * 2"), multi({"B1"})));
  export_tree_to_excel(root);
  EXPECT_EQ(root.cells, multi({"=B1"}));
  EXPECT_EQ(root.children[0].cells, multi({"=R1*2"}));
}

TEST(ExcelExport, AHostTreeFarDeeperThanTheStack) {
  // 100,000 levels, each node reading its only child; nothing here may recurse.
  constexpr int kDepth = 100000;
  Node root = node("n0", single("=children[1] + 1"), multi({"A1"}));
  Node* at = &root;
  for (int i = 1; i <= kDepth; ++i) {
    at->children.push_back(
        node(numbered("n", i), single(i == kDepth ? "1" : "=children[1] + @n0"), multi({numbered("A", i + 1)})));
    at = &at->children.back();
  }
  export_tree_to_excel(root);
  EXPECT_EQ(root.cells, multi({"=A2+1"}));
  EXPECT_EQ(root.children[0].cells, multi({"=A3+A1"}));
  EXPECT_EQ(at->cells, multi({"1"}));
}

TEST(ExcelExport, LargeFormulasAndTranslationsThatWouldNeverEnd) {
  std::string sum = "=@a";
  while (sum.size() < (1u << 20)) sum += "+@a";
  std::string nested = "=@a";
  for (int i = 0; i < 3; ++i) nested = "=coalesce(" + nested.substr(1) + "; 1)";
  // Every level of nested coalesce writes the level below twice: 127 levels would be 2^127
  // copies, so the translation stops at a size no spreadsheet takes anyway.
  std::string deep = "@a";
  for (int i = 0; i < 100; ++i) deep = "coalesce(" + deep + "; 1)";
  const std::vector<Texts> out =
      exported(node("a", single("1"), single("B2")), node("sum", single(sum), single("S1")),
               node("nested", single(nested), single("N1")), node("deep", single("=" + deep), single("D1")),
               node("junk", single("=" + std::string(1 << 20, '(')), single("J1")));
  const std::string& translated = out[1].single_value();
  EXPECT_EQ(translated.size(), sum.size());  // "@a" and "B2" are both two bytes
  EXPECT_EQ(translated.substr(0, 10), "=B2+B2+B2+");
  EXPECT_EQ(out[2], single("=IF(IF(IF(B2<>\"\",B2,1)<>\"\",IF(B2<>\"\",B2,1),1)<>\"\",IF(IF(B2<>\"\",B2,1)<>\"\","
                           "IF(B2<>\"\",B2,1),1),1)"));
  EXPECT_EQ(out[3], single("ERROR!"));
  EXPECT_EQ(out[4], single("ERROR!"));
}

}  // namespace
}  // namespace ostrel::excel
