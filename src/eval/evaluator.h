// The evaluator: syntax trees to results, against an evaluation context. It never fails as
// a whole; every problem is an error result that travels outwards, the first failing
// operand from the left deciding.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "eval/context.h"
#include "parser/ast.h"
#include "types.h"

namespace ostrel::eval {

// What evaluating an expression yields: one result, or a list of them.
class EvalNote {
 public:
  static EvalNote single(EvalResult r) { return EvalNote(std::in_place_index<0>, r); }
  static EvalNote list(std::vector<EvalResult> rs) { return EvalNote(std::in_place_index<1>, std::move(rs)); }

  bool is_list() const { return v_.index() == 1; }
  // The single result; a list is a broken invariant.
  const EvalResult& single_result() const;
  const std::vector<EvalResult>& list_results() const;
  // The value of a whole formula: a list of any length becomes "MANY!".
  EvalResult as_eval_result() const { return is_list() ? EvalResult::error(EvalError::Many) : single_result(); }

 private:
  template <std::size_t I, class U>
  EvalNote(std::in_place_index_t<I> tag, U&& value) : v_(tag, std::forward<U>(value)) {}
  std::variant<EvalResult, std::vector<EvalResult>> v_;
};

// A plain value, or the error that ends the operation. Operands of arithmetic and the
// outcomes of conditions travel this way rather than as notes: no variant, no list, small
// enough for registers.
template <class T>
struct Checked {
  T value{};
  std::optional<EvalError> error;
};

// Outcome of a condition: a truth value or an error kind.
using BooleanOutcome = Checked<bool>;

EvalNote evaluate(const parser::ast::Value& value, EvalContext& context);
EvalNote evaluate(const parser::ast::Expression& expression, EvalContext& context);
EvalNote evaluate(const parser::ast::MultiplicationExpression& expression, EvalContext& context);
EvalNote evaluate(const parser::ast::PowerExpression& expression, EvalContext& context);
EvalNote evaluate(const parser::ast::UnaryExpression& expression, EvalContext& context);

BooleanOutcome evaluate_boolean(const parser::ast::OrExpression& expression, EvalContext& context);
BooleanOutcome evaluate_boolean(const parser::ast::AndExpression& expression, EvalContext& context);
BooleanOutcome evaluate_boolean(const parser::ast::NegationExpression& expression, EvalContext& context);
inline BooleanOutcome evaluate_boolean(const parser::ast::Condition& condition, EvalContext& context) {
  return evaluate_boolean(condition.expression, context);
}

// values[index - 1] as a single note; index 0 or beyond the list gives "REF!".
EvalNote extract_indexed_value(std::vector<EvalResult> values, std::uint64_t index);

}  // namespace ostrel::eval
