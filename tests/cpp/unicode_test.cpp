// Unicode properties and UTF-8 decoding.
#include "unicode/unicode.h"

#include <gtest/gtest.h>

namespace ostrel::unicode {
namespace {

TEST(Unicode, Properties) {
  struct Case {
    char32_t c;
    bool start, cont, space, alnum;
  };
  const Case cases[] = {
      {U'a', true, true, false, true},      {U'_', false, true, false, false},   {U'0', false, true, false, true},
      {U'ß', true, true, false, true},      {U'中', true, true, false, true},    {0x0301, false, true, false, false},
      {U' ', false, false, true, false},    {0x00A0, false, false, true, false}, {0x3000, false, false, true, false},
      {0x200B, false, false, false, false}, {0x00B2, false, false, false, true}, {0x2160, true, true, false, true},
      {0x0661, false, true, false, true},   {U'-', false, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_xid_start(c.c), c.start) << std::hex << static_cast<unsigned>(c.c);
    EXPECT_EQ(is_xid_continue(c.c), c.cont) << std::hex << static_cast<unsigned>(c.c);
    EXPECT_EQ(is_white_space(c.c), c.space) << std::hex << static_cast<unsigned>(c.c);
    EXPECT_EQ(is_alphanumeric(c.c), c.alnum) << std::hex << static_cast<unsigned>(c.c);
  }
}

TEST(Unicode, DecodeAlwaysAdvances) {
  EXPECT_EQ(decode_utf8("\xC3\xB6", 0).code_point, 0xF6u);
  EXPECT_EQ(decode_utf8("\xF0\x9F\x98\x80", 0).length, 4u);
  for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8"}) {
    const Decoded d = decode_utf8(bad, 0);
    EXPECT_EQ(d.code_point, 0xFFFDu) << bad;
    EXPECT_EQ(d.length, 1u) << bad;
  }
  EXPECT_EQ(trim_white_space("\xC2\xA0 x y\t\xE3\x80\x80"), "x y");
  EXPECT_EQ(trim_white_space("\xC2\xA0"), "");
}

}  // namespace
}  // namespace ostrel::unicode
