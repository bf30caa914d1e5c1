// Readable names for the cases of parametrised tests, so that a failing case can be found
// by its name: "Suite/Fixture.Test/3_two_1" rather than the raw bytes of the parameter; and
// the common case of a table, a text and what it gives.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace ostrel::test_names {

// Characters a label may have after the index; the index keeps shortened labels unique.
inline constexpr std::size_t kMaxLabelText = 40;

// The case index, then the case text with every run of characters outside [A-Za-z0-9]
// turned into one '_' (never trailing), ending before the kMaxLabelText limit is passed.
// "=@two + 1" at index 3 gives "3_two_1"; a text with nothing left gives the index alone.
inline std::string readable_label(std::size_t index, std::string_view text) {
  std::string label = std::to_string(index);
  const std::size_t start = label.size();
  bool gap = true;  // at the start, or after a character that was not kept
  for (const char c : text) {
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!kept) {
      gap = true;
      continue;
    }
    if (label.size() - start + (gap ? 2 : 1) > kMaxLabelText) break;
    if (gap) label += '_';
    label += c;
    gap = false;
  }
  return label;
}

// A name generator for INSTANTIATE_TEST_SUITE_P that labels each case by one of its
// text members: `LabelBy<&Case::text>()`.
template <auto Member>
struct LabelBy {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return readable_label(info.index, info.param.*Member);
  }
};

// A text (a formula, a condition) and what it gives, labelled by the text.
struct TextCase {
  std::string text;
  std::string expected;
};

inline void PrintTo(const TextCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << " gives " << ::testing::PrintToString(c.expected);
}

}  // namespace ostrel::test_names
