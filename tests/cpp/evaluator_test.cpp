// Formula evaluation: operators, references, conditions, functions and aggregations.
#include "eval/evaluator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eval/context.h"
#include "eval_test_context.h"

namespace ostrel::eval {
namespace {

using testing::Case;
using testing::condition_text;
using testing::empty;
using testing::err;
using testing::FakeContext;
using testing::formula_text;
using testing::num;
using testing::standard_context;

// A formula and its display form over `standard_context()`.
class StandardFormula : public ::testing::TestWithParam<Case> {};

TEST_P(StandardFormula, Value) {
  FakeContext context = standard_context();
  EXPECT_EQ(formula_text(GetParam().text, context), GetParam().expected) << GetParam().text;
}

// A list stops an operation with "MANY!", an error passes with its kind, an empty operand
// counts 0, and the first failing operand from the left decides.
INSTANTIATE_TEST_SUITE_P(
    OperandRule, StandardFormula,
    ::testing::Values(Case{"=@two + 1", "MANY!"}, Case{"=1 + @two", "MANY!"}, Case{"=@two * 1", "MANY!"},
                      Case{"=2 ^ @two", "MANY!"}, Case{"=@two ^ 1", "MANY!"}, Case{"=@two", "MANY!"},
                      Case{"=(@two)", "MANY!"}, Case{"=@err1 + 1", "VALUE!"}, Case{"=1 - @err2", "ERROR!"},
                      Case{"=@ref * 2", "REF!"}, Case{"=@err1 + @err2", "VALUE!"}, Case{"=@err2 + @err1", "ERROR!"},
                      Case{"=@err2 * @two", "ERROR!"}, Case{"=@two * @err2", "MANY!"}, Case{"=@err1 ^ @err2", "VALUE!"},
                      Case{"=@err2 ^ @err1", "ERROR!"}, Case{"=1 + 2 * @err2 - @err1", "ERROR!"}, Case{"=@e + 1", "1"},
                      Case{"=1 - @e", "1"}, Case{"=@e * 5", "0"}, Case{"=@e ^ 0", "1"}, Case{"=2 ^ @e", "1"},
                      Case{"=@e", ""}, Case{"=empty", ""}, Case{"=empty + empty", "0"}, Case{"=(@e)", ""}));

INSTANTIATE_TEST_SUITE_P(Precedence, StandardFormula,
                         ::testing::Values(Case{"=1 + 2 * 3", "7"}, Case{"=10 - 2 - 3", "5"}, Case{"=2 ^ 3 ^ 2", "64"},
                                           Case{"=2 ** 3 ** 2", "64"}, Case{"=2 * 3 ^ 2", "18"},
                                           Case{"=(1 + 2) * 3", "9"}, Case{"=12 / 4 / 3", "1"}, Case{"=7 % 4 * 2", "6"},
                                           Case{"=2 * 7 % 4", "2"}, Case{"=-2 ^ 2", "4"}, Case{"=2 ^ -1", "0.5"},
                                           Case{"=2 - -3", "5"}, Case{"=2 * -3", "-6"},
                                           Case{"=1 - 2 * 3 ^ 2 / 6 + 4", "2"}, Case{"=10 ^ 400", "inf"},
                                           Case{"=0 - 10 ^ 400", "-inf"}, Case{"=10 ^ 400 - 10 ^ 400", "NaN"},
                                           Case{"=0,1 + 0,2", "0.3"}));

// Division and modulo by zero (either sign) or by an empty value give "VALUE!"; NaN is not
// zero; the chain stops at the division, before later factors are looked at.
INSTANTIATE_TEST_SUITE_P(DivisionAndModulo, StandardFormula,
                         ::testing::Values(Case{"=1 / 0", "VALUE!"}, Case{"=0 / 0", "VALUE!"},
                                           Case{"=1 / -0", "VALUE!"}, Case{"=5 % 0", "VALUE!"},
                                           Case{"=0 % 0", "VALUE!"}, Case{"=1 / @e", "VALUE!"},
                                           Case{"=1 % @e", "VALUE!"}, Case{"=1 / empty", "VALUE!"},
                                           Case{"=0 / 0 * @err2", "VALUE!"}, Case{"=@err2 / 0", "ERROR!"},
                                           Case{"=1 / @nan", "NaN"}, Case{"=@nan % 2", "NaN"}, Case{"=-7 % 3", "-1"},
                                           Case{"=7 % -3", "1"}, Case{"=5,5 % 2", "1.5"},
                                           Case{"=1 / 3", "0.3333333333"}, Case{"=@e / 4", "0"}));

// Minus on an empty value gives 0, on a list "MANY!"; plus keeps a list a list.
INSTANTIATE_TEST_SUITE_P(Signs, StandardFormula,
                         ::testing::Values(Case{"=-@e", "0"}, Case{"=+@e", ""}, Case{"=-@a", "-2"}, Case{"=+@a", "2"},
                                           Case{"=-@err2", "ERROR!"}, Case{"=-@two", "MANY!"}, Case{"=+@two", "MANY!"},
                                           Case{"=sum(+@two)", "3"}, Case{"=sum(-@two)", "MANY!"},
                                           Case{"=sum((@two))", "3"}, Case{"=-(1 - 3)", "2"},
                                           Case{"=-children", "MANY!"}, Case{"=sum(+children)", "3"},
                                           Case{"=-empty", "0"}));

// Number and percent syntax is pinned by the builder's tables; here only what evaluation adds.
INSTANTIATE_TEST_SUITE_P(PercentAndPlainNumbers, StandardFormula,
                         ::testing::Values(Case{"=50% * 4", "2"}, Case{"=5%-3", "-2.95"}, Case{"15%", "0.15"},
                                           Case{"", ""}, Case{"=1 +", "parse failure"}));

INSTANTIATE_TEST_SUITE_P(NameReferences, StandardFormula,
                         ::testing::Values(Case{"=@a", "2"}, Case{"=@a[1]", "2"}, Case{"=@a[2]", "REF!"},
                                           Case{"=@a[0]", "REF!"}, Case{"=@two[1]", "1"}, Case{"=@two[2]", "2"},
                                           Case{"=@two[1] + @two[2]", "3"}, Case{"=@two[3]", "REF!"},
                                           Case{"=@two[0]", "REF!"}, Case{"=@missing", "REF!"},
                                           Case{"=@missing[1]", "REF!"}, Case{"=@none", "REF!"},
                                           Case{"=@none[1]", "REF!"}, Case{"=@none + 1", "REF!"}, Case{"=@e[1]", ""},
                                           Case{"=@e[1] + 1", "1"}, Case{"=@err1[1]", "VALUE!"}, Case{"=@ref", "REF!"},
                                           Case{"=@{a b}", "8"}, Case{"=@{two}[2]", "2"}, Case{"=@A", "REF!"}));

// Children are {1, 2, empty}; right is {10, VALUE!}.
INSTANTIATE_TEST_SUITE_P(
    ChildrenAndRight, StandardFormula,
    ::testing::Values(Case{"=children", "MANY!"}, Case{"=children + 1", "MANY!"}, Case{"=children[1]", "1"},
                      Case{"=children[2] * 10", "20"}, Case{"=children[3]", ""}, Case{"=children[4]", "REF!"},
                      Case{"=children[0]", "REF!"}, Case{"=Children[ 2 ]", "2"}, Case{"=sum(children)", "3"},
                      Case{"=right", "MANY!"}, Case{"=right[1]", "10"}, Case{"=right[2]", "VALUE!"},
                      Case{"=right[3]", "REF!"}, Case{"=right[0]", "REF!"}, Case{"=right[1] + right[2]", "VALUE!"},
                      Case{"=sum(right[1]; 5)", "15"}, Case{"=sum(right)", "VALUE!"},
                      Case{"=children[18446744073709551615]", "REF!"}));

// A condition's value inside a conditional: empty is false, NaN true.
INSTANTIATE_TEST_SUITE_P(ConditionsInFormulas, StandardFormula,
                         ::testing::Values(Case{"=if(@e; 1; 2)", "2"}, Case{"=if(@nan; 1; 2)", "1"},
                                           Case{"=if(@e > 0; 1; 2)", "VALUE!"}, Case{"=if(@two; 1; 2)", "MANY!"}));

class EmptyContextFormula : public ::testing::TestWithParam<Case> {};

TEST_P(EmptyContextFormula, Value) {
  EmptyContext none;
  EXPECT_EQ(formula_text(GetParam().text, none), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(NoTree, EmptyContextFormula,
                         ::testing::Values(Case{"=@a", "REF!"}, Case{"=@a[1]", "REF!"}, Case{"=@a + 1", "REF!"},
                                           Case{"=sum(children)", "0"}, Case{"=sum(right)", "0"},
                                           Case{"=count(children)", "0"}, Case{"=children", "MANY!"},
                                           Case{"=right", "MANY!"}, Case{"=children[1]", "REF!"},
                                           Case{"=right[1]", "REF!"}, Case{"=total(@a)", "0"},
                                           Case{"=ratio(@a)", "VALUE!"}, Case{"=1 + 2 * 3", "7"}));

TEST(OneChild, ChildrenStaysAList) {
  FakeContext context;
  context.children = {num(7)};
  for (const Case& c : {Case{"=children", "MANY!"}, Case{"=children + 1", "MANY!"}, Case{"=children[1] + 1", "8"},
                        Case{"=children[2]", "REF!"}, Case{"=sum(children)", "7"}}) {
    EXPECT_EQ(formula_text(c.text, context), c.expected) << c.text;
  }
}

class ConditionOutcome : public ::testing::TestWithParam<Case> {};

TEST_P(ConditionOutcome, Outcome) {
  FakeContext context = standard_context();
  EXPECT_EQ(condition_text(GetParam().text, context), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Comparisons, ConditionOutcome,
                         ::testing::Values(Case{"1 > 0", "true"}, Case{"1 < 0", "false"}, Case{"2 == 2", "true"},
                                           Case{"2 == 3", "false"}, Case{"2 != 2", "false"}, Case{"2 <> 3", "true"},
                                           Case{"2 >= 2", "true"}, Case{"1 >= 2", "false"}, Case{"2 <= 1", "false"},
                                           Case{"2 <= 2", "true"}, Case{"0,1 + 0,2 == 0,3", "false"},
                                           Case{"-0 == 0", "true"}, Case{"@a * 2 > @b", "true"},
                                           Case{"(@a) > 1", "true"}));

INSTANTIATE_TEST_SUITE_P(NaNComparisons, ConditionOutcome,
                         ::testing::Values(Case{"@nan == @nan", "false"}, Case{"@nan != @nan", "true"},
                                           Case{"@nan <> 1", "true"}, Case{"@nan > 0", "false"},
                                           Case{"@nan < 0", "false"}, Case{"@nan >= @nan", "false"},
                                           Case{"@nan <= 0", "false"}, Case{"0 < @nan", "false"}));

// Both sides are evaluated; then a list on either side, the left error, the left empty,
// the right error, the right empty, in this order.
INSTANTIATE_TEST_SUITE_P(ComparisonChecks, ConditionOutcome,
                         ::testing::Values(Case{"@two > @err1", "MANY!"}, Case{"@err1 > @two", "MANY!"},
                                           Case{"@e > @two", "MANY!"}, Case{"@err1 > @err2", "VALUE!"},
                                           Case{"@err2 > @err1", "ERROR!"}, Case{"@e > @err2", "VALUE!"},
                                           Case{"@err2 > @e", "ERROR!"}, Case{"1 > @err2", "ERROR!"},
                                           Case{"1 > @e", "VALUE!"}, Case{"@e == @e", "VALUE!"},
                                           Case{"@e == 0", "VALUE!"}, Case{"0 == @e", "VALUE!"},
                                           Case{"@e + 0 == 0", "true"}, Case{"children[3] < 1", "VALUE!"},
                                           Case{"children > 0", "MANY!"}, Case{"@none > 0", "REF!"}));

// A bare value: empty is false, NaN true, zero of either sign false.
INSTANTIATE_TEST_SUITE_P(BareValues, ConditionOutcome,
                         ::testing::Values(Case{"@e", "false"}, Case{"empty", "false"}, Case{"@nan", "true"},
                                           Case{"0", "false"}, Case{"-0", "false"}, Case{"0,5", "true"},
                                           Case{"-@a", "true"}, Case{"@a - 2", "false"}, Case{"@two", "MANY!"},
                                           Case{"children", "MANY!"}, Case{"@err1", "VALUE!"}, Case{"@ref", "REF!"},
                                           Case{"1 / 0", "VALUE!"}, Case{"-@e", "false"}));

// OR ends at the first true or error, AND at the first false or error; "not" inverts a
// truth value but passes an error; "and" binds tighter than "or", "not" tighter than both.
INSTANTIATE_TEST_SUITE_P(
    Chains, ConditionOutcome,
    ::testing::Values(Case{"1 > 0 or @err1", "true"}, Case{"@err1 or 1 > 0", "VALUE!"}, Case{"0 or @err2", "ERROR!"},
                      Case{"0 or 0", "false"}, Case{"0 or 0 or 1", "true"}, Case{"0 or @e or @nan", "true"},
                      Case{"1 and @err1", "VALUE!"}, Case{"0 and @err1", "false"}, Case{"@err2 and 0", "ERROR!"},
                      Case{"1 and 1 and 0", "false"}, Case{"1 and 1", "true"}, Case{"1 or 0 and 0", "true"},
                      Case{"0 and 0 or 1", "true"}, Case{"not 0 and 0", "false"}, Case{"not 1", "false"},
                      Case{"not 0", "true"}, Case{"not not 1", "true"}, Case{"not not not 1", "false"},
                      Case{"not @err1", "VALUE!"}, Case{"not @e", "true"}, Case{"not @nan", "false"},
                      Case{"not (1 > 0 or @err1)", "false"}, Case{"(1 > 0)", "true"},
                      Case{"(0 or @err2) and 1", "ERROR!"}, Case{"(0 and @err2) or 1", "true"},
                      Case{"NOT 0 AND 1 Or 0", "true"}, Case{"not (@e == 0)", "VALUE!"},
                      Case{"=1 > 0", "parse failure"}));

// Which names an evaluation asks for: operands and arguments after the deciding one are never
// evaluated, while a comparison and the two-argument functions take both sides first.
TEST(EvaluationOrder, LaterOperandsAreNotAskedFor) {
  struct OrderCase {
    bool condition;
    const char* text;
    std::vector<std::string> asked;
  };
  const OrderCase cases[] = {
      {false, "=@a + @b", {"a", "b"}},
      {false, "=@err1 + @a", {"err1"}},
      {false, "=@two - @a", {"two"}},
      {false, "=@a + @err2 + @b", {"a", "err2"}},
      {false, "=@err1 * @a", {"err1"}},
      {false, "=@a / 0 * @b", {"a"}},
      {false, "=@a % @e * @b", {"a", "e"}},
      {false, "=@err1 ^ @a", {"err1"}},
      {false, "=@a ^ @err2 ^ @b", {"a", "err2"}},
      {true, "@a or @b", {"a"}},
      {true, "@e or @b", {"e", "b"}},
      {true, "@e and @b", {"e"}},
      {true, "@err1 or @b", {"err1"}},
      {true, "@err1 and @b", {"err1"}},
      {true, "@err1 > @b", {"err1", "b"}},
      {true, "@two == @b", {"two", "b"}},
      {true, "not @a and @b", {"a"}},
      {false, "=pow(@err1; @a)", {"err1"}},
      {false, "=pow(@a; @b)", {"a", "b"}},
      {false, "=log(@e; @a)", {"e", "a"}},
      {false, "=root(@a; @e)", {"a", "e"}},
      {false, "=mod(@a; @e)", {"a", "e"}},
      {false, "=round(@err1; @a)", {"err1"}},
      {false, "=round(@a; @b)", {"a", "b"}},
      {false, "=sum(@err1; @a)", {"err1"}},
      {false, "=sum(@mixed; @a)", {"mixed"}},
      {false, "=max(@a; @b; @e)", {"a", "b", "e"}},
      {false, "=coalesce(@e; @a; @b)", {"e", "a"}},
      {false, "=coalesce(@elist; @a; @b)", {"elist", "a"}},
      {false, "=iferror(@a; @b)", {"a"}},
      {false, "=iferror(@err1; @b)", {"err1", "b"}},
      {false, "=if(@a > 0; @b; @e)", {"a", "b"}},
      {false, "=if(@a < 0; @b; @e)", {"a", "e"}},
      {false, "=when(@a > 0; @b; @err1; @e)", {"a", "b"}},
      {false, "=when(@err1; @a; 1; @b)", {"err1"}},
      {false, "=total(@x)", {"x"}},
      {false, "=ratio(@x)", {"x", "x"}},
      {false, "=ratio(@zero)", {"zero"}},
      {false, "=ratio(@ferr)", {"ferr"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.text);
    FakeContext context = standard_context();
    (void)(c.condition ? condition_text(c.text, context) : formula_text(c.text, context));
    EXPECT_EQ(context.asked, c.asked);
  }
}

// ---- Functions, aggregations, conditionals and modifiers ----------------------------------

INSTANTIATE_TEST_SUITE_P(OneArgument, StandardFormula,
                         ::testing::Values(Case{"=abs(-2,5)", "2.5"}, Case{"=ABS(-1)", "1"}, Case{"=abs(@e)", "0"},
                                           Case{"=abs(@two)", "MANY!"}, Case{"=abs(@err1)", "VALUE!"},
                                           Case{"=abs(0 - 10^400)", "inf"}, Case{"=ceil(1,2)", "2"},
                                           Case{"=ceil(-1,2)", "-1"}, Case{"=ceil(@e)", "0"}, Case{"=floor(1,8)", "1"},
                                           Case{"=floor(-1,2)", "-2"}, Case{"=floor(@err2)", "ERROR!"},
                                           Case{"=sign(-3)", "-1"}, Case{"=sign(4)", "1"}, Case{"=sign(0)", "0"},
                                           Case{"=sign(-0)", "0"}, Case{"=sign(@e)", "0"}, Case{"=sign(@nan)", "0"},
                                           Case{"=sign(10^400)", "1"}, Case{"=sign(0 - 10^400)", "-1"},
                                           Case{"=sign(0,001)", "1"}, Case{"=sign(@two)", "MANY!"}));

// Halves away from zero; the two-argument form rounds and clamps its places, and an empty
// places argument means 0.
INSTANTIATE_TEST_SUITE_P(
    Round, StandardFormula,
    ::testing::Values(Case{"=round(2,5)", "3"}, Case{"=round(-2,5)", "-3"}, Case{"=round(0,5)", "1"},
                      Case{"=round(-0,5)", "-1"}, Case{"=round(1,5)", "2"}, Case{"=round(2,4999)", "2"},
                      Case{"=round(-0,4)", "0"}, Case{"=round(@e)", "0"}, Case{"=round(1234,5678; -2)", "1200"},
                      Case{"=round(-1234,5678; -2)", "-1200"}, Case{"=round(150; -2)", "200"},
                      Case{"=round(-150; -2)", "-200"}, Case{"=round(1.005; 2)", "1"},
                      Case{"=round(1,2345; 2)", "1.23"}, Case{"=round(0,125; 2)", "0.13"}, Case{"=round(2,5; 0)", "3"},
                      Case{"=round(2,5; @e)", "3"}, Case{"=round(-2,5; @e)", "-3"}, Case{"=round(1,25; 1,5)", "1.25"},
                      Case{"=round(1,25; 1,4)", "1.3"}, Case{"=round(15; -0,5)", "20"}, Case{"=round(15; -0,4)", "15"},
                      Case{"=round(1,25; -0,5)", "0"}, Case{"=round(2,5; @nan)", "3"},
                      Case{"=round(2,5; 10^400 - 10^400)", "3"}, Case{"=round(5; 300)", "5"},
                      Case{"=round(5; -300)", "0"}, Case{"=round(2,5; 10^400)", "NaN"}, Case{"=round(5; 10^20)", "NaN"},
                      Case{"=round(5; 0 - 10^20)", "NaN"}, Case{"=round(5; -400)", "NaN"},
                      Case{"=round(@err1; @err2)", "VALUE!"}, Case{"=round(1; @err2)", "ERROR!"},
                      Case{"=round(1; @two)", "MANY!"}, Case{"=round(@two; 1)", "MANY!"}, Case{"=round(@e; 2)", "0"}));

// Both arguments are taken before the domain checks.
INSTANTIATE_TEST_SUITE_P(
    TwoArguments, StandardFormula,
    ::testing::Values(Case{"=pow(2; 10)", "1024"}, Case{"=pow(@e; 0)", "1"}, Case{"=pow(-8; 1/3)", "NaN"},
                      Case{"=pow(0; -1)", "inf"}, Case{"=pow(@err1; @err2)", "VALUE!"},
                      Case{"=pow(@err2; @err1)", "ERROR!"}, Case{"=pow(2; @two)", "MANY!"}, Case{"=root(27; 3)", "3"},
                      Case{"=root(16; 2)", "4"}, Case{"=root(16; -2)", "0.25"}, Case{"=root(5; 0)", "VALUE!"},
                      Case{"=root(5; @e)", "VALUE!"}, Case{"=root(-8; 3)", "NaN"}, Case{"=root(@err2; 0)", "ERROR!"},
                      Case{"=root(4; @err2)", "ERROR!"}, Case{"=log(100)", "2"}, Case{"=log(1000)", "3"},
                      Case{"=log(1)", "0"}, Case{"=log(0)", "VALUE!"}, Case{"=log(-1)", "VALUE!"},
                      Case{"=log(@e)", "VALUE!"}, Case{"=log(@nan)", "NaN"}, Case{"=log(8; 2)", "3"},
                      Case{"=log(100; 10)", "2"}, Case{"=log(2; 8)", "0.3333333333"}, Case{"=log(0,5; 0,5)", "1"},
                      Case{"=log(1; 2)", "0"}, Case{"=log(8; 1)", "VALUE!"}, Case{"=log(8; 0)", "VALUE!"},
                      Case{"=log(8; -2)", "VALUE!"}, Case{"=log(-8; 2)", "VALUE!"}, Case{"=log(0; 2)", "VALUE!"},
                      Case{"=log(8; @e)", "VALUE!"}, Case{"=log(@nan; 2)", "NaN"}, Case{"=log(8; @nan)", "NaN"},
                      Case{"=log(0; @err2)", "ERROR!"}, Case{"=log(@err2; 0)", "ERROR!"}, Case{"=mod(-7; 3)", "-1"},
                      Case{"=mod(7; -3)", "1"}, Case{"=mod(-7; -3)", "-1"}, Case{"=mod(5,5; 2)", "1.5"},
                      Case{"=mod(7; 0)", "VALUE!"}, Case{"=mod(7; -0)", "VALUE!"}, Case{"=mod(7; @e)", "VALUE!"},
                      Case{"=mod(@e; 3)", "0"}, Case{"=mod(1; @nan)", "NaN"}, Case{"=mod(10^400; 3)", "NaN"},
                      Case{"=mod(@err2; 0)", "ERROR!"}));

// An error becomes empty or the second argument; anything else passes unchanged.
INSTANTIATE_TEST_SUITE_P(IfError, StandardFormula,
                         ::testing::Values(Case{"=iferror(1/0)", ""}, Case{"=iferror(1/0; 7)", "7"},
                                           Case{"=iferror(@err2)", ""}, Case{"=iferror(@ref; 7)", "7"},
                                           Case{"=iferror(@err2; @err1)", "VALUE!"}, Case{"=iferror(4; 7)", "4"},
                                           Case{"=iferror(@e; 7)", ""}, Case{"=iferror(@two; 7)", "MANY!"},
                                           Case{"=sum(iferror(@two; 7))", "3"}, Case{"=sum(iferror(1/0; @two))", "3"},
                                           Case{"=iferror(1/0; @e)", ""}, Case{"=iferror(1/0) + 1", "1"},
                                           Case{"=iferror(@nan)", "NaN"}));

// Empty values are skipped; the first error ends the aggregation with its kind.
INSTANTIATE_TEST_SUITE_P(SumMultCount, StandardFormula,
                         ::testing::Values(Case{"=sum(1; 2; 3)", "6"}, Case{"=sum()", "0"}, Case{"=sum(@e)", "0"},
                                           Case{"=sum(0,1; 0,2)", "0.3"}, Case{"=sum(@two; children; 4)", "10"},
                                           Case{"=pow(sum(); -1)", "-inf"}, Case{"=pow(sum(@e; @elist); -1)", "-inf"},
                                           Case{"=pow(sum(-0); -1)", "-inf"}, Case{"=pow(sum(0); -1)", "inf"},
                                           Case{"=sum(1; @err2; @err1)", "ERROR!"},
                                           Case{"=sum(@err1; @err2)", "VALUE!"}, Case{"=sum(@mixed)", "ERROR!"},
                                           Case{"=sum(@two; @err1)", "VALUE!"}, Case{"=sum(1 / 0)", "VALUE!"},
                                           Case{"=mult()", "1"}, Case{"=mult(@e)", "1"}, Case{"=mult(2; 3; @e)", "6"},
                                           Case{"=mult(children; 5)", "10"}, Case{"=mult(@err1; @err2)", "VALUE!"},
                                           Case{"=count()", "0"}, Case{"=count(children)", "2"},
                                           Case{"=count(@e; 1; @nan)", "2"}, Case{"=count(@two; @e; 5)", "3"},
                                           Case{"=count(@elist)", "0"}, Case{"=count(@mixed)", "ERROR!"},
                                           Case{"=count(@ref)", "REF!"}));

INSTANTIATE_TEST_SUITE_P(
    Statistics, StandardFormula,
    ::testing::Values(Case{"=avg(1; 2; 3; 4)", "2.5"}, Case{"=avg(2; @e; 4)", "3"}, Case{"=avg(children)", "1.5"},
                      Case{"=avg()", "VALUE!"}, Case{"=avg(@e; @e)", "VALUE!"}, Case{"=avg(@err2)", "ERROR!"},
                      Case{"=pow(avg(-0; -0); -1)", "-inf"}, Case{"=median(4; 1; 3; 2)", "2.5"},
                      Case{"=median(5; 1; 3)", "3"}, Case{"=median(10; 1; 2; 3; 4)", "3"}, Case{"=median(2; 1)", "1.5"},
                      Case{"=median(7)", "7"}, Case{"=median(@e; 6; @e; 2)", "4"}, Case{"=median()", "VALUE!"},
                      Case{"=median(@e)", "VALUE!"}, Case{"=median(@nan)", "NaN"}, Case{"=median(@nan; 1; 2)", "2"},
                      Case{"=median(-@nan; 1; 2)", "1"}, Case{"=median(3; 0 - 10^400; 1)", "1"},
                      Case{"=median(@mixed)", "ERROR!"}, Case{"=stdev(2; 4)", "1.4142135624"},
                      Case{"=stdev(1; 2; 3; 4)", "1.2909944487"}, Case{"=stdev(children)", "0.7071067812"},
                      Case{"=stdev(3; 3)", "0"}, Case{"=stdev(5)", "VALUE!"}, Case{"=stdev(3; @e)", "VALUE!"},
                      Case{"=stdev()", "VALUE!"}, Case{"=stdev(@err2; 1)", "ERROR!"}, Case{"=max(1; @nan; 3)", "3"},
                      Case{"=max(@nan; 1)", "1"}, Case{"=max(@nan)", "NaN"}, Case{"=max(@nan; @nan)", "NaN"},
                      Case{"=max(-5; -2; -9)", "-2"}, Case{"=max(@e; -3)", "-3"}, Case{"=max(children; @two)", "2"},
                      Case{"=max()", "VALUE!"}, Case{"=max(@e)", "VALUE!"}, Case{"=max(@mixed)", "ERROR!"},
                      Case{"=min(4; @nan; 2)", "2"}, Case{"=min(@nan; 5)", "5"}, Case{"=min(@nan; @nan)", "NaN"},
                      Case{"=min(-5; -2; -9)", "-9"}, Case{"=min(@e; 3)", "3"}, Case{"=min(@two; children)", "1"},
                      Case{"=min()", "VALUE!"}, Case{"=min(@elist)", "VALUE!"}));

// The first value that is not empty decides, errors included; lists are searched inside.
INSTANTIATE_TEST_SUITE_P(Coalesce, StandardFormula,
                         ::testing::Values(Case{"=coalesce(@e; @ref; 5)", "REF!"}, Case{"=coalesce(@e; 5; @err1)", "5"},
                                           Case{"=coalesce()", ""}, Case{"=coalesce(@e; empty)", ""},
                                           Case{"=coalesce(children)", "1"}, Case{"=coalesce(@elist; 4)", "4"},
                                           Case{"=coalesce(@elist2)", "9"}, Case{"=coalesce(@elist3)", "ERROR!"},
                                           Case{"=coalesce(@two)", "1"}, Case{"=coalesce(@err1; 5)", "VALUE!"},
                                           Case{"=coalesce(@elist; @mixed)", "1"}, Case{"=coalesce(@e; @nan)", "NaN"},
                                           Case{"=coalesce(@e) + 1", "1"}));

// Clauses in order; the first true one gives its value unchanged, an error in a condition
// ends the conditional, and without a true clause the else value or empty.
INSTANTIATE_TEST_SUITE_P(
    Conditionals, StandardFormula,
    ::testing::Values(Case{"=if(1 > 0; 10; 20)", "10"}, Case{"=if(1 < 0; 10; 20)", "20"},
                      Case{"=if(@err2; 10; 20)", "ERROR!"}, Case{"=if(@err2 > 0; 10; 20)", "ERROR!"},
                      Case{"=if(@two > 0; 10; 20)", "MANY!"}, Case{"=when(0; 1; 1; 2; 3)", "2"},
                      Case{"=when(0; 1; 0; 2)", ""}, Case{"=when(0; 1; 0; 2; 3)", "3"},
                      Case{"=when(1; 1; @err2; 2)", "1"}, Case{"=when(0; 1; @err2; 2; 3)", "ERROR!"},
                      Case{"=if(1; @two; 0)", "MANY!"}, Case{"=sum(if(1; @two; 0))", "3"},
                      Case{"=sum(when(0; 1; @two))", "3"}, Case{"=if(1; @e; 5)", ""}, Case{"=if(1; @e; 5) + 1", "1"},
                      Case{"=if(1; @err1; 2)", "VALUE!"}, Case{"=if(0; @err1; 2)", "2"}, Case{"=WHEN(1; 1)", "1"},
                      Case{"=when(@e; 1)", ""}, Case{"=when(@a > 1 and @a < 3; 7; 0)", "7"},
                      Case{"=if(not @e; 1; 2)", "1"}, Case{"=-if(1; @two; 0)", "MANY!"}, Case{"=-if(0; 1; @e)", "0"}));

// total adds dimension-0 numbers; ratio divides the current value by that total.
INSTANTIATE_TEST_SUITE_P(
    Modifiers, StandardFormula,
    ::testing::Values(Case{"=total(@x)", "4"}, Case{"=ratio(@x)", "0.5"}, Case{"=total(@dup)", "4"},
                      Case{"=ratio(@dup)", "MANY!"}, Case{"=total(@dup[2])", "3"},
                      Case{"=ratio(@dup[2])", "2.3333333333"}, Case{"=ratio(@dup[1])", "5"},
                      Case{"=total(@x[2])", "REF!"}, Case{"=ratio(@x[2])", "REF!"}, Case{"=total(@nope)", "REF!"},
                      Case{"=ratio(@nope)", "REF!"}, Case{"=total(@ferr)", "ERROR!"}, Case{"=ratio(@ferr)", "ERROR!"},
                      Case{"=total(@fe)", "0"}, Case{"=ratio(@fe)", "VALUE!"}, Case{"=total(@fnone)", "0"},
                      Case{"=pow(total(@fnone); -1)", "-inf"}, Case{"=pow(total(@fe); -1)", "-inf"},
                      Case{"=pow(total(@zero); -1)", "inf"}, Case{"=ratio(@fnone)", "VALUE!"},
                      Case{"=ratio(@zero)", "VALUE!"}, Case{"=ratio(@fnan)", "NaN"}, Case{"=total(@fmix)", "5"},
                      Case{"=ratio(@fmix)", "2"}, Case{"=ratio(@xe)", "0"}, Case{"=ratio(@xerr)", "ERROR!"},
                      Case{"=ratio(@xnone)", "REF!"}, Case{"=-total(@x)", "-4"}, Case{"=total(@x) + ratio(@x)", "4.5"},
                      Case{"=Total(@x)", "4"}));

TEST(BuiltinChildren, AnErroneousChildStopsCount) {
  FakeContext context;
  context.children = {num(1), err(EvalError::Ref), empty()};
  EXPECT_EQ(formula_text("=count(children)", context), "REF!");
  EXPECT_EQ(formula_text("=count(children[1]; children[3])", context), "1");
  EXPECT_EQ(formula_text("=coalesce(children[3]; children)", context), "1");
}

}  // namespace
}  // namespace ostrel::eval
