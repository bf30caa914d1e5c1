// Evaluation of one formula and of one condition without a tree, through the core calls
// that the module's evaluate and evaluate_boolean make. The value's text is a number in the
// display form (and reads back as the value, within the display's rounding), "NaN", "inf",
// "-inf", the empty text or an error text; a condition gives "true", "false" or an error
// text. The same input gives the same text every time.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "eval/standalone.h"
#include "types.h"

namespace {

using ostrel::EvalError;
using ostrel::EvalResult;
using ostrel::fuzz::fail;
namespace eval = ostrel::eval;

constexpr EvalError kErrors[] = {EvalError::Error, EvalError::Ref, EvalError::Many, EvalError::Value};

bool is_error_text(std::string_view text) {
  for (const EvalError error : kErrors) {
    if (text == ostrel::error_text(error)) return true;
  }
  return false;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "-"?, an integer part without leading zeros, and optionally "." with 1 to 10 decimals of
// which the last is not 0; never "-0".
bool is_display_number(std::string_view text) {
  if (text == "-0") return false;
  if (text.starts_with('-')) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  const std::string_view integer = text.substr(0, point);
  if (integer.empty() || (integer.size() > 1 && integer[0] == '0')) return false;
  for (const char c : integer) {
    if (!is_digit(c)) return false;
  }
  if (point == std::string_view::npos) return true;
  const std::string_view decimals = text.substr(point + 1);
  if (decimals.empty() || decimals.size() > 10 || decimals.back() == '0') return false;
  for (const char c : decimals) {
    if (!is_digit(c)) return false;
  }
  return true;
}

void check_number_text(std::string_view formula, double x, const std::string& text) {
  const std::string detail = "value " + std::to_string(x) + ", text \"" + text + "\"";
  if (std::isnan(x) || std::isinf(x)) {
    const char* expected = std::isnan(x) ? "NaN" : x > 0 ? "inf" : "-inf";
    if (text != expected) fail("a non-finite value has the wrong text", formula, detail);
    return;
  }
  if (!is_display_number(text)) fail("a number's text is not in the display form", formula, detail);
  // Rounding to 10 decimals moves the value by at most half a unit of the last decimal;
  // scaling and reading back add a few units in the last place of the double.
  const double read = std::strtod(text.c_str(), nullptr);
  if (!(std::fabs(read - x) <= 1e-10 + std::fabs(x) * 1e-15)) {
    fail("a number's text does not read back as its value", formula, detail);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::string text = eval::evaluate_formula_text(input);
  if (const std::optional<EvalResult> value = eval::evaluate_formula(input); value && value->is_number()) {
    check_number_text(input, value->number_value(), text);
  } else if (!text.empty() && !is_error_text(text)) {
    fail("a value that is no number is neither empty nor an error text", input, "text \"" + text + "\"");
  }
  if (eval::evaluate_formula_text(input) != text)
    fail("the formula evaluates to another text the second time", input, text);

  const std::string truth = std::string(eval::evaluate_condition_text(input));
  if (truth != "true" && truth != "false" && !is_error_text(truth)) {
    fail("a condition's text is neither true, false nor an error text", input, "text \"" + truth + "\"");
  }
  if (std::string(eval::evaluate_condition_text(input)) != truth)
    fail("the condition evaluates to another text the second time", input, truth);
  return 0;
}
