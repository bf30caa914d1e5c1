// The keywords of the formula language in one table: their text, the enumerator of the
// syntax tree that stands for them, their kind, and the argument counts they accept. The
// grammar's keyword rules, the direct parser, the tree builder, the token scanner and
// `lookup<>()` all read this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "parser/ast.h"
#include "parser/lexical.h"

namespace ostrel::parser::language {

enum class KeywordKind : std::uint8_t { Function, Aggregation, Conditional, Modifier };

inline constexpr std::size_t kAnyCount = std::numeric_limits<std::size_t>::max();

struct Keyword {
  std::string_view text;  // lower case; matched under ASCII case folding
  KeywordKind kind;
  std::uint8_t name;  // the enumerator of the kind's enum (FunctionName, ...)
  // Accepted counts of ";"-separated arguments. Functions check these; an aggregation takes
  // any number, or none at all; a conditional's clauses are checked by the tree builder; a
  // modifier takes one node reference.
  std::size_t min_arguments;
  std::size_t max_arguments;
};

namespace detail {
constexpr KeywordKind kind_of(ast::FunctionName) { return KeywordKind::Function; }
constexpr KeywordKind kind_of(ast::AggregationName) { return KeywordKind::Aggregation; }
constexpr KeywordKind kind_of(ast::ConditionalName) { return KeywordKind::Conditional; }
constexpr KeywordKind kind_of(ast::ModifierName) { return KeywordKind::Modifier; }

template <class Name>
constexpr Keyword entry(std::string_view text, Name name, std::size_t min_arguments, std::size_t max_arguments) {
  return Keyword{text, kind_of(name), static_cast<std::uint8_t>(name), min_arguments, max_arguments};
}
}  // namespace detail

// Grouped by kind; within a kind, in enumerator order, which is also the order in which the
// grammar tries them (it matters where one keyword is a prefix of a longer word).
inline constexpr Keyword kKeywords[] = {
    detail::entry("abs", ast::FunctionName::Abs, 1, 1),
    detail::entry("round", ast::FunctionName::Round, 1, 2),
    detail::entry("ceil", ast::FunctionName::Ceil, 1, 1),
    detail::entry("floor", ast::FunctionName::Floor, 1, 1),
    detail::entry("pow", ast::FunctionName::Pow, 2, 2),
    detail::entry("root", ast::FunctionName::Root, 2, 2),
    detail::entry("log", ast::FunctionName::Log, 1, 2),
    detail::entry("mod", ast::FunctionName::Mod, 2, 2),
    detail::entry("sign", ast::FunctionName::Sign, 1, 1),
    detail::entry("iferror", ast::FunctionName::IfError, 1, 2),
    detail::entry("sum", ast::AggregationName::Sum, 0, kAnyCount),
    detail::entry("mult", ast::AggregationName::Mult, 0, kAnyCount),
    detail::entry("avg", ast::AggregationName::Avg, 0, kAnyCount),
    detail::entry("median", ast::AggregationName::Median, 0, kAnyCount),
    detail::entry("stdev", ast::AggregationName::Stdev, 0, kAnyCount),
    detail::entry("max", ast::AggregationName::Max, 0, kAnyCount),
    detail::entry("min", ast::AggregationName::Min, 0, kAnyCount),
    detail::entry("count", ast::AggregationName::Count, 0, kAnyCount),
    detail::entry("coalesce", ast::AggregationName::Coalesce, 0, kAnyCount),
    detail::entry("if", ast::ConditionalName::If, 0, kAnyCount),
    detail::entry("when", ast::ConditionalName::When, 0, kAnyCount),
    detail::entry("total", ast::ModifierName::Total, 1, 1),
    detail::entry("ratio", ast::ModifierName::Ratio, 1, 1),
};

// The keywords of one kind, in enumerator order.
constexpr std::span<const Keyword> keywords(KeywordKind kind) {
  std::size_t first = 0;
  while (first < std::size(kKeywords) && kKeywords[first].kind != kind) ++first;
  std::size_t last = first;
  while (last < std::size(kKeywords) && kKeywords[last].kind == kind) ++last;
  return std::span<const Keyword>(kKeywords).subspan(first, last - first);
}

namespace detail {
constexpr bool well_formed() {
  for (std::size_t i = 0; i < std::size(kKeywords); ++i) {
    const std::span<const Keyword> group = keywords(kKeywords[i].kind);
    const auto offset = static_cast<std::size_t>(&kKeywords[i] - group.data());
    if (offset >= group.size() || group[offset].name != offset) return false;  // grouped, in enumerator order
    for (char c : kKeywords[i].text) {
      if (lexical::fold_ascii(c) != c) return false;
    }
    if (kKeywords[i].min_arguments > kKeywords[i].max_arguments) return false;
  }
  return true;
}
static_assert(well_formed(), "keywords are grouped by kind, in enumerator order, and written in lower case");
}  // namespace detail

// The keywords of one kind, found once at compile time.
template <KeywordKind K>
inline constexpr std::span<const Keyword> kKeywordsOf = keywords(K);

namespace detail {
// The bytes that begin a keyword of one kind: most words are rejected by one look-up.
struct FirstLetters {
  std::uint32_t bits[8] = {};
  constexpr bool test(char c) const {
    const auto b = static_cast<unsigned char>(c);
    return (bits[b / 32] >> (b % 32) & 1u) != 0;
  }
};
template <KeywordKind K>
constexpr FirstLetters first_letters() {
  FirstLetters letters;
  for (const Keyword& k : kKeywordsOf<K>) {
    const auto b = static_cast<unsigned char>(k.text[0]);
    letters.bits[b / 32] |= 1u << (b % 32);
  }
  return letters;
}
template <KeywordKind K>
inline constexpr FirstLetters kFirstLetters = first_letters<K>();
}  // namespace detail

// The table entry of an enumerator.
template <class Name>
constexpr const Keyword& keyword_entry(Name name) {
  return kKeywordsOf<detail::kind_of(Name{})>[static_cast<std::size_t>(name)];
}

// The keyword whose text equals `text` under ASCII case folding, of any kind; or null.
constexpr const Keyword* find_keyword(std::string_view text) {
  for (const Keyword& k : kKeywords) {
    if (lexical::equals_folded(text, k.text)) return &k;
  }
  return nullptr;
}

// The first keyword of `kind` that is a prefix of `text` from `pos` under ASCII case folding,
// as an ordered choice of the kind's keywords matches; or null.
template <KeywordKind K>
constexpr const Keyword* keyword_prefix(std::string_view text, std::size_t pos) {
  if (pos >= text.size() || !detail::kFirstLetters<K>.test(lexical::fold_ascii(text[pos]))) return nullptr;
  for (const Keyword& k : kKeywordsOf<K>) {
    if (lexical::starts_with_folded(text, pos, k.text)) return &k;
  }
  return nullptr;
}

constexpr bool accepts_arguments(const Keyword& keyword, std::size_t count) {
  return count >= keyword.min_arguments && count <= keyword.max_arguments;
}

}  // namespace ostrel::parser::language
