// The deepest formulas the parser accepts fit a small thread stack, one level more fails, and
// large adversarial texts finish.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "eval_test_context.h"
#include "excel/export.h"
#include "parser/parse.h"
#include "parser/tokenize.h"

namespace ostrel {
namespace {

#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer's red zones make frames several times larger; this size still bounds them.
constexpr std::size_t kStackSize = std::size_t{8} << 20;
#else
constexpr std::size_t kStackSize = std::size_t{1} << 20;
#endif

// Runs `job` on a new thread with a stack of kStackSize bytes and waits for it.
template <class Job>
void run_on_small_stack(Job& job) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackSize), 0);
  pthread_t thread;
  const int created = pthread_create(
      &thread, &attributes,
      [](void* argument) -> void* {
        (*static_cast<Job*>(argument))();
        return nullptr;
      },
      &job);
  pthread_attr_destroy(&attributes);
  ASSERT_EQ(created, 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

// `head`, then `open` n times, `inner`, and `close` n times.
std::string nested(std::string_view head, std::string_view open, std::string_view inner, std::string_view close,
                   std::size_t n) {
  std::string out(head);
  for (std::size_t i = 0; i < n; ++i) out += open;
  out += inner;
  for (std::size_t i = 0; i < n; ++i) out += close;
  return out;
}

struct DeepCase {
  std::string label;
  bool condition;  // parsed as a condition, else as a node formula
  std::string text;
  std::string expected;  // display form, "true"/"false", or "parse failure"
};

// `kMaxNesting` counts nested `expression` and `condition` rules: a formula's top level and
// kMaxNesting - 1 parentheses or argument lists fit; a condition (or a conditional nested in
// its value) ends in an expression one level further in, so kMaxNesting - 2 of them fit.
std::vector<DeepCase> deep_cases() {
  const std::size_t formula_depth = parser::kMaxNesting - 1;
  const std::size_t condition_depth = parser::kMaxNesting - 2;
  auto parens = [](std::size_t n) { return nested("=", "(1 + ", "1", ")", n); };
  auto bare_parens = [](std::size_t n) { return nested("=", "(", "-7", ")", n); };
  auto abs_calls = [](std::size_t n) { return nested("=", "abs(", "-5", ")", n); };
  auto sum_calls = [](std::size_t n) { return nested("=", "sum(1; ", "0", ")", n); };
  auto nots = [](std::size_t n) { return nested("", "not (", "1", ")", n); };
  auto not_comparisons = [](std::size_t n) { return nested("", "not (", "2 > 1", ")", n); };
  auto ifs = [](std::size_t n) { return nested("=", "if(1; 1 + ", "0", "; 0)", n); };
  // Each at its deepest, then one level more, which fails to parse.
  std::vector<DeepCase> cases;
  auto deepest = [&](std::string label, bool condition, auto make, std::size_t depth, std::string expected) {
    cases.push_back({label, condition, make(depth), std::move(expected)});
    cases.push_back({label + " one deeper", condition, make(depth + 1), "parse failure"});
  };
  deepest("parentheses", false, parens, formula_depth, std::to_string(formula_depth + 1));
  deepest("bare parentheses", false, bare_parens, formula_depth, "-7");
  deepest("abs calls", false, abs_calls, formula_depth, "5");
  deepest("sum calls", false, sum_calls, formula_depth, std::to_string(formula_depth));
  // An even number of negations leaves the truth value as it was.
  const std::string negated = condition_depth % 2 == 0 ? "true" : "false";
  deepest("negations", true, nots, condition_depth, negated);
  deepest("negated comparisons", true, not_comparisons, condition_depth, negated);
  deepest("conditionals", false, ifs, condition_depth, std::to_string(condition_depth));
  cases.push_back({"far too deep parentheses", false, parens(100000), "parse failure"});
  cases.push_back({"far too deep negations", true, nots(100000), "parse failure"});
  cases.push_back({"far too deep conditionals", false, ifs(100000), "parse failure"});
  return cases;
}

TEST(StackDepth, DeepestFormulasFitASmallStack) {
  const std::vector<DeepCase> cases = deep_cases();
  std::vector<std::string> results(cases.size());
  auto job = [&] {
    eval::EmptyContext none;
    for (std::size_t i = 0; i < cases.size(); ++i)
      results[i] = cases[i].condition ? eval::testing::condition_text(cases[i].text, none)
                                      : eval::testing::formula_text(cases[i].text, none);
  };
  run_on_small_stack(job);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].label);
    EXPECT_EQ(results[i], cases[i].expected);
  }
}

// The spreadsheet translation recurses along the same nesting.
TEST(StackDepth, DeepestFormulasTranslateWithinASmallStack) {
  const std::vector<DeepCase> cases = deep_cases();
  std::vector<std::string> contents(cases.size());
  auto job = [&] {
    for (std::size_t i = 0; i < cases.size(); ++i) {
      if (cases[i].condition) continue;
      Node root;
      root.name = "root";
      root.formula = AnyDim<std::string>::single(cases[i].text);
      root.cells = AnyDim<std::string>::single("A1");
      excel::export_tree_to_excel(root);
      contents[i] = root.cells.single_value();
    }
  };
  run_on_small_stack(job);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].condition) continue;
    SCOPED_TRACE(cases[i].label);
    if (cases[i].expected == "parse failure") {
      EXPECT_EQ(contents[i], "ERROR!");
    } else {
      // "=abs(" becomes "=ABS(", "=(" stays.
      EXPECT_EQ(contents[i][1], std::toupper(static_cast<unsigned char>(cases[i].text[1])));
      EXPECT_GT(contents[i].size(), 2 * parser::kMaxNesting);
    }
  }
}

// Large and adversarial texts: the scanner and the parser finish on each, in order.
TEST(HostileInput, ScannerAndParserFinish) {
  const std::size_t size = 1 << 18;
  auto repeat = [&](std::string_view head, std::string_view piece) {
    return nested(head, piece, "", "", size / piece.size() + 1);
  };
  const std::string texts[] = {repeat("=", "@a + round(@b; 2) * 3 - sum(children) + ") + "1",
                               repeat("", "@{"),
                               repeat("=", "@{"),
                               repeat("", "1,"),
                               repeat("", "1.1"),
                               repeat("", "$ "),
                               repeat("=", "("),
                               repeat("=", "if("),
                               repeat("=", "when(1;1;"),
                               repeat("", "children[1 "),
                               repeat("@{", "{a}")};
  for (const std::string& text : texts) {
    std::size_t covered = 0;
    for (const parser::Token& token : parser::scan_tokens(text)) {
      ASSERT_GE(token.start, covered);
      covered = token.end;
    }
    EXPECT_LE(covered, text.size());
    (void)parser::FormulaParser::parse_formula(text);
    (void)parser::parse_condition(text);
  }
  EXPECT_TRUE(parser::FormulaParser::parse_formula(texts[0]).ok());
  EXPECT_EQ(parser::scan_tokens(texts[1]).size(), 1u);  // one unexpected run, found in linear time
}

}  // namespace
}  // namespace ostrel
