// The token scanner: cuts any text into classified tokens for display and for the tools
// that rewrite node references by byte range. It never fails; what no rule accepts becomes
// an unexpected token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parser/grammar.h"

namespace ostrel::parser {

enum class TokenKind : std::uint8_t {
  Number,
  Operator,
  NodeReference,
  Modifier,
  Function,
  Aggregation,
  Conditional,
  Parenthesis,
  Unexpected,
};

// The kind's fixed lower-case name ("nodereference").
std::string_view kind_name(TokenKind kind);

struct Token {
  std::string text;   // the formula's bytes from start to end
  std::size_t start;  // byte offsets
  std::size_t end;
  TokenKind kind;
};

std::vector<Token> scan_tokens(std::string_view formula);

// A token as the scanner finds it, before its text is copied, with the grammar rule that
// made it: none for an unexpected run.
struct ScannedToken {
  std::size_t start;
  std::size_t end;
  TokenKind kind;
  std::optional<Rule> rule;
};

// The end of `rule`'s match at byte `pos` of the scratch's text, exactly as
// `FormulaParser::match_end` gives it, for the rules the scanner tries: matched directly.
std::optional<std::size_t> candidate_end(Rule rule, ParseScratch& scratch, std::size_t pos);

// The scanner one token at a time, for the tools that look at a few tokens of each of many
// formulas and need no copies of their texts. `scan_tokens` is this with the texts copied.
class TokenScanner {
 public:
  explicit TokenScanner(std::string_view formula) : scratch_(formula) {}
  std::optional<ScannedToken> next();

 private:
  ParseScratch scratch_;
  std::size_t pos_ = 0;
};

}  // namespace ostrel::parser
