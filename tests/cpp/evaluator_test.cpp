// The arithmetic chain, references and conditions, from formula text to display form.
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
using testing::FakeContext;
using testing::formula_text;
using testing::num;
using testing::standard_context;
using testing::StandardFormula;

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

}  // namespace
}  // namespace ostrel::eval
