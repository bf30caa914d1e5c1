// A stand-in evaluation context for evaluator tests: it answers from tables that the test
// fills in, and records which names were asked for, so that tests can see which operands
// were evaluated.
//
// Name references (`get_reference_value` from `references`, `get_cross_dimensional_values`
// from `first_dimension`) select the way a tree does: a name that is not in the table
// gives the one-element sequence "REF!"; with an index i, 0 or i beyond the listed values
// gives "REF!", otherwise the i-th value alone (1-based); without an index all listed
// values; a name listed with no values gives an empty sequence, whatever the index. The
// values are returned as given: the fake does not turn errors into "REF!", so a test can
// hand in any error kind. `children` and `right` are returned whole.
//
// `formula_text` and `condition_text` parse with the real parser and evaluate, giving the
// display form of the outcome.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eval/context.h"
#include "eval/evaluator.h"
#include "parser/grammar.h"
#include "parser/parse.h"
#include "types.h"

namespace ostrel::eval::testing {

inline EvalResult num(double x) { return EvalResult::number(x); }
inline EvalResult empty() { return EvalResult::empty(); }
inline EvalResult err(EvalError kind) { return EvalResult::error(kind); }

class FakeContext final : public EvalContext {
 public:
  std::map<std::string, std::vector<EvalResult>, std::less<>> references;
  std::map<std::string, std::vector<EvalResult>, std::less<>> first_dimension;
  std::vector<EvalResult> children;
  std::vector<EvalResult> right;

  // Every name asked for, in order, by either name operation.
  mutable std::vector<std::string> asked;
  mutable int children_calls = 0;
  mutable int right_calls = 0;

  std::vector<EvalResult> get_reference_value(std::string_view name,
                                              std::optional<std::uint64_t> index) const override {
    return select(references, name, index);
  }
  std::vector<EvalResult> get_children_values() const override {
    ++children_calls;
    return children;
  }
  std::vector<EvalResult> get_right_values() const override {
    ++right_calls;
    return right;
  }
  std::vector<EvalResult> get_cross_dimensional_values(std::string_view name,
                                                       std::optional<std::uint64_t> index) const override {
    return select(first_dimension, name, index);
  }

 private:
  std::vector<EvalResult> select(const std::map<std::string, std::vector<EvalResult>, std::less<>>& table,
                                 std::string_view name, std::optional<std::uint64_t> index) const {
    asked.emplace_back(name);
    const auto found = table.find(name);
    if (found == table.end()) return {err(EvalError::Ref)};
    const std::vector<EvalResult>& values = found->second;
    if (!index || values.empty()) return values;
    if (*index == 0 || *index > values.size()) return {err(EvalError::Ref)};
    return {values[*index - 1]};
  }
};

// The display form of a node formula's value, or "parse failure".
inline std::string formula_text(std::string_view formula, const EvalContext& context) {
  auto value = parser::FormulaParser::parse_formula(formula);
  if (!value) return "parse failure";
  return evaluate(value.value(), context).as_eval_result().to_string();
}

// "true", "false", the error's text, or "parse failure".
inline std::string condition_text(std::string_view condition, const EvalContext& context) {
  auto parsed = parser::parse_condition(condition);
  if (!parsed) return "parse failure";
  const BooleanOutcome outcome = evaluate_boolean(parsed.value(), context);
  if (outcome.error) return std::string(error_text(*outcome.error));
  return outcome.value ? "true" : "false";
}

}  // namespace ostrel::eval::testing
