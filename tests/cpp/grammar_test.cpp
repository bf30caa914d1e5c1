// Matches, spans and failures of single grammar rules.
#include "parser/grammar.h"

#include <gtest/gtest.h>

#include <string>

#include "parse_tree_dump.h"
#include "test_names.h"

namespace ostrel::parser {
namespace {

using test_names::LabelBy;
using testing::dump_parse;

struct MatchCase {
  Rule rule;
  std::string text;
  std::string expected;  // dump, or "FAIL"
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  *os << rule_name(c.rule) << " on " << ::testing::PrintToString(c.text) << " gives "
      << ::testing::PrintToString(c.expected);
}

class RuleMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RuleMatch, GivesTree) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(dump_parse(c.rule, c.text), c.expected) << rule_name(c.rule) << " on \"" << c.text << "\"";
}

// Terminal rules and their whitespace: the match need not reach the end of the text.
INSTANTIATE_TEST_SUITE_P(
    Terminals, RuleMatch,
    ::testing::Values(
        MatchCase{Rule::CHILDREN_REFERENCE, "children + 1", "CHILDREN_REFERENCE'children '"},
        MatchCase{Rule::CHILDREN_REFERENCE, "CHILDREN [ 2 ]", "CHILDREN_REFERENCE(LBRACKET'[' INDEX'2' RBRACKET']')"},
        MatchCase{Rule::CHILDREN_REFERENCE, "children[1 2]", "CHILDREN_REFERENCE(LBRACKET'[' INDEX'1 2' RBRACKET']')"},
        MatchCase{Rule::CHILDREN_REFERENCE, "children[1 ", "CHILDREN_REFERENCE'children'"},
        MatchCase{Rule::CHILDREN_REFERENCE, "childre", "FAIL"},
        MatchCase{Rule::RIGHT_REFERENCE, "Right[3]", "RIGHT_REFERENCE(LBRACKET'[' INDEX'3' RBRACKET']')"},
        MatchCase{Rule::NODE_REFERENCE, "@{}", "NODE_REFERENCE(LCURLYAT'@{' CURLY_IDENTIFIER'' RCURLY'}')"},
        MatchCase{Rule::NODE_REFERENCE, "@1a", "FAIL"},
        MatchCase{Rule::NODE_REFERENCE, "@_a[3]",
                  "NODE_REFERENCE(AT'@' IDENTIFIER'_a' LBRACKET'[' INDEX'3' RBRACKET']')"},
        MatchCase{Rule::NODE_REFERENCE, "@a [2]", "NODE_REFERENCE(AT'@' IDENTIFIER'a')"},
        MatchCase{Rule::NODE_REFERENCE, "@a[1 2]", "NODE_REFERENCE(AT'@' IDENTIFIER'a')"},
        MatchCase{Rule::NODE_REFERENCE, "@Größe_2+1", "NODE_REFERENCE(AT'@' IDENTIFIER'Größe_2')"},
        MatchCase{Rule::NODE_REFERENCE, "@{Cost {A} 1}x",
                  "NODE_REFERENCE(LCURLYAT'@{' CURLY_IDENTIFIER'Cost {A} 1' RCURLY'}')"},
        MatchCase{Rule::NODE_REFERENCE, "@{a{b}", "FAIL"},
        MatchCase{Rule::NODE_REFERENCE, "@{a{{b}}", "NODE_REFERENCE(LCURLYAT'@{' CURLY_IDENTIFIER'a{{b}' RCURLY'}')"},
        MatchCase{Rule::NODE_REFERENCE, "@{ x }[1]",
                  "NODE_REFERENCE(LCURLYAT'@{' CURLY_IDENTIFIER' x ' RCURLY'}' LBRACKET'[' INDEX'1' RBRACKET']')"},
        MatchCase{Rule::NODE_REFERENCE, "@{open", "FAIL"}, MatchCase{Rule::POWER, "**", "POWER'**'"},
        MatchCase{Rule::POWER, "* *", "FAIL"}, MatchCase{Rule::NOT_EQUAL, "<>", "NOT_EQUAL'<>'"},
        MatchCase{Rule::NOT, "nothing", "NOT'not'"}, MatchCase{Rule::EMPTY, "EMPTY2", "EMPTY'EMPTY'"},
        MatchCase{Rule::IDENTIFIER, "_x1 y", "IDENTIFIER'_x1'"}, MatchCase{Rule::IDENTIFIER, "1x", "FAIL"},
        MatchCase{Rule::WHITESPACE, " ", ""}, MatchCase{Rule::WHITESPACE, "\xC2\xA0", "FAIL"}),
    LabelBy<&MatchCase::text>());

