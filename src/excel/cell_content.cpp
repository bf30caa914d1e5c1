#include "excel/cell_content.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "parser/grammar.h"
#include "parser/lexical.h"
#include "parser/parse.h"
#include "references.h"
#include "text/number_text.h"
#include "types.h"
#include "unicode/unicode.h"

namespace ostrel::excel {

using namespace parser::ast;

namespace {

using parser::lexical::equals_folded;
using parser::lexical::is_digit;

// The usual decimal syntax of a floating-point number: an optional sign, digits with an
// optional point (at least one digit), an optional exponent, or the words "inf",
// "infinity" and "nan" in any case. No blanks. Out-of-range values become infinity or 0.
std::optional<double> parse_decimal_float(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const double sign = negative ? -1.0 : 1.0;
  if (equals_folded(text, "inf") || equals_folded(text, "infinity")) {
    return sign * std::numeric_limits<double>::infinity();
  }
  if (equals_folded(text, "nan")) return std::numeric_limits<double>::quiet_NaN();
  // Checked here rather than left to the conversion, which reads a few forms more.
  std::size_t i = 0;
  std::size_t digits = 0;
  std::int64_t magnitude = 0;  // where the first significant digit stands, as a power of ten, roughly
  bool significant = false;
  bool point = false;
  for (; i < text.size() && (is_digit(text[i]) || (text[i] == '.' && !point)); ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    ++digits;
    if (text[i] != '0') significant = true;
    if (significant && !point) ++magnitude;
    if (!significant && point) --magnitude;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    const std::size_t exponent_start = i;
    std::int64_t exponent = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), std::int64_t{1} << 30);
    }
    if (i == exponent_start) return std::nullopt;
    magnitude += exponent_negative ? -exponent : exponent;
  }
  if (i != text.size()) return std::nullopt;
  const std::optional<double> value = decimal_to_double(text, magnitude > 0);
  if (!value) return std::nullopt;
  return sign * *value;
}

// A plain number's content: the number, or the spreadsheet's overflow error, which only a
// formula can hold.
std::string number_content(double x) {
  std::string number = spreadsheet_number(x);
  return std::isfinite(x) ? number : "=" + number;
}

// A text that is not a formula: a number in the spreadsheet's form, or the text itself.
std::string plain_value(std::string_view trimmed) {
  auto parsed = parser::FormulaParser::parse_formula(trimmed);
  if (parsed) {
    if (const auto* number = std::get_if<Value::Number>(&parsed.value().v)) {
      // A percentage's parsed value is already divided by 100; it is written as the
      // formula of that value ("15%" gives "=0.15").
      const double x = number->value;
      if (trimmed.back() == '%' && std::isfinite(x)) {
        // Appended rather than "=" + ..., which g++ 12 at -O3 misreads as an overlapping copy.
        std::string formula = "=";
        formula += spreadsheet_number(x);
        return formula;
      }
      return number_content(x);
    }
  }
  if (std::optional<double> x = parse_decimal_float(parser::normalize_number_string(trimmed))) {
    return number_content(*x);
  }
  return std::string(trimmed);
}

}  // namespace

PreparedFormula prepare_formula(std::string_view text) {
  PreparedFormula prepared;
  const std::string_view trimmed = unicode::trim_white_space(text);
  if (trimmed.empty()) return prepared;
  // A "=" after blanks makes a formula too, as it does for the engine.
  if (trimmed.front() != '=') {
    prepared.content = plain_value(trimmed);
    return prepared;
  }
  auto parsed = parser::FormulaParser::parse_formula(text);
  if (!parsed || !std::holds_alternative<Value::Expression>(parsed.value().v)) {
    prepared.content = ostrel::error_text(EvalError::Error);
    return prepared;
  }
  prepared.formula = std::move(parsed).value();
  return prepared;
}

std::string cell_content(const PreparedFormula& prepared, const ConvertContext& context) {
  if (!prepared.formula) return prepared.content;
  const Expression& expression = *std::get<Value::Expression>(prepared.formula->v).expression;
  // Written straight after the "=", without a text of its own.
  std::string content = "=";
  if (std::optional<ConvertError> failed = append_expression(expression, context, content)) {
    return std::string(error_text(*failed));
  }
  return content;
}

}  // namespace ostrel::excel
