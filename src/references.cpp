#include "references.h"

#include <string_view>

#include "parser/grammar.h"
#include "parser/parse.h"
#include "parser/reference_tokens.h"
#include "parser/tokenize.h"

namespace ostrel {

namespace {

// The token of `formula` ("=" and a text) that the text stands alone as: the formula's only
// token that is neither an operator nor unexpected, a reference of exactly the text, and
// no unexpected text after it.
std::optional<parser::ScannedToken> alone(std::string_view formula) {
  using parser::TokenKind;
  parser::TokenScanner scanner(formula);
  std::optional<parser::ScannedToken> first_reference;
  std::optional<parser::ScannedToken> last;
  std::size_t others = 0;
  while (const std::optional<parser::ScannedToken> token = scanner.next()) {
    if (token->kind == TokenKind::NodeReference && !first_reference) first_reference = token;
    if (token->kind != TokenKind::Operator && token->kind != TokenKind::Unexpected) ++others;
    last = token;
  }
  if (!last || last->kind == TokenKind::Unexpected || !first_reference || others != 1) return std::nullopt;
  if (first_reference->start != 1 || first_reference->end != formula.size()) return std::nullopt;
  return first_reference;
}

}  // namespace

bool is_valid_node_reference(std::string_view text) {
  if (text.empty()) return false;
  std::string formula = "=";  // appended: g++ 12 at -O3 warns falsely on "=" + std::string
  formula += text;
  return alone(formula).has_value();
}

std::optional<std::string> get_preferred_reference_format(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const bool braced : {false, true}) {
    std::string formula = braced ? "=@{" : "=@";
    formula += name;
    if (braced) formula += '}';
    const std::optional<parser::ScannedToken> token = alone(formula);
    if (!token) continue;
    // A form that reads back as another name, or with an index ("@a[1]" for the name
    // "a[1]"), would point formulas at the wrong node.
    const std::optional<parser::ScannedReference> read = parser::read_reference(formula, *token);
    if (read && read->name == name && !read->index) return formula.substr(1);
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
