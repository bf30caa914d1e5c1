// Single grammar rules where no other table shows them, failure positions, the quick reject.
#include "parser/grammar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel::parser {
namespace {

// A leaf as RULE'text', an inner node as RULE(child child ...).
std::string dump(ParseNode node) {
  std::string out(rule_name(node.rule()));
  if (node.child_count() == 0) return out + "'" + std::string(node.text()) + "'";
  for (std::size_t i = 0; i < node.child_count(); ++i) out += (i == 0 ? "(" : " ") + dump(node.child(i));
  return out + ")";
}

// The dump of every top-level node, or "FAIL" when the rule does not match.
std::string dump_parse(Rule rule, std::string_view text) {
  auto tree = FormulaParser::parse(rule, text);
  if (!tree) return "FAIL";
  std::string out;
  for (std::size_t i = 0; i < tree.value().top_count(); ++i) out += (i == 0 ? "" : " ") + dump(tree.value().top(i));
  return out;
}

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

// Terminal rules need not reach the end of the text; keywords match as prefixes (the
// scanner checks their boundaries); "%" joins a number only right after it and where no
// operand follows.
INSTANTIATE_TEST_SUITE_P(
    Terminals, RuleMatch,
    ::testing::Values(
        MatchCase{Rule::CHILDREN_REFERENCE, "CHILDREN [ 2 ]", "CHILDREN_REFERENCE(LBRACKET'[' INDEX'2' RBRACKET']')"},
        MatchCase{Rule::CHILDREN_REFERENCE, "children[1 ", "CHILDREN_REFERENCE'children'"},
        MatchCase{Rule::NODE_REFERENCE, "@a [2]", "NODE_REFERENCE(AT'@' IDENTIFIER'a')"},
        MatchCase{Rule::NODE_REFERENCE, "@a[1 2]", "NODE_REFERENCE(AT'@' IDENTIFIER'a')"},
        MatchCase{Rule::NODE_REFERENCE, "@{a{b}", "FAIL"},
        MatchCase{Rule::NODE_REFERENCE, "@{a{{b}}", "NODE_REFERENCE(LCURLYAT'@{' CURLY_IDENTIFIER'a{{b}' RCURLY'}')"},
        MatchCase{Rule::POWER, "* *", "FAIL"}, MatchCase{Rule::NOT, "nothing", "NOT'not'"},
        MatchCase{Rule::EMPTY, "EMPTY2", "EMPTY'EMPTY'"}, MatchCase{Rule::WHITESPACE, " ", ""},
        MatchCase{Rule::WHITESPACE, "\xC2\xA0", "FAIL"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "12,345,678.90", "NUMBER_OR_PERCENT'12,345,678.90'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "1.5.", "NUMBER_OR_PERCENT'1.5'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5% + 1", "NUMBER_OR_PERCENT'5%'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5%(2)", "NUMBER_OR_PERCENT'5'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5%@a", "NUMBER_OR_PERCENT'5'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5%_", "NUMBER_OR_PERCENT'5'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5%children", "NUMBER_OR_PERCENT'5'"},
        MatchCase{Rule::NUMBER_OR_PERCENT, "5 %", "NUMBER_OR_PERCENT'5'"},
        MatchCase{Rule::SIGNED_NUMBER, "- 5", "SIGNED_NUMBER(MINUS'-' NUMBER_OR_PERCENT'5')"},
        MatchCase{Rule::SIGNED_NUMBER, "--5", "FAIL"}));

TEST(Grammar, SyntaxErrorRecordsFurthestPosition) {
  auto result = FormulaParser::parse(Rule::value, "=1 + (2 * ");
  ASSERT_FALSE(result.ok());
  ASSERT_TRUE(result.error().is_syntax());
  EXPECT_EQ(result.error().syntax().position, 10u);
  EXPECT_NE(result.error().syntax().expected, 0u);
}

// The quick reject by first byte never rejects a text that the plain grammar matches, and the
// scanner's one-byte literals match their byte alone, whatever follows.
TEST(Grammar, QuickRejectAndOneByteLiteralsAgreeWithGrammar) {
  std::size_t literals = 0;
  const std::vector<std::string> continuations = {
      "",   "1",     "a",        "{b}",  "=",          "*",     "ildren",   "ight",         "ot",
      "nd", "r",     "mpty",     "_",    "\x80",       "\xB6",  "\x90\x80", "\xA4\xB8\xAD", "1)",
      "a)", "1; 2)", "otal(@a)", "um()", "f(1; 2; 3)", "1 > 2", "[1]",      "1]",           "}",
      " 1"};
  for (int byte = 0; byte < 256; ++byte) {
    for (const std::string& rest : continuations) {
      const std::string text = std::string(1, static_cast<char>(byte)) + rest;
      ParseScratch scratch(text);
      scratch.quick_reject = false;
      for (std::size_t r = 0; r < kRuleCount; ++r) {
        const Rule rule = static_cast<Rule>(r);
        const std::optional<std::size_t> end = FormulaParser::match_end(rule, scratch, 0);
        if (end) {
          EXPECT_TRUE(may_start(rule, static_cast<unsigned char>(byte))) << rule_name(rule) << " on byte " << byte;
        }
        if (is_one_byte_literal(rule, static_cast<unsigned char>(byte))) {
          literals += rest.empty();
          EXPECT_EQ(end, std::optional<std::size_t>(1)) << rule_name(rule) << " on " << text;
        }
      }
    }
  }
  EXPECT_EQ(literals, 15u);  // each listed rule at its byte
}

}  // namespace
}  // namespace ostrel::parser
