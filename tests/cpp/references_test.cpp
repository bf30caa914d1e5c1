// Node names to reference texts and back, decided by the scanner and checked by reading back.
#include "references.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "parser/lexical.h"
#include "parser/parse.h"
#include "parser/reference_tokens.h"

namespace ostrel {
namespace {

struct PreferredCase {
  std::string name;
  std::optional<std::string> expected;
};

void PrintTo(const PreferredCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.name) << " gives " << ::testing::PrintToString(c.expected);
}

class PreferredReference : public ::testing::TestWithParam<PreferredCase> {};

TEST_P(PreferredReference, IsTheFirstFormThatReadsBackAsTheName) {
  EXPECT_EQ(get_preferred_reference_format(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, PreferredReference,
                         ::testing::Values(PreferredCase{"Cost", "@Cost"}, PreferredCase{"Unit cost", "@{Unit cost}"},
                                           PreferredCase{"", std::nullopt}, PreferredCase{"a}b", std::nullopt},
                                           PreferredCase{"_x1", "@_x1"}, PreferredCase{"Größe", "@Größe"},
                                           PreferredCase{"1st", "@{1st}"}, PreferredCase{"a-b", "@{a-b}"},
                                           PreferredCase{"sum", "@sum"},
                                           // Plain "@a[1]" reads as node a, index 1; the braces keep the name whole.
                                           PreferredCase{"a[1]", "@{a[1]}"}, PreferredCase{"a[x]", "@{a[x]}"},
                                           // Braces keep blanks, so the name reads back whole.
                                           PreferredCase{"a ", "@{a }"}, PreferredCase{" ", "@{ }"}));

// Nothing else calls it: rename writes these texts with its own cache of preferred forms.
TEST(BuildUnambiguousName, AddsTheIndexOnlyWhenTheNameIsShared) {
  EXPECT_EQ(build_unambiguous_name("Cost", 1, 1), "@Cost");
  EXPECT_EQ(build_unambiguous_name("Cost", 2, 3), "@Cost[2]");
  EXPECT_EQ(build_unambiguous_name("Cost", 7, 0), "@Cost");
  EXPECT_EQ(build_unambiguous_name("Unit cost", 1, 2), "@{Unit cost}[1]");
  EXPECT_EQ(build_unambiguous_name("a[1]", 12, 2), "@{a[1]}[12]");
  EXPECT_EQ(build_unambiguous_name("a}b", 1, 2), "");
}

// The preferred form reads every candidate back, so only this shows the check's own faults.
TEST(IsValidNodeReference, OneReferenceTokenAndNothingElse) {
  for (const char* valid : {"@Cost", "@{Unit cost}", "@Cost[2]", "@{a}[1]", "@{a[1]}"}) {
    EXPECT_TRUE(is_valid_node_reference(valid)) << valid;
  }
  for (const char* invalid :
       {"", "=", "Cost", "@Unit cost", "@a+@b", "@a b", "@", "@{a", "1", "@a)", "(@a)", "@{a}}"}) {
    EXPECT_FALSE(is_valid_node_reference(invalid)) << invalid;
  }
}

// Every form that is offered reads back, with the reader, as the name it was made from.
TEST(PreferredReference, RoundTripsOverAwkwardNames) {
  for (const char* name :
       {"a",    "a b", "a{b}",    "a[1]", "a]",   "a[",  "{",  "}",   "@a",       "a@b",   "a;b",
        "a\tb", "ä ö", "x[2][3]", "a}",   "a\\b", "(a)", "a%", "1,5", "children", "right", "total"}) {
    const std::optional<std::string> reference = get_preferred_reference_format(name);
    if (!reference) continue;
    const auto read = parse_node_reference_from_str(*reference);
    ASSERT_TRUE(read) << name;
    EXPECT_EQ(read.value().name, name);
    EXPECT_FALSE(read.value().index) << name;
  }
}

}  // namespace
}  // namespace ostrel

namespace ostrel::parser {
namespace {

// The reference reader against the way each tree tool once read the scanner's tokens on its
// own: a node reference through the grammar's NODE_REFERENCE rule, children and right by
// their keyword, an index by its digits.
using Kind = ScannedReference::Kind;

// A reference as "kind start+length name [index]", " spaced" when blanks stand in its brackets.
std::string describe(Kind kind, std::size_t start, std::size_t length, std::string_view name,
                     std::optional<std::uint64_t> index, bool spaced) {
  const char* const kinds[] = {"node", "children", "right"};
  return std::string(kinds[static_cast<int>(kind)]) + " " + std::to_string(start) + "+" + std::to_string(length) + " " +
         std::string(name) + (index ? " [" + std::to_string(*index) + "]" : "") + (spaced ? " spaced" : "");
}

// What the tools found in one reference token; nothing for a token they left alone.
std::optional<std::string> read_the_old_way(const Token& token) {
  const std::size_t length = token.end - token.start;
  if (const auto read = parse_node_reference_from_str(token.text)) {
    return describe(Kind::Node, token.start, length, read.value().name, read.value().index, false);
  }
  Kind kind = Kind::Children;
  if (lexical::starts_with_folded(token.text, 0, "right")) {
    kind = Kind::Right;
  } else if (!lexical::starts_with_folded(token.text, 0, "children")) {
    return std::nullopt;  // a node reference whose index does not fit
  }
  // The digits after "[" and blanks, as the explanation read a children index.
  const std::size_t open = token.text.find('[');
  if (open == std::string::npos) return describe(kind, token.start, length, "", std::nullopt, false);
  const std::size_t first = lexical::skip_blanks(token.text, open + 1);
  std::uint64_t index = 0;
  if (std::from_chars(token.text.data() + first, token.text.data() + token.text.size(), index).ec != std::errc()) {
    return std::nullopt;
  }
  // Expansion took a child's index only where the brackets held its digits alone.
  const std::size_t close = token.text.find(']', open);
  const bool spaced = !index_text_value(std::string_view(token.text).substr(open + 1, close - open - 1));
  return describe(kind, token.start, length, "", index, spaced);
}

TEST(ScanReferences, ReadsEveryTokenAsTheToolsReadItOneByOne) {
  // Pieces separated by "|": references of each rule, brackets, braces and blanks around them.
  const std::string_view table =
      "@a|@Gr\xC3\xB6\xC3\x9F_2|@_x|@{a b}|@{a{b}c}|@{a[1]}|@{}|@{a}}|@{|{|}|{x}|[|]|[2]|[01]|[ 3 ]|[ 5]|[1 2]|[4 ]|"
      "[99999999999999999999]|[18446744073709551615]|children|CHILDREN|Children|children_|right|RIGHT|rights|@|@1| |"
      "\t|+|*|sum(|)|;|=|7|x|\xC3\xA9|\xff|total(|@children|@right|@{children}";
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at <= table.size();) {
    const std::size_t bar = std::min(table.find('|', at), table.size());
    pieces.emplace_back(table.substr(at, bar - at));
    at = bar + 1;
  }
  std::mt19937 random(24);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(1, 8);
  for (int i = 0; i < 20000; ++i) {
    std::string formula;
    for (int n = count(random); n > 0; --n) formula += pieces[piece(random)];
    std::vector<std::string> expected;
    for (const Token& token : scan_tokens(formula)) {
      if (token.kind != TokenKind::NodeReference) continue;
      if (const auto read = read_the_old_way(token)) expected.push_back(*read);
    }
    std::vector<std::string> actual;
    for (const ScannedReference& r : scan_references(formula)) {
      actual.push_back(describe(r.kind, r.start, r.length, r.name, r.index, r.spaced_index));
    }
    ASSERT_EQ(actual, expected) << "formula " << i << ": " << formula;
  }
}

}  // namespace
}  // namespace ostrel::parser
