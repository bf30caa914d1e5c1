// The case-insensitive lookup of keywords, from the language's keyword table.
#include "parser/ast.h"

#include "parser/language.h"

namespace ostrel::parser::ast {

namespace {

template <class Name, language::KeywordKind K>
std::optional<Name> find(std::string_view text) {
  for (const language::Keyword& k : language::kKeywordsOf<K>) {
    if (lexical::equals_folded(text, k.text)) return static_cast<Name>(k.name);
  }
  return std::nullopt;
}

}  // namespace

template <>
std::optional<FunctionName> lookup<FunctionName>(std::string_view text) {
  return find<FunctionName, language::KeywordKind::Function>(text);
}
template <>
std::optional<AggregationName> lookup<AggregationName>(std::string_view text) {
  return find<AggregationName, language::KeywordKind::Aggregation>(text);
}
template <>
std::optional<ConditionalName> lookup<ConditionalName>(std::string_view text) {
  return find<ConditionalName, language::KeywordKind::Conditional>(text);
}
template <>
std::optional<ModifierName> lookup<ModifierName>(std::string_view text) {
  return find<ModifierName, language::KeywordKind::Modifier>(text);
}

}  // namespace ostrel::parser::ast
