// Unicode properties used by identifiers, trimming and the token scanner's word boundary,
// and UTF-8 decoding that always advances.
#pragma once
#include <cstddef>
#include <string_view>
namespace ostrel::unicode {
bool is_xid_start(char32_t c);
bool is_xid_continue(char32_t c);
bool is_white_space(char32_t c);
bool is_alphanumeric(char32_t c);  // Alphabetic, or general category Nd, Nl or No
// Decodes the UTF-8 sequence at text[pos] (pos < size). Malformed or truncated sequences,
// overlongs, surrogates and values above U+10FFFF decode as U+FFFD of length 1.
struct Decoded {
  char32_t code_point;
  std::size_t length;
};
Decoded decode_utf8(std::string_view text, std::size_t pos);
inline std::size_t char_length(std::string_view text, std::size_t pos) { return decode_utf8(text, pos).length; }
// Removes leading and trailing White_Space characters.
std::string_view trim_white_space(std::string_view text);
}  // namespace ostrel::unicode