// The six number forms and the percent look-ahead (NUMBER_OR_PERCENT is atomic, so its
// inner NUMBER leaves no node).
INSTANTIATE_TEST_SUITE_P(
    Numbers, RuleMatch,
    ::testing::Values(MatchCase{Rule::NUMBER_OR_PERCENT, "1,234.5", "NUMBER_OR_PERCENT'1,234.5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "12,345,678.90", "NUMBER_OR_PERCENT'12,345,678.90'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1.234,5", "NUMBER_OR_PERCENT'1.234,5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1,234,567", "NUMBER_OR_PERCENT'1,234,567'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1.234.567", "NUMBER_OR_PERCENT'1.234.567'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1,2345", "NUMBER_OR_PERCENT'1,2345'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1,234,56", "NUMBER_OR_PERCENT'1,234'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "1.5.", "NUMBER_OR_PERCENT'1.5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "42", "NUMBER_OR_PERCENT'42'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, ".5", "FAIL"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%", "NUMBER_OR_PERCENT'5%'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5% + 1", "NUMBER_OR_PERCENT'5%'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%-3", "NUMBER_OR_PERCENT'5%'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%3", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5% 3", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%(2)", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%@a", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%_", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5%children", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::NUMBER_OR_PERCENT, "5 %", "NUMBER_OR_PERCENT'5'"},
                      MatchCase{Rule::SIGNED_NUMBER, "- 5", "SIGNED_NUMBER(MINUS'-' NUMBER_OR_PERCENT'5')"},
                      MatchCase{Rule::SIGNED_NUMBER, "+5", "SIGNED_NUMBER(PLUS'+' NUMBER_OR_PERCENT'5')"},
                      MatchCase{Rule::SIGNED_NUMBER, "--5", "FAIL"}),
    LabelBy<&MatchCase::text>());

// Whole formulas: implicit whitespace, ordered choices and the silent COMPARISON_OP.
INSTANTIATE_TEST_SUITE_P(
    Formulas, RuleMatch,
    ::testing::Values(
        MatchCase{Rule::value, "", "value(EOI'')"}, MatchCase{Rule::value, "  \t", "value(EOI'')"},
        MatchCase{Rule::value, "12", "value(SIGNED_NUMBER(NUMBER_OR_PERCENT'12') EOI'')"},
        MatchCase{Rule::value, "=1+2",
                  "value(EQUALS'=' expression(addition_expression(multiplication_expression(power_expression("
                  "unary_expression(atomic_expression(NUMBER_OR_PERCENT'1')))) PLUS'+' "
                  "multiplication_expression(power_expression(unary_expression(atomic_expression("
                  "NUMBER_OR_PERCENT'2')))))) EOI'')"},
        MatchCase{Rule::value, "=-2^2",
                  "value(EQUALS'=' expression(addition_expression(multiplication_expression(power_expression("
                  "unary_expression(MINUS'-' atomic_expression(NUMBER_OR_PERCENT'2')) POWER'^' "
                  "unary_expression(atomic_expression(NUMBER_OR_PERCENT'2')))))) EOI'')"},
        MatchCase{Rule::boolean_value, "@a>1",
                  "boolean_value(boolean_expression(or_expression(and_expression(negation_expression("
                  "atomic_boolean_expression(expression(addition_expression(multiplication_expression("
                  "power_expression(unary_expression(atomic_expression(NODE_REFERENCE(AT'@' IDENTIFIER'a')))))))"
                  " GREATER_THAN'>' expression(addition_expression(multiplication_expression(power_expression("
                  "unary_expression(atomic_expression(NUMBER_OR_PERCENT'1'))))))))))) EOI'')"}),
    LabelBy<&MatchCase::text>());

// Texts that a start rule accepts or rejects as a whole.
struct AcceptCase {
  Rule rule;
  std::string text;
  bool accepted;
};

void PrintTo(const AcceptCase& c, std::ostream* os) {
  *os << rule_name(c.rule) << (c.accepted ? " accepts " : " rejects ") << ::testing::PrintToString(c.text);
}

class Accepts : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(Accepts, AsWritten) {
  const AcceptCase& c = GetParam();
  EXPECT_EQ(FormulaParser::parse(c.rule, c.text).ok(), c.accepted) << rule_name(c.rule) << " on \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Value, Accepts,
    ::testing::Values(AcceptCase{Rule::value, "abc", false}, AcceptCase{Rule::value, "1+2", false},
                      AcceptCase{Rule::value, "=", false}, AcceptCase{Rule::value, "5 + 1", false},
                      AcceptCase{Rule::value, "5 %", false}, AcceptCase{Rule::value, "=5", true},
                      AcceptCase{Rule::value, "- 5", true}, AcceptCase{Rule::value, "=1\xC2\xA0+ 2", false},
                      AcceptCase{Rule::value, "=2**3", true}, AcceptCase{Rule::value, "=2* *3", false},
                      AcceptCase{Rule::value, "=round(1,2)", true}, AcceptCase{Rule::value, "=round(1; 2)", true},
                      AcceptCase{Rule::value, "=round(1, 2)", false}, AcceptCase{Rule::value, "=abs()", false},
                      AcceptCase{Rule::value, "=sum()", true}, AcceptCase{Rule::value, "=SUM(@a)", true},
                      AcceptCase{Rule::value, "=If(@a > 1; 1; 0)", true}, AcceptCase{Rule::value, "=Children", true},
                      AcceptCase{Rule::value, "=if(@a = 1; 1; 0)", false}, AcceptCase{Rule::value, "=5%-3", true},
                      AcceptCase{Rule::value, "=1,234,56", false}, AcceptCase{Rule::value, "=--5", false},
                      AcceptCase{Rule::value, "=2*-3", true}, AcceptCase{Rule::value, "=2^-1", true},
                      AcceptCase{Rule::value, "=-(2)", true}, AcceptCase{Rule::value, "=@a [2]", false},
                      AcceptCase{Rule::value, "=total(@a)", true}, AcceptCase{Rule::value, "=total(1)", false},
                      AcceptCase{Rule::value, "= ( 1 + 2 ) * 3 ", true}, AcceptCase{Rule::value, "=(1", false},
                      AcceptCase{Rule::value, "=when(@a > 1; 1; @b > 1; 2; 0)", true},
                      AcceptCase{Rule::value, "=if((@a > 1 or @b) and not @c; 1; 0)", true}),
    LabelBy<&AcceptCase::text>());

INSTANTIATE_TEST_SUITE_P(Conditions, Accepts,
                         ::testing::Values(AcceptCase{Rule::boolean_value, "@a > 1 and not @b == 2 or @c", true},
                                           AcceptCase{Rule::boolean_value, "not not @a", true},
                                           AcceptCase{Rule::boolean_value, "=@a > 1", false},
                                           AcceptCase{Rule::boolean_value, "(@a) > 1", true},
                                           AcceptCase{Rule::boolean_value, "1 > 2 > 3", false},
                                           AcceptCase{Rule::boolean_value, "nothing", false},
                                           AcceptCase{Rule::boolean_value, "", false}),
                         LabelBy<&AcceptCase::text>());

TEST(Grammar, SyntaxErrorRecordsFurthestPosition) {
  auto result = FormulaParser::parse(Rule::value, "=1 + (2 * ");
  ASSERT_FALSE(result.ok());
  ASSERT_TRUE(result.error().is_syntax());
  EXPECT_EQ(result.error().syntax().position, 10u);
  EXPECT_NE(result.error().syntax().expected, 0u);
}

// The scanner's shortcut for one-byte literals must agree with the grammar's own matching,
// whatever follows the byte.
TEST(Grammar, OneByteLiteralsMatchOneByte) {
  std::size_t literals = 0;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    const auto rule = static_cast<Rule>(r);
    for (unsigned b = 0; b < 256; ++b) {
      if (!is_one_byte_literal(rule, static_cast<unsigned char>(b))) continue;
      ++literals;
      for (std::string_view after : {"", " ", "*", "=", "1", "a"}) {
        std::string text(1, static_cast<char>(b));
        text += after;
        ParseScratch scratch(text);
        EXPECT_EQ(FormulaParser::match_end(rule, scratch, 0), std::optional<std::size_t>(1))
            << rule_name(rule) << " at " << text;
      }
    }
  }
  EXPECT_EQ(literals, 15u);  // every rule listed matches at its one byte
}

TEST(Grammar, RuleNamesFollowTheNumbering) {
  EXPECT_EQ(rule_name(Rule::EOI), "EOI");
  EXPECT_EQ(rule_name(Rule::atomic_boolean_expression), "atomic_boolean_expression");
  EXPECT_EQ(rule_name(Rule::EQUALS), "EQUALS");
  EXPECT_EQ(static_cast<int>(Rule::WHITESPACE), 61);
  EXPECT_EQ(rule_name(Rule::WHITESPACE), "WHITESPACE");
}

}  // namespace
}  // namespace ostrel::parser
