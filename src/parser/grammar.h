// The formula grammar: a parsing expression grammar whose rules are named by `Rule`.
// `FormulaParser::parse` runs one rule at the start of a text and returns the parse tree of
// the match (rule, byte span and children of every non-silent rule that matched) or a
// syntax error recording the furthest position reached and the rules expected there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "parser/formula_error.h"
#include "parser/lexical.h"
#include "support/result.h"

namespace ostrel::parser {

namespace ast {
struct Value;
}

// The quick reject by first byte of each rule (see `may_start`), by the kind of text the
// rule begins with.
namespace may_start_detail {
using lexical::is_ascii_letter;
using lexical::is_blank;
using lexical::is_digit;
constexpr unsigned char folded(unsigned char b) {
  return static_cast<unsigned char>(lexical::fold_ascii(static_cast<char>(b)));
}
// What an operand (`atomic_expression`) can begin with: a number, a reference, a keyword,
// or a parenthesis.
constexpr bool operand(unsigned char b) { return is_digit(b) || b == '@' || b == '(' || is_ascii_letter(b); }
// The rules that begin with an optional sign or "not", after which whitespace is skipped even
// when the optional part is absent.
constexpr bool signed_operand(unsigned char b) { return b == '+' || b == '-' || is_blank(b) || operand(b); }
}  // namespace may_start_detail

// The grammar's rules in the order the grammar defines them, one line each: the name, the
// kind (how the machine treats whitespace and nodes inside the rule, see grammar.cpp), and
// whether an attempt at a byte `b` can get past that byte (`may_start`).
#define OSTREL_GRAMMAR_RULES(X)                                                \
  X(EOI, Normal, true)                                                         \
  X(value, Normal, true)                                                       \
  X(boolean_value, Normal, true)                                               \
  X(expression, Normal, signed_operand(b))                                     \
  X(addition_expression, Normal, signed_operand(b))                            \
  X(multiplication_expression, Normal, signed_operand(b))                      \
  X(power_expression, Normal, signed_operand(b))                               \
  X(unary_expression, Normal, signed_operand(b))                               \
  X(atomic_expression, Normal, operand(b))                                     \
  X(modifier_expression, Normal, is_ascii_letter(b))                           \
  X(modifier_name, Normal, is_ascii_letter(b))                                 \
  X(function_expression, Normal, is_ascii_letter(b))                           \
  X(function_name, Normal, is_ascii_letter(b))                                 \
  X(function_args, Normal, signed_operand(b))                                  \
  X(aggregation_expression, Normal, is_ascii_letter(b))                        \
  X(aggregation_name, Normal, is_ascii_letter(b))                              \
  X(aggregator_args, Normal, signed_operand(b))                                \
  X(conditional_expression, Normal, is_ascii_letter(b))                        \
  X(conditional_name, Normal, is_ascii_letter(b))                              \
  X(conditional_args, Normal, signed_operand(b))                               \
  X(boolean_expression, Normal, signed_operand(b))                             \
  X(or_expression, Normal, signed_operand(b))                                  \
  X(and_expression, Normal, signed_operand(b))                                 \
  X(negation_expression, Normal, signed_operand(b))                            \
  X(atomic_boolean_expression, Normal, signed_operand(b))                      \
  X(EQUALS, Normal, b == '=')                                                  \
  X(PLUS, Normal, b == '+')                                                    \
  X(MINUS, Normal, b == '-')                                                   \
  X(MULTIPLY, Normal, b == '*')                                                \
  X(DIVIDE, Normal, b == '/')                                                  \
  X(MODULO, Normal, b == '%')                                                  \
  X(POWER, Normal, b == '*' || b == '^')                                       \
  X(COMPARISON_OP, Silent, b == '>' || b == '<' || b == '=' || b == '!')       \
  X(EQUAL_TO, Normal, b == '=')                                                \
  X(NOT_EQUAL, Normal, b == '!' || b == '<')                                   \
  X(GREATER_THAN, Normal, b == '>')                                            \
  X(LESS_THAN, Normal, b == '<')                                               \
  X(GREATER_OR_EQUAL, Normal, b == '>')                                        \
  X(LESS_OR_EQUAL, Normal, b == '<')                                           \
  X(NOT, Normal, folded(b) == 'n')                                             \
  X(AND, Normal, folded(b) == 'a')                                             \
  X(OR, Normal, folded(b) == 'o')                                              \
  X(NODE_REFERENCE, CompoundAtomic, b == '@')                                  \
  X(CHILDREN_REFERENCE, Normal, folded(b) == 'c')                              \
  X(RIGHT_REFERENCE, Normal, folded(b) == 'r')                                 \
  X(INDEX, Normal, is_digit(b))                                                \
  X(NUMBER, Normal, is_digit(b))                                               \
  X(NUMBER_OR_PERCENT, Atomic, is_digit(b))                                    \
  X(OPERAND_START, Silent, true)                                               \
  X(SIGNED_NUMBER, Normal, b == '+' || b == '-' || is_blank(b) || is_digit(b)) \
  X(IDENTIFIER, Atomic, is_ascii_letter(b) || b == '_' || b >= 0x80)           \
  X(CURLY_IDENTIFIER, Atomic, true)                                            \
  X(LPAREN, Normal, b == '(')                                                  \
  X(RPAREN, Normal, b == ')')                                                  \
  X(LBRACKET, Normal, b == '[')                                                \
  X(RBRACKET, Normal, b == ']')                                                \
  X(AT, Normal, b == '@')                                                      \
  X(LCURLYAT, Normal, b == '@')                                                \
  X(RCURLY, Normal, b == '}')                                                  \
  X(SEMICOLON, Normal, b == ';')                                               \
  X(EMPTY, Normal, folded(b) == 'e')                                           \
  X(WHITESPACE, SilentAtomic, is_blank(b))

// The rules, numbered in that order.
enum class Rule : std::uint8_t {
#define OSTREL_RULE_ENUMERATOR(name, kind, starts) name,
  OSTREL_GRAMMAR_RULES(OSTREL_RULE_ENUMERATOR)
#undef OSTREL_RULE_ENUMERATOR
};

inline constexpr std::size_t kRuleCount = 0
#define OSTREL_RULE_COUNT(name, kind, starts) +1
    OSTREL_GRAMMAR_RULES(OSTREL_RULE_COUNT)
#undef OSTREL_RULE_COUNT
    ;

// The rule's name exactly as the grammar writes it.
std::string_view rule_name(Rule rule);

// Nesting of `expression` and `boolean_expression` inside each other (parentheses, call
// arguments, conditions) deeper than this fails to parse. It keeps every recursive stage
// (matching, tree building, evaluation, destruction) within about 400 KiB of stack, well
// inside a 1 MiB thread stack.
inline constexpr int kMaxNesting = 128;

// A quick reject by first byte: false when no attempt of `rule` at a byte `b` can get past
// that byte, so the rule fails there, and so do all the rules it would call. It only saves
// work; the grammar still decides every match.
constexpr bool may_start(Rule rule, unsigned char b) {
  using namespace may_start_detail;
  switch (rule) {
#define OSTREL_RULE_MAY_START(name, kind, starts) \
  case Rule::name:                                \
    return starts;
    OSTREL_GRAMMAR_RULES(OSTREL_RULE_MAY_START)
#undef OSTREL_RULE_MAY_START
  }
  return true;
}

// Whether `rule` is one literal byte where it may start, so that its match there is that
// byte alone: "+", "(", ";" and the like, and POWER at "^". (A test holds this to the
// grammar's own matching.)
constexpr bool is_one_byte_literal(Rule rule, unsigned char b) {
  switch (rule) {
    case Rule::EQUALS:
    case Rule::PLUS:
    case Rule::MINUS:
    case Rule::MULTIPLY:
    case Rule::DIVIDE:
    case Rule::MODULO:
    case Rule::GREATER_THAN:
    case Rule::LESS_THAN:
    case Rule::LPAREN:
    case Rule::RPAREN:
    case Rule::LBRACKET:
    case Rule::RBRACKET:
    case Rule::RCURLY:
    case Rule::SEMICOLON:
      return may_start(rule, b);
    case Rule::POWER:
      return b == '^';
    default:
      return false;
  }
}

class ParseTree;

// A view of one node of a parse tree; valid while the tree lives.
class ParseNode {
 public:
  ParseNode(const ParseTree* tree, std::uint32_t index) : tree_(tree), index_(index) {}

