// The token scanner: kinds, boundaries and unexpected runs (byte ranges: the tokens harness).
#include "parser/tokenize.h"

#include <gtest/gtest.h>

#include <string>

#include "test_names.h"

namespace ostrel::parser {
namespace {

// Tokens as "text:kind" joined by " | ".
std::string scan(std::string_view formula) {
  std::string out;
  for (const Token& token : scan_tokens(formula)) {
    if (!out.empty()) out += " | ";
    out += token.text + ":" + std::string(kind_name(token.kind));
  }
  return out;
}

using Case = test_names::TextCase;

class Scan : public ::testing::TestWithParam<Case> {};

TEST_P(Scan, Tokens) { EXPECT_EQ(scan(GetParam().text), GetParam().expected) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, Scan,
    ::testing::Values(
        Case{"", ""}, Case{" \t\r\n", ""}, Case{"@price * 2", "@price:nodereference | *:operator | 2:number"},
        Case{"2**3", "2:number | **:operator | 3:number"}, Case{"2^3", "2:number | ^:operator | 3:number"},
        Case{"a<>b", "a:unexpected | <>:operator | b:unexpected"},
        Case{"1>=2<=3==4!=5>6<7=8",
             "1:number | >=:operator | 2:number | <=:operator | 3:number | ==:operator | "
             "4:number | !=:operator | 5:number | >:operator | 6:number | <:operator | "
             "7:number | =:operator | 8:number"},
        Case{"NOT x", "NOT:operator | x:unexpected"}, Case{"notable", "notable:unexpected"},
        Case{"a and b OR c", "a:unexpected | and:operator | b:unexpected | OR:operator | c:unexpected"},
        Case{"sum(@a; @b)",
             "sum:aggregation | (:parenthesis | @a:nodereference | ;:operator | "
             "@b:nodereference | ):parenthesis"},
        Case{"Total(@a)/ratio(@b)",
             "Total:modifier | (:parenthesis | @a:nodereference | ):parenthesis | "
             "/:operator | ratio:modifier | (:parenthesis | @b:nodereference | "
             "):parenthesis"},
        Case{"round iferror IF when", "round:function | iferror:function | IF:conditional | when:conditional"},
        Case{"empty", "empty:unexpected"}, Case{"empty2", "empty2:unexpected"},
        Case{"=-5+x", "=:operator | -:operator | 5:number | +:operator | x:unexpected"},
        Case{"@{Unit cost}[2]+@Größe", "@{Unit cost}[2]:nodereference | +:operator | @Größe:nodereference"}));

INSTANTIATE_TEST_SUITE_P(Boundaries, Scan,
                         ::testing::Values(Case{"children + 1", "children :nodereference | +:operator | 1:number"},
                                           Case{"children_cost", "children_cost:unexpected"},
                                           Case{"Children[2]", "Children[2]:nodereference"},
                                           Case{"right[1]*2", "right[1]:nodereference | *:operator | 2:number"},
                                           Case{"children x", "children:unexpected | x:unexpected"},
                                           Case{"childrenö", "childrenö:unexpected"},
                                           Case{"not(1)", "not:operator | (:parenthesis | 1:number | ):parenthesis"},
                                           Case{"or2", "or2:unexpected"}));

INSTANTIATE_TEST_SUITE_P(Numbers, Scan,
                         ::testing::Values(Case{"50%", "50%:number"}, Case{"5%3", "5:number | %:operator | 3:number"},
                                           Case{"1.234,5 + 1,5", "1.234,5:number | +:operator | 1,5:number"},
                                           Case{"1,234,56", "1,234:number | ,:unexpected | 56:number"},
                                           Case{".5", ".:unexpected | 5:number"}));

INSTANTIATE_TEST_SUITE_P(UnexpectedRuns, Scan,
                         ::testing::Values(Case{"$$ 5", "$$ :unexpected | 5:number"}, Case{"  $$", "$$:unexpected"},
                                           Case{"$ $ $", "$ $ $:unexpected"}, Case{"\xC2\xA0", ""},
                                           Case{"a\xC2\xA0\xE2\x80\x83"
                                                "b",
                                                "a:unexpected | b:unexpected"},
                                           Case{"@{open", "@{:unexpected | open:unexpected"},
                                           Case{"@ 1", "@ :unexpected | 1:number"}, Case{"#{}", "#{}:unexpected"}));

}  // namespace
}  // namespace ostrel::parser
