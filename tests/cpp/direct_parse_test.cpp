// The direct route must give exactly the two-pass route's syntax tree whenever it gives one,
// and give one for every text that parses. Checked on generated formulas and conditions,
// on mutations of them, and on a table of texts that probe the grammar's corners.
#include "parser/direct_parse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ast_dump.h"
#include "parser/grammar.h"
#include "parser/parse.h"
#include "test_names.h"

namespace ostrel::parser {
namespace {

using test_names::LabelBy;
using testing::dump;

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::string formula() { return pick({"=", " =", "= ", "\t=\n"}) + expression(0) + pick({"", "", " ", "\n"}); }
  std::string condition() { return pick({"", " "}) + boolean(0) + pick({"", " "}); }

  // One random edit: a piece inserted, a byte removed, or a byte doubled.
  std::string mutate(std::string text) {
    if (text.empty()) return piece();
    const std::size_t at = below(text.size());
    switch (below(3)) {
      case 0:
        return text.insert(at, piece());
      case 1:
        return text.erase(at, 1);
      default:
        return text.insert(at, 1, text[at]);
    }
  }

 private:
  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
  std::string pick(std::initializer_list<const char*> options) {
    return *(options.begin() + static_cast<std::ptrdiff_t>(below(options.size())));
  }
  // One of the space-separated words.
  std::string pick_word(std::string_view words) {
    std::vector<std::string_view> all;
    for (std::size_t at = 0; at <= words.size();) {
      const std::size_t end = std::min(words.find(' ', at), words.size());
      all.push_back(words.substr(at, end - at));
      at = end + 1;
    }
    return std::string(all[below(all.size())]);
  }
  std::string space() { return pick({"", "", "", " ", "  ", "\t", "\r\n"}); }
  // Keywords in any letter case.
  std::string cased(std::string word) {
    for (char& c : word) {
      if (below(4) == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return word;
  }

  // Now and then a piece that does not parse, or that the builder rejects.
  bool odd() { return below(80) == 0; }

  std::string number() {
    if (odd()) return pick({"1e5", ".5", "1,234,56", "99999999999999999999", "1.7976931348623157e308", "5 %"});
    return pick_word(
        "0 1 7 12 100 007 1.5 1,5 2.75 1,234 1.234 1,234.5 1.234,5 1,234,567 1.234.567 1,2345 12,345,678.90 5% 15% "
        "0,5% "
        "123456789012345678 0.000000000000000000000000001 179769313486231570000000000000000000000000000000000");
  }
  std::string reference() {
    if (odd()) return pick({"@{", "@{{}", "@a[99999999999999999999]", "@1a", "@a [2]", "@", "@a[", "@{a}}"});
    return pick({"@a", "@b", "@Cost", "@{Unit cost}", "@{a{b}c}", "@{}", "@_a[3]", "@a[0]", "@a[2]", "@{x}[1]",
                 "@Größe_2", "@a1"});
  }
  std::string listing() {
    return cased(pick({"children", "right"})) + (odd() ? pick({"[1 2]", "[]", "[x]", "[18446744073709551616]"})
                                                       : pick({"", "", "[1]", "[2]", "[0]", " [1]", "[ 2 ]"}));
  }

  std::string atom(int depth) {
    switch (below(depth > 1 ? 4 : 11)) {
      case 0:
      case 1:
        return number();
      case 2:
        return reference();
      case 3:
        return below(3) == 0 ? cased("empty") : listing();
      case 4:
        return "(" + space() + expression(depth + 1) + space() + ")";
      case 5:
        return cased(pick({"total", "ratio"})) + space() + "(" + space() + reference() + space() + ")";
      case 6:
      case 7: {
        struct Function {
          const char* name;
          std::size_t least, most;
        };
        static constexpr Function kFunctions[] = {{"abs", 1, 1},  {"round", 1, 2},  {"ceil", 1, 1}, {"floor", 1, 1},
                                                  {"pow", 2, 2},  {"root", 2, 2},   {"log", 1, 2},  {"mod", 2, 2},
                                                  {"sign", 1, 1}, {"iferror", 1, 2}};
        const Function& f = kFunctions[below(std::size(kFunctions))];
        const std::size_t count = odd() ? below(4) : f.least + below(f.most - f.least + 1);
        return cased(f.name) + space() + "(" + arguments(depth, count) + ")";
      }
      case 8: {
        std::string out = cased(pick({"sum", "mult", "avg", "median", "stdev", "max", "min", "count", "coalesce"}));
        return out + "(" + (below(4) == 0 ? space() : arguments(depth, 1 + below(3))) + ")";
      }
      default: {
        // "if" takes one clause and an else value; "when" any number of clauses.
        const bool when = below(2) == 0;
        std::string out =
            cased(when ? "when" : "if") + "(" + boolean(depth + 1) + space() + ";" + space() + expression(depth + 1);
        for (std::size_t clauses = when || odd() ? below(3) : 0; clauses > 0; --clauses) {
          out += ";" + space() + boolean(depth + 1) + ";" + space() + expression(depth + 1);
        }
        if ((when && below(2) == 0) || (!when && !odd())) out += space() + ";" + space() + expression(depth + 1);
        return out + space() + ")";
      }
    }
  }
  std::string arguments(int depth, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += (i ? ";" + space() : space()) + expression(depth + 1) + space();
    return out;
  }
  std::string unary(int depth) {
    return (odd() ? pick({"--", "+-"}) : pick({"", "", "", "-", "+", "- "})) + atom(depth);
  }
  std::string expression(int depth) {
    std::string out = unary(depth);
    for (std::size_t n = below(depth > 1 ? 2 : 4); n > 0; --n) {
      out += space() + (odd() ? pick({"* *", "=", "+ +"}) : pick({"+", "-", "*", "/", "%", "^", "**"})) + space() +
             unary(depth);
    }
    return out;
  }
  std::string boolean(int depth) {
    std::string out = negation(depth);
    for (std::size_t n = below(depth > 1 ? 2 : 3); n > 0; --n)
      out += " " + cased(pick({"and", "or"})) + " " + negation(depth);
    return out;
  }
  std::string negation(int depth) {
    std::string out;
    for (std::size_t n = below(4) == 0 ? 1 + below(2) : 0; n > 0; --n) out += cased("not") + " ";
    switch (below(depth > 1 ? 2 : 3)) {
      case 0:
        return out + expression(depth + 1) + space() + pick({">", "<", ">=", "<=", "==", "!=", "<>"}) + space() +
               expression(depth + 1);
      case 1:
        return out + expression(depth + 1);
      default:
        return out + "(" + boolean(depth + 1) + ")";
    }
  }
  std::string piece() {
    return pick({"+",  "-",     "*",        "%",   "^",    ";",        "(",        ")", "[", "]",   "{",
                 "}",  "@",     "=",        ">",   "<",    "!",        " ",        "1", "a", "not", "and",
                 "or", "empty", "children", "if(", "sum(", "\xC2\xA0", "\xC3\xA9", "_", ","});
  }

  std::mt19937 random_;
};

// Compares the two routes on one text; returns whether the text parses.
template <class Direct, class Built>
bool expect_same(const std::string& text, const Direct& direct, const Built& built, bool must_parse_directly) {
  if (direct && !built.ok()) {
    ADD_FAILURE() << "only the direct route accepts \"" << text << "\"";
  } else if (direct) {
    EXPECT_EQ(dump(*direct), dump(built.value())) << text;
  } else if (must_parse_directly && built.ok()) {
    ADD_FAILURE() << "the direct route gave up on \"" << text << "\", which parses as " << dump(built.value());
  }
  return built.ok();
}

bool expect_same_formula(const std::string& text, bool must_parse_directly) {
  return expect_same(text, parse_formula_directly(text), build_formula(text), must_parse_directly);
}

bool expect_same_condition(const std::string& text, bool must_parse_directly) {
  return expect_same(text, parse_condition_directly(text), build_condition(text), must_parse_directly);
}

TEST(DirectParse, AgreesOnGeneratedFormulas) {
  Generator generator(20261206);
  int parsed = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string text = generator.formula();
    parsed += expect_same_formula(text, true);
    expect_same_formula(generator.mutate(text), true);
    expect_same_formula(generator.mutate(generator.mutate(text)), true);
  }
  // The generator must mostly make valid formulas, or the agreement says little.
  EXPECT_GT(parsed, 2000);
}

TEST(DirectParse, AgreesOnGeneratedConditions) {
  Generator generator(7);
  int parsed = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string text = generator.condition();
    parsed += expect_same_condition(text, true);
    expect_same_condition(generator.mutate(text), true);
  }
  EXPECT_GT(parsed, 2000);
}

// Corners of the grammar: keyword prefixes, whitespace where atomic rules allow none, the
// percent look-ahead, clause against else value, and builder errors. The routes agree, and
// each text parses or fails as listed.
struct Corner {
  const char* text;
  bool parses;
};

void PrintTo(const Corner& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << (c.parses ? " parses" : " fails");
}

class FormulaCorner : public ::testing::TestWithParam<Corner> {};
class ConditionCorner : public ::testing::TestWithParam<Corner> {};

TEST_P(FormulaCorner, RoutesAgree) { EXPECT_EQ(expect_same_formula(GetParam().text, true), GetParam().parses); }
TEST_P(ConditionCorner, RoutesAgree) { EXPECT_EQ(expect_same_condition(GetParam().text, true), GetParam().parses); }

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormulaCorner,
    ::testing::Values(
        Corner{"", true}, Corner{"  ", true}, Corner{"12", true}, Corner{"-3,5", true}, Corner{"+5", true},
        Corner{"- 5", false}, Corner{"15%", true}, Corner{"5 %", false}, Corner{"abc", false}, Corner{"1+2", false},
        Corner{"5 + 1", false}, Corner{"=", false}, Corner{"=5", true}, Corner{"=5%", true}, Corner{"=5% 3", true},
        Corner{"=5%3", true}, Corner{"=5%-3", true}, Corner{"=5 % 3", true}, Corner{"=5%(2)", true},
        Corner{"=5%@a", true}, Corner{"=5%children", true}, Corner{"=5%\xC3\xA9", false}, Corner{"=5%\xC2\xA0", false},
        Corner{"=1\xC2\xA0+ 2", false}, Corner{"= ( 1 + 2 ) * 3 ", true}, Corner{"=2**3", true},
        Corner{"=2* *3", false}, Corner{"=2^-1", true}, Corner{"=2*-3", true}, Corner{"=-(2)", true},
        Corner{"=--5", false}, Corner{"=-2^2", true}, Corner{"=Children", true}, Corner{"=children2", false},
        Corner{"=childrenx", false}, Corner{"=children [1]", true}, Corner{"=children[1 2]", false},
        Corner{"=children[", false}, Corner{"=@a [2]", false}, Corner{"=@a[2", false}, Corner{"=@{a", false},
        Corner{"=@{a}[2]x", false}, Corner{"=rounds(1)", false}, Corner{"=round(1,2)", true},
        Corner{"=round(1; 2)", true}, Corner{"=round(1, 2)", false}, Corner{"=round(1; 2; 3)", false},
        Corner{"=abs()", false}, Corner{"=sum()", true}, Corner{"=sum( )", true}, Corner{"=SUM(@a)", true},
        Corner{"=If(@a > 1; 1; 0)", true}, Corner{"=if(@a > 1; 1)", false},
        Corner{"=if(@a > 1; 1; @b > 2; 2; 3)", false}, Corner{"=if(@a = 1; 1; 0)", false},
        Corner{"=if((@a > 1 or @b) and not @c; 1; 0)", true}, Corner{"=when(@a > 1; 1; @b > 1; 2; 0)", true},
        Corner{"=when(@a; 1; @b; 2)", true}, Corner{"=when(@a; 1; @b)", true}, Corner{"=when(@a; 1; @b > 1)", false},
        Corner{"=when(not @a; 1; not @b; 2; 3)", true}, Corner{"=when((@a > 1); 1; (@b); 2)", true},
        Corner{"=iferror(1/0)", true}, Corner{"=iferror(1; 2)", true}, Corner{"=if(1; 2; 3)", true},
        Corner{"=total(@a)", true}, Corner{"=ratio( @{b c}[2] )", true}, Corner{"=total(1)", false},
        Corner{"=empty", true}, Corner{"=emptyx", false}, Corner{"=1e5", false}, Corner{"=.5", false},
        Corner{"=1,234,56", false}, Corner{"=1,2345", true}, Corner{"=99999999999999999999999", true},
        Corner{"=1 +", false}, Corner{"=(1", false}, Corner{"=1)", false}, Corner{"=@a[0]", true},
        Corner{"=@a[18446744073709551616]", false}),
    LabelBy<&Corner::text>());

