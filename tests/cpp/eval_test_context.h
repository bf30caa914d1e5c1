// A stand-in evaluation context answering names from tables, recording the names asked for.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eval/context.h"
#include "eval/evaluator.h"
#include "parser/grammar.h"
#include "parser/parse.h"
#include "test_names.h"
#include "types.h"

namespace ostrel::eval::testing {

using Case = test_names::TextCase;

inline EvalResult num(double x) { return EvalResult::number(x); }
inline EvalResult empty() { return EvalResult::empty(); }
inline EvalResult err(EvalError kind) { return EvalResult::error(kind); }

class FakeContext final : public EvalContext {
 public:
  std::map<std::string, std::vector<EvalResult>, std::less<>> references;
  std::map<std::string, std::vector<EvalResult>, std::less<>> first_dimension;
  std::vector<EvalResult> children;
  std::vector<EvalResult> right;

  std::vector<std::string> asked;

  std::vector<EvalResult> get_reference_value(std::string_view name, std::optional<std::uint64_t> index) override {
    return select(references, name, index);
  }
  std::vector<EvalResult> get_children_values() override { return children; }
  std::vector<EvalResult> get_right_values() override { return right; }
  std::vector<EvalResult> get_cross_dimensional_values(std::string_view name,
                                                       std::optional<std::uint64_t> index) override {
    return select(first_dimension, name, index);
  }

 private:
  std::vector<EvalResult> select(const std::map<std::string, std::vector<EvalResult>, std::less<>>& table,
                                 std::string_view name, std::optional<std::uint64_t> index) {
    asked.emplace_back(name);
    const auto found = table.find(name);
    if (found == table.end()) return {err(EvalError::Ref)};
    const std::vector<EvalResult>& values = found->second;
    if (!index || values.empty()) return values;
    if (*index == 0 || *index > values.size()) return {err(EvalError::Ref)};
    return {values[*index - 1]};
  }
};

// The names the evaluator and function tables read; dimension 0 for the modifiers' nodes.
inline FakeContext standard_context() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  FakeContext c;
  c.references = {
      {"a", {num(2)}},
      {"b", {num(3)}},
      {"e", {empty()}},
      {"two", {num(1), num(2)}},
      {"err1", {err(EvalError::Value)}},
      {"err2", {err(EvalError::Error)}},
      {"ref", {err(EvalError::Ref)}},
      {"none", {}},
      {"nan", {num(nan)}},
      {"a b", {num(8)}},
      {"mixed", {num(1), err(EvalError::Error), err(EvalError::Value)}},
      {"elist", {empty(), empty()}},
      {"elist2", {empty(), num(9), err(EvalError::Value)}},
      {"elist3", {empty(), err(EvalError::Error), num(9)}},
      {"x", {num(2)}},
      {"dup", {num(5), num(7)}},
      {"zero", {num(3)}},
      {"ferr", {num(1)}},
      {"fe", {num(1)}},
      {"fnan", {num(1)}},
      {"fmix", {num(10)}},
      {"xe", {empty()}},
      {"xerr", {err(EvalError::Error)}},
      {"xnone", {}},
  };
  c.first_dimension = {
      {"x", {num(4)}},      {"dup", {num(1), num(3)}},
      {"zero", {num(0)}},   {"ferr", {num(1), err(EvalError::Error), err(EvalError::Value)}},
      {"fe", {empty()}},    {"fnone", {}},
      {"fnan", {num(nan)}}, {"fmix", {num(2), empty(), num(3)}},
      {"xe", {num(4)}},     {"xerr", {num(4)}},
      {"xnone", {num(4)}},
  };
  c.children = {num(1), num(2), empty()};
  c.right = {num(10), err(EvalError::Value)};
  return c;
}

// The display form of a node formula's value, or "parse failure".
inline std::string formula_text(std::string_view formula, EvalContext& context) {
  auto value = parser::FormulaParser::parse_formula(formula);
  if (!value) return "parse failure";
  return evaluate(value.value(), context).as_eval_result().to_string();
}

// "true", "false", the error's text, or "parse failure".
inline std::string condition_text(std::string_view condition, EvalContext& context) {
  auto parsed = parser::parse_condition(condition);
  if (!parsed) return "parse failure";
  const BooleanOutcome outcome = evaluate_boolean(parsed.value(), context);
  if (outcome.error) return std::string(error_text(*outcome.error));
  return outcome.value ? "true" : "false";
}

}  // namespace ostrel::eval::testing
