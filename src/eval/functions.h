// The keyword atoms: functions, aggregations, conditionals and modifiers.
#pragma once

#include <optional>

#include "eval/evaluator.h"

namespace ostrel::eval {

// A number taken from a note by the operand rule, or the result that ends the operation:
// a list gives "MANY!", an error passes with its kind, an empty value counts as 0.
using Operand = Checked<double>;
Operand take_operand(const EvalNote& note);

// take_operand(evaluate(x)), without a note for every number on the way.
Operand evaluate_operand(const parser::ast::Expression& expression, EvalContext& context);
Operand evaluate_operand(const parser::ast::MultiplicationExpression& expression, EvalContext& context);
Operand evaluate_operand(const parser::ast::PowerExpression& expression, EvalContext& context);
Operand evaluate_operand(const parser::ast::UnaryExpression& expression, EvalContext& context);

EvalNote evaluate_function(const parser::ast::AtomicExpression::Function& call, EvalContext& context);
EvalNote evaluate_aggregation(const parser::ast::AtomicExpression::Aggregation& call, EvalContext& context);
EvalNote evaluate_conditional(const parser::ast::AtomicExpression::Conditional& call, EvalContext& context);
EvalNote evaluate_modifier(const parser::ast::AtomicExpression::Modifier& call, EvalContext& context);

}  // namespace ostrel::eval
