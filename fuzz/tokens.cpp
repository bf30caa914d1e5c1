// The token scanner on any text: each token's text is the formula's bytes from its start to
// its end, tokens are non-empty and follow one another in order, and what lies between
// them (and before the first, and after the last) is whitespace only: the grammar's, which
// the scanner skips, or other Unicode white space, which it drops where no rule accepts it.
// On short texts, the scanner's direct matching of each rule also agrees with the grammar's
// at every position.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "parser/grammar.h"
#include "parser/lexical.h"
#include "parser/tokenize.h"
#include "unicode/unicode.h"

namespace {

using ostrel::fuzz::fail;
namespace parser = ostrel::parser;

// Whether text[from, to) is whitespace only, character by character.
bool blank_between(std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to;) {
    if (parser::lexical::is_blank(text[i])) {
      ++i;
      continue;
    }
    const ostrel::unicode::Decoded decoded = ostrel::unicode::decode_utf8(text, i);
    if (!ostrel::unicode::is_white_space(decoded.code_point)) return false;
    i += decoded.length;
  }
  return true;
}

std::string describe(const parser::Token& token, std::size_t number) {
  return "token " + std::to_string(number) + " (" + std::string(parser::kind_name(token.kind)) + ") \"" + token.text +
         "\" at " + std::to_string(token.start) + ".." + std::to_string(token.end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view formula(reinterpret_cast<const char*>(data), size);
  const std::vector<parser::Token> tokens = parser::scan_tokens(formula);
  std::size_t previous_end = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const parser::Token& token = tokens[i];
    if (token.start >= token.end || token.end > formula.size()) {
      fail("a token's range is empty or outside the formula", formula, describe(token, i));
    }
    if (formula.substr(token.start, token.end - token.start) != token.text) {
      fail("a token's text is not the formula's bytes in its range", formula, describe(token, i));
    }
    if (token.start < previous_end) fail("a token starts before the previous one ends", formula, describe(token, i));
    if (!blank_between(formula, previous_end, token.start)) {
      fail("bytes other than whitespace between tokens", formula, describe(token, i));
    }
    previous_end = token.end;
  }
  if (!blank_between(formula, previous_end, formula.size())) {
    fail("bytes other than whitespace after the last token", formula);
  }
  // Every rule at every position costs quadratic time: short texts only.
  if (formula.size() > 24) return 0;
  parser::ParseScratch direct(formula);
  parser::ParseScratch grammar(formula);
  for (std::size_t rule = 0; rule < parser::kRuleCount; ++rule) {
    for (std::size_t pos = 0; pos <= formula.size(); ++pos) {
      const auto r = static_cast<parser::Rule>(rule);
      if (parser::candidate_end(r, direct, pos) != parser::FormulaParser::match_end(r, grammar, pos)) {
        fail("a rule matched directly ends elsewhere than in the grammar", formula,
             std::string(parser::rule_name(r)) + " at " + std::to_string(pos));
      }
    }
  }
  return 0;
}
