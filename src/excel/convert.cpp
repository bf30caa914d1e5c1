// Each step appends its translation to one text per cell and reports a failure as a
// value. Parentheses are written only where the formula had them, and around a ratio,
// which is one operand; so the spreadsheet's precedence must agree with the language's,
// which it does for every operator written here (the remainder becomes MOD, the one
// operator spreadsheets lack).
#include "excel/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "support/invariant.h"
#include "text/number_text.h"

namespace ostrel::excel {

using namespace parser::ast;

namespace {

// Nothing when the step succeeded; what was appended is then its translation.
using Failed = std::optional<ConvertError>;

constexpr std::string_view kEmptyText = "\"\"";  // the spreadsheet's empty text

Failed write_expression(const Expression& expression, const ConvertContext& context, std::string& out);
Failed write_or(const OrExpression& expression, const ConvertContext& context, std::string& out);

Failed too_long(const std::string& out) {
  if (out.size() > kMaxCellText) return ConvertError::TooLong;
  return std::nullopt;
}

Failed write_cell(const Node& node, std::size_t dimension, const ConvertContext& context, std::string& out) {
  const Result<std::string_view, ConvertError> cell = cell_at(node, dimension, context.snapshot);
  if (!cell) return cell.error();
  out += cell.value();
  return too_long(out);
}

// The spreadsheet's error value standing for an error inside a formula. MANY! has no
// error of its own there; #N/A, "no value available", is the nearest.
std::string_view error_literal(ConvertError error) {
  switch (error) {
    case ConvertError::Ref:
      return "#REF!";
    case ConvertError::Many:
      return "#N/A";
    case ConvertError::Value:
      return "#VALUE!";
    case ConvertError::TooLong:
      break;
  }
  invariant_failure("an overlong translation is never embedded");
}

// Writes the expression, or on failure the spreadsheet's error in its place.
Failed write_embedded(const Expression& expression, const ConvertContext& context, std::string& out) {
  const std::size_t mark = out.size();
  const Failed failed = write_expression(expression, context, out);
  if (!failed || *failed == ConvertError::TooLong) return failed;
  out.resize(mark);
  out += error_literal(*failed);
  return std::nullopt;
}

// One node out of the visible nodes of a name, by 1-based index; nullptr when out of range.
const Node* indexed(const TreeIndex& names, std::span<const NodeIndex> matches, std::uint64_t index) {
  if (index == 0 || index > matches.size()) return nullptr;
  return &names.node(matches[index - 1]);
}

// The atom an operand is when it is nothing else: no operator, no exponent, no minus (a
// plus passes any value on unchanged, lists included).
const AtomicExpression* operand_atom(const Expression& expression) {
  if (!expression.operations.empty() || !expression.first.operations.empty()) return nullptr;
  const PowerExpression& power = expression.first.first;
  if (!power.exponents.empty() || power.base.sign == UnarySign::Minus) return nullptr;
  return &power.base.atom;
}

bool is_list(const AtomicExpression& atom, const ConvertContext& context) {
  using A = AtomicExpression;
  if (const auto* children = std::get_if<A::ChildrenReference>(&atom.v)) return !children->index;
  if (const auto* right = std::get_if<A::RightReference>(&atom.v)) return !right->index;
  if (const auto* reference = std::get_if<A::NodeReference>(&atom.v)) {
    return !reference->index && reference->name != "Self" && context.names.named(reference->name).size() > 1;
  }
  return false;
}

// The list that an expression gives in the engine, reached through parentheses, plus
// signs and `iferror`, which passes a list on unchanged; nullptr for a single value.
const AtomicExpression* list_atom(const Expression& expression, const ConvertContext& context) {
  const AtomicExpression* atom = operand_atom(expression);
  while (atom != nullptr) {
    if (const auto* inner = std::get_if<AtomicExpression::Parenthesized>(&atom->v)) {
      atom = operand_atom(*inner->expression);
    } else if (const auto* call = std::get_if<AtomicExpression::Function>(&atom->v);
               call != nullptr && call->function == FunctionName::IfError) {
      atom = operand_atom(call->arguments[0]);
    } else {
      return is_list(*atom, context) ? atom : nullptr;
    }
  }
  return nullptr;
}

// Where the dimensions that `right` reads end: the node's formula list, not its cells. A
// node of one formula text has no right-hand values at all (nothing).
std::optional<std::size_t> right_end(const ConvertContext& context) {
  if (context.node.formula.is_single()) return std::nullopt;
  return context.node.formula.multi_values().size();
}

// Calls `each` with every cell of a list atom, in the engine's order of its values; the
// first failure ends the walk.
template <class Each>
Failed for_each_list_cell(const AtomicExpression& atom, const ConvertContext& context, Each&& each) {
  const auto visit = [&](const Node& node, std::size_t dimension) -> Failed {
    const Result<std::string_view, ConvertError> cell = cell_at(node, dimension, context.snapshot);
    if (!cell) return cell.error();
    return each(cell.value());
  };
  if (std::holds_alternative<AtomicExpression::ChildrenReference>(atom.v)) {
    for (const Node& child : context.node.children) {
      if (Failed failed = visit(child, context.dimension)) return failed;
    }
    return std::nullopt;
  }
  if (std::holds_alternative<AtomicExpression::RightReference>(atom.v)) {
    const std::optional<std::size_t> end = right_end(context);
    if (!end) return ConvertError::Ref;
    for (std::size_t d = context.dimension + 1; d < *end; ++d) {
      if (Failed failed = visit(context.node, d)) return failed;
    }
    return std::nullopt;
  }
  for (const NodeIndex match : context.names.named(std::get<AtomicExpression::NodeReference>(atom.v).name)) {
    if (Failed failed = visit(context.names.node(match), context.dimension)) return failed;
  }
  return std::nullopt;
}

// The cell of a named node; "Self" is the translated node itself. Several matches without
// an index are one value too many, unless `several` asks for all their cells, joined by ",".
Failed write_node_cell(std::string_view name, std::optional<std::uint64_t> index, std::size_t dimension,
                       const ConvertContext& context, bool several, std::string& out) {
  if (name == "Self") {
    if (index) return ConvertError::Ref;
    return write_cell(context.node, dimension, context, out);
  }
  const std::span<const NodeIndex> matches = context.names.named(name);
  if (matches.empty()) return ConvertError::Ref;
  if (index) {
    const Node* node = indexed(context.names, matches, *index);
    if (node == nullptr) return ConvertError::Ref;
    return write_cell(*node, dimension, context, out);
  }
  if (matches.size() > 1 && !several) return ConvertError::Many;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    if (i > 0) out += ',';
    if (Failed failed = write_cell(context.names.node(matches[i]), dimension, context, out)) return failed;
  }
  return std::nullopt;
}

Failed write_children(std::optional<std::uint64_t> index, const ConvertContext& context, std::string& out) {
  if (!index) return ConvertError::Many;
  const std::vector<Node>& children = context.node.children;
  if (*index == 0 || *index > children.size()) return ConvertError::Ref;
  return write_cell(children[*index - 1], context.dimension, context, out);
}

Failed write_right(std::optional<std::uint64_t> index, const ConvertContext& context, std::string& out) {
  if (!index) return ConvertError::Many;
  const std::optional<std::size_t> end = right_end(context);
  if (!end || *end <= context.dimension || *index == 0 || *index >= *end - context.dimension) {
    return ConvertError::Ref;
  }
  return write_cell(context.node, context.dimension + *index, context, out);
}

Failed write_modifier(const AtomicExpression::Modifier& modifier, const ConvertContext& context, std::string& out) {
  if (modifier.modifier == ModifierName::Total) {
    // A sum even of one cell: an empty first dimension is 0 to the engine's total.
    out += "SUM(";
    if (Failed failed = write_node_cell(modifier.name, modifier.index, 0, context, true, out)) return failed;
    out += ')';
    return std::nullopt;
  }
  // A ratio names one node: here "Self" is a name like any other.
  const std::span<const NodeIndex> matches = context.names.named(modifier.name);
  if (matches.empty()) return ConvertError::Ref;
  const Node* node = nullptr;
  if (modifier.index) {
    node = indexed(context.names, matches, *modifier.index);
    if (node == nullptr) return ConvertError::Ref;
  } else {
    if (matches.size() > 1) return ConvertError::Many;
    node = &context.names.node(matches[0]);
  }
  out += '(';
  if (Failed failed = write_cell(*node, context.dimension, context, out)) return failed;
  out += '/';
  if (Failed failed = write_cell(*node, 0, context, out)) return failed;
  out += ')';
  return std::nullopt;
}

// A whole number written as a literal, with or without a sign.
bool is_whole_literal(const Expression& expression) {
  if (!expression.operations.empty() || !expression.first.operations.empty() ||
      !expression.first.first.exponents.empty()) {
    return false;
  }
  const auto* number = std::get_if<AtomicExpression::Number>(&expression.first.first.base.atom.v);
  return number != nullptr && std::isfinite(number->value) && number->value == std::trunc(number->value);
}

// The function table; the builder guarantees the argument counts.
Failed write_function(const AtomicExpression::Function& call, const ConvertContext& context, std::string& out) {
  const List<Expression>& arguments = call.arguments;
  if (arguments.empty()) invariant_failure("function call lacks an argument");
  // `iferror` gives a list back unchanged, and a list is no single value.
  if (call.function == FunctionName::IfError && list_atom(arguments[0], context) != nullptr) {
    return ConvertError::Many;
  }
  auto argument = [&](std::size_t i) -> Failed {
    if (i >= arguments.size()) invariant_failure("function call lacks an argument");
    return write_embedded(arguments[i], context, out);
  };
  const bool two = arguments.size() == 2;
  // NAME(a) or NAME(a,b), with `fixed` standing in for a second argument that is absent.
  auto call_form = [&](std::string_view name, std::string_view fixed) -> Failed {
    out += name;
    out += '(';
    if (Failed failed = argument(0)) return failed;
    if (two) {
      out += ',';
      if (Failed failed = argument(1)) return failed;
    } else if (!fixed.empty()) {
      out += ',';
      out += fixed;
    }
    out += ')';
    return std::nullopt;
  };
  switch (call.function) {
    case FunctionName::Abs:
      return call_form("ABS", "");
    case FunctionName::Round: {
      if (!two || is_whole_literal(arguments[1])) return call_form("ROUND", "0");
      // The engine rounds the digits half away from zero; the spreadsheet would cut them.
      out += "ROUND(";
      if (Failed failed = argument(0)) return failed;
      out += ",ROUND(";
      if (Failed failed = argument(1)) return failed;
      out += ",0))";
      return std::nullopt;
    }
    // Spreadsheets require the significance; 1 gives the plain ceiling and floor.
    case FunctionName::Ceil:
      return call_form("CEILING", "1");
    case FunctionName::Floor:
      return call_form("FLOOR", "1");
    case FunctionName::Pow:
      return call_form("POWER", "");
    case FunctionName::Root: {
      // One operand, as any call: "-root(x; 2)" negates the root, not x.
      out += "((";
      if (Failed failed = argument(0)) return failed;
      out += ")^(1/(";
      if (Failed failed = argument(1)) return failed;
      out += ")))";
      return std::nullopt;
    }
    case FunctionName::Log:
      return call_form(two ? "LOG" : "LOG10", "");
    case FunctionName::Mod:
      return call_form("MOD", "");
    case FunctionName::Sign:
      return call_form("SIGN", "");
    case FunctionName::IfError:
      return call_form("IFERROR", kEmptyText);
  }
  invariant_failure("unknown function");
}

std::string_view spreadsheet_name(AggregationName aggregation) {
  switch (aggregation) {
    case AggregationName::Sum:
      return "SUM";
    case AggregationName::Mult:
      return "PRODUCT";
    case AggregationName::Avg:
      return "AVERAGE";
    case AggregationName::Median:
      return "MEDIAN";
    case AggregationName::Stdev:
      return "STDEV.S";
    case AggregationName::Max:
      return "MAX";
    case AggregationName::Min:
      return "MIN";
    case AggregationName::Count:
      return "COUNT";
    case AggregationName::Coalesce:
      break;
  }
  invariant_failure("coalesce has no spreadsheet function");
}

// IF(p1<>"",p1,IF(p2<>"",p2,...pn)) over the operands: the arguments, a list argument
// giving one operand per cell. The engine always reads the first operand, so its failure
// ends the cell; it reads a later one only when all before it are empty, so a later
// failure is embedded.
Failed write_coalesce(const List<Expression>& arguments, const ConvertContext& context, std::string& out) {
  std::vector<std::string> operands;
  for (const Expression& argument : arguments) {
    const std::size_t before = operands.size();
    Failed failed;
    if (const AtomicExpression* list = list_atom(argument, context)) {
      failed = for_each_list_cell(*list, context, [&](std::string_view cell) -> Failed {
        operands.emplace_back(cell);
        return std::nullopt;
      });
    } else {
      // An operand standing alone must stay one operand: "coalesce(@a + 1) * 2".
      const bool alone = arguments.size() == 1 && operand_atom(argument) == nullptr;
      std::string text = alone ? "(" : "";
      failed = write_expression(argument, context, text);
      if (alone) text += ')';
      if (!failed) operands.push_back(std::move(text));
    }
    if (!failed) continue;
    operands.resize(before);
    if (*failed == ConvertError::TooLong || before == 0) return failed;
    operands.emplace_back(error_literal(*failed));
  }
  if (operands.empty()) {
    out += kEmptyText;
    return std::nullopt;
  }
  // Every operand but the last is written twice; nested coalesce doubles per level.
  std::size_t size = out.size() + operands.back().size();
  for (std::size_t i = 0; i + 1 < operands.size(); ++i) size += 2 * operands[i].size() + 10;
  if (size > kMaxCellText) return ConvertError::TooLong;
  for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
    out += "IF(";
    out += operands[i];
    out += "<>\"\",";
    out += operands[i];
    out += ',';
  }
  out += operands.back();
  out.append(operands.size() - 1, ')');
  return std::nullopt;
}

