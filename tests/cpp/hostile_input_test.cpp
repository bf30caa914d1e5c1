// Large and adversarial texts: the scanner and the parser finish on each, in order.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "parser/parse.h"
#include "parser/tokenize.h"

namespace ostrel::parser {
namespace {

// `head`, then `piece` repeated until the repeats make at least `size` bytes.
std::string repeat(std::string_view head, std::string_view piece, std::size_t size) {
  std::string out(head);
  while (out.size() - head.size() < size) out += piece;
  return out;
}

TEST(HostileInput, ScannerAndParserFinish) {
  const std::size_t size = 1 << 18;
  const std::string texts[] = {repeat("=", "@a + round(@b; 2) * 3 - sum(children) + ", size) + "1",
                               repeat("", "@{", size),
                               repeat("=", "@{", size),
                               repeat("", "1,", size),
                               repeat("", "1.1", size),
                               repeat("", "$ ", size),
                               repeat("=", "(", size),
                               repeat("=", "if(", size),
                               repeat("=", "when(1;1;", size),
                               repeat("", "children[1 ", size),
                               repeat("@{", "{a}", size)};
  for (const std::string& text : texts) {
    std::size_t covered = 0;
    for (const Token& token : scan_tokens(text)) {
      ASSERT_GE(token.start, covered);
      covered = token.end;
    }
    EXPECT_LE(covered, text.size());
    (void)FormulaParser::parse_formula(text);
    (void)parse_condition(text);
  }
  EXPECT_TRUE(FormulaParser::parse_formula(texts[0]).ok());
  EXPECT_EQ(scan_tokens(texts[1]).size(), 1u);  // one unexpected run, found in linear time
}

}  // namespace
}  // namespace ostrel::parser