INSTANTIATE_TEST_SUITE_P(Grammar, ConditionCorner,
                         ::testing::Values(Corner{"@a > 1 and not @b == 2 or @c", true}, Corner{"not not @a", true},
                                           Corner{"nothing", false}, Corner{"1 > 0 or(2 > 1)", true},
                                           Corner{"(@a) > 1", true}, Corner{"(@a > 1)", true},
                                           Corner{"(@a > 1 or @b)", true}, Corner{"((1))", true},
                                           Corner{"(1 > 2", false}, Corner{"=1 > 0", false}, Corner{"1 >", false},
                                           Corner{"1 > 2 > 3", false}, Corner{"not(1 > 2)", true}, Corner{"", false},
                                           Corner{"1 <> 2", true}, Corner{"1 >= 2", true}, Corner{"1 => 2", false}),
                         LabelBy<&Corner::text>());

// Keywords run into the next word: only agreement is asked.
TEST(DirectParse, AgreesOnKeywordsRunTogether) {
  for (const char* text : {"notempty", "childrenand 1 > 0", "1 > 0and 1 < 2", "1 > 0 andnot 2 > 3"}) {
    expect_same_condition(text, true);
  }
}

TEST(DirectParse, GivesWayOnDeepNesting) {
  for (int depth : {126, 127, 128, 129, 1000}) {
    const std::string parens = "=" + std::string(depth, '(') + "1" + std::string(depth, ')');
    expect_same_formula(parens, false);
    std::string calls = "=";
    for (int i = 0; i < depth; ++i) calls += "abs(";
    calls += "1" + std::string(depth, ')');
    expect_same_formula(calls, false);
    std::string nots;
    for (int i = 0; i < depth; ++i) nots += "not (";
    nots += "1" + std::string(depth, ')');
    expect_same_condition(nots, false);
  }
}

// Else values that are themselves conditionals make the clause-or-else decision re-match
// text; the direct route gives way before that costs more than a few passes.
TEST(DirectParse, StaysLinearOnNestedElseValues) {
  std::string text = "=";
  for (int i = 0; i < 60; ++i) text += "when(1; 2; ";
  text += "3" + std::string(60, ')');
  expect_same_formula(text, false);
  EXPECT_TRUE(FormulaParser::parse_formula(text).ok());
}

}  // namespace
}  // namespace ostrel::parser
