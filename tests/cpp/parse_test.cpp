// The tree builder's syntax trees and errors, and the direct route giving the same trees.
#include "parser/parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ast_dump.h"
#include "parser/direct_parse.h"
#include "parser/grammar.h"
#include "test_names.h"

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

// The formula and the dump of its Value, or the error message.
using Case = test_names::TextCase;

std::string build(std::string_view formula) {
  auto value = FormulaParser::parse_formula(formula);
  if (!value) return value.error().is_syntax() ? "syntax error" : "error: " + value.error().message();
  return testing::dump(value.value());
}

class Build : public ::testing::TestWithParam<Case> {};

TEST_P(Build, Formula) {
  EXPECT_EQ(build(GetParam().text), GetParam().expected) << GetParam().text;
  expect_same_formula(GetParam().text, true);
}

INSTANTIATE_TEST_SUITE_P(
    PlainValues, Build,
    ::testing::Values(Case{"", "empty formula"}, Case{"   ", "empty formula"}, Case{"12", "number 12"},
                      Case{"-3,5", "number -3.5"}, Case{"1.234,5", "number 1234.5"}, Case{"1,234", "number 1.234"},
                      Case{"1,234.5", "number 1234.5"}, Case{"1.234.567", "number 1234567"},
                      Case{"1,234,567", "number 1234567"}, Case{"15%", "number 0.15"}, Case{"-5%", "number -0.05"},
                      Case{"+7", "number 7"}, Case{" 8 ", "number 8"},
                      Case{"- 5", "error: Failed to parse number '- 5': ParseFloatError { kind: Invalid }"},
                      Case{"-\t5", "error: Failed to parse number '-\t5': ParseFloatError { kind: Invalid }"},
                      Case{"abc", "syntax error"}));

INSTANTIATE_TEST_SUITE_P(
    Expressions, Build,
    ::testing::Values(
        Case{"=1+2", "= (1 + 2)"}, Case{"=1 + 2 * 3 - 4", "= (1 + (2 * 3) - 4)"}, Case{"=2^3**2", "= (2 ^ 3 ^ 2)"},
        Case{"=-2^2", "= (-2 ^ 2)"}, Case{"=-@a", "= -@{a}"}, Case{"=+@a", "= +@{a}"}, Case{"=@a", "= @{a}"},
        Case{"=-5%", "= -0.05"}, Case{"=5%", "= 0.05"}, Case{"=5 % 3", "= (5 % 3)"}, Case{"=5% 3", "= (5 % 3)"},
        Case{"=5%3", "= (5 % 3)"}, Case{"=5%-3", "= (0.05 - 3)"}, Case{"=1,2345", "= 1.2345"},
        Case{"=@{ x }", "= @{ x }"}, Case{"=@Cost", "= @{Cost}"}, Case{"=@{Cost {A} 1}[2]", "= @{Cost {A} 1}[2]"},
        Case{"=@{}", "= @{}"}, Case{"=@a[0]", "= @{a}[0]"},
        Case{"=@a[18446744073709551615]", "= @{a}[18446744073709551615]"},
        Case{"=children + Right[ 2 ]", "= (children + right[2])"}, Case{"=(1 + 2) * empty", "= ([(1 + 2)] * empty)"},
        Case{"=round(1,2)", "= round(1.2)"}, Case{"=ROUND(@a; 2)", "= round(@{a}; 2)"}, Case{"=sum()", "= sum()!"},
        Case{"=sum(1)", "= sum(1)"}, Case{"=Total(@a[2]) / ratio(@{b})", "= (total(@{a}[2]) / ratio(@{b}))"},
        Case{"=when(@a > 1; 1)", "= when((@{a} > 1) => 1)"},
        Case{"=when(@a > 1; 1; @b > 1; 2; 0)", "= when((@{a} > 1) => 1; (@{b} > 1) => 2; else 0)"},
        Case{"=if(@a > 1; 10; @b)", "= if((@{a} > 1) => 10; else @{b})"},
        Case{"=if((@a) > 1; 1; 0)", "= if(([@{a}] > 1) => 1; else 0)"},
        Case{"=if((@a > 1 or @b); 1; 0)", "= if({or((@{a} > 1), @{b})} => 1; else 0)"}));

