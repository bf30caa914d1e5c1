// Node names to reference texts and back, decided by the scanner and checked by reading back.
#include "references.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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
