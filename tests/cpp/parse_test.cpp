// The parser: single grammar rules, the token scanner, the tree builder's syntax trees and errors,
// and the direct route giving the same trees.
#include "parser/parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "ast_dump.h"
#include "parser/direct_parse.h"
#include "parser/grammar.h"
#include "parser/tokenize.h"
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

// ---- Grammar rules where no other table shows them, failure positions, the quick reject ----

// A leaf as RULE'text', an inner node as RULE(child child ...).
std::string dump_node(ParseNode node) {
  std::string out(rule_name(node.rule()));
  if (node.child_count() == 0) return out + "'" + std::string(node.text()) + "'";
  for (std::size_t i = 0; i < node.child_count(); ++i) out += (i == 0 ? "(" : " ") + dump_node(node.child(i));
  return out + ")";
}

// The dump of every top-level node, or "FAIL" when the rule does not match.
std::string dump_parse(Rule rule, std::string_view text) {
  auto tree = FormulaParser::parse(rule, text);
  if (!tree) return "FAIL";
  std::string out;
  for (std::size_t i = 0; i < tree.value().top_count(); ++i)
    out += (i == 0 ? "" : " ") + dump_node(tree.value().top(i));
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

// ---- The token scanner: kinds, boundaries, unexpected runs (byte ranges: the tokens harness)

// Tokens as "text:kind" joined by " | ".
std::string scan(std::string_view formula) {
  std::string out;
  for (const Token& token : scan_tokens(formula)) {
    if (!out.empty()) out += " | ";
    out += token.text + ":" + std::string(kind_name(token.kind));
  }
  return out;
}

class Scan : public ::testing::TestWithParam<Case> {};

TEST_P(Scan, Tokens) { EXPECT_EQ(scan(GetParam().text), GetParam().expected) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, Scan,
    ::testing::Values(
        Case{"", ""}, Case{" \t\r\n", ""}, Case{"@price * 2", "@price:nodereference | *:operator | 2:number"},
        Case{"2**3", "2:number | **:operator | 3:number"}, Case{"2^3", "2:number | ^:operator | 3:number"},
        Case{"a<>b", "a:unexpected | <>:operator | b:unexpected"},
        Case{"1>=2<=3==4!=5>6<7=8",
             "1:number | >=:operator | 2:number | <=:operator | 3:number | ==:operator | "
             "4:number | !=:operator | 5:number | >:operator | 6:number | <:operator | "
             "7:number | =:operator | 8:number"},
        Case{"NOT x", "NOT:operator | x:unexpected"}, Case{"notable", "notable:unexpected"},
        Case{"a and b OR c", "a:unexpected | and:operator | b:unexpected | OR:operator | c:unexpected"},
        Case{"sum(@a; @b)",
             "sum:aggregation | (:parenthesis | @a:nodereference | ;:operator | "
             "@b:nodereference | ):parenthesis"},
        Case{"Total(@a)/ratio(@b)",
             "Total:modifier | (:parenthesis | @a:nodereference | ):parenthesis | "
             "/:operator | ratio:modifier | (:parenthesis | @b:nodereference | "
             "):parenthesis"},
        Case{"round iferror IF when", "round:function | iferror:function | IF:conditional | when:conditional"},
        Case{"empty", "empty:unexpected"}, Case{"empty2", "empty2:unexpected"},
        Case{"=-5+x", "=:operator | -:operator | 5:number | +:operator | x:unexpected"},
        Case{"@{Unit cost}[2]+@Größe", "@{Unit cost}[2]:nodereference | +:operator | @Größe:nodereference"}));

INSTANTIATE_TEST_SUITE_P(Boundaries, Scan,
                         ::testing::Values(Case{"children + 1", "children :nodereference | +:operator | 1:number"},
                                           Case{"children_cost", "children_cost:unexpected"},
                                           Case{"Children[2]", "Children[2]:nodereference"},
                                           Case{"right[1]*2", "right[1]:nodereference | *:operator | 2:number"},
                                           Case{"children x", "children:unexpected | x:unexpected"},
                                           Case{"childrenö", "childrenö:unexpected"},
                                           Case{"not(1)", "not:operator | (:parenthesis | 1:number | ):parenthesis"},
                                           Case{"or2", "or2:unexpected"}));

INSTANTIATE_TEST_SUITE_P(Numbers, Scan,
                         ::testing::Values(Case{"50%", "50%:number"}, Case{"5%3", "5:number | %:operator | 3:number"},
                                           Case{"1.234,5 + 1,5", "1.234,5:number | +:operator | 1,5:number"},
                                           Case{"1,234,56", "1,234:number | ,:unexpected | 56:number"},
                                           Case{".5", ".:unexpected | 5:number"}));

INSTANTIATE_TEST_SUITE_P(UnexpectedRuns, Scan,
                         ::testing::Values(Case{"$$ 5", "$$ :unexpected | 5:number"}, Case{"  $$", "$$:unexpected"},
                                           Case{"$ $ $", "$ $ $:unexpected"}, Case{"\xC2\xA0", ""},
                                           Case{"a\xC2\xA0\xE2\x80\x83"
                                                "b",
                                                "a:unexpected | b:unexpected"},
                                           Case{"@{open", "@{:unexpected | open:unexpected"},
                                           Case{"@ 1", "@ :unexpected | 1:number"}, Case{"#{}", "#{}:unexpected"}));

}  // namespace
}  // namespace ostrel::parser
