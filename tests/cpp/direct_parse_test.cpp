// The direct route gives the two-pass route's syntax tree, on every text that parses short of
// the nesting limits: grammar corners here, generated texts in the parse_routes harness.
#include "parser/direct_parse.h"

#include <gtest/gtest.h>

#include <string>

#include "ast_dump.h"
#include "parser/grammar.h"
#include "parser/parse.h"

namespace ostrel::parser {
namespace {

using testing::dump;

// Compares the two routes on one text; returns whether the text parses.
template <class Direct, class Built>
bool expect_same(const std::string& text, const Direct& direct, const Built& built, bool must_parse_directly) {
  if (direct && !built.ok()) {
    ADD_FAILURE() << "only the direct route accepts \"" << text << "\"";
  } else if (direct) {
    EXPECT_EQ(dump(*direct), dump(built.value())) << text;
  } else if (must_parse_directly && built.ok()) {
    ADD_FAILURE() << "the direct route gave up on \"" << text << "\", which parses as " << dump(built.value());
  }
  return built.ok();
}

bool expect_same_formula(const std::string& text, bool must_parse_directly) {
  return expect_same(text, parse_formula_directly(text), build_formula(text), must_parse_directly);
}

bool expect_same_condition(const std::string& text, bool must_parse_directly) {
  return expect_same(text, parse_condition_directly(text), build_condition(text), must_parse_directly);
}

// Keyword prefixes, blanks where atomic rules allow none, the percent look-ahead, clause
// against else value, and builder errors: the routes agree, and each parses or fails as listed.
struct Corner {
  const char* text;
  bool parses;
};

void PrintTo(const Corner& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << (c.parses ? " parses" : " fails");
}

class FormulaCorner : public ::testing::TestWithParam<Corner> {};
class ConditionCorner : public ::testing::TestWithParam<Corner> {};

TEST_P(FormulaCorner, RoutesAgree) { EXPECT_EQ(expect_same_formula(GetParam().text, true), GetParam().parses); }
TEST_P(ConditionCorner, RoutesAgree) { EXPECT_EQ(expect_same_condition(GetParam().text, true), GetParam().parses); }

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormulaCorner,
    ::testing::Values(
        Corner{"", true}, Corner{"  ", true}, Corner{"12", true}, Corner{"-3,5", true}, Corner{"+5", true},
        Corner{"- 5", false}, Corner{"15%", true}, Corner{"5 %", false}, Corner{"abc", false}, Corner{"1+2", false},
        Corner{"5 + 1", false}, Corner{"=", false}, Corner{"=5", true}, Corner{"=5%", true}, Corner{"=5% 3", true},
        Corner{"=5%3", true}, Corner{"=5%-3", true}, Corner{"=5 % 3", true}, Corner{"=5%(2)", true},
        Corner{"=5%@a", true}, Corner{"=5%children", true}, Corner{"=5%\xC3\xA9", false}, Corner{"=5%\xC2\xA0", false},
        Corner{"=1\xC2\xA0+ 2", false}, Corner{"= ( 1 + 2 ) * 3 ", true}, Corner{"=2**3", true},
        Corner{"=2* *3", false}, Corner{"=2^-1", true}, Corner{"=2*-3", true}, Corner{"=-(2)", true},
        Corner{"=--5", false}, Corner{"=-2^2", true}, Corner{"=Children", true}, Corner{"=children2", false},
        Corner{"=childrenx", false}, Corner{"=children [1]", true}, Corner{"=children[1 2]", false},
        Corner{"=children[", false}, Corner{"=@a [2]", false}, Corner{"=@a[2", false}, Corner{"=@{a", false},
        Corner{"=@{a}[2]x", false}, Corner{"=rounds(1)", false}, Corner{"=round(1,2)", true},
        Corner{"=round(1; 2)", true}, Corner{"=round(1, 2)", false}, Corner{"=round(1; 2; 3)", false},
        Corner{"=abs()", false}, Corner{"=sum()", true}, Corner{"=sum( )", true}, Corner{"=SUM(@a)", true},
        Corner{"=If(@a > 1; 1; 0)", true}, Corner{"=if(@a > 1; 1)", false},
        Corner{"=if(@a > 1; 1; @b > 2; 2; 3)", false}, Corner{"=if(@a = 1; 1; 0)", false},
        Corner{"=if((@a > 1 or @b) and not @c; 1; 0)", true}, Corner{"=when(@a > 1; 1; @b > 1; 2; 0)", true},
        Corner{"=when(@a; 1; @b; 2)", true}, Corner{"=when(@a; 1; @b)", true}, Corner{"=when(@a; 1; @b > 1)", false},
        Corner{"=when(not @a; 1; not @b; 2; 3)", true}, Corner{"=when((@a > 1); 1; (@b); 2)", true},
        Corner{"=iferror(1/0)", true}, Corner{"=iferror(1; 2)", true}, Corner{"=if(1; 2; 3)", true},
        Corner{"=total(@a)", true}, Corner{"=ratio( @{b c}[2] )", true}, Corner{"=total(1)", false},
        Corner{"=empty", true}, Corner{"=emptyx", false}, Corner{"=1e5", false}, Corner{"=.5", false},
        Corner{"=1,234,56", false}, Corner{"=1,2345", true}, Corner{"=99999999999999999999999", true},
        Corner{"=1 +", false}, Corner{"=(1", false}, Corner{"=1)", false}, Corner{"=@a[0]", true},
        Corner{"=@a[18446744073709551616]", false}, Corner{"=2 ** 3 ^ -1 ** 2", true},
        Corner{"=8 / 4 % 3 * 2 - 1 + 2 - 3", true}));

INSTANTIATE_TEST_SUITE_P(Grammar, ConditionCorner,
                         ::testing::Values(Corner{"@a > 1 and not @b == 2 or @c", true}, Corner{"not not @a", true},
                                           Corner{"nothing", false}, Corner{"1 > 0 or(2 > 1)", true},
                                           Corner{"(@a) > 1", true}, Corner{"(@a > 1)", true},
                                           Corner{"(@a > 1 or @b)", true}, Corner{"((1))", true},
                                           Corner{"(1 > 2", false}, Corner{"=1 > 0", false}, Corner{"1 >", false},
                                           Corner{"1 > 2 > 3", false}, Corner{"not(1 > 2)", true}, Corner{"", false},
                                           Corner{"1 <> 2", true}, Corner{"1 >= 2", true}, Corner{"1 => 2", false},
                                           Corner{"-31or", false},
                                           Corner{"1 > 0 or 2 > 1 and 3 > 2 and 1 or 0", true}));

// Keywords run into the next word: only agreement is asked.
TEST(DirectParse, AgreesOnKeywordsRunTogether) {
  for (const char* text : {"notempty", "childrenand 1 > 0", "1 > 0and 1 < 2", "1 > 0 andnot 2 > 3"}) {
    expect_same_condition(text, true);
  }
}

TEST(DirectParse, GivesWayOnDeepNesting) {
  for (int depth : {126, 127, 128, 129, 1000}) {
    const std::string parens = "=" + std::string(depth, '(') + "1" + std::string(depth, ')');
    expect_same_formula(parens, false);
    std::string calls = "=";
    for (int i = 0; i < depth; ++i) calls += "abs(";
    calls += "1" + std::string(depth, ')');
    expect_same_formula(calls, false);
    std::string nots;
    for (int i = 0; i < depth; ++i) nots += "not (";
    nots += "1" + std::string(depth, ')');
    expect_same_condition(nots, false);
  }
}

// Else values that are themselves conditionals make the clause-or-else decision re-match
// text; the direct route gives way before that costs more than a few passes.
TEST(DirectParse, StaysLinearOnNestedElseValues) {
  std::string text = "=";
  for (int i = 0; i < 60; ++i) text += "when(1; 2; ";
  text += "3" + std::string(60, ')');
  expect_same_formula(text, false);
  EXPECT_TRUE(FormulaParser::parse_formula(text).ok());
}

}  // namespace
}  // namespace ostrel::parser