  Rule rule() const;
  std::size_t start() const;
  std::size_t end() const;
  std::string_view text() const;
  std::size_t child_count() const;
  // The i-th child in text order; a missing child is a broken invariant.
  ParseNode child(std::size_t i) const;

 private:
  const ParseTree* tree_;
  std::uint32_t index_;
};

// The nodes of one parse. Nodes are immutable once matched, so a memoised subtree can be
// attached wherever the same rule is asked for again at the same position.
class ParseTree {
 public:
  struct Node {
    std::size_t start;
    std::size_t end;
    std::uint32_t first_child;  // into `child_index`
    std::uint32_t child_count;
    Rule rule;
  };

  // The top-level nodes of the match (normally one; none for a silent start rule).
  std::size_t top_count() const { return top_.size(); }
  ParseNode top(std::size_t i) const { return ParseNode(this, top_[i]); }
  std::string_view source() const { return text_; }

 private:
  friend class ParseNode;
  friend class Machine;
  friend struct FormulaParser;
  std::string_view text_;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> child_index_;
  std::vector<std::uint32_t> top_;
};

// Working memory that can be kept across several parses of the same text at different
// positions (the token scanner does so), making repeated failing attempts cheap.
struct ParseScratch {
  explicit ParseScratch(std::string_view text) : text(text) {}
  std::string_view text;
  std::vector<std::size_t> curly_end;  // CURLY_IDENTIFIER match end by start; 0 = unknown
  ParseTree tree;
  std::vector<std::uint32_t> pending;
  // Off only to check the quick reject against the plain grammar.
  bool quick_reject = true;
};

// The end of CURLY_IDENTIFIER's match from `from`, remembered per position in the scratch,
// so that matching it at every "@{" of a text stays linear.
std::size_t curly_identifier_end(ParseScratch& scratch, std::size_t from);

struct FormulaParser {
  // Runs `rule` at byte 0 of `text`.
  static Result<ParseTree, FormulaError> parse(Rule rule, std::string_view text);

  // Runs `rule` at byte `pos` of the scratch's text and gives the end offset of its match,
  // or nothing when it does not match. For callers that only need the extent of a match.
  static std::optional<std::size_t> match_end(Rule rule, ParseScratch& scratch, std::size_t pos);

  // A node formula (start rule `value`) to its syntax tree; defined by the tree builder.
  static Result<ast::Value, FormulaError> parse_formula(std::string_view text);
};

}  // namespace ostrel::parser