INSTANTIATE_TEST_SUITE_P(
    Errors, Build,
    ::testing::Values(Case{"=round(1; 2; 3)", "error: Function 'round' expects one of [1, 2] arguments, but got 3"},
                      Case{"=ABS(1; 2)", "error: Function 'ABS' expects 1 argument, but got 2"},
                      Case{"=pow(2)", "error: Function 'pow' expects 2 arguments, but got 1"},
                      Case{"=Log(1;2;3)", "error: Function 'Log' expects one of [1, 2] arguments, but got 3"},
                      Case{"=mod(1;2;3)", "error: Function 'mod' expects 2 arguments, but got 3"},
                      Case{"=if(@a > 1; 1)", "error: Conditional 'if' requires an else clause, but none was provided"},
                      Case{"=IF(@a; 1; @b; 2; 0)", "error: Conditional 'IF' expects 1 case clause, but got 2"},
                      Case{"=children[1 2]", "error: Invalid index"},
                      Case{"=@a[18446744073709551616]", "error: Invalid index"},
                      Case{"=abs(children[1 2]; 1)", "error: Invalid index"},
                      Case{"=if(@a = 1; 1; 0)", "syntax error"}));

TEST(Build, CustomErrorSpanCoversItsNode) {
  auto value = FormulaParser::parse_formula("=1 + round(1; 2; 3)");
  ASSERT_FALSE(value.ok());
  EXPECT_EQ(value.error().custom().start, 5u);
  EXPECT_EQ(value.error().custom().end, 19u);
  auto index = FormulaParser::parse_formula("=children[1 2]");
  ASSERT_FALSE(index.ok());
  EXPECT_EQ(index.error().custom().start, 10u);
  EXPECT_EQ(index.error().custom().end, 13u);
}

class Condition : public ::testing::TestWithParam<Case> {};

TEST_P(Condition, Builds) {
  auto built = parse_condition(GetParam().text);
  ASSERT_TRUE(built.ok()) << GetParam().text;
  EXPECT_EQ(testing::dump(built.value()), GetParam().expected);
  expect_same_condition(GetParam().text, true);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, Condition,
    ::testing::Values(Case{"not @a", "~@{a}"}, Case{"not not @a", "@{a}"}, Case{"NOT not Not @a", "~@{a}"},
                      Case{"not not @a > 1", "(@{a} > 1)"}, Case{"(@a > 1) and @b", "and({(@{a} > 1)}, @{b})"},
                      Case{"@a > 1 and not @b == 2 or @c", "or(and((@{a} > 1), ~(@{b} == 2)), @{c})"},
                      Case{"1 <> 2 or 1 != 2 or 1 >= 2 or 1 <= 2 or 1 < 2",
                           "or((1 != 2), (1 != 2), (1 >= 2), (1 <= 2), (1 < 2))"}));

TEST(Keywords, LookupFoldsAsciiCaseOnly) {
  using namespace ast;
  EXPECT_EQ(lookup<FunctionName>("IfError"), FunctionName::IfError);
  EXPECT_EQ(lookup<ConditionalName>("WHEN"), ConditionalName::When);
  EXPECT_EQ(lookup<ModifierName>("Total"), ModifierName::Total);
  EXPECT_EQ(lookup<AggregationName>("STDEV"), AggregationName::Stdev);
  for (const char* none : {"rounds", " round", "", "std", "average", "M\xC3\x84X"}) {
    EXPECT_FALSE(lookup<FunctionName>(none) || lookup<AggregationName>(none)) << none;
  }
}

// Its callers trim already; the Build rows show every separator form.
TEST(NormalizeNumberString, TrimsUnicodeBlanks) { EXPECT_EQ(normalize_number_string("\xC2\xA0 -1,5\t"), "-1.5"); }

