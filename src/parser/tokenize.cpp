// The token scanner. It has no lexical grammar of its own: at each position it runs a fixed
// list of grammar rules, each anchored there, and the first one accepted makes the token.
// Text that no rule accepts is gathered into an unexpected run up to the next position at
// which some rule matches.
#include "parser/tokenize.h"

#include <array>

#include "parser/ast.h"
#include "parser/grammar.h"
#include "unicode/unicode.h"

namespace ostrel::parser {

namespace {

struct Candidate {
  Rule rule;
  bool boundary;   // accepted only where no letter, number or "_" follows the match
  TokenKind kind;  // for IDENTIFIER, decided by keyword lookup instead
};

constexpr std::array<Candidate, 25> kCandidates = {{
    {Rule::CHILDREN_REFERENCE, true, TokenKind::NodeReference},
    {Rule::RIGHT_REFERENCE, true, TokenKind::NodeReference},
    {Rule::NODE_REFERENCE, false, TokenKind::NodeReference},
    {Rule::POWER, false, TokenKind::Operator},
    {Rule::GREATER_OR_EQUAL, false, TokenKind::Operator},
    {Rule::LESS_OR_EQUAL, false, TokenKind::Operator},
    {Rule::EQUAL_TO, false, TokenKind::Operator},
    {Rule::NOT_EQUAL, false, TokenKind::Operator},
    {Rule::GREATER_THAN, false, TokenKind::Operator},
    {Rule::LESS_THAN, false, TokenKind::Operator},
    {Rule::NOT, true, TokenKind::Operator},
    {Rule::AND, true, TokenKind::Operator},
    {Rule::OR, true, TokenKind::Operator},
    {Rule::NUMBER_OR_PERCENT, false, TokenKind::Number},
    {Rule::EMPTY, true, TokenKind::Unexpected},
    {Rule::IDENTIFIER, false, TokenKind::Unexpected},
    {Rule::LPAREN, false, TokenKind::Parenthesis},
    {Rule::RPAREN, false, TokenKind::Parenthesis},
    {Rule::EQUALS, false, TokenKind::Operator},
    {Rule::PLUS, false, TokenKind::Operator},
    {Rule::MINUS, false, TokenKind::Operator},
    {Rule::MULTIPLY, false, TokenKind::Operator},
    {Rule::DIVIDE, false, TokenKind::Operator},
    {Rule::MODULO, false, TokenKind::Operator},
    {Rule::SEMICOLON, false, TokenKind::Operator},
}};

bool is_ascii_letter(unsigned char b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

}  // namespace

bool may_start(Rule rule, unsigned char b) {
  const unsigned char lower = is_ascii_letter(b) ? static_cast<unsigned char>(b | 0x20) : b;
  switch (rule) {
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
      return b >= '0' && b <= '9';
    case Rule::EMPTY:
      return lower == 'e';
    case Rule::IDENTIFIER:
      return is_ascii_letter(b) || b == '_' || b >= 0x80;
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

namespace {

std::optional<std::size_t> try_rule(Rule rule, ParseScratch& scratch, std::size_t pos) {
  if (!may_start(rule, static_cast<unsigned char>(scratch.text[pos]))) return std::nullopt;
  return FormulaParser::match_end(rule, scratch, pos);
}

bool boundary_holds(std::string_view text, std::size_t end) {
  if (end >= text.size()) return true;
  if (text[end] == '_') return false;
  return !unicode::is_alphanumeric(unicode::decode_utf8(text, end).code_point);
}

TokenKind identifier_kind(std::string_view name) {
  using namespace ast;
  if (lookup<ModifierName>(name)) return TokenKind::Modifier;
  if (lookup<FunctionName>(name)) return TokenKind::Function;
  if (lookup<AggregationName>(name)) return TokenKind::Aggregation;
  if (lookup<ConditionalName>(name)) return TokenKind::Conditional;
  return TokenKind::Unexpected;
}

bool any_rule_matches(ParseScratch& scratch, std::size_t pos) {
  for (const Candidate& candidate : kCandidates) {
    if (try_rule(candidate.rule, scratch, pos)) return true;
  }
  return false;
}

bool only_white_space(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unicode::Decoded d = unicode::decode_utf8(text, i);
    if (!unicode::is_white_space(d.code_point)) return false;
    i += d.length;
  }
  return true;
}

}  // namespace

std::string_view kind_name(TokenKind kind) {
  static constexpr std::array<std::string_view, 9> kNames = {
      "number", "operator", "nodereference", "modifier", "function", "aggregation", "conditional", "parenthesis",
      "unexpected"};
  return kNames.at(static_cast<std::size_t>(kind));
}

std::vector<Token> scan_tokens(std::string_view formula) {
  std::vector<Token> tokens;
  ParseScratch scratch(formula);
  auto emit = [&](std::size_t start, std::size_t end, TokenKind kind) {
    tokens.push_back(Token{std::string(formula.substr(start, end - start)), start, end, kind});
  };
  std::size_t pos = 0;
  for (;;) {
    while (pos < formula.size() && (formula[pos] == ' ' || formula[pos] == '\t' || formula[pos] == '\r' ||
                                    formula[pos] == '\n')) {
      ++pos;
    }
    if (pos >= formula.size()) break;

    bool made = false;
    for (const Candidate& candidate : kCandidates) {
      const std::optional<std::size_t> end = try_rule(candidate.rule, scratch, pos);
      if (!end || (candidate.boundary && !boundary_holds(formula, *end))) continue;
      const TokenKind kind =
          candidate.rule == Rule::IDENTIFIER ? identifier_kind(formula.substr(pos, *end - pos)) : candidate.kind;
      emit(pos, *end, kind);
      pos = *end;
      made = true;
      break;
    }
    if (made) continue;

    // An unexpected run: up to the next character at which any rule matches, or one
    // character when a rule matches right here but its candidate was passed over.
    std::size_t run_end = formula.size();
    for (std::size_t i = pos; i < formula.size(); i += unicode::char_length(formula, i)) {
      if (any_rule_matches(scratch, i)) {
        run_end = i == pos ? pos + unicode::char_length(formula, pos) : i;
        break;
      }
    }
    if (!only_white_space(formula.substr(pos, run_end - pos))) emit(pos, run_end, TokenKind::Unexpected);
    pos = run_end;
  }
  return tokens;
}

}  // namespace ostrel::parser
