#include "references.h"

#include <string_view>

#include "parser/grammar.h"
#include "parser/parse.h"
#include "parser/tokenize.h"

namespace ostrel {

bool is_valid_node_reference(std::string_view text) {
  using parser::TokenKind;
  if (text.empty()) return false;
  std::string formula = "=";
  formula += text;
  const std::vector<parser::Token> tokens = parser::scan_tokens(formula);
  if (tokens.empty() || tokens.back().kind == TokenKind::Unexpected) return false;
  const parser::Token* first_reference = nullptr;
  std::size_t others = 0;
  for (const parser::Token& token : tokens) {
    if (token.kind == TokenKind::NodeReference && first_reference == nullptr) first_reference = &token;
    if (token.kind != TokenKind::Operator && token.kind != TokenKind::Unexpected) ++others;
  }
  return first_reference != nullptr && first_reference->text == text && others == 1;
}

std::optional<std::string> get_preferred_reference_format(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const bool braced : {false, true}) {
    std::string candidate = braced ? "@{" : "@";
    candidate += name;
    if (braced) candidate += '}';
    if (!is_valid_node_reference(candidate)) continue;
    // A form that reads back as another name, or with an index ("@a[1]" for the name
    // "a[1]"), would point formulas at the wrong node.
    const auto read = parse_node_reference_from_str(candidate);
    if (read && read.value().name == name && !read.value().index) return candidate;
  }
  return std::nullopt;
}

std::string build_unambiguous_name(std::string_view name, std::size_t index, std::size_t count) {
  return with_namesake_index(get_preferred_reference_format(name).value_or(""), index, count);
}

std::string with_namesake_index(std::string preferred, std::size_t index, std::size_t count) {
  if (count < 2 || preferred.empty()) return preferred;
  // The index goes after the closing brace of a braced form, after the name otherwise.
  return preferred + "[" + std::to_string(index) + "]";
}

Result<ParsedReference, parser::FormulaError> parse_node_reference_from_str(std::string_view text) {
  auto tree = parser::FormulaParser::parse(parser::Rule::NODE_REFERENCE, text);
  if (!tree) return fail(std::move(tree).error());
  if (tree.value().top_count() == 0) return fail(parser::FormulaError::custom("No node reference found", 0, 0));
  OSTREL_TRY(reference, parser::parse_node_reference(tree.value().top(0)));
  return ParsedReference{std::move(reference.first), reference.second};
}

}  // namespace ostrel
