// The tree builder: syntax trees of accepted formulas, number texts and every build error.
#include "parser/parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ast_dump.h"
#include "test_names.h"

namespace ostrel::parser {
namespace {

// The formula and the dump of its Value, or the error message.
using Case = test_names::TextCase;

std::string build(std::string_view formula) {
  auto value = FormulaParser::parse_formula(formula);
  if (!value) return value.error().is_syntax() ? "syntax error" : "error: " + value.error().message();
  return testing::dump(value.value());
}

class Build : public ::testing::TestWithParam<Case> {};

TEST_P(Build, Formula) { EXPECT_EQ(build(GetParam().text), GetParam().expected) << GetParam().text; }

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

}  // namespace
}  // namespace ostrel::parser
