// The lexical helpers shared by the grammar, the direct parser, the token scanner and the
// tree tools: the whitespace the grammar skips, ASCII case folding of keywords, and the
// walk of a braced node name ("@{...}").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "unicode/unicode.h"

namespace ostrel::parser::lexical {

// The grammar's whitespace: space, tab, carriage return, line feed. (Not Unicode white
// space, which only trimming uses.)
constexpr bool is_blank(char c) {
  constexpr std::uint64_t kBlanks = 1ull << ' ' | 1ull << '\t' | 1ull << '\r' | 1ull << '\n';
  const auto b = static_cast<unsigned char>(c);
  return b <= ' ' && (kBlanks >> b & 1u) != 0;
}
constexpr bool is_blank(unsigned char b) { return is_blank(static_cast<char>(b)); }

// The first position at or after `pos` that is not whitespace.
constexpr std::size_t skip_blanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_blank(text[pos])) ++pos;
  return pos;
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_digit(unsigned char b) { return is_digit(static_cast<char>(b)); }
constexpr bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_ascii_letter(unsigned char b) { return is_ascii_letter(static_cast<char>(b)); }

// ASCII upper-case letters to lower case; every other byte unchanged.
constexpr char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `text` from `pos` begins with `lower` (written in lower case) under ASCII folding.
constexpr bool starts_with_folded(std::string_view text, std::size_t pos, std::string_view lower) {
  if (pos > text.size() || text.size() - pos < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (fold_ascii(text[pos + i]) != lower[i]) return false;
  }
  return true;
}

// Same length, and equal under ASCII folding; `lower` is written in lower case.
constexpr bool equals_folded(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && starts_with_folded(text, 0, lower);
}

// One step of a braced name's walk, ("{" ~ (!"{" ~ !"}" ~ ANY)* ~ "}" | !"}" ~ ANY)*, from a
// loop head `at` (at < size, text[at] != '}') to the next: a "{" whose next brace is "}" is a
// group taken whole, any other character is taken alone. The walk ends at the first "}"
// that is a loop head, or at the end of the text.
inline std::size_t braced_name_step(std::string_view text, std::size_t at) {
  if (text[at] == '{') {
    const std::size_t brace = text.find_first_of("{}", at + 1);
    if (brace != std::string_view::npos && text[brace] == '}') return brace + 1;
    return at + 1;
  }
  return at + unicode::char_length(text, at);
}

// Whether the braced name's walk ends at `at`.
constexpr bool braced_name_ends(std::string_view text, std::size_t at) { return at >= text.size() || text[at] == '}'; }

}  // namespace ostrel::parser::lexical
