// The tree builder: one function per level of the grammar, each taking one parse-tree node.
#include "parser/parse.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "parser/direct_parse.h"
#include "parser/language.h"
#include "parser/terminals.h"
#include "support/invariant.h"
#include "text/number_text.h"
#include "unicode/unicode.h"

namespace ostrel::parser {

using namespace ast;

namespace {

// The builder's levels, defined below the entries; nodes go in `arena`, which must outlive
// the results.
Result<Expression, FormulaError> parse_expression(Arena& arena, ParseNode node);
Result<MultiplicationExpression, FormulaError> parse_multiplication_expression(Arena& arena, ParseNode node);
Result<PowerExpression, FormulaError> parse_power_expression(Arena& arena, ParseNode node);
Result<UnaryExpression, FormulaError> parse_unary_expression(Arena& arena, ParseNode node);
Result<List<Expression>, FormulaError> parse_function_args(Arena& arena, ParseNode node);
Result<BooleanExpression, FormulaError> parse_boolean_expression(Arena& arena, ParseNode node);
Result<AndExpression, FormulaError> parse_and_expression(Arena& arena, ParseNode node);
Result<NegationExpression, FormulaError> parse_negation_expression(Arena& arena, ParseNode node);

FormulaError error_at(ParseNode node, std::string message) {
  return FormulaError::custom(std::move(message), node.start(), node.end());
}

std::string_view trimmed(ParseNode node) { return unicode::trim_white_space(node.text()); }

Result<double, FormulaError> number_value(ParseNode node) {
  Result<double, std::string> value = number_text_value(node.text());
  if (!value) return fail(error_at(node, std::move(value).error()));
  return value.value();
}

Result<std::optional<std::uint64_t>, FormulaError> index_value(ParseNode index) {
  const std::optional<std::uint64_t> value = index_text_value(index.text());
  if (!value) return fail(error_at(index, "Invalid index"));
  return value;
}

// The index of "[n]" when the children from `at` are LBRACKET followed by INDEX.
Result<std::optional<std::uint64_t>, FormulaError> optional_index(ParseNode node, std::size_t at) {
  if (at + 1 < node.child_count() && node.child(at).rule() == Rule::LBRACKET &&
      node.child(at + 1).rule() == Rule::INDEX) {
    return index_value(node.child(at + 1));
  }
  return std::optional<std::uint64_t>();
}

template <class Name>
Name resolve_keyword(ParseNode node, const char* invariant) {
  std::optional<Name> name = lookup<Name>(trimmed(node));
  if (!name) invariant_failure(invariant);
  return *name;
}

Result<AtomicExpression, FormulaError> parse_function(Arena& arena, ParseNode node) {
  const ParseNode name = node.child(0);
  const FunctionName function = resolve_keyword<FunctionName>(name, "Function name should be valid");
  List<Expression> arguments;
  if (node.child_count() > 2 && node.child(2).rule() == Rule::function_args) {
    OSTREL_TRY(parsed, parse_function_args(arena, node.child(2)));
    arguments = parsed;
  }
  const language::Keyword& entry = language::keyword_entry(function);
  const std::size_t n = arguments.size();
  if (!language::accepts_arguments(entry, n)) {
    // "2", or "one of [1, 2]" when several counts are accepted.
    std::string counts = std::to_string(entry.min_arguments);
    if (entry.max_arguments != entry.min_arguments) {
      counts = "one of [" + counts;
      for (std::size_t k = entry.min_arguments + 1; k <= entry.max_arguments; ++k) counts += ", " + std::to_string(k);
      counts += "]";
    }
    const bool singular = entry.max_arguments == 1;
    return fail(error_at(node, "Function '" + std::string(trimmed(name)) + "' expects " + counts + " argument" +
                                   (singular ? "" : "s") + ", but got " + std::to_string(n)));
  }
  return AtomicExpression{AtomicExpression::Function{function, arguments}};
}

Result<AtomicExpression, FormulaError> parse_aggregation(Arena& arena, ParseNode node) {
  const AggregationName aggregation =
      resolve_keyword<AggregationName>(node.child(0), "Aggregation name should be valid");
  std::optional<List<Expression>> arguments;
  if (node.child_count() > 2 && node.child(2).rule() == Rule::aggregator_args) {
    OSTREL_TRY(parsed, parse_function_args(arena, node.child(2)));
    arguments = parsed;
  }
  return AtomicExpression{AtomicExpression::Aggregation{aggregation, arguments}};
}

Result<AtomicExpression, FormulaError> parse_conditional(Arena& arena, ParseNode node) {
  const ParseNode name = node.child(0);
  const ConditionalName conditional = resolve_keyword<ConditionalName>(name, "Conditional name should be valid");
  const ParseNode args = node.child(2);
  const std::size_t count = args.child_count();
  auto is = [&](std::size_t i, Rule rule) { return i < count && args.child(i).rule() == rule; };

  ListBuilder<CaseClause> clauses;
  std::size_t i = 0;
  while (is(i, Rule::boolean_expression)) {
    OSTREL_TRY(condition, parse_boolean_expression(arena, args.child(i)));
    OSTREL_TRY(value, parse_expression(arena, args.child(i + 2)));
    clauses.push(arena) = CaseClause{condition, arena.make<Expression>(value)};
    if (!is(i + 3, Rule::SEMICOLON)) {
      i += 3;
      break;
    }
    i += 4;
  }
  Box<Expression> otherwise = nullptr;
  if (is(i, Rule::SEMICOLON) || is(i, Rule::expression)) {
    OSTREL_TRY(value, parse_expression(arena, args.child(is(i, Rule::SEMICOLON) ? i + 1 : i)));
    otherwise = arena.make<Expression>(value);
  }
  if (conditional == ConditionalName::If) {
    const std::string written(trimmed(name));
    if (clauses.size() != 1) {
      return fail(error_at(
          node, "Conditional '" + written + "' expects 1 case clause, but got " + std::to_string(clauses.size())));
    }
    if (!otherwise) {
      return fail(error_at(node, "Conditional '" + written + "' requires an else clause, but none was provided"));
    }
  }
  return AtomicExpression{AtomicExpression::Conditional{conditional, clauses.list(), otherwise}};
}

Result<AtomicExpression, FormulaError> parse_atomic_expression(Arena& arena, ParseNode atomic) {
  const ParseNode first = atomic.child(0);
  switch (first.rule()) {
    case Rule::NUMBER_OR_PERCENT: {
      OSTREL_TRY(value, number_value(first));
      return AtomicExpression{AtomicExpression::Number{value}};
    }
    case Rule::NODE_REFERENCE: {
      OSTREL_TRY(reference, parse_node_reference(first));
      return AtomicExpression{AtomicExpression::NodeReference{arena.copy(reference.first), reference.second}};
    }
    case Rule::CHILDREN_REFERENCE: {
      OSTREL_TRY(index, optional_index(first, 0));
      return AtomicExpression{AtomicExpression::ChildrenReference{index}};
    }
    case Rule::RIGHT_REFERENCE: {
      OSTREL_TRY(index, optional_index(first, 0));
      return AtomicExpression{AtomicExpression::RightReference{index}};
    }
    case Rule::modifier_expression: {
      const ModifierName modifier = resolve_keyword<ModifierName>(first.child(0), "Modifier name should be valid");
      for (std::size_t i = 1; i < first.child_count(); ++i) {
        if (first.child(i).rule() != Rule::NODE_REFERENCE) continue;
        OSTREL_TRY(reference, parse_node_reference(first.child(i)));
        return AtomicExpression{AtomicExpression::Modifier{modifier, arena.copy(reference.first), reference.second}};
      }
      invariant_failure("NODE_REFERENCE should always be present");
    }
    case Rule::function_expression:
      return parse_function(arena, first);
    case Rule::aggregation_expression:
      return parse_aggregation(arena, first);
    case Rule::conditional_expression:
      return parse_conditional(arena, first);
    case Rule::EMPTY:
      return AtomicExpression{AtomicExpression::Empty{}};
    case Rule::LPAREN: {
      OSTREL_TRY(inner, parse_expression(arena, atomic.child(1)));
      return AtomicExpression{AtomicExpression::Parenthesized{arena.make<Expression>(inner)}};
    }
    default:
      invariant_failure("unexpected " + std::string(rule_name(first.rule())) + " in atomic_expression");
  }
}

// Digits with at most one "." whose value is m / 10^k with m < 2^53 and k <= 22: both are
// exact doubles, so one division gives the correctly rounded value, without the general
// conversion.
std::optional<double> exact_decimal(std::string_view digits) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  std::uint64_t mantissa = 0;
  std::size_t significant = 0;
  std::size_t decimals = 0;
  bool after_point = false;
  for (char c : digits) {
    if (c == '.') {
      after_point = true;
      continue;
    }
    if (significant > 0 || c != '0') ++significant;
    if (significant > 15) return std::nullopt;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    decimals += after_point;
  }
  if (decimals > 22) return std::nullopt;
  const auto whole = static_cast<double>(mantissa);
  return decimals == 0 ? whole : whole / kPowers[decimals];
}

}  // namespace

