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

using test_names::LabelBy;

struct BuildCase {
  std::string formula;
  std::string expected;  // dump of the Value, or the error message
};

void PrintTo(const BuildCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.formula) << " gives " << ::testing::PrintToString(c.expected);
}

std::string build(std::string_view formula) {
  auto value = FormulaParser::parse_formula(formula);
  if (!value) return value.error().is_syntax() ? "syntax error" : "error: " + value.error().message();
  return testing::dump(value.value());
}

class Build : public ::testing::TestWithParam<BuildCase> {};

TEST_P(Build, Formula) { EXPECT_EQ(build(GetParam().formula), GetParam().expected) << GetParam().formula; }

INSTANTIATE_TEST_SUITE_P(
    PlainValues, Build,
    ::testing::Values(BuildCase{"", "empty formula"}, BuildCase{"   ", "empty formula"}, BuildCase{"12", "number 12"},
                      BuildCase{"-3,5", "number -3.5"}, BuildCase{"1.234,5", "number 1234.5"},
                      BuildCase{"1,234", "number 1.234"}, BuildCase{"1,234.5", "number 1234.5"},
                      BuildCase{"1.234.567", "number 1234567"}, BuildCase{"1,234,567", "number 1234567"},
                      BuildCase{"15%", "number 0.15"}, BuildCase{"-5%", "number -0.05"}, BuildCase{"+7", "number 7"},
                      BuildCase{" 8 ", "number 8"},
                      BuildCase{"- 5", "error: Failed to parse number '- 5': ParseFloatError { kind: Invalid }"},
                      BuildCase{"-\t5", "error: Failed to parse number '-\t5': ParseFloatError { kind: Invalid }"},
                      BuildCase{"abc", "syntax error"}),
    LabelBy<&BuildCase::formula>());

INSTANTIATE_TEST_SUITE_P(
    Expressions, Build,
    ::testing::Values(
        BuildCase{"=1+2", "= (1 + 2)"}, BuildCase{"=1 + 2 * 3 - 4", "= (1 + (2 * 3) - 4)"},
        BuildCase{"=2^3**2", "= (2 ^ 3 ^ 2)"}, BuildCase{"=-2^2", "= (-2 ^ 2)"}, BuildCase{"=-@a", "= -@{a}"},
        BuildCase{"=+@a", "= +@{a}"}, BuildCase{"=@a", "= @{a}"}, BuildCase{"=-5%", "= -0.05"},
        BuildCase{"=5%", "= 0.05"}, BuildCase{"=5 % 3", "= (5 % 3)"}, BuildCase{"=5% 3", "= (5 % 3)"},
        BuildCase{"=5%3", "= (5 % 3)"}, BuildCase{"=5%-3", "= (0.05 - 3)"}, BuildCase{"=1,2345", "= 1.2345"},
        BuildCase{"=@{ x }", "= @{ x }"}, BuildCase{"=@Cost", "= @{Cost}"},
        BuildCase{"=@{Cost {A} 1}[2]", "= @{Cost {A} 1}[2]"}, BuildCase{"=@{}", "= @{}"},
        BuildCase{"=@a[0]", "= @{a}[0]"}, BuildCase{"=@a[18446744073709551615]", "= @{a}[18446744073709551615]"},
        BuildCase{"=children + Right[ 2 ]", "= (children + right[2])"},
        BuildCase{"=(1 + 2) * empty", "= ([(1 + 2)] * empty)"}, BuildCase{"=round(1,2)", "= round(1.2)"},
        BuildCase{"=ROUND(@a; 2)", "= round(@{a}; 2)"}, BuildCase{"=sum()", "= sum()!"},
        BuildCase{"=sum(1)", "= sum(1)"}, BuildCase{"=Total(@a[2]) / ratio(@{b})", "= (total(@{a}[2]) / ratio(@{b}))"},
        BuildCase{"=when(@a > 1; 1)", "= when((@{a} > 1) => 1)"},
        BuildCase{"=when(@a > 1; 1; @b > 1; 2; 0)", "= when((@{a} > 1) => 1; (@{b} > 1) => 2; else 0)"},
        BuildCase{"=if(@a > 1; 10; @b)", "= if((@{a} > 1) => 10; else @{b})"},
        BuildCase{"=if((@a) > 1; 1; 0)", "= if(([@{a}] > 1) => 1; else 0)"},
        BuildCase{"=if((@a > 1 or @b); 1; 0)", "= if({or((@{a} > 1), @{b})} => 1; else 0)"}),
    LabelBy<&BuildCase::formula>());

INSTANTIATE_TEST_SUITE_P(
    Errors, Build,
    ::testing::Values(
        BuildCase{"=round(1; 2; 3)", "error: Function 'round' expects one of [1, 2] arguments, but got 3"},
        BuildCase{"=ABS(1; 2)", "error: Function 'ABS' expects 1 argument, but got 2"},
        BuildCase{"=pow(2)", "error: Function 'pow' expects 2 arguments, but got 1"},
        BuildCase{"=Log(1;2;3)", "error: Function 'Log' expects one of [1, 2] arguments, but got 3"},
        BuildCase{"=mod(1;2;3)", "error: Function 'mod' expects 2 arguments, but got 3"},
        BuildCase{"=if(@a > 1; 1)", "error: Conditional 'if' requires an else clause, but none was provided"},
        BuildCase{"=IF(@a; 1; @b; 2; 0)", "error: Conditional 'IF' expects 1 case clause, but got 2"},
        BuildCase{"=children[1 2]", "error: Invalid index"},
        BuildCase{"=@a[18446744073709551616]", "error: Invalid index"},
        BuildCase{"=abs(children[1 2]; 1)", "error: Invalid index"}, BuildCase{"=if(@a = 1; 1; 0)", "syntax error"}),
    LabelBy<&BuildCase::formula>());

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

struct ConditionCase {
  std::string condition;
  std::string expected;
};

void PrintTo(const ConditionCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.condition) << " gives " << ::testing::PrintToString(c.expected);
}

class Condition : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(Condition, Builds) {
  auto built = parse_condition(GetParam().condition);
  ASSERT_TRUE(built.ok()) << GetParam().condition;
  EXPECT_EQ(testing::dump(built.value()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, Condition,
    ::testing::Values(ConditionCase{"not @a", "~@{a}"}, ConditionCase{"not not @a", "@{a}"},
                      ConditionCase{"NOT not Not @a", "~@{a}"}, ConditionCase{"not not @a > 1", "(@{a} > 1)"},
                      ConditionCase{"(@a > 1) and @b", "and({(@{a} > 1)}, @{b})"},
                      ConditionCase{"@a > 1 and not @b == 2 or @c", "or(and((@{a} > 1), ~(@{b} == 2)), @{c})"},
                      ConditionCase{"1 <> 2 or 1 != 2 or 1 >= 2 or 1 <= 2 or 1 < 2",
                                    "or((1 != 2), (1 != 2), (1 >= 2), (1 <= 2), (1 < 2))"}),
    LabelBy<&ConditionCase::condition>());

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
