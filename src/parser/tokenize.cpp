// The token scanner. It has no lexical grammar of its own: at each position it runs a fixed
// list of grammar rules, each anchored there, and the first one accepted makes the token.
// Text that no rule accepts is gathered into an unexpected run up to the next position at
// which some rule matches.
#include "parser/tokenize.h"

#include <array>
#include <bit>
#include <cstdint>

#include "parser/ast.h"
#include "parser/grammar.h"
#include "parser/language.h"
#include "parser/lexical.h"
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
    if (FormulaParser::match_end(kCandidates[static_cast<std::size_t>(std::countr_zero(m))].rule, scratch, pos)) {
      return true;
    }
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
      const std::optional<std::size_t> end =
          is_one_byte_literal(candidate.rule, static_cast<unsigned char>(formula[pos]))
              ? pos + 1
              : FormulaParser::match_end(candidate.rule, scratch_, pos);
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
