// Formula translation texts (their values are proven in a spreadsheet by the Python suite).
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

template <class... Children>
Node node(std::string name, AnyDim<std::string> cells, Children... children) {
  Node n;
  n.name = std::move(name);
  n.cells = std::move(cells);
  (n.children.push_back(std::move(children)), ...);
  return n;
}

AnyDim<std::string> at(std::initializer_list<std::string> addresses) { return AnyDim<std::string>::multi(addresses); }
AnyDim<std::string> one(std::string address) { return AnyDim<std::string>::single(std::move(address)); }

// The tree every case runs in; `gap` has no address in dimension 0, `lone` no children.
Node model() {
  return node("root", at({}),                                                                         //
              node("a", at({"B2", "C2"})), node("b", at({"B3", "C3"})), node("c", at({"B4", "C4"})),  //
              node("x", at({"X1", "Y1"})), node("group", at({}), node("x", at({"X2", "Y2"}))),
              hidden(node("h", at({"H1", "H2"}))), node("gap", at({"", "Z2"})), node("Self", at({"S1", "S2"})),
              node("me", at({"D5", "E5", "F5"}), node("k1", one("C1")), node("k2", one("C2")), node("k3", one("C3"))),
              node("lone", at({"G1", "G2", "G3"})), node("holes", at({"", "H8", ""})),
              node("short", at({"J1", "J2", "J3"})));
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
      {"1" + std::string(400, '0'), "=#NUM!"},
      // Blanks before "=" still make a formula, as for the engine.
      {" =1+1", "=1+1"},
      {"\t =@lone * 2 ", "=A1*2"},
      {" =1+", "ERROR!"},
  };
  Node lone = node("lone", at({"A1"}));
  const TreeIndex names(lone);
  CellSnapshot snapshot;
  collect_cells_snapshot(lone, snapshot);
  const ConvertContext context{lone, snapshot, 0, names};
  for (const auto& [text, content] : cases) {
    EXPECT_EQ(cell_content(prepare_formula(text), context), content) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace ostrel::excel
