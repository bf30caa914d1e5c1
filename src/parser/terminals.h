// The grammar's terminals that both parsers match: numbers, comparison operators,
// identifiers and the start of an operand. The rule-at-a-time machine and the direct parser
// call these, so the two cannot read a number or an operator differently.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "parser/ast.h"
#include "parser/grammar.h"
#include "parser/lexical.h"
#include "unicode/unicode.h"

namespace ostrel::parser::terminals {

using lexical::is_digit;

// Where the next element of a sequence may start: `pos` itself inside atomic rules, past
// whitespace in normal ones.
struct NoBlanks {
  constexpr std::size_t operator()(std::size_t pos) const { return pos; }
};

// NUMBER at `pos`, its end (`pos` when none begins there):
//   D+ ~ ("," ~ D3)+ ~ "." ~ D+  |  D+ ~ ("." ~ D3)+ ~ "," ~ D+  |  D+ ~ ("," ~ D3){2,}
//   | D+ ~ ("." ~ D3){2,}  |  D+ ~ ("." | ",") ~ D+  |  D+
// the first form that matches. `next(p)` is where an element after position p may start;
// every element but the first is read there, so that the rule called outside an atomic one
// takes the whitespace between its elements, as every normal rule does.
template <class Next = NoBlanks>
constexpr std::size_t number_end(std::string_view text, std::size_t pos, Next next = {}) {
  const auto digit_at = [&](std::size_t p) { return p < text.size() && is_digit(text[p]); };
  // D+ from a digit at `p`.
  const auto digits_end = [&](std::size_t p) {
    for (++p;;) {
      const std::size_t q = next(p);
      if (!digit_at(q)) return p;
      p = q + 1;
    }
  };
  // Greedy (separator ~ D3) groups after `p`: their end and their count.
  const auto groups_end = [&](std::size_t p, char separator) {
    std::size_t count = 0;
    for (;;) {
      std::size_t q = next(p);
      if (q >= text.size() || text[q] != separator) break;
      bool three = true;
      for (int i = 0; i < 3 && three; ++i) {
        q = next(q + 1);
        three = digit_at(q);
      }
      if (!three) break;
      p = q + 1;
      ++count;
    }
    return std::pair{p, count};
  };
  // A separator and D+ after `p`: the end, or nothing.
  const auto fraction_end = [&](std::size_t p, char separator) -> std::optional<std::size_t> {
    const std::size_t q = next(p);
    if (q >= text.size() || text[q] != separator) return std::nullopt;
    const std::size_t d = next(q + 1);
    if (!digit_at(d)) return std::nullopt;
    return digits_end(d);
  };

  if (!digit_at(pos)) return pos;
  const std::size_t whole = digits_end(pos);
  const auto [comma_end, commas] = groups_end(whole, ',');
  const auto [point_end, points] = groups_end(whole, '.');
  if (commas >= 1) {
    if (auto end = fraction_end(comma_end, '.')) return *end;
  }
  if (points >= 1) {
    if (auto end = fraction_end(point_end, ',')) return *end;
  }
  if (commas >= 2) return comma_end;
  if (points >= 2) return point_end;
  if (auto end = fraction_end(whole, '.')) return *end;
  if (auto end = fraction_end(whole, ',')) return *end;
  return whole;
}

// OPERAND_START, ASCII_DIGIT | "(" | "@" | XID_START | "_": whether one begins at `p`.
inline bool operand_starts(std::string_view text, std::size_t p) {
  if (p >= text.size()) return false;
  const char c = text[p];
  if (is_digit(c) || c == '(' || c == '@' || c == '_') return true;
  return unicode::is_xid_start(unicode::decode_utf8(text, p).code_point);
}

// IDENTIFIER, (XID_START | "_") ~ (XID_CONTINUE | "_")*: its end, or `p` when nothing matches.
inline std::size_t identifier_end(std::string_view text, std::size_t p) {
  // ASCII's XID_Start and XID_Continue (letters, and letters and digits) without the table.
  const auto ascii_word = [](unsigned char c) { return c == '_' || lexical::is_ascii_letter(c) || is_digit(c); };
  if (p >= text.size()) return p;
  if (const auto first = static_cast<unsigned char>(text[p]); first < 0x80) {
    if (!ascii_word(first) || is_digit(first)) return p;
    ++p;
  } else {
    const unicode::Decoded d = unicode::decode_utf8(text, p);
    if (!unicode::is_xid_start(d.code_point)) return p;
    p += d.length;
  }
  while (p < text.size()) {
    if (const auto c = static_cast<unsigned char>(text[p]); c < 0x80) {
      if (!ascii_word(c)) break;
      ++p;
      continue;
    }
    const unicode::Decoded d = unicode::decode_utf8(text, p);
    if (!unicode::is_xid_continue(d.code_point)) break;
    p += d.length;
  }
  return p;
}

// The spellings of the comparison operators in the order COMPARISON_OP tries them,
// GREATER_OR_EQUAL | LESS_OR_EQUAL | EQUAL_TO | NOT_EQUAL | GREATER_THAN | LESS_THAN, with
// each rule's own choice of spellings in its order.
struct ComparisonSpelling {
  std::string_view text;
  Rule rule;
  ast::ComparisonOperator op;
};
inline constexpr ComparisonSpelling kComparisonSpellings[] = {
    {">=", Rule::GREATER_OR_EQUAL, ast::ComparisonOperator::GreaterOrEqual},
    {"<=", Rule::LESS_OR_EQUAL, ast::ComparisonOperator::LessOrEqual},
    {"==", Rule::EQUAL_TO, ast::ComparisonOperator::EqualTo},
    {"!=", Rule::NOT_EQUAL, ast::ComparisonOperator::NotEqual},
    {"<>", Rule::NOT_EQUAL, ast::ComparisonOperator::NotEqual},
    {">", Rule::GREATER_THAN, ast::ComparisonOperator::GreaterThan},
    {"<", Rule::LESS_THAN, ast::ComparisonOperator::LessThan},
};

// The first spelling at `pos`, of any comparison rule (`only` unset) or of `only`'s.
constexpr const ComparisonSpelling* comparison_at(std::string_view text, std::size_t pos,
                                                  std::optional<Rule> only = std::nullopt) {
  const std::string_view rest = text.substr(pos);
  for (const ComparisonSpelling& s : kComparisonSpellings) {
    if ((!only || s.rule == *only) && rest.starts_with(s.text)) return &s;
  }
  return nullptr;
}

// The operator a comparison rule stands for.
constexpr std::optional<ast::ComparisonOperator> comparison_operator(Rule rule) {
  for (const ComparisonSpelling& s : kComparisonSpellings) {
    if (s.rule == rule) return s.op;
  }
  return std::nullopt;
}

}  // namespace ostrel::parser::terminals