// ---- Numbers --------------------------------------------------------------------------

Result<double, std::string> number_text_value(std::string_view text) {
  const bool percent = !text.empty() && text.back() == '%';
  if (percent) text.remove_suffix(1);
  // Digits with at most one ".": normalizing would change nothing.
  const bool plain = !text.empty() && text.front() != '.' && text.back() != '.' &&
                     std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) &&
                     std::count(text.begin(), text.end(), '.') <= 1;
  if (plain) {
    if (std::optional<double> exact = exact_decimal(text)) return percent ? *exact / 100 : *exact;
  }
  std::string normalized = normalize_number_string(text);
  Result<double, std::string> value = parse_float(normalized);
  if (!value) return fail("Failed to parse number '" + normalized + "': " + value.error());
  return percent ? value.value() / 100 : value.value();
}

std::optional<std::uint64_t> index_text_value(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string normalize_number_string(std::string_view text) {
  std::string t(unicode::trim_white_space(text));
  const std::size_t last_comma = t.rfind(',');
  const std::size_t last_point = t.rfind('.');
  std::size_t commas = 0;
  std::size_t points = 0;
  for (char c : t) {
    commas += c == ',';
    points += c == '.';
  }
  auto erase_all = [&](char c) { std::erase(t, c); };
  auto replace_all = [&](char from, char to) {
    for (char& c : t) {
      if (c == from) c = to;
    }
  };
  if (commas + points == 0) return t;
  if (commas + points == 1) {
    replace_all(',', '.');
  } else if (commas >= 1 && points >= 1) {
    if (last_comma > last_point) {
      erase_all('.');
      replace_all(',', '.');
    } else {
      erase_all(',');
    }
  } else if (commas >= 2) {
    erase_all(',');
  } else {
    erase_all('.');
  }
  return t;
}

// The failure reasons are fixed texts that a number's error value carries word for word:
// nothing shows them, but they are part of the value, so they keep this form and not ours.
Result<double, std::string> parse_float(std::string_view text) {
  if (text.empty()) return fail(std::string("ParseFloatError { kind: Empty }"));
  constexpr std::string_view invalid = "ParseFloatError { kind: Invalid }";
  const bool negative = text.front() == '-';
  std::string_view digits = text;
  if (text.front() == '-' || text.front() == '+') digits.remove_prefix(1);
  std::size_t digit_count = 0;
  std::size_t point_count = 0;
  bool nonzero_before_point = false;
  for (char c : digits) {
    if (c == '.') {
      ++point_count;
    } else if (c >= '0' && c <= '9') {
      ++digit_count;
      if (point_count == 0 && c != '0') nonzero_before_point = true;
    } else {
      return fail(std::string(invalid));
    }
  }
  if (digit_count == 0 || point_count > 1) return fail(std::string(invalid));
  if (std::optional<double> exact = exact_decimal(digits)) return negative ? -*exact : *exact;
  const std::optional<double> value = decimal_to_double(digits, nonzero_before_point);
  if (!value) return fail(std::string(invalid));
  return negative ? -*value : *value;
}

// ---- Entries --------------------------------------------------------------------------

Result<Value, FormulaError> FormulaParser::parse_formula(std::string_view text) {
  if (std::optional<Value> direct = parse_formula_directly(text)) return std::move(*direct);
  return build_formula(text);
}

Result<Condition, FormulaError> parse_condition(std::string_view text) {
  if (std::optional<Condition> direct = parse_condition_directly(text)) return std::move(*direct);
  return build_condition(text);
}

Result<Value, FormulaError> build_formula(std::string_view text) {
  OSTREL_TRY(tree, FormulaParser::parse(Rule::value, text));
  Arena arena;
  const ParseNode value = tree.top(0);
  for (std::size_t i = 0; i < value.child_count(); ++i) {
    const ParseNode child = value.child(i);
    if (child.rule() == Rule::SIGNED_NUMBER) {
      OSTREL_TRY(number, number_value(child));
      return Value{Value::Number{number}, {}};
    }
    if (child.rule() == Rule::EQUALS) {
      OSTREL_TRY(expression, parse_expression(arena, value.child(i + 1)));
      Expression* root = arena.make<Expression>(expression);
      return Value{Value::Expression{root}, std::move(arena)};
    }
  }
  return Value{Value::Empty{}, {}};
}

Result<Condition, FormulaError> build_condition(std::string_view text) {
  OSTREL_TRY(tree, FormulaParser::parse(Rule::boolean_value, text));
  Arena arena;
  OSTREL_TRY(expression, parse_boolean_expression(arena, tree.top(0).child(0)));
  return Condition{expression, std::move(arena)};
}

// ---- Arithmetic -----------------------------------------------------------------------

namespace {

// The repeats of a left-associative chain, operand ~ (operator ~ operand)*, from the children
// of `chain`: each operator that `kind_of` knows, with the operand after it built by
// `make(kind, operand)`.
template <class T, class KindOf, class Make>
Result<List<T>, FormulaError> chain_rest(Arena& arena, ParseNode chain, KindOf kind_of, Make make) {
  ListBuilder<T> rest;
  for (std::size_t i = 1; i + 1 < chain.child_count(); i += 2) {
    const auto kind = kind_of(chain.child(i));
    if (!kind) continue;
    OSTREL_TRY(element, make(*kind, chain.child(i + 1)));
    rest.push(arena) = element;
  }
  return rest.list();
}

// The operator node itself, or the node it stands in as the only child of.
template <class Kind>
std::optional<Kind> operator_kind(ParseNode op, std::optional<Kind> (*kind_of)(Rule)) {
  std::optional<Kind> kind = kind_of(op.rule());
  if (!kind && op.child_count() > 0) kind = kind_of(op.child(0).rule());
  return kind;
}

// A chain operator that is one rule.
auto operator_rule(Rule rule) {
  return [rule](ParseNode op) { return op.rule() == rule ? std::optional<bool>(true) : std::nullopt; };
}

std::optional<AdditionOperation::Kind> addition_kind(Rule rule) {
  switch (rule) {
    case Rule::PLUS:
      return AdditionOperation::Kind::Plus;
    case Rule::MINUS:
      return AdditionOperation::Kind::Minus;
    default:
      return std::nullopt;
  }
}

std::optional<MultiplicationOperation::Kind> multiplication_kind(Rule rule) {
  switch (rule) {
    case Rule::MULTIPLY:
      return MultiplicationOperation::Kind::Multiply;
    case Rule::DIVIDE:
      return MultiplicationOperation::Kind::Divide;
    case Rule::MODULO:
      return MultiplicationOperation::Kind::Modulo;
    default:
      return std::nullopt;
  }
}

Result<Expression, FormulaError> parse_expression(Arena& arena, ParseNode node) {
  const ParseNode chain = node.child(0);
  OSTREL_TRY(first, parse_multiplication_expression(arena, chain.child(0)));
  OSTREL_TRY(operations,
             chain_rest<AdditionOperation>(
                 arena, chain, [](ParseNode op) { return operator_kind(op, addition_kind); },
                 [&](AdditionOperation::Kind kind, ParseNode operand) -> Result<AdditionOperation, FormulaError> {
                   OSTREL_TRY(value, parse_multiplication_expression(arena, operand));
                   return AdditionOperation{kind, value};
                 }));
  return Expression{first, operations};
}

Result<MultiplicationExpression, FormulaError> parse_multiplication_expression(Arena& arena, ParseNode node) {
  OSTREL_TRY(first, parse_power_expression(arena, node.child(0)));
  OSTREL_TRY(operations, chain_rest<MultiplicationOperation>(
                             arena, node, [](ParseNode op) { return operator_kind(op, multiplication_kind); },
                             [&](MultiplicationOperation::Kind kind,
                                 ParseNode operand) -> Result<MultiplicationOperation, FormulaError> {
                               OSTREL_TRY(value, parse_power_expression(arena, operand));
                               return MultiplicationOperation{kind, value};
                             }));
  return MultiplicationExpression{first, operations};
}

Result<PowerExpression, FormulaError> parse_power_expression(Arena& arena, ParseNode node) {
  OSTREL_TRY(base, parse_unary_expression(arena, node.child(0)));
  OSTREL_TRY(exponents,
             chain_rest<UnaryExpression>(arena, node, operator_rule(Rule::POWER), [&](bool, ParseNode operand) {
               return parse_unary_expression(arena, operand);
             }));
  return PowerExpression{base, exponents};
}

Result<UnaryExpression, FormulaError> parse_unary_expression(Arena& arena, ParseNode node) {
  std::optional<UnarySign> sign;
  std::size_t at = 0;
  if (node.child(0).rule() == Rule::MINUS) {
    sign = UnarySign::Minus;
    at = 1;
  } else if (node.child(0).rule() == Rule::PLUS) {
    sign = UnarySign::Plus;
    at = 1;
  }
  OSTREL_TRY(atom, parse_atomic_expression(arena, node.child(at)));
  return UnaryExpression{atom, sign};
}

}  // namespace

Result<std::pair<std::string, std::optional<std::uint64_t>>, FormulaError> parse_node_reference(ParseNode node) {
  const ParseNode first = node.child(0);
  std::string name;
  std::size_t next = 1;
  if (first.rule() == Rule::AT) {
    name = node.child(1).text();
    next = 2;
  } else if (first.rule() == Rule::LCURLYAT) {
    name = node.child(1).text();
    next = 3;
  } else {
    name = first.text();
  }
  OSTREL_TRY(index, optional_index(node, next));
  return std::pair{std::move(name), index};
}

namespace {

Result<List<Expression>, FormulaError> parse_function_args(Arena& arena, ParseNode node) {
  ListBuilder<Expression> arguments;
  for (std::size_t i = 0; i < node.child_count(); ++i) {
    if (node.child(i).rule() != Rule::expression) continue;
    OSTREL_TRY(argument, parse_expression(arena, node.child(i)));
    arguments.push(arena) = argument;
  }
  return arguments.list();
}

// ---- Conditions -----------------------------------------------------------------------

Result<BooleanExpression, FormulaError> parse_boolean_expression(Arena& arena, ParseNode node) {
  const ParseNode chain = node.child(0);
  OSTREL_TRY(first, parse_and_expression(arena, chain.child(0)));
  OSTREL_TRY(rest, chain_rest<AndExpression>(arena, chain, operator_rule(Rule::OR), [&](bool, ParseNode operand) {
               return parse_and_expression(arena, operand);
             }));
  return OrExpression{first, rest};
}

Result<AndExpression, FormulaError> parse_and_expression(Arena& arena, ParseNode node) {
  OSTREL_TRY(first, parse_negation_expression(arena, node.child(0)));
  OSTREL_TRY(rest, chain_rest<NegationExpression>(arena, node, operator_rule(Rule::AND), [&](bool, ParseNode operand) {
               return parse_negation_expression(arena, operand);
             }));
  return AndExpression{first, rest};
}

Result<NegationExpression, FormulaError> parse_negation_expression(Arena& arena, ParseNode node) {
  std::size_t nots = 0;
  while (node.child(nots).rule() == Rule::NOT) ++nots;
  const bool negated = nots % 2 == 1;
  const ParseNode atomic = node.child(nots);
  const ParseNode first = atomic.child(0);
  switch (first.rule()) {
    case Rule::expression: {
      OSTREL_TRY(left, parse_expression(arena, first));
      Expression* left_box = arena.make<Expression>(left);
      if (atomic.child_count() == 1) {
        return NegationExpression{negated, {ComparisonExpression::Single{left_box}}};
      }
      const ParseNode op = atomic.child(1);
      const std::optional<ComparisonOperator> comparison = terminals::comparison_operator(op.rule());
      if (!comparison) {
        return fail(error_at(op, "Unexpected comparison operator: " + std::string(rule_name(op.rule()))));
      }
      OSTREL_TRY(right, parse_expression(arena, atomic.child(2)));
      return NegationExpression{
          negated, {ComparisonExpression::Comparison{left_box, *comparison, arena.make<Expression>(right)}}};
    }
    case Rule::boolean_expression:
    case Rule::LPAREN: {
      OSTREL_TRY(inner, parse_boolean_expression(arena, first.rule() == Rule::LPAREN ? atomic.child(1) : first));
      return NegationExpression{negated, {ComparisonExpression::Nested{arena.make<BooleanExpression>(inner)}}};
    }
    default:
      return fail(error_at(first, "Unexpected rule in comparison expression: " + std::string(rule_name(first.rule()))));
  }
}

}  // namespace

}  // namespace ostrel::parser