// NAME(...) over the arguments, a list argument giving all its cells. Without anything to
// aggregate, the engine's value of no numbers.
Failed write_aggregation(const AtomicExpression::Aggregation& call, const ConvertContext& context, std::string& out) {
  const List<Expression> arguments = call.arguments.value_or(List<Expression>());
  if (call.aggregation == AggregationName::Coalesce) return write_coalesce(arguments, context, out);
  const std::size_t start = out.size();
  out += spreadsheet_name(call.aggregation);
  out += '(';
  const std::size_t open = out.size();
  // A product starts from 1, as the engine's does; a spreadsheet's product of nothing but
  // empty cells is 0.
  if (call.aggregation == AggregationName::Mult) out += '1';
  bool any = false;
  for (const Expression& argument : arguments) {
    Failed failed;
    if (const AtomicExpression* list = list_atom(argument, context)) {
      failed = for_each_list_cell(*list, context, [&](std::string_view cell) -> Failed {
        if (out.size() > open) out += ',';
        out += cell;
        any = true;
        return too_long(out);
      });
    } else {
      if (out.size() > open) out += ',';
      any = true;
      failed = write_expression(argument, context, out);
    }
    if (failed) return failed;
  }
  if (any) {
    out += ')';
    return std::nullopt;
  }
  out.resize(start);
  switch (call.aggregation) {
    case AggregationName::Sum:
    case AggregationName::Count:
      out += '0';
      return std::nullopt;
    case AggregationName::Mult:
      out += '1';
      return std::nullopt;
    default:
      return ConvertError::Value;
  }
}

