// The token scanner decides where a reference token ends and which rule made it; what
// remains is to take the token apart along that rule, which needs no grammar: a node
// reference holds no blanks, and a braced name ends where the grammar's walk ends.
#include "parser/reference_tokens.h"

#include <algorithm>

#include "parser/grammar.h"
#include "parser/lexical.h"
#include "parser/parse.h"

namespace ostrel::parser {

namespace {

using Kind = ScannedReference::Kind;

// Reads the optional "[index]" of a token whose name or keyword ends at `after`; false
// when the index does not fit 64 bits. Without brackets the rest holds only blanks.
bool read_index(std::string_view token, std::size_t after, ScannedReference& reference) {
  const std::size_t open = token.find('[', after);
  if (open == std::string_view::npos) return true;
  // The match ends with "]", and the grammar's index begins with a digit.
  const std::size_t first = lexical::skip_blanks(token, open + 1);
  std::size_t stop = first;
  while (stop < token.size() && lexical::is_digit(token[stop])) ++stop;
  const std::optional<std::uint64_t> value = index_text_value(token.substr(first, stop - first));
  if (!value) return false;
  reference.index = *value;
  reference.spaced_index = first != open + 1 || stop >= token.size() || token[stop] != ']';
  return true;
}

// The name of a node reference token and where it ends: an identifier after "@" (which
// holds no "["), or the braced name walked as the grammar walks it.
std::size_t read_name(std::string_view token, ScannedReference& reference) {
  if (token.starts_with("@{")) {
    std::size_t at = 2;
    while (!lexical::braced_name_ends(token, at)) at = lexical::braced_name_step(token, at);
    reference.name = token.substr(2, at - 2);
    return at + 1;
  }
  const std::size_t end = std::min(token.find('[', 1), token.size());
  reference.name = token.substr(1, end - 1);
  return end;
}

}  // namespace

std::optional<ScannedReference> read_reference(std::string_view formula, const ScannedToken& token) {
  if (token.kind != TokenKind::NodeReference || !token.rule) return std::nullopt;
  const std::string_view text = formula.substr(token.start, token.end - token.start);
  ScannedReference reference{Kind::Node, token.start, text.size(), {}, std::nullopt};
  std::size_t after = 0;
  switch (*token.rule) {
    case Rule::NODE_REFERENCE:
      after = read_name(text, reference);
      break;
    case Rule::CHILDREN_REFERENCE:
      reference.kind = Kind::Children;
      after = std::string_view("children").size();
      break;
    case Rule::RIGHT_REFERENCE:
      reference.kind = Kind::Right;
      after = std::string_view("right").size();
      break;
    default:
      return std::nullopt;
  }
  if (!read_index(text, after, reference)) return std::nullopt;
  return reference;
}

std::vector<ScannedReference> scan_references(std::string_view formula) {
  std::vector<ScannedReference> references;
  TokenScanner scanner(formula);
  while (const std::optional<ScannedToken> token = scanner.next()) {
    if (std::optional<ScannedReference> reference = read_reference(formula, *token)) references.push_back(*reference);
  }
  return references;
}

}  // namespace ostrel::parser
