// The scanner's rules matched directly against the grammar's own matching of the same rules,
// at every position: on every text of up to four symbols of an alphabet made of the rules'
// terminals, and on random texts of the pieces that make them disagree most easily.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "parser/grammar.h"
#include "parser/terminals.h"
#include "parser/tokenize.h"

namespace ostrel::parser {
namespace {

// The rules the scanner tries.
constexpr Rule kScanned[] = {Rule::CHILDREN_REFERENCE,
                             Rule::RIGHT_REFERENCE,
                             Rule::NODE_REFERENCE,
                             Rule::POWER,
                             Rule::GREATER_OR_EQUAL,
                             Rule::LESS_OR_EQUAL,
                             Rule::EQUAL_TO,
                             Rule::NOT_EQUAL,
                             Rule::GREATER_THAN,
                             Rule::LESS_THAN,
                             Rule::NOT,
                             Rule::AND,
                             Rule::OR,
                             Rule::NUMBER_OR_PERCENT,
                             Rule::EMPTY,
                             Rule::IDENTIFIER,
                             Rule::LPAREN,
                             Rule::RPAREN,
                             Rule::EQUALS,
                             Rule::PLUS,
                             Rule::MINUS,
                             Rule::MULTIPLY,
                             Rule::DIVIDE,
                             Rule::MODULO,
                             Rule::SEMICOLON};

// The first disagreement over the texts, as "rule at pos of text: direct vs grammar".
std::string first_disagreement(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    ParseScratch direct(text);
    ParseScratch grammar(text);
    for (const Rule rule : kScanned) {
      for (std::size_t pos = 0; pos <= text.size(); ++pos) {
        const auto ours = candidate_end(rule, direct, pos);
        const auto theirs = FormulaParser::match_end(rule, grammar, pos);
        if (ours != theirs) {
          const auto show = [](std::optional<std::size_t> end) { return end ? std::to_string(*end) : "none"; };
          return std::string(rule_name(rule)) + " at " + std::to_string(pos) + " of \"" + text + "\": " + show(ours) +
                 " vs " + show(theirs);
        }
      }
    }
  }
  return "";
}

std::vector<std::string> split(std::string_view table) {
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at <= table.size();) {
    const std::size_t bar = std::min(table.find('|', at), table.size());
    pieces.emplace_back(table.substr(at, bar - at));
    at = bar + 1;
  }
  return pieces;
}

TEST(CandidateEnd, AgreesWithTheGrammarOnEveryShortText) {
  const std::vector<std::string> symbols = split("@|{|}|[|]|1|,|.|%| |a|(|*|<|=|>|!|\xC3\xA9");
  std::vector<std::string> texts{""};
  for (std::size_t from = 0, length = 1; length <= 4; ++length) {
    const std::size_t to = texts.size();
    for (std::size_t i = from; i < to; ++i) {
      for (const std::string& s : symbols) texts.push_back(texts[i] + s);
    }
    from = to;
  }
  EXPECT_EQ(first_disagreement(texts), "");
}

TEST(CandidateEnd, AgreesWithTheGrammarOnRandomTexts) {
  const std::vector<std::string> pieces = split(
      "children|CHILDREN|right|Right|not|NOT|and|Or|empty|EMPTY|@|@{|}|{|[|]|[ |2|12|1,234|1.234.567|,5|.|%|% |"
      " |\t|\n|x|_|\xC3\xA9|\xE2\x80\x8B|(|)|**|^|>=|<=|==|!=|<>|>|<|=|+|-|/|;|@{a b}|@x[3]|[ 1 2 ]");
  std::mt19937 random(25);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(1, 10);
  std::vector<std::string> texts;
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = count(random); n > 0; --n) text += pieces[piece(random)];
    texts.push_back(std::move(text));
  }
  EXPECT_EQ(first_disagreement(texts), "");
}

// Identifiers take ASCII letters and digits without the Unicode table: the same bytes as the
// table's XID_Start and XID_Continue.
TEST(IdentifierEnd, TakesTheAsciiBytesOfTheTable) {
  for (int c = 0; c < 0x80; ++c) {
    const std::string text = std::string("a") + static_cast<char>(c) + "b";
    const bool continues = c == '_' || unicode::is_xid_continue(static_cast<char32_t>(c));
    EXPECT_EQ(terminals::identifier_end(text, 0), continues ? 3u : 1u) << c;
    const bool starts = c == '_' || unicode::is_xid_start(static_cast<char32_t>(c));
    EXPECT_EQ(terminals::identifier_end(text, 1), starts ? 3u : 1u) << c;
  }
}

}  // namespace
}  // namespace ostrel::parser
