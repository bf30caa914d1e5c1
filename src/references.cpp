#include "references.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "parser/grammar.h"
#include "parser/parse.h"
#include "parser/tokenize.h"

namespace ostrel {

namespace {

// k / 10^10 in fixed point, trailing zeros and point removed.
std::string scaled_integer_text(std::int64_t k) {
  constexpr std::uint64_t kScale = 10'000'000'000;
  const std::uint64_t magnitude = k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
  std::uint64_t whole = magnitude / kScale;
  std::uint64_t fraction = magnitude % kScale;
  int decimals = fraction == 0 ? 0 : 10;
  while (decimals > 0 && fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  char buffer[32];
  char* end = buffer + sizeof buffer;
  char* p = end;
  for (int i = 0; i < decimals; ++i, fraction /= 10) *--p = static_cast<char>('0' + fraction % 10);
  if (decimals > 0) *--p = '.';
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (k < 0) *--p = '-';
  return std::string(p, end);
}

}  // namespace

std::string format_number(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  constexpr double kScale = 1e10;
  double y = x;
  const double t = x * kScale;
  if (std::fabs(t) < 0x1p52) {
    // k / 10^10 with |k| < 2^52 is within a quarter of 10^-10 of the double that the
    // division gives, so that double's 10-decimal form is k's digits with a point.
    const auto k = static_cast<std::int64_t>(std::trunc(t + std::copysign(0.49999999999999994, t)));
    return scaled_integer_text(k);
  }
  if (std::isfinite(t)) {
    // Snap to 10 decimals; beyond 2^53 this changes nothing.
    y = std::trunc(t + std::copysign(0.49999999999999994, t)) / kScale;
  }
  if (y == 0) y = 0.0;
  // 309 integer digits at most, a point, 10 decimals and a sign.
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, y, std::chars_format::fixed, 10);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  while (!text.empty() && text.back() == '0') text.pop_back();
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

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