// IF(c1,v1,IF(c2,v2,...otherwise)); `if` is the case of one clause.
Failed write_conditional(const AtomicExpression::Conditional& call, const ConvertContext& context, std::string& out) {
  for (const CaseClause& clause : call.clauses) {
    out += "IF(";
    if (Failed failed = write_or(clause.condition, context, out)) return failed;
    out += ',';
    if (Failed failed = write_embedded(*clause.value, context, out)) return failed;
    out += ',';
  }
  if (call.otherwise) {
    if (Failed failed = write_embedded(*call.otherwise, context, out)) return failed;
  } else {
    out += kEmptyText;
  }
  out.append(call.clauses.size(), ')');
  return std::nullopt;
}

Failed write_atom(const AtomicExpression& atom, const ConvertContext& context, std::string& out) {
  using A = AtomicExpression;
  const Failed failed = std::visit(
      [&](const auto& a) -> Failed {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, A::Number>) {
          out += spreadsheet_number(a.value);  // a percent literal already holds its value / 100
          return std::nullopt;
        } else if constexpr (std::is_same_v<T, A::NodeReference>) {
          return write_node_cell(a.name, a.index, context.dimension, context, false, out);
        } else if constexpr (std::is_same_v<T, A::ChildrenReference>) {
          return write_children(a.index, context, out);
        } else if constexpr (std::is_same_v<T, A::RightReference>) {
          return write_right(a.index, context, out);
        } else if constexpr (std::is_same_v<T, A::Modifier>) {
          return write_modifier(a, context, out);
        } else if constexpr (std::is_same_v<T, A::Function>) {
          return write_function(a, context, out);
        } else if constexpr (std::is_same_v<T, A::Aggregation>) {
          return write_aggregation(a, context, out);
        } else if constexpr (std::is_same_v<T, A::Conditional>) {
          return write_conditional(a, context, out);
        } else if constexpr (std::is_same_v<T, A::Empty>) {
          // The empty text, not nothing: nothing would leave operators dangling ("=+1").
          out += kEmptyText;
          return std::nullopt;
        } else {
          out += '(';
          if (Failed inner = write_expression(*a.expression, context, out)) return inner;
          out += ')';
          return std::nullopt;
        }
      },
      atom.v);
  if (failed) return failed;
  return too_long(out);
}

