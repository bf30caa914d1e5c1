// The generated property tables (unicode_tables.cpp, made by tools/gen_unicode_tables.py).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::unicode::detail {

struct Range {
  char32_t first;
  char32_t last;  // inclusive
};

enum AsciiFlag : std::uint8_t {
  ascii_xid_start = 1,
  ascii_xid_continue = 2,
  ascii_white_space = 4,
  ascii_alphanumeric = 8,
};

extern const std::uint8_t ascii_flags[128];
extern const Range xid_start_ranges[];
extern const std::size_t xid_start_count;
extern const Range xid_continue_ranges[];
extern const std::size_t xid_continue_count;
extern const Range white_space_ranges[];
extern const std::size_t white_space_count;
extern const Range alphanumeric_ranges[];
extern const std::size_t alphanumeric_count;

}  // namespace ostrel::unicode::detail