TEST(ParseFloat, RangeEnds) {
  const std::string huge = "1" + std::string(400, '0');
  EXPECT_EQ(parse_float(huge).value(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parse_float("-" + huge).value(), -std::numeric_limits<double>::infinity());
  const std::string tiny = "0." + std::string(400, '0') + "1";
  EXPECT_EQ(parse_float(tiny).value(), 0.0);
  const std::string subnormal = "0." + std::string(320, '0') + "5";  // 5e-321
  EXPECT_EQ(parse_float(subnormal).value(), 5e-321);
  EXPECT_GT(parse_float(subnormal).value(), 0.0);
  const std::string largest = "17976931348623157" + std::string(292, '0');  // DBL_MAX to 17 digits
  EXPECT_EQ(parse_float(largest).value(), std::numeric_limits<double>::max());
  EXPECT_EQ(parse_float(largest + ".5").value(), std::numeric_limits<double>::max());
  EXPECT_EQ(parse_float("0.1").value(), 0.1);
  EXPECT_TRUE(std::signbit(parse_float("-0").value()));
  EXPECT_EQ(parse_float("+ 5").error(), "ParseFloatError { kind: Invalid }");
  EXPECT_EQ(parse_float("1.2.3").error(), "ParseFloatError { kind: Invalid }");
  EXPECT_EQ(parse_float("").error(), "ParseFloatError { kind: Empty }");
}

TEST(Build, DeepNestingFailsLikeASyntaxError) {
  const std::size_t depth = 100000;
  const std::string deep = "=" + std::string(depth, '(') + "1" + std::string(depth, ')');
  auto result = FormulaParser::parse_formula(deep);
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is_syntax());
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
    ::testing::Values(Corner{"  ", true}, Corner{"+5", true}, Corner{"5 %", false}, Corner{"1+2", false},
                      Corner{"5 + 1", false}, Corner{"=", false}, Corner{"=5", true}, Corner{"=5%(2)", true},
                      Corner{"=5%@a", true}, Corner{"=5%children", true}, Corner{"=5%\xC3\xA9", false},
                      Corner{"=5%\xC2\xA0", false}, Corner{"=1\xC2\xA0+ 2", false}, Corner{"= ( 1 + 2 ) * 3 ", true},
                      Corner{"=2**3", true}, Corner{"=2* *3", false}, Corner{"=2^-1", true}, Corner{"=2*-3", true},
                      Corner{"=-(2)", true}, Corner{"=--5", false}, Corner{"=Children", true},
                      Corner{"=children2", false}, Corner{"=childrenx", false}, Corner{"=children [1]", true},
                      Corner{"=children[", false}, Corner{"=@a [2]", false}, Corner{"=@a[2", false},
                      Corner{"=@{a", false}, Corner{"=@{a}[2]x", false}, Corner{"=rounds(1)", false},
                      Corner{"=round(1; 2)", true}, Corner{"=round(1, 2)", false}, Corner{"=abs()", false},
                      Corner{"=sum( )", true}, Corner{"=SUM(@a)", true}, Corner{"=If(@a > 1; 1; 0)", true},
                      Corner{"=if(@a > 1; 1; @b > 2; 2; 3)", false},
                      Corner{"=if((@a > 1 or @b) and not @c; 1; 0)", true}, Corner{"=when(@a; 1; @b; 2)", true},
                      Corner{"=when(@a; 1; @b)", true}, Corner{"=when(@a; 1; @b > 1)", false},
                      Corner{"=when(not @a; 1; not @b; 2; 3)", true}, Corner{"=when((@a > 1); 1; (@b); 2)", true},
                      Corner{"=iferror(1/0)", true}, Corner{"=iferror(1; 2)", true}, Corner{"=if(1; 2; 3)", true},
                      Corner{"=total(@a)", true}, Corner{"=ratio( @{b c}[2] )", true}, Corner{"=total(1)", false},
                      Corner{"=empty", true}, Corner{"=emptyx", false}, Corner{"=1e5", false}, Corner{"=.5", false},
                      Corner{"=1,234,56", false}, Corner{"=99999999999999999999999", true}, Corner{"=1 +", false},
                      Corner{"=(1", false}, Corner{"=1)", false}, Corner{"=2 ** 3 ^ -1 ** 2", true},
                      Corner{"=8 / 4 % 3 * 2 - 1 + 2 - 3", true}));

INSTANTIATE_TEST_SUITE_P(Grammar, ConditionCorner,
                         ::testing::Values(Corner{"nothing", false}, Corner{"1 > 0 or(2 > 1)", true},
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