Failed write_unary(const UnaryExpression& expression, const ConvertContext& context, std::string& out) {
  if (expression.sign) out += *expression.sign == UnarySign::Plus ? '+' : '-';
  return write_atom(expression.atom, context, out);
}

// The operand of one repeat of a chain: an operation's operand, or the repeat itself.
const MultiplicationExpression& operand_of(const AdditionOperation& operation) { return operation.operand; }
const PowerExpression& operand_of(const MultiplicationOperation& operation) { return operation.operand; }
template <class T>
const T& operand_of(const T& operand) {
  return operand;
}

// What one repeat of a chain writes before and after its operand.
struct Spelling {
  char before;
  char after = 0;  // none
};

// A left-associative chain: `first`, then each repeat's operand, spelled by `spell`.
template <class First, class Repeat, class Spell, class Write>
Failed write_chain(const First& first, const List<Repeat>& rest, Spell spell, Write write, std::string& out) {
  if (Failed failed = write(first)) return failed;
  for (const Repeat& repeat : rest) {
    const Spelling spelling = spell(repeat);
    out += spelling.before;
    if (Failed failed = write(operand_of(repeat))) return failed;
    if (spelling.after != 0) out += spelling.after;
  }
  return std::nullopt;
}

Failed write_power(const PowerExpression& expression, const ConvertContext& context, std::string& out) {
  return write_chain(
      expression.base, expression.exponents, [](const UnaryExpression&) { return Spelling{'^'}; },
      [&](const UnaryExpression& operand) { return write_unary(operand, context, out); }, out);
}

