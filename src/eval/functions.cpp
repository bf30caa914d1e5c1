// Functions, aggregations, conditionals and modifiers.
#include "eval/functions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "support/invariant.h"

namespace ostrel::eval {

using namespace parser::ast;

namespace {

EvalNote number(double x) { return EvalNote::single(EvalResult::number(x)); }
EvalNote error(EvalError kind) { return EvalNote::single(EvalResult::error(kind)); }

// 10 raised to an integer power by square-and-multiply, as doubles.
double power_of_ten(std::int64_t exponent) {
  std::uint64_t magnitude = exponent < 0 ? static_cast<std::uint64_t>(-exponent) : static_cast<std::uint64_t>(exponent);
  double result = 1.0;
  double base = 10.0;
  while (magnitude != 0) {
    if (magnitude & 1) result *= base;
    base *= base;
    magnitude >>= 1;
  }
  return exponent < 0 ? 1.0 / result : result;
}

EvalNote round_to(double x, const EvalNote& digits) {
  double scale = 1.0;
  if (digits.is_list()) return error(EvalError::Many);
  const EvalResult& n = digits.single_result();
  if (n.is_error()) return digits;
  if (n.is_number()) {
    const double rounded = std::round(n.number_value());
    std::int64_t places = 0;
    if (!std::isnan(rounded)) {
      places = static_cast<std::int64_t>(std::clamp(rounded, -2147483648.0, 2147483647.0));
    }
    scale = power_of_ten(places);
  }
  return number(std::round(x * scale) / scale);
}

EvalNote apply_function(FunctionName function, double x) {
  switch (function) {
    case FunctionName::Abs:
      return number(std::fabs(x));
    case FunctionName::Round:
      return number(std::round(x));
    case FunctionName::Ceil:
      return number(std::ceil(x));
    case FunctionName::Floor:
      return number(std::floor(x));
    case FunctionName::Log:
      if (x <= 0) return error(EvalError::Value);
      return number(std::log10(x));
    case FunctionName::Sign:
      return number(x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0);
    default:
      invariant_failure("function takes two arguments");
  }
}

EvalNote apply_function(FunctionName function, double x, double y) {
  switch (function) {
    case FunctionName::Pow:
      return number(std::pow(x, y));
    case FunctionName::Root:
      if (y == 0) return error(EvalError::Value);
      return number(std::pow(x, 1.0 / y));
    case FunctionName::Log:
      if (y == 1 || x <= 0 || y <= 0) return error(EvalError::Value);
      return number(std::log(x) / std::log(y));
    case FunctionName::Mod:
      if (y == 0) return error(EvalError::Value);
      return number(std::fmod(x, y));
    default:
      invariant_failure("function takes one argument");
  }
}

// IEEE-754 total order: -NaN < -inf < ... < -0 < +0 < ... < +inf < +NaN.
bool total_order_less(double a, double b) {
  auto key = [](double x) {
    const auto bits = std::bit_cast<std::int64_t>(x);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
  };
  return key(a) < key(b);
}

double sum_of(std::span<const double> xs) {
  double sum = -0.0;
  for (double x : xs) sum += x;
  return sum;
}

// The numbers an aggregation gathers: the common few on the stack, more on the heap.
class GatheredNumbers {
 public:
  void push(double x) {
    if (size_ < kInline) {
      inline_[size_] = x;
    } else {
      if (size_ == kInline) heap_.assign(inline_.begin(), inline_.end());
      heap_.push_back(x);
    }
    ++size_;
  }
  std::span<double> numbers() { return size_ <= kInline ? std::span<double>(inline_.data(), size_) : heap_; }

