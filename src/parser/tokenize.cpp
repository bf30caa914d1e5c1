// The token scanner. It has no lexical grammar of its own: at each position it tries a fixed
// list of grammar rules, each anchored there, and the first one accepted makes the token.
// Text that no rule accepts is gathered into an unexpected run up to the next position at
// which some rule matches. The rules are a handful of terminals, matched here directly
// (`candidate_end`) rather than through the rule machine, which cost most of the scanner's time.
#include "parser/tokenize.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "parser/ast.h"
#include "parser/grammar.h"
#include "parser/language.h"
#include "parser/lexical.h"
#include "parser/terminals.h"
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

}  // namespace

namespace {

// Bit i is set when candidate i may start with the byte: the others need not be tried.
constexpr std::array<std::uint32_t, 256> kCandidatesByByte = [] {
  std::array<std::uint32_t, 256> masks{};
  for (std::size_t b = 0; b < masks.size(); ++b) {
    for (std::size_t i = 0; i < kCandidates.size(); ++i) {
      if (may_start(kCandidates[i].rule, static_cast<unsigned char>(b))) masks[b] |= std::uint32_t{1} << i;
    }
  }
  return masks;
}();

std::uint32_t candidates_at(std::string_view text, std::size_t pos) {
  return kCandidatesByByte[static_cast<unsigned char>(text[pos])];
}

bool boundary_holds(std::string_view text, std::size_t end) {
  if (end >= text.size()) return true;
  if (text[end] == '_') return false;
  return !unicode::is_alphanumeric(unicode::decode_utf8(text, end).code_point);
}

TokenKind identifier_kind(std::string_view name) {
  const language::Keyword* keyword = language::find_keyword(name);
  if (keyword == nullptr) return TokenKind::Unexpected;
  switch (keyword->kind) {
    case language::KeywordKind::Modifier:
      return TokenKind::Modifier;
    case language::KeywordKind::Function:
      return TokenKind::Function;
    case language::KeywordKind::Aggregation:
      return TokenKind::Aggregation;
    case language::KeywordKind::Conditional:
      return TokenKind::Conditional;
  }
  return TokenKind::Unexpected;
}

bool any_rule_matches(ParseScratch& scratch, std::size_t pos) {
  for (std::uint32_t m = candidates_at(scratch.text, pos); m != 0; m &= m - 1) {
    if (candidate_end(kCandidates[static_cast<std::size_t>(std::countr_zero(m))].rule, scratch, pos)) return true;
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

// ^"children" or ^"right" ~ (LBRACKET ~ INDEX ~ RBRACKET)?, a normal rule: blanks may stand
// between its elements and between the index's digits, and the blanks before an index that
// does not follow are taken all the same.
std::optional<std::size_t> keyword_reference_end(std::string_view text, std::size_t pos, std::string_view keyword) {
  using lexical::skip_blanks;
  if (!lexical::starts_with_folded(text, pos, keyword)) return std::nullopt;
  const auto byte_at = [&](std::size_t p) { return p < text.size() ? text[p] : '\0'; };
  const std::size_t bracket = skip_blanks(text, pos + keyword.size());
  if (byte_at(bracket) != '[') return bracket;
  std::size_t p = skip_blanks(text, bracket + 1);
  if (!lexical::is_digit(byte_at(p))) return bracket;
  while (lexical::is_digit(byte_at(p))) p = skip_blanks(text, p + 1);
  if (byte_at(p) != ']') return bracket;
  return p + 1;
}

// NODE_REFERENCE, compound-atomic: (LCURLYAT ~ CURLY_IDENTIFIER ~ RCURLY | AT ~ IDENTIFIER) ~
// (LBRACKET ~ INDEX ~ RBRACKET)? with no blanks anywhere.
std::optional<std::size_t> node_reference_end(ParseScratch& scratch, std::size_t pos) {
  const std::string_view text = scratch.text;
  if (pos >= text.size() || text[pos] != '@') return std::nullopt;
  std::size_t p = pos + 1;
  if (p < text.size() && text[p] == '{') {
    // No "}" after the name: "@" followed by an identifier cannot match either, at "{".
    p = curly_identifier_end(scratch, p + 1);
    if (p >= text.size()) return std::nullopt;
    ++p;
  } else {
    p = terminals::identifier_end(text, p);
    if (p == pos + 1) return std::nullopt;
  }
  if (p < text.size() && text[p] == '[') {
    std::size_t q = p + 1;
    while (q < text.size() && lexical::is_digit(text[q])) ++q;
    if (q > p + 1 && q < text.size() && text[q] == ']') return q + 1;
  }
  return p;
}

// NUMBER_OR_PERCENT, atomic: NUMBER ~ ("%" ~ !(WHITESPACE* ~ OPERAND_START))?
std::optional<std::size_t> number_or_percent_end(std::string_view text, std::size_t pos) {
  const std::size_t end = terminals::number_end(text, pos);
  if (end == pos) return std::nullopt;
  if (end < text.size() && text[end] == '%' && !terminals::operand_starts(text, lexical::skip_blanks(text, end + 1))) {
    return end + 1;
  }
  return end;
}

std::optional<std::size_t> folded_keyword_end(std::string_view text, std::size_t pos, std::string_view keyword) {
  if (!lexical::starts_with_folded(text, pos, keyword)) return std::nullopt;
  return pos + keyword.size();
}

}  // namespace

std::optional<std::size_t> candidate_end(Rule rule, ParseScratch& scratch, std::size_t pos) {
  const std::string_view text = scratch.text;
  if (pos < text.size() && is_one_byte_literal(rule, static_cast<unsigned char>(text[pos]))) return pos + 1;
  switch (rule) {
    case Rule::CHILDREN_REFERENCE:
      return keyword_reference_end(text, pos, "children");
    case Rule::RIGHT_REFERENCE:
      return keyword_reference_end(text, pos, "right");
    case Rule::NODE_REFERENCE:
      return node_reference_end(scratch, pos);
    case Rule::NUMBER_OR_PERCENT:
      return number_or_percent_end(text, pos);
    case Rule::IDENTIFIER: {
      const std::size_t end = terminals::identifier_end(text, pos);
      return end == pos ? std::nullopt : std::optional<std::size_t>(end);
    }
    case Rule::NOT:
      return folded_keyword_end(text, pos, "not");
    case Rule::AND:
      return folded_keyword_end(text, pos, "and");
    case Rule::OR:
      return folded_keyword_end(text, pos, "or");
    case Rule::EMPTY:
      return folded_keyword_end(text, pos, "empty");
    case Rule::POWER:  // "^" is a one-byte literal
      return text.substr(std::min(pos, text.size())).starts_with("**") ? std::optional<std::size_t>(pos + 2)
                                                                       : std::nullopt;
    case Rule::GREATER_OR_EQUAL:
    case Rule::LESS_OR_EQUAL:
    case Rule::EQUAL_TO:
    case Rule::NOT_EQUAL:
    case Rule::GREATER_THAN:
    case Rule::LESS_THAN:
      if (const terminals::ComparisonSpelling* s = terminals::comparison_at(text, pos, rule)) {
        return pos + s->text.size();
      }
      return std::nullopt;
    default:
      return FormulaParser::match_end(rule, scratch, pos);
  }
}

std::string_view kind_name(TokenKind kind) {
  static constexpr std::array<std::string_view, 9> kNames = {"number",      "operator",    "nodereference",
                                                             "modifier",    "function",    "aggregation",
                                                             "conditional", "parenthesis", "unexpected"};
  return kNames.at(static_cast<std::size_t>(kind));
}

std::optional<ScannedToken> TokenScanner::next() {
  const std::string_view formula = scratch_.text;
  for (;;) {
    const std::size_t pos = lexical::skip_blanks(formula, pos_);
    if (pos >= formula.size()) {
      pos_ = pos;
      return std::nullopt;
    }

    for (std::uint32_t m = candidates_at(formula, pos); m != 0; m &= m - 1) {
      const Candidate& candidate = kCandidates[static_cast<std::size_t>(std::countr_zero(m))];
      const std::optional<std::size_t> end = candidate_end(candidate.rule, scratch_, pos);
      if (!end || (candidate.boundary && !boundary_holds(formula, *end))) continue;
      const TokenKind kind =
          candidate.rule == Rule::IDENTIFIER ? identifier_kind(formula.substr(pos, *end - pos)) : candidate.kind;
      pos_ = *end;
      return ScannedToken{pos, *end, kind, candidate.rule};
    }

    // An unexpected run: up to the next character at which any rule matches, or one
    // character when a rule matches right here but its candidate was passed over.
    std::size_t run_end = formula.size();
    for (std::size_t i = pos; i < formula.size(); i += unicode::char_length(formula, i)) {
      if (any_rule_matches(scratch_, i)) {
        run_end = i == pos ? pos + unicode::char_length(formula, pos) : i;
        break;
      }
    }
    pos_ = run_end;
    if (!only_white_space(formula.substr(pos, run_end - pos))) {
      return ScannedToken{pos, run_end, TokenKind::Unexpected, std::nullopt};
    }
  }
}

std::vector<Token> scan_tokens(std::string_view formula) {
  std::vector<Token> tokens;
  tokens.reserve(formula.size() / 3 + 1);
  TokenScanner scanner(formula);
  while (const std::optional<ScannedToken> token = scanner.next()) {
    tokens.push_back(Token{std::string(formula.substr(token->start, token->end - token->start)), token->start,
                           token->end, token->kind});
  }
  return tokens;
}

}  // namespace ostrel::parser