// A remainder wraps everything to its left in MOD(...); every such wrapper opens at the
// start of the chain, so they are all written first.
Failed write_multiplication(const MultiplicationExpression& expression, const ConvertContext& context,
                            std::string& out) {
  using Kind = MultiplicationOperation::Kind;
  const auto modulos = std::count_if(expression.operations.begin(), expression.operations.end(),
                                     [](const MultiplicationOperation& op) { return op.kind == Kind::Modulo; });
  for (std::ptrdiff_t i = 0; i < modulos; ++i) out += "MOD(";
  return write_chain(
      expression.first, expression.operations,
      [](const MultiplicationOperation& op) {
        return op.kind == Kind::Multiply ? Spelling{'*'} : op.kind == Kind::Divide ? Spelling{'/'} : Spelling{',', ')'};
      },
      [&](const PowerExpression& operand) { return write_power(operand, context, out); }, out);
}

Failed write_expression(const Expression& expression, const ConvertContext& context, std::string& out) {
  return write_chain(
      expression.first, expression.operations,
      [](const AdditionOperation& op) { return Spelling{op.kind == AdditionOperation::Kind::Plus ? '+' : '-'}; },
      [&](const MultiplicationExpression& operand) { return write_multiplication(operand, context, out); }, out);
}

// A chain of conditions as the spreadsheet's function `name` of its operands, or the
// operand alone.
template <class First, class Repeat, class Write>
Failed write_logical(std::string_view name, const First& first, const List<Repeat>& rest, Write write,
                     std::string& out) {
  if (rest.empty()) return write(first);
  out += name;
  out += '(';
  const auto comma = [](const Repeat&) { return Spelling{','}; };
  if (Failed failed = write_chain(first, rest, comma, write, out)) return failed;
  out += ')';
  return std::nullopt;
}

