// Arithmetic, references and conditions. Keyword atoms (functions, aggregations,
// conditionals, modifiers) are in functions.cpp.
#include "eval/evaluator.h"

#include <cmath>

#include "eval/functions.h"
#include "invariant.h"

namespace ostrel::eval {

using namespace parser::ast;

const EvalResult& EvalNote::single_result() const {
  if (is_list()) invariant_failure("EvalNote is a list");
  return std::get<0>(v_);
}

const std::vector<EvalResult>& EvalNote::list_results() const {
  if (!is_list()) invariant_failure("EvalNote is not a list");
  return std::get<1>(v_);
}

Operand take_operand(const EvalNote& note) {
  if (note.is_list()) return Operand{0, EvalResult::error(EvalError::Many)};
  const EvalResult& r = note.single_result();
  if (r.is_error()) return Operand{0, r};
  if (r.is_empty()) return Operand{0.0, std::nullopt};
  return Operand{r.number_value(), std::nullopt};
}

EvalNote extract_indexed_value(std::vector<EvalResult> values, std::uint64_t index) {
  if (index == 0 || index > values.size()) return EvalNote::single(EvalResult::error(EvalError::Ref));
  return EvalNote::single(values[index - 1]);
}

namespace {

EvalNote number(double x) { return EvalNote::single(EvalResult::number(x)); }
EvalNote stop(const Operand& o) { return EvalNote::single(*o.stop); }

EvalNote evaluate_reference(const AtomicExpression::NodeReference& reference, const EvalContext& context) {
  std::vector<EvalResult> values = context.get_reference_value(reference.name, reference.index);
  if (values.empty()) return EvalNote::single(EvalResult::error(EvalError::Ref));
  if (reference.index || values.size() == 1) return EvalNote::single(values.front());
  return EvalNote::list(std::move(values));
}

EvalNote evaluate_listing(std::vector<EvalResult> values, const std::optional<std::uint64_t>& index) {
  if (index) return extract_indexed_value(std::move(values), *index);
  return EvalNote::list(std::move(values));
}

EvalNote evaluate_atom(const AtomicExpression& atom, const EvalContext& context) {
  using A = AtomicExpression;
  return std::visit(
      [&](const auto& a) -> EvalNote {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, A::Number>) {
          return number(a.value);
        } else if constexpr (std::is_same_v<T, A::NodeReference>) {
          return evaluate_reference(a, context);
        } else if constexpr (std::is_same_v<T, A::ChildrenReference>) {
          return evaluate_listing(context.get_children_values(), a.index);
        } else if constexpr (std::is_same_v<T, A::RightReference>) {
          return evaluate_listing(context.get_right_values(), a.index);
        } else if constexpr (std::is_same_v<T, A::Modifier>) {
          return evaluate_modifier(a, context);
        } else if constexpr (std::is_same_v<T, A::Function>) {
          return evaluate_function(a, context);
        } else if constexpr (std::is_same_v<T, A::Aggregation>) {
          return evaluate_aggregation(a, context);
        } else if constexpr (std::is_same_v<T, A::Conditional>) {
          return evaluate_conditional(a, context);
        } else if constexpr (std::is_same_v<T, A::Empty>) {
          return EvalNote::single(EvalResult::empty());
        } else {
          return evaluate(*a.expression, context);
        }
      },
      atom.v);
}

// Compares two notes, both already evaluated, in the fixed order of checks.
BooleanOutcome compare(const EvalNote& left, ComparisonOperator op, const EvalNote& right) {
  if (left.is_list() || right.is_list()) return {false, EvalError::Many};
  const EvalResult& a = left.single_result();
  const EvalResult& b = right.single_result();
  if (a.is_error()) return {false, a.error_kind()};
  if (a.is_empty()) return {false, EvalError::Value};
  if (b.is_error()) return {false, b.error_kind()};
  if (b.is_empty()) return {false, EvalError::Value};
  const double x = a.number_value();
  const double y = b.number_value();
  switch (op) {
    case ComparisonOperator::EqualTo:
      return {x == y, std::nullopt};
    case ComparisonOperator::NotEqual:
      return {x != y, std::nullopt};
    case ComparisonOperator::GreaterThan:
      return {x > y, std::nullopt};
    case ComparisonOperator::LessThan:
      return {x < y, std::nullopt};
    case ComparisonOperator::GreaterOrEqual:
      return {x >= y, std::nullopt};
    case ComparisonOperator::LessOrEqual:
      return {x <= y, std::nullopt};
  }
  invariant_failure("unknown comparison operator");
}

BooleanOutcome evaluate_comparison(const ComparisonExpression& comparison, const EvalContext& context) {
  using C = ComparisonExpression;
  if (const auto* c = std::get_if<C::Comparison>(&comparison.v)) {
    const EvalNote left = evaluate(*c->left, context);
    const EvalNote right = evaluate(*c->right, context);
    return compare(left, c->op, right);
  }
  if (const auto* s = std::get_if<C::Single>(&comparison.v)) {
    const EvalNote note = evaluate(*s->expression, context);
    if (note.is_list()) return {false, EvalError::Many};
    const EvalResult& r = note.single_result();
    if (r.is_error()) return {false, r.error_kind()};
    if (r.is_empty()) return {false, std::nullopt};
    return {r.number_value() != 0.0, std::nullopt};
  }
  return evaluate_boolean(*std::get<C::Nested>(comparison.v).condition, context);
}

}  // namespace

