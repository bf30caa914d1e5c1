#include "unicode/unicode.h"

#include <algorithm>

#include "unicode/unicode_tables.h"

namespace ostrel::unicode {

namespace {

using detail::Range;

bool in_ranges(const Range* ranges, std::size_t count, char32_t c) {
  const Range* end = ranges + count;
  const Range* it = std::upper_bound(ranges, end, c, [](char32_t v, const Range& r) { return v < r.first; });
  return it != ranges && c <= (it - 1)->last;
}

bool ascii_has(char32_t c, detail::AsciiFlag flag) { return (detail::ascii_flags[c] & flag) != 0; }

}  // namespace

bool is_xid_start(char32_t c) {
  if (c < 0x80) return ascii_has(c, detail::ascii_xid_start);
  return in_ranges(detail::xid_start_ranges, detail::xid_start_count, c);
}

bool is_xid_continue(char32_t c) {
  if (c < 0x80) return ascii_has(c, detail::ascii_xid_continue);
  return in_ranges(detail::xid_continue_ranges, detail::xid_continue_count, c);
}

bool is_white_space(char32_t c) {
  if (c < 0x80) return ascii_has(c, detail::ascii_white_space);
  return in_ranges(detail::white_space_ranges, detail::white_space_count, c);
}

bool is_alphanumeric(char32_t c) {
  if (c < 0x80) return ascii_has(c, detail::ascii_alphanumeric);
  return in_ranges(detail::alphanumeric_ranges, detail::alphanumeric_count, c);
}

Decoded decode_utf8(std::string_view text, std::size_t pos) {
  constexpr Decoded kBad{0xFFFD, 1};
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return kBad;
  }
  if (text.size() - pos < length) return kBad;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return kBad;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kBad;
  return {c, length};
}

std::string_view trim_white_space(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const Decoded d = decode_utf8(text, start);
    if (!is_white_space(d.code_point)) break;
    start += d.length;
  }
  std::size_t end = text.size();
  while (end > start) {
    // Step back to the start of the last character.
    std::size_t begin = end - 1;
    while (begin > start && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80 && end - begin < 4) --begin;
    const Decoded d = decode_utf8(text, begin);
    if (begin + d.length != end || !is_white_space(d.code_point)) break;
    end = begin;
  }
  return text.substr(start, end - start);
}

}  // namespace ostrel::unicode
