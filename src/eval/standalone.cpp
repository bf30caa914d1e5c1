#include "eval/standalone.h"

#include "eval/context.h"
#include "eval/evaluator.h"
#include "parser/grammar.h"
#include "parser/parse.h"

namespace ostrel::eval {

std::optional<EvalResult> evaluate_formula(std::string_view formula) {
  auto value = parser::FormulaParser::parse_formula(formula);
  if (!value) return std::nullopt;
  EmptyContext none;
  return evaluate(value.value(), none).as_eval_result();
}

std::string evaluate_formula_text(std::string_view formula) {
  const std::optional<EvalResult> value = evaluate_formula(formula);
  return value ? value->to_string() : std::string(error_text(EvalError::Error));
}

std::string_view evaluate_condition_text(std::string_view condition) {
  auto parsed = parser::parse_condition(condition);
  if (!parsed) return error_text(EvalError::Error);
  EmptyContext none;
  const BooleanOutcome outcome = evaluate_boolean(parsed.value(), none);
  if (outcome.error) return error_text(*outcome.error);
  return outcome.value ? "true" : "false";
}

}  // namespace ostrel::eval