EvalNote evaluate(const Value& value, const EvalContext& context) {
  if (const auto* n = std::get_if<Value::Number>(&value.v)) return number(n->value);
  if (const auto* e = std::get_if<Value::Expression>(&value.v)) return evaluate(*e->expression, context);
  return EvalNote::single(EvalResult::empty());
}

EvalNote evaluate(const Expression& expression, const EvalContext& context) {
  if (expression.operations.empty()) return evaluate(expression.first, context);
  const Operand first = take_operand(evaluate(expression.first, context));
  if (first.stop) return stop(first);
  double accumulator = first.value;
  for (const AdditionOperation& op : expression.operations) {
    const Operand term = take_operand(evaluate(op.operand, context));
    if (term.stop) return stop(term);
    accumulator = op.kind == AdditionOperation::Kind::Plus ? accumulator + term.value : accumulator - term.value;
  }
  return number(accumulator);
}

EvalNote evaluate(const MultiplicationExpression& expression, const EvalContext& context) {
  if (expression.operations.empty()) return evaluate(expression.first, context);
  const Operand first = take_operand(evaluate(expression.first, context));
  if (first.stop) return stop(first);
  double accumulator = first.value;
  for (const MultiplicationOperation& op : expression.operations) {
    const Operand factor = take_operand(evaluate(op.operand, context));
    if (factor.stop) return stop(factor);
    switch (op.kind) {
      case MultiplicationOperation::Kind::Multiply:
        accumulator *= factor.value;
        break;
      case MultiplicationOperation::Kind::Divide:
        if (factor.value == 0.0) return EvalNote::single(EvalResult::error(EvalError::Value));
        accumulator /= factor.value;
        break;
      case MultiplicationOperation::Kind::Modulo:
        if (factor.value == 0.0) return EvalNote::single(EvalResult::error(EvalError::Value));
        accumulator = std::fmod(accumulator, factor.value);
        break;
    }
  }
  return number(accumulator);
}

EvalNote evaluate(const PowerExpression& expression, const EvalContext& context) {
  if (expression.exponents.empty()) return evaluate(expression.base, context);
  const Operand base = take_operand(evaluate(expression.base, context));
  if (base.stop) return stop(base);
  double accumulator = base.value;
  for (const UnaryExpression& exponent : expression.exponents) {
    const Operand e = take_operand(evaluate(exponent, context));
    if (e.stop) return stop(e);
    accumulator = std::pow(accumulator, e.value);
  }
  return number(accumulator);
}

EvalNote evaluate(const UnaryExpression& expression, const EvalContext& context) {
  EvalNote note = evaluate_atom(expression.atom, context);
  if (expression.sign != UnarySign::Minus) return note;
  if (note.is_list()) return EvalNote::single(EvalResult::error(EvalError::Many));
  const EvalResult& r = note.single_result();
  if (r.is_error()) return note;
  if (r.is_empty()) return number(-0.0);
  return number(-r.number_value());
}

BooleanOutcome evaluate_boolean(const OrExpression& expression, const EvalContext& context) {
  BooleanOutcome outcome = evaluate_boolean(expression.first, context);
  for (std::size_t i = 0;; ++i) {
    if (outcome.error || outcome.value) return outcome;
    if (i == expression.rest.size()) return outcome;
    outcome = evaluate_boolean(expression.rest[i], context);
  }
}

BooleanOutcome evaluate_boolean(const AndExpression& expression, const EvalContext& context) {
  BooleanOutcome outcome = evaluate_boolean(expression.first, context);
  for (std::size_t i = 0;; ++i) {
    if (outcome.error || !outcome.value) return outcome;
    if (i == expression.rest.size()) return outcome;
    outcome = evaluate_boolean(expression.rest[i], context);
  }
}

BooleanOutcome evaluate_boolean(const NegationExpression& expression, const EvalContext& context) {
  BooleanOutcome outcome = evaluate_comparison(expression.comparison, context);
  if (!outcome.error && expression.negated) outcome.value = !outcome.value;
  return outcome;
}

}  // namespace ostrel::eval