// Conditions hold their operands' errors in place: the engine reads a `when` clause's
// condition only when no clause before it held, and an `and` or `or` operand only when
// the operands before it left the result open.
Failed write_negation(const NegationExpression& expression, const ConvertContext& context, std::string& out) {
  using C = ComparisonExpression;
  if (expression.negated) out += "NOT(";
  const Failed failed = std::visit(
      [&](const auto& c) -> Failed {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, C::Comparison>) {
          if (Failed left = write_embedded(*c.left, context, out)) return left;
          static constexpr std::string_view kOperators[] = {"=", "<>", ">", "<", ">=", "<="};
          out += kOperators[static_cast<std::size_t>(c.op)];
          return write_embedded(*c.right, context, out);
        } else if constexpr (std::is_same_v<T, C::Single>) {
          out += '(';
          if (Failed inner = write_embedded(*c.expression, context, out)) return inner;
          out += "<>0)";
          return std::nullopt;
        } else {
          out += '(';
          if (Failed inner = write_or(*c.condition, context, out)) return inner;
          out += ')';
          return std::nullopt;
        }
      },
      expression.comparison.v);
  if (failed) return failed;
  if (expression.negated) out += ')';
  return std::nullopt;
}

Failed write_and(const AndExpression& expression, const ConvertContext& context, std::string& out) {
  return write_logical(
      "AND", expression.first, expression.rest,
      [&](const NegationExpression& operand) { return write_negation(operand, context, out); }, out);
}

Failed write_or(const OrExpression& expression, const ConvertContext& context, std::string& out) {
  return write_logical(
      "OR", expression.first, expression.rest,
      [&](const AndExpression& operand) { return write_and(operand, context, out); }, out);
}

}  // namespace

std::optional<ConvertError> append_expression(const Expression& expression, const ConvertContext& context,
                                              std::string& out) {
  return write_expression(expression, context, out);
}

std::string spreadsheet_number(double x) {
  if (!std::isfinite(x)) return "#NUM!";
  std::string text = format_number(x);
  if (x == std::trunc(x) && std::fabs(x) < 0x1p53) return text;  // whole numbers are exact
  double back = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), back);
  if (error == std::errc() && end == text.data() + text.size() && back == x) return text;
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, written.ptr);
}

}  // namespace ostrel::excel