 private:
  static constexpr std::size_t kInline = 8;
  std::array<double, kInline> inline_;
  std::vector<double> heap_;
  std::size_t size_ = 0;
};

EvalNote aggregate(AggregationName aggregation, std::span<double> xs) {
  const std::size_t n = xs.size();
  switch (aggregation) {
    case AggregationName::Sum:
      return number(sum_of(xs));
    case AggregationName::Mult: {
      double product = 1.0;
      for (double x : xs) product *= x;
      return number(product);
    }
    case AggregationName::Avg:
      if (n == 0) return error(EvalError::Value);
      return number(sum_of(xs) / static_cast<double>(n));
    case AggregationName::Median:
      if (n == 0) return error(EvalError::Value);
      if (n == 1) return number(xs[0]);
      std::stable_sort(xs.begin(), xs.end(), total_order_less);
      if (n % 2 == 1) return number(xs[n / 2]);
      return number((xs[n / 2 - 1] + xs[n / 2]) * 0.5);
    case AggregationName::Stdev: {
      if (n < 2) return error(EvalError::Value);
      const double mean = sum_of(xs) / static_cast<double>(n);
      double squares = 0.0;
      for (double x : xs) squares += (x - mean) * (x - mean);
      return number(std::sqrt(squares / static_cast<double>(n - 1)));
    }
    case AggregationName::Max:
    case AggregationName::Min: {
      if (n == 0) return error(EvalError::Value);
      double extreme = xs[0];
      for (std::size_t i = 1; i < n; ++i) {
        // fmax and fmin ignore a NaN operand.
        extreme = aggregation == AggregationName::Max ? std::fmax(extreme, xs[i]) : std::fmin(extreme, xs[i]);
      }
      return number(extreme);
    }
    case AggregationName::Count:
      return number(static_cast<double>(n));
    case AggregationName::Coalesce:
      break;
  }
  invariant_failure("coalesce does not gather");
}

EvalNote coalesce(const List<Expression>& arguments, EvalContext& context) {
  for (const Expression& argument : arguments) {
    const EvalNote note = evaluate(argument, context);
    if (!note.is_list()) {
      if (!note.single_result().is_empty()) return note;
      continue;
    }
    for (const EvalResult& r : note.list_results()) {
      if (!r.is_empty()) return EvalNote::single(r);
    }
  }
  return EvalNote::single(EvalResult::empty());
}

double sum_numbers(const std::vector<EvalResult>& values) {
  double sum = -0.0;
  for (const EvalResult& r : values) {
    if (r.is_number()) sum += r.number_value();
  }
  return sum;
}

}  // namespace

EvalNote evaluate_function(const AtomicExpression::Function& call, EvalContext& context) {
  const List<Expression>& args = call.arguments;
  if (args.empty()) invariant_failure("function call without arguments");
  if (call.function == FunctionName::IfError) {
    EvalNote value = evaluate(args[0], context);
    if (value.is_list() || !value.single_result().is_error()) return value;
    if (args.size() == 1) return EvalNote::single(EvalResult::empty());
    return evaluate(args[1], context);
  }
  const Operand x = evaluate_operand(args[0], context);
  if (x.error) return error(*x.error);
  if (args.size() == 1) return apply_function(call.function, x.value);
  if (call.function == FunctionName::Round) return round_to(x.value, evaluate(args[1], context));
  const Operand y = evaluate_operand(args[1], context);
  if (y.error) return error(*y.error);
  return apply_function(call.function, x.value, y.value);
}

EvalNote evaluate_aggregation(const AtomicExpression::Aggregation& call, EvalContext& context) {
  const List<Expression> arguments = call.arguments.value_or(List<Expression>());
  if (call.aggregation == AggregationName::Coalesce) return coalesce(arguments, context);
  GatheredNumbers numbers;
  auto consider = [&](const EvalResult& r) -> bool {
    if (r.is_error()) return false;
    if (r.is_number()) numbers.push(r.number_value());
    return true;
  };
  for (const Expression& argument : arguments) {
    const EvalNote note = evaluate(argument, context);
    if (!note.is_list()) {
      if (!consider(note.single_result())) return note;
      continue;
    }
    for (const EvalResult& r : note.list_results()) {
      if (!consider(r)) return EvalNote::single(r);
    }
  }
  return aggregate(call.aggregation, numbers.numbers());
}

EvalNote evaluate_conditional(const AtomicExpression::Conditional& call, EvalContext& context) {
  for (const CaseClause& clause : call.clauses) {
    const BooleanOutcome outcome = evaluate_boolean(clause.condition, context);
    if (outcome.error) return error(*outcome.error);
    if (outcome.value) return evaluate(*clause.value, context);
  }
  if (call.otherwise) return evaluate(*call.otherwise, context);
  return EvalNote::single(EvalResult::empty());
}

EvalNote evaluate_modifier(const AtomicExpression::Modifier& call, EvalContext& context) {
  const std::vector<EvalResult> values = context.get_cross_dimensional_values(call.name, call.index);
  for (const EvalResult& r : values) {
    if (r.is_error()) return EvalNote::single(r);
  }
  const double total = sum_numbers(values);
  if (call.modifier == ModifierName::Total) return number(total);
  if (values.empty() || total == 0) return error(EvalError::Value);
  const std::vector<EvalResult> current = context.get_reference_value(call.name, call.index);
  if (current.empty()) return error(EvalError::Ref);
  if (current.size() > 1) return error(EvalError::Many);
  const EvalResult& x = current.front();
  if (x.is_number()) return number(x.number_value() / total);
  if (x.is_empty()) return number(0.0);
  return EvalNote::single(x);
}

}  // namespace ostrel::eval
