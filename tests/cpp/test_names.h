// Readable names for parametrised cases ("Suite/Fixture.Test/3_two_1"), and the common case
// of a table: a text and what it gives.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace ostrel::test_names {

// Characters a label may have after the index; the index keeps shortened labels unique.
inline constexpr std::size_t kMaxLabelText = 40;

// The index, then the text's runs of [A-Za-z0-9] joined by '_', cut at kMaxLabelText.
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

// Labels each case by one of its text members: `LabelBy<&Case::text>()`.
template <auto Member>
struct LabelBy {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return readable_label(info.index, info.param.*Member);
  }
};

struct TextCase {
  std::string text;
  std::string expected;
};

inline void PrintTo(const TextCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << " gives " << ::testing::PrintToString(c.expected);
}

}  // namespace ostrel::test_names
