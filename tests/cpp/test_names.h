// The common case of a parametrised table: a text and what it gives, printed readably.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace ostrel::test_names {

struct TextCase {
  std::string text;
  std::string expected;
};

inline void PrintTo(const TextCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << " gives " << ::testing::PrintToString(c.expected);
}

}  // namespace ostrel::test_names
