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
#include "result.h"

namespace ostrel::parser {

namespace ast {
struct Value;
}

// The grammar's rules; the numbering is fixed (it is part of the rule list).
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

// The rule's name exactly as the rule list writes it.
std::string_view rule_name(Rule rule);

// Nesting of `expression` and `boolean_expression` inside each other (parentheses, call
// arguments, conditions) deeper than this fails to parse. It keeps every recursive stage
// (matching, tree building, evaluation, destruction) within about 400 KiB of stack, well
// inside a 1 MiB thread stack.
inline constexpr int kMaxNesting = 128;

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
