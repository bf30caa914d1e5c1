// Arithmetic, references and conditions. Keyword atoms (functions, aggregations,
// conditionals, modifiers) are in functions.cpp.
#include "eval/evaluator.h"

#include <cmath>

#include "eval/functions.h"
#include "support/invariant.h"

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
  if (note.is_list()) return Operand{0, EvalError::Many};
  const EvalResult& r = note.single_result();
  if (r.is_error()) return Operand{0, r.error_kind()};
  if (r.is_empty()) return Operand{0.0, std::nullopt};
  return Operand{r.number_value(), std::nullopt};
}

EvalNote extract_indexed_value(std::vector<EvalResult> values, std::uint64_t index) {
  if (index == 0 || index > values.size()) return EvalNote::single(EvalResult::error(EvalError::Ref));
  return EvalNote::single(values[index - 1]);
}

EvalResult EvalContext::get_right_value(std::uint64_t index) {
  return extract_indexed_value(get_right_values(), index).single_result();
}

namespace {

EvalNote number(double x) { return EvalNote::single(EvalResult::number(x)); }
EvalNote note_of(const Operand& o) { return o.error ? EvalNote::single(EvalResult::error(*o.error)) : number(o.value); }

EvalNote evaluate_reference(const AtomicExpression::NodeReference& reference, EvalContext& context) {
  if (std::optional<EvalResult> one = context.get_single_reference_value(reference.name, reference.index)) {
    return EvalNote::single(*one);
  }
  std::vector<EvalResult> values = context.get_reference_value(reference.name, reference.index);
  if (values.empty()) return EvalNote::single(EvalResult::error(EvalError::Ref));
  if (reference.index || values.size() == 1) return EvalNote::single(values.front());
  return EvalNote::list(std::move(values));
}

EvalNote evaluate_listing(std::vector<EvalResult> values, const std::optional<std::uint64_t>& index) {
  if (index) return extract_indexed_value(std::move(values), *index);
  return EvalNote::list(std::move(values));
}

EvalNote evaluate_atom(const AtomicExpression& atom, EvalContext& context) {
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
          if (a.index) return EvalNote::single(context.get_right_value(*a.index));
          return EvalNote::list(context.get_right_values());
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

BooleanOutcome evaluate_comparison(const ComparisonExpression& comparison, EvalContext& context) {
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

EvalNote evaluate(const Value& value, EvalContext& context) {
  if (const auto* n = std::get_if<Value::Number>(&value.v)) return number(n->value);
  if (const auto* e = std::get_if<Value::Expression>(&value.v)) return evaluate(*e->expression, context);
  return EvalNote::single(EvalResult::empty());
}

namespace {

const UnaryExpression& operand_of(const UnaryExpression& exponent) { return exponent; }
template <class Operation>
const auto& operand_of(const Operation& operation) {
  return operation.operand;
}

// A left-associative chain: the first operand, then each operation in turn. The first
// error ends it, and nothing to its right is asked for.
template <class First, class Operations, class Combine>
Operand fold_chain(const First& first, const Operations& operations, EvalContext& context, Combine combine) {
  Operand accumulator = evaluate_operand(first, context);
  for (const auto& op : operations) {
    if (accumulator.error) break;
    const Operand next = evaluate_operand(operand_of(op), context);
    if (next.error) return next;
    accumulator = combine(accumulator.value, op, next.value);
  }
  return accumulator;
}

}  // namespace

// Most levels hold their one operand alone: it is passed through without entering the chain.
Operand evaluate_operand(const Expression& expression, EvalContext& context) {
  if (expression.operations.empty()) return evaluate_operand(expression.first, context);
  return fold_chain(
      expression.first, expression.operations, context, [](double left, const AdditionOperation& op, double right) {
        return Operand{op.kind == AdditionOperation::Kind::Plus ? left + right : left - right, std::nullopt};
      });
}

Operand evaluate_operand(const MultiplicationExpression& expression, EvalContext& context) {
  if (expression.operations.empty()) return evaluate_operand(expression.first, context);
  return fold_chain(
      expression.first, expression.operations, context,
      [](double left, const MultiplicationOperation& op, double right) {
        switch (op.kind) {
          case MultiplicationOperation::Kind::Multiply:
            return Operand{left * right, std::nullopt};
          case MultiplicationOperation::Kind::Divide:
            return right == 0.0 ? Operand{0, EvalError::Value} : Operand{left / right, std::nullopt};
          case MultiplicationOperation::Kind::Modulo:
            return right == 0.0 ? Operand{0, EvalError::Value} : Operand{std::fmod(left, right), std::nullopt};
        }
        return Operand{left * right, std::nullopt};
      });
}

Operand evaluate_operand(const PowerExpression& expression, EvalContext& context) {
  if (expression.exponents.empty()) return evaluate_operand(expression.base, context);
  return fold_chain(expression.base, expression.exponents, context,
                    [](double left, const UnaryExpression&, double right) {
                      return Operand{std::pow(left, right), std::nullopt};
                    });
}

Operand evaluate_operand(const UnaryExpression& expression, EvalContext& context) {
  // A minus negates the operand (an empty value gives -0); lists and errors stop first.
  const bool minus = expression.sign == UnarySign::Minus;
  Operand o;
  if (const auto* n = std::get_if<AtomicExpression::Number>(&expression.atom.v)) {
    o = Operand{n->value, std::nullopt};
  } else if (const auto* p = std::get_if<AtomicExpression::Parenthesized>(&expression.atom.v)) {
    o = evaluate_operand(*p->expression, context);
  } else {
    o = take_operand(evaluate_atom(expression.atom, context));
  }
  if (minus && !o.error) o.value = -o.value;
  return o;
}

// A level with operations is a number or the result that stopped it; without, it is
// whatever its one operand is (a list included).
EvalNote evaluate(const Expression& expression, EvalContext& context) {
  if (expression.operations.empty()) return evaluate(expression.first, context);
  return note_of(evaluate_operand(expression, context));
}

EvalNote evaluate(const MultiplicationExpression& expression, EvalContext& context) {
  if (expression.operations.empty()) return evaluate(expression.first, context);
  return note_of(evaluate_operand(expression, context));
}

EvalNote evaluate(const PowerExpression& expression, EvalContext& context) {
  if (expression.exponents.empty()) return evaluate(expression.base, context);
  return note_of(evaluate_operand(expression, context));
}

EvalNote evaluate(const UnaryExpression& expression, EvalContext& context) {
  if (expression.sign != UnarySign::Minus) return evaluate_atom(expression.atom, context);
  return note_of(evaluate_operand(expression, context));
}

BooleanOutcome evaluate_boolean(const OrExpression& expression, EvalContext& context) {
  BooleanOutcome outcome = evaluate_boolean(expression.first, context);
  for (std::size_t i = 0;; ++i) {
    if (outcome.error || outcome.value) return outcome;
    if (i == expression.rest.size()) return outcome;
    outcome = evaluate_boolean(expression.rest[i], context);
  }
}

BooleanOutcome evaluate_boolean(const AndExpression& expression, EvalContext& context) {
  BooleanOutcome outcome = evaluate_boolean(expression.first, context);
  for (std::size_t i = 0;; ++i) {
    if (outcome.error || !outcome.value) return outcome;
    if (i == expression.rest.size()) return outcome;
    outcome = evaluate_boolean(expression.rest[i], context);
  }
}

BooleanOutcome evaluate_boolean(const NegationExpression& expression, EvalContext& context) {
  BooleanOutcome outcome = evaluate_comparison(expression.comparison, context);
  if (!outcome.error && expression.negated) outcome.value = !outcome.value;
  return outcome;
}

}  // namespace ostrel::eval
