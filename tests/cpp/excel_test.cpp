// Formula translation texts and the export driver (values: the Python spreadsheet round trip).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "excel/cell_content.h"
#include "excel/export.h"
#include "node_builders.h"

namespace ostrel::excel {
namespace {

using testing::hidden;
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

// A node with addresses and no formula.
template <class... Children>
Node at(std::string name, Texts cells, Children... children) {
  return node(std::move(name), single(""), std::move(cells), std::move(children)...);
}

// The tree every case runs in; `gap` has no address in dimension 0, `lone` no children.
Node model() {
  return at("root", multi({}),                                                                         //
            at("a", multi({"B2", "C2"})), at("b", multi({"B3", "C3"})), at("c", multi({"B4", "C4"})),  //
            at("x", multi({"X1", "Y1"})), at("group", multi({}), at("x", multi({"X2", "Y2"}))),
            hidden(at("h", multi({"H1", "H2"}))), at("gap", multi({"", "Z2"})), at("Self", multi({"S1", "S2"})),
            at("me", multi({"D5", "E5", "F5"}), at("k1", single("C1")), at("k2", single("C2")), at("k3", single("C3"))),
            at("lone", multi({"G1", "G2", "G3"})), at("holes", multi({"", "H8", ""})),
            at("short", multi({"J1", "J2", "J3"})));
}

struct Case {
  const char* formula;
  const char* subject;
  std::size_t dimension;
  const char* content;
};

// The content of `formula` (in every dimension, two for `short`, or `single`) on the subject.
std::string content_of(const Case& c, bool single) {
  Node root = model();
  Node* subject = nullptr;
  for (Node& child : root.children) {
    if (child.name == c.subject) subject = &child;
  }
  const std::size_t formulas = std::string_view(c.subject) == "short" ? 2 : 3;
  subject->formula = single ? AnyDim<std::string>::single(c.formula)
                            : AnyDim<std::string>::multi(std::vector<std::string>(formulas, c.formula));
  export_tree_to_excel(root);
  return subject->cells.multi_values().at(c.dimension);
}

void expect_contents(const std::vector<Case>& cases, bool single = false) {
  for (const Case& c : cases) {
    EXPECT_EQ(content_of(c, single), c.content) << c.formula << " on " << c.subject << " in dimension " << c.dimension;
  }
}

TEST(ExcelConvert, OperatorsAndChains) {
  expect_contents({
      {"=@a + @b % @c", "me", 0, "=B2+MOD(B3,B4)"},
      // Each remainder wraps everything to its left in the product chain.
      {"=@a * @b % @c * 2 % @a", "me", 0, "=MOD(MOD(B2*B3,B4)*2,B2)"},
      {"=@a ^ 2 % 3", "me", 0, "=MOD(B2^2,3)"},
      {"=2^3^2", "me", 0, "=2^3^2"},
      {"=2 ** -@a", "me", 0, "=2^-B2"},
      {"=50% * 1,5 + 1.234,5", "me", 0, "=0.5*1.5+1234.5"},
      // Literals read back as the engine's number: all the digits they need, and the
      // spreadsheet's overflow error for one beyond the doubles.
      {"=0,00000000001234 * 2", "me", 0, "=1.234e-11*2"},
      {"=1,00000000001", "me", 0, "=1.00000000001"},
      {("=2 * 1" + std::string(400, '0')).c_str(), "me", 0, "=2*#NUM!"},
  });
}

TEST(ExcelConvert, Functions) {
  expect_contents({
      // Digits that are not a whole literal are rounded as the engine rounds them; the
      // spreadsheet would cut them.
      {"=round(@a; @b)", "me", 0, "=ROUND(B2,ROUND(B3,0))"},
      {"=round(@a; 1,5)", "me", 0, "=ROUND(B2,ROUND(1.5,0))"},
      // Spreadsheets need the significance: 1 gives the plain ceiling and floor.
      {"=ceil(@a)", "me", 0, "=CEILING(B2,1)"},
      {"=floor(-@a)", "me", 0, "=FLOOR(-B2,1)"},
      {"=root(@a; 3)", "me", 0, "=((B2)^(1/(3)))"},
      {"=root(@a + 1; @b - 1)", "me", 0, "=((B2+1)^(1/(B3-1)))"},
      // Every call is one operand, whatever it is written as.
      {"=-root(@a; 2)", "me", 0, "=-((B2)^(1/(2)))"},
      {"=2^root(@a; 2)", "me", 0, "=2^((B2)^(1/(2)))"},
      {"=iferror(@a)", "me", 0, "=IFERROR(B2,\"\")"},
  });
}

TEST(ExcelConvert, Aggregations) {
  expect_contents({
      {"=max(@a; children)", "me", 0, "=MAX(B2,C1,C2,C3)"},
      {"=count(children[2]; right[1])", "me", 0, "=COUNT(C2,E5)"},
      // A product starts from 1, as the engine's does, so that empty cells alone give 1.
      {"=mult(@a; 2)", "me", 0, "=PRODUCT(1,B2,2)"},
      // A whole argument that is a list gives all its cells: children, right and a name of
      // several nodes, also in parentheses, after a plus or through iferror.
      {"=sum(@x)", "me", 1, "=SUM(Y1,Y2)"},
      {"=max((@x); +children; 1)", "me", 0, "=MAX(X1,X2,C1,C2,C3,1)"},
      {"=sum(iferror(children; 0))", "me", 0, "=SUM(C1,C2,C3)"},
      // Inside an operand a list is one value too many, whatever its length.
      {"=sum(children + 1)", "me", 0, "MANY!"},
      {"=sum(if(children > 1; 1; 0))", "me", 0, "=SUM(IF(#N/A>1,1,0))"},
      // Lists that select nothing add nothing; with nothing left an aggregation is the
      // engine's value of no numbers.
      {"=sum(children; 1)", "lone", 0, "=SUM(1)"},
      {"=sum(children)", "lone", 0, "=0"},
      {"=count()", "me", 0, "=0"},
      {"=mult()", "me", 0, "=1"},
      {"=avg(right)", "me", 2, "VALUE!"},
      {"=1 + max()", "me", 0, "VALUE!"},
      {"=abs(median())", "me", 0, "=ABS(#VALUE!)"},
  });
}

TEST(ExcelConvert, Coalesce) {
  expect_contents({
      {"=coalesce()", "me", 0, "=\"\""},
      {"=coalesce(@a)", "me", 0, "=B2"},
      {"=coalesce(@a; @b; 0)", "me", 0, "=IF(B2<>\"\",B2,IF(B3<>\"\",B3,0))"},
      {"=coalesce(@a + 1; @b) * 2", "me", 1, "=IF(C2+1<>\"\",C2+1,C3)*2"},
      {"=coalesce(@a + 1) * 2", "me", 1, "=(C2+1)*2"},
      // Lists give one operand per cell.
      {"=coalesce(children)", "me", 0, "=IF(C1<>\"\",C1,IF(C2<>\"\",C2,C3))"},
      {"=coalesce(children; @x)", "lone", 1, "=IF(Y1<>\"\",Y1,Y2)"},
      // The first operand is always read; the others only when all before them are empty.
      {"=coalesce(@nobody; @a)", "me", 0, "REF!"},
      {"=coalesce(@a; @nobody; children + 1)", "me", 0, "=IF(B2<>\"\",B2,IF(#REF!<>\"\",#REF!,#N/A))"},
  });
}

TEST(ExcelConvert, Conditionals) {
  expect_contents({
      {"=when(@a > 1; 10; @a > 0; 5)", "me", 0, "=IF(B2>1,10,IF(B2>0,5,\"\"))"},
      {"=if(@a == 1 and not @b != 2 or @c; 1; 0)", "me", 0, "=IF(OR(AND(B2=1,NOT(B3<>2)),(B4<>0)),1,0)"},
      {"=if((@a > 1 or @b > 1) and @c; 1; 0)", "me", 0, "=IF(AND((OR(B2>1,B3>1)),(B4<>0)),1,0)"},
      {"=if(not (@a > 1); 1; 0)", "me", 0, "=IF(NOT((B2>1)),1,0)"},
  });
}

TEST(ExcelConvert, TheEmptyAtomIsTheEmptyText) {
  // Nothing at all would leave operators and arguments dangling ("=+1", "=ABS()").
  expect_contents({
      {"=empty", "me", 0, "=\"\""},
      {"=empty + 1", "me", 0, "=\"\"+1"},
      {"=abs(empty)", "me", 0, "=ABS(\"\")"},
      {"=if(empty; 1; 0)", "me", 0, "=IF((\"\"<>0),1,0)"},
  });
}

TEST(ExcelConvert, NodeReferences) {
  expect_contents({
      {"=@x", "me", 0, "MANY!"},
      {"=@x[2]", "me", 1, "=Y2"},
      {"=@x[0]", "me", 0, "REF!"},
      {"=@nobody", "me", 0, "REF!"},
      {"=@A", "me", 0, "REF!"},    // names are case-sensitive
      {"=@h", "me", 0, "REF!"},    // hidden nodes have no name
      {"=@gap", "me", 0, "REF!"},  // no address in this dimension
      {"=@gap", "me", 1, "=Z2"},
      {"=@a", "me", 2, "REF!"},  // a's list has no third address
      {"=@k2", "me", 2, "=C2"},  // a single address serves every dimension
      {"=@{Self}", "me", 2, "=F5"},
      {"=@Self[1]", "me", 0, "REF!"},
      {"=@Self", "holes", 0, "REF!"},
      // `total` sums first-dimension cells, so that an empty one counts as the engine's 0.
      {"=total(@a)", "me", 1, "=SUM(B2)"},
      {"=total(@x)", "me", 1, "=SUM(X1,X2)"},
      {"=total(@Self)", "me", 2, "=SUM(D5)"},
      {"=total(@nobody)", "me", 0, "REF!"},
      // A ratio is one operand: "ratio(@a)^2" squares the ratio.
      {"=ratio(@a)^2", "me", 1, "=(C2/B2)^2"},
      {"=ratio(@x)", "me", 0, "MANY!"},
      {"=ratio(@x[2])", "me", 1, "=(Y2/X2)"},
      {"=ratio(@x[3])", "me", 1, "REF!"},
      {"=ratio(@Self)", "me", 1, "=(S2/S1)"},  // here a name like any other
      {"=ratio(@gap)", "me", 1, "REF!"},       // no address in dimension 0
  });
}

TEST(ExcelConvert, ChildrenAndRightReferences) {
  expect_contents({
      // Without an index they are lists, which only an aggregation takes whole.
      {"=children", "me", 0, "MANY!"},
      {"=right", "me", 1, "MANY!"},
      {"=iferror(children; 0)", "me", 0, "MANY!"},
      {"=children[2]", "me", 0, "=C2"},
      {"=children[4]", "me", 0, "REF!"},
      {"=children[0]", "me", 0, "REF!"},
      {"=right[2]", "me", 0, "=F5"},
      {"=right[1]", "me", 2, "REF!"},
      {"=right[0]", "me", 0, "REF!"},
      // An empty right-hand address is no cell, as any other empty address.
      {"=right[1]", "holes", 1, "REF!"},
      {"=abs(right[1])", "holes", 1, "=ABS(#REF!)"},
      {"=sum(right)", "holes", 0, "REF!"},
      // Right-hand values end where the formula list ends, whatever the cells.
      {"=sum(right)", "short", 0, "=SUM(J2)"},
      {"=right[2]", "short", 0, "REF!"},
  });
  // A single formula text has no right-hand values at all.
  expect_contents({{"=right[1]", "me", 0, "REF!"}, {"=sum(right)", "me", 0, "REF!"}, {"=right", "me", 0, "MANY!"}},
                  true);
}

TEST(ExcelConvert, ErrorsEndTheCellOrAreEmbedded) {
  expect_contents({
      // Chains, signs, parentheses and aggregation arguments pass errors on: the whole
      // cell is the error's text.
      {"=1 + @nobody * 2", "me", 0, "REF!"},
      {"=-(@x)", "me", 0, "MANY!"},
      {"=sum(1; @nobody)", "me", 0, "REF!"},
      // Function arguments, conditions and conditional values hold the spreadsheet's
      // error instead, MANY! as #N/A: the engine may never read them.
      {"=abs(@nobody)", "me", 0, "=ABS(#REF!)"},
      {"=1 + round(@x; children)", "me", 0, "=1+ROUND(#N/A,ROUND(#N/A,0))"},
      {"=iferror(@a / @x; 0)", "me", 0, "=IFERROR(#N/A,0)"},
      {"=if(@a > 1; @nobody; @x)", "me", 0, "=IF(B2>1,#REF!,#N/A)"},
      {"=when(@a > 1; 1; @b > 1; @nobody)", "me", 0, "=IF(B2>1,1,IF(B3>1,#REF!,\"\"))"},
      {"=when(@a > 1; 1; @x > 1 or @nobody; 2; 3)", "me", 0, "=IF(B2>1,1,IF(OR(#N/A>1,(#REF!<>0)),2,3))"},
      {"=if(not @x[5] < 1; 1; max())", "me", 0, "=IF(NOT(#REF!<1),1,#VALUE!)"},
      {"=1 +", "me", 0, "ERROR!"},
  });
}

// Plain values: what a text that is not a formula becomes in any cell.
TEST(ExcelConvert, PlainValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"15%", "=0.15"},
      {"-15%", "=-0.15"},
      {"12", "12"},
      {"  7  ", "7"},
      {"", ""},
      {"1.234,56", "1234.56"},
      {"1,234.56", "1234.56"},
      {"1,5", "1.5"},
      {"-0", "0"},
      {"0,00000000001234", "1.234e-11"},  // all the digits the number needs
      // Other texts stay as they stand, trimmed.
      {"abc", "abc"},
      {"  Hello, world. ", "Hello, world."},
      {".=x", ".=x"},
      {"1 000", "1 000"},
      {"- 5", "- 5"},
      {"0x10", "0x10"},
      {"1e", "1e"},
      {"nan(1)", "nan(1)"},
      // The float syntax reads exponents, and the words for infinity and not-a-number,
      // which, like numbers beyond the doubles, are the spreadsheet's overflow error.
      {"1e5", "100000"},
      {"1,5e2", "150"},
      {"+.5", "0.5"},
      {"1e-400", "0"},
      {"1e400", "=#NUM!"},
      {"INF", "=#NUM!"},
      {"nan", "=#NUM!"},
      {std::string("1").append(400, '0'), "=#NUM!"},
      // Blanks before "=" still make a formula, as for the engine.
      {" =1+1", "=1+1"},
      {"\t =@lone * 2 ", "=A1*2"},
      {" =1+", "ERROR!"},
  };
  Node lone = at("lone", multi({"A1"}));
  const TreeIndex names(lone);
  CellSnapshot snapshot;
  collect_cells_snapshot(lone, snapshot);
  const ConvertContext context{lone, snapshot, 0, names};
  for (const auto& [text, content] : cases) {
    EXPECT_EQ(cell_content(prepare_formula(text), context), content) << "'" << text << "'";
  }
}

// ---- The export driver: the shape of the cells, the address snapshot, large and deep inputs

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
  const std::vector<Texts> out = exported(node("a", single("1"), single("B2")), node("sum", single(sum), single("S1")),
                                          node("nested", single(nested), single("N1")),
                                          node("deep", single(std::string("=").append(deep)), single("D1")),
                                          node("junk", single(std::string("=").append(1 << 20, '(')), single("J1")));
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
