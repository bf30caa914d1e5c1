// Keyword texts and their case-insensitive lookup.
#include "parser/ast.h"

#include <array>

namespace ostrel::parser::ast {

namespace {

constexpr std::array<std::string_view, 10> kFunctionKeywords = {"abs", "round", "ceil", "floor", "pow",
                                                                "root", "log", "mod", "sign", "iferror"};
constexpr std::array<std::string_view, 9> kAggregationKeywords = {"sum", "mult", "avg", "median", "stdev",
                                                                  "max", "min", "count", "coalesce"};
constexpr std::array<std::string_view, 2> kConditionalKeywords = {"if", "when"};
constexpr std::array<std::string_view, 2> kModifierKeywords = {"total", "ratio"};

// Same length, and equal bytes once ASCII upper-case letters are folded.
bool equals_folded(std::string_view text, std::string_view keyword) {
  if (text.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

template <class Name, std::size_t N>
std::optional<Name> find(const std::array<std::string_view, N>& keywords, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (equals_folded(text, keywords[i])) return static_cast<Name>(i);
  }
  return std::nullopt;
}

}  // namespace

std::string_view keyword(FunctionName name) { return kFunctionKeywords.at(static_cast<std::size_t>(name)); }
std::string_view keyword(AggregationName name) { return kAggregationKeywords.at(static_cast<std::size_t>(name)); }
std::string_view keyword(ConditionalName name) { return kConditionalKeywords.at(static_cast<std::size_t>(name)); }
std::string_view keyword(ModifierName name) { return kModifierKeywords.at(static_cast<std::size_t>(name)); }

template <>
std::optional<FunctionName> lookup<FunctionName>(std::string_view text) {
  return find<FunctionName>(kFunctionKeywords, text);
}
template <>
std::optional<AggregationName> lookup<AggregationName>(std::string_view text) {
  return find<AggregationName>(kAggregationKeywords, text);
}
template <>
std::optional<ConditionalName> lookup<ConditionalName>(std::string_view text) {
  return find<ConditionalName>(kConditionalKeywords, text);
}
template <>
std::optional<ModifierName> lookup<ModifierName>(std::string_view text) {
  return find<ModifierName>(kModifierKeywords, text);
}

}  // namespace ostrel::parser::ast
