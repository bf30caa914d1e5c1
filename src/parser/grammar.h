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

// The grammar's rules in the order the grammar defines them.
enum class Rule : std::uint8_t {
  EOI,
  value,
  boolean_value,
  expression,
  addition_expression,
  multiplication_expression,
  power_expression,
  unary_expression,
  atomic_expression,
  modifier_expression,
  modifier_name,
  function_expression,
  function_name,
  function_args,
  aggregation_expression,
  aggregation_name,
  aggregator_args,
  conditional_expression,
  conditional_name,
  conditional_args,
  boolean_expression,
  or_expression,
  and_expression,
  negation_expression,
  atomic_boolean_expression,
  EQUALS,
  PLUS,
  MINUS,
  MULTIPLY,
  DIVIDE,
  MODULO,
  POWER,
  COMPARISON_OP,
  EQUAL_TO,
  NOT_EQUAL,
  GREATER_THAN,
  LESS_THAN,
  GREATER_OR_EQUAL,
  LESS_OR_EQUAL,
  NOT,
  AND,
  OR,
  NODE_REFERENCE,
  CHILDREN_REFERENCE,
  RIGHT_REFERENCE,
  INDEX,
  NUMBER,
  NUMBER_OR_PERCENT,
  OPERAND_START,
  SIGNED_NUMBER,
  IDENTIFIER,
  CURLY_IDENTIFIER,
  LPAREN,
  RPAREN,
  LBRACKET,
  RBRACKET,
  AT,
  LCURLYAT,
  RCURLY,
  SEMICOLON,
  EMPTY,
  WHITESPACE,
};

inline constexpr std::size_t kRuleCount = 62;

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
namespace may_start_detail {
using lexical::is_ascii_letter;
using lexical::is_blank;
// What an operand (`atomic_expression`) can begin with: a number, a reference, a keyword,
// or a parenthesis.
constexpr bool operand_may_start(unsigned char b) {
  return (b >= '0' && b <= '9') || b == '@' || b == '(' || is_ascii_letter(b);
}
}  // namespace may_start_detail

constexpr bool may_start(Rule rule, unsigned char b) {
  using namespace may_start_detail;
  const unsigned char lower = is_ascii_letter(b) ? static_cast<unsigned char>(b | 0x20) : b;
  switch (rule) {
    case Rule::expression:
    case Rule::addition_expression:
    case Rule::multiplication_expression:
    case Rule::power_expression:
    case Rule::unary_expression:
    case Rule::function_args:
    case Rule::aggregator_args:
    case Rule::conditional_args:
    case Rule::boolean_expression:
    case Rule::or_expression:
    case Rule::and_expression:
    case Rule::negation_expression:
    case Rule::atomic_boolean_expression:
      // These begin with an optional sign or "not", after which whitespace is skipped even
      // when the optional part is absent.
      return b == '+' || b == '-' || is_blank(b) || operand_may_start(b);
    case Rule::atomic_expression:
      return operand_may_start(b);
    case Rule::modifier_expression:
    case Rule::modifier_name:
    case Rule::function_expression:
    case Rule::function_name:
    case Rule::aggregation_expression:
    case Rule::aggregation_name:
    case Rule::conditional_expression:
    case Rule::conditional_name:
      return is_ascii_letter(b);
    case Rule::SIGNED_NUMBER:
      return b == '+' || b == '-' || is_blank(b) || (b >= '0' && b <= '9');
    case Rule::CHILDREN_REFERENCE:
      return lower == 'c';
    case Rule::RIGHT_REFERENCE:
      return lower == 'r';
    case Rule::NODE_REFERENCE:
      return b == '@';
    case Rule::POWER:
      return b == '*' || b == '^';
    case Rule::GREATER_OR_EQUAL:
    case Rule::GREATER_THAN:
      return b == '>';
    case Rule::LESS_OR_EQUAL:
    case Rule::LESS_THAN:
      return b == '<';
    case Rule::EQUAL_TO:
    case Rule::EQUALS:
      return b == '=';
    case Rule::NOT_EQUAL:
      return b == '!' || b == '<';
    case Rule::NOT:
      return lower == 'n';
    case Rule::AND:
      return lower == 'a';
    case Rule::OR:
      return lower == 'o';
    case Rule::NUMBER_OR_PERCENT:
    case Rule::NUMBER:
    case Rule::INDEX:
      return b >= '0' && b <= '9';
    case Rule::EMPTY:
      return lower == 'e';
    case Rule::IDENTIFIER:
      return is_ascii_letter(b) || b == '_' || b >= 0x80;
    case Rule::COMPARISON_OP:
      return b == '>' || b == '<' || b == '=' || b == '!';
    case Rule::LBRACKET:
      return b == '[';
    case Rule::RBRACKET:
      return b == ']';
    case Rule::AT:
    case Rule::LCURLYAT:
      return b == '@';
    case Rule::RCURLY:
      return b == '}';
    case Rule::WHITESPACE:
      return is_blank(b);
    case Rule::LPAREN:
      return b == '(';
    case Rule::RPAREN:
      return b == ')';
    case Rule::PLUS:
      return b == '+';
    case Rule::MINUS:
      return b == '-';
    case Rule::MULTIPLY:
      return b == '*';
    case Rule::DIVIDE:
      return b == '/';
    case Rule::MODULO:
      return b == '%';
    case Rule::SEMICOLON:
      return b == ';';
    default:
      return true;
  }
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
