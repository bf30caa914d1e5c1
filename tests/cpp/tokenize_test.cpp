// The token scanner: kinds, boundaries, unexpected runs, and byte ranges on any input.
#include "parser/tokenize.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "test_names.h"

namespace ostrel::parser {
namespace {

using test_names::LabelBy;

// Tokens as "text:kind" joined by " | ".
std::string scan(std::string_view formula) {
  std::string out;
  for (const Token& token : scan_tokens(formula)) {
    if (!out.empty()) out += " | ";
    out += token.text + ":" + std::string(kind_name(token.kind));
  }
  return out;
}

struct ScanCase {
  std::string formula;
  std::string expected;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.formula) << " gives " << ::testing::PrintToString(c.expected);
}

class Scan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scan, Tokens) { EXPECT_EQ(scan(GetParam().formula), GetParam().expected) << GetParam().formula; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, Scan,
    ::testing::Values(
        ScanCase{"", ""}, ScanCase{" \t\r\n", ""},
        ScanCase{"@price * 2", "@price:nodereference | *:operator | 2:number"},
        ScanCase{"2**3", "2:number | **:operator | 3:number"}, ScanCase{"2^3", "2:number | ^:operator | 3:number"},
        ScanCase{"a<>b", "a:unexpected | <>:operator | b:unexpected"},
        ScanCase{"1>=2<=3==4!=5>6<7=8",
                 "1:number | >=:operator | 2:number | <=:operator | 3:number | ==:operator | "
                 "4:number | !=:operator | 5:number | >:operator | 6:number | <:operator | "
                 "7:number | =:operator | 8:number"},
        ScanCase{"NOT x", "NOT:operator | x:unexpected"}, ScanCase{"notable", "notable:unexpected"},
        ScanCase{"a and b OR c", "a:unexpected | and:operator | b:unexpected | OR:operator | c:unexpected"},
        ScanCase{"sum(@a; @b)",
                 "sum:aggregation | (:parenthesis | @a:nodereference | ;:operator | "
                 "@b:nodereference | ):parenthesis"},
        ScanCase{"Total(@a)/ratio(@b)",
                 "Total:modifier | (:parenthesis | @a:nodereference | ):parenthesis | "
                 "/:operator | ratio:modifier | (:parenthesis | @b:nodereference | "
                 "):parenthesis"},
        ScanCase{"round iferror IF when", "round:function | iferror:function | IF:conditional | when:conditional"},
        ScanCase{"empty", "empty:unexpected"}, ScanCase{"empty2", "empty2:unexpected"},
        ScanCase{"=-5+x", "=:operator | -:operator | 5:number | +:operator | x:unexpected"},
        ScanCase{"@{Unit cost}[2]+@Größe", "@{Unit cost}[2]:nodereference | +:operator | @Größe:nodereference"}),
    LabelBy<&ScanCase::formula>());

INSTANTIATE_TEST_SUITE_P(Boundaries, Scan,
                         ::testing::Values(ScanCase{"children + 1", "children :nodereference | +:operator | 1:number"},
                                           ScanCase{"children_cost", "children_cost:unexpected"},
                                           ScanCase{"Children[2]", "Children[2]:nodereference"},
                                           ScanCase{"right[1]*2", "right[1]:nodereference | *:operator | 2:number"},
                                           ScanCase{"children x", "children:unexpected | x:unexpected"},
                                           ScanCase{"childrenö", "childrenö:unexpected"},
                                           ScanCase{"not(1)",
                                                    "not:operator | (:parenthesis | 1:number | ):parenthesis"},
                                           ScanCase{"or2", "or2:unexpected"}),
                         LabelBy<&ScanCase::formula>());

INSTANTIATE_TEST_SUITE_P(Numbers, Scan,
                         ::testing::Values(ScanCase{"50%", "50%:number"},
                                           ScanCase{"5%3", "5:number | %:operator | 3:number"},
                                           ScanCase{"1.234,5 + 1,5", "1.234,5:number | +:operator | 1,5:number"},
                                           ScanCase{"1,234,56", "1,234:number | ,:unexpected | 56:number"},
                                           ScanCase{".5", ".:unexpected | 5:number"}),
                         LabelBy<&ScanCase::formula>());

INSTANTIATE_TEST_SUITE_P(UnexpectedRuns, Scan,
                         ::testing::Values(ScanCase{"$$ 5", "$$ :unexpected | 5:number"},
                                           ScanCase{"  $$", "$$:unexpected"}, ScanCase{"$ $ $", "$ $ $:unexpected"},
                                           ScanCase{"\xC2\xA0", ""},
                                           ScanCase{"a\xC2\xA0\xE2\x80\x83"
                                                    "b",
                                                    "a:unexpected | b:unexpected"},
                                           ScanCase{"@{open", "@{:unexpected | open:unexpected"},
                                           ScanCase{"@ 1", "@ :unexpected | 1:number"},
                                           ScanCase{"#{}", "#{}:unexpected"}),
                         LabelBy<&ScanCase::formula>());

TEST(Scan, OffsetsAreByteOffsets) {
  const std::string formula = "  @Größe +children";
  const std::vector<Token> tokens = scan_tokens(formula);
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].start, 2u);
  EXPECT_EQ(tokens[0].end, 10u);
  EXPECT_EQ(tokens[1].start, 11u);
  EXPECT_EQ(tokens[2].start, 12u);
  EXPECT_EQ(tokens[2].end, formula.size());
}

// On any text, tokens are in order, hold their exact bytes, and only whitespace lies between.
TEST(Scan, RandomTextKeepsEveryByte) {
  const std::vector<std::string> pieces = {
      "@",        "{", "}", "(", ")", "[", "]", "1", ",",        ".",   "%", " ", "\t", "a", "_", "ö",
      "\xC2\xA0", "=", "<", ">", "!", "*", "^", ";", "children", "not", "$", "-", "+",  "/", "E", "\xE4\xB8\xAD"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    std::size_t previous_end = 0;
    for (const Token& token : scan_tokens(text)) {
      ASSERT_LE(previous_end, token.start) << text;
      ASSERT_LT(token.start, token.end) << text;
      ASSERT_EQ(token.text, text.substr(token.start, token.end - token.start)) << text;
      for (std::size_t i = previous_end; i < token.start; ++i) {
        ASSERT_TRUE(text[i] == ' ' || text[i] == '\t' || static_cast<unsigned char>(text[i]) >= 0x80) << text;
      }
      previous_end = token.end;
    }
  }
}

}  // namespace
}  // namespace ostrel::parser
