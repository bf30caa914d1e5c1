// Each step appends its translation to one text per cell and reports a failure as a
// value; the public functions wrap the steps for callers that want a text of their own.
// Parentheses are written only where the formula had them, so the spreadsheet's
// precedence must agree with the language's, which it does for every operator written
// here (the remainder becomes MOD, the one operator spreadsheets lack).
#include "excel/convert.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "invariant.h"
#include "references.h"

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

// Writes the expression, or on failure the failure's text in its place.
Failed write_embedded(const Expression& expression, const ConvertContext& context, std::string& out) {
  const std::size_t mark = out.size();
  const Failed failed = write_expression(expression, context, out);
  if (!failed || *failed == ConvertError::TooLong) return failed;
  out.resize(mark);
  out += error_text(*failed);
  return std::nullopt;
}

// One node out of the visible nodes of a name, by 1-based index; nullptr when out of range.
const Node* indexed(const TreeIndex& names, std::span<const NodeIndex> matches, std::uint64_t index) {
  if (index == 0 || index > matches.size()) return nullptr;
  return &names.node(matches[index - 1]);
}

Failed write_node_cell(std::string_view name, std::optional<std::uint64_t> index, std::size_t dimension,
                       const ConvertContext& context, bool allow_many, std::string& out) {
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
  if (matches.size() == 1) return write_cell(context.names.node(matches[0]), dimension, context, out);
  if (!allow_many) return ConvertError::Many;
  out += "SUM(";
  for (std::size_t i = 0; i < matches.size(); ++i) {
    if (i > 0) out += ',';
    if (Failed failed = write_cell(context.names.node(matches[i]), dimension, context, out)) return failed;
  }
  out += ')';
  return std::nullopt;
}

Failed write_children(std::optional<std::uint64_t> index, const ConvertContext& context, std::string& out) {
  const std::vector<Node>& children = context.node.children;
  if (index) {
    if (*index == 0 || *index > children.size()) return ConvertError::Ref;
    return write_cell(children[*index - 1], context.dimension, context, out);
  }
  if (children.empty()) return ConvertError::Ref;
  if (children.size() > 1 && !context.allow_many) return ConvertError::Value;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (i > 0) out += ',';
    if (Failed failed = write_cell(children[i], context.dimension, context, out)) return failed;
  }
  return std::nullopt;
}

// Right-hand entries are taken as they are, empty ones included: they are the node's own
// cells, not references that could fail.
Failed write_right(std::optional<std::uint64_t> index, const ConvertContext& context, std::string& out) {
  const auto entry = context.snapshot.find(NodeKey{&context.node});
  if (entry == context.snapshot.end() || !entry->second.is_multi()) return ConvertError::Ref;
  const std::vector<std::string>& cells = entry->second.multi_values();
  if (context.dimension + 1 >= cells.size()) return ConvertError::Ref;
  const std::size_t first = context.dimension + 1;
  const std::size_t count = cells.size() - first;
  if (index) {
    if (*index == 0 || *index > count) return ConvertError::Ref;
    out += cells[first + *index - 1];
    return too_long(out);
  }
  if (count > 1 && !context.allow_many) return ConvertError::Value;
  for (std::size_t i = first; i < cells.size(); ++i) {
    if (i > first) out += ',';
    out += cells[i];
    if (Failed failed = too_long(out)) return failed;
  }
  return std::nullopt;
}

Failed write_modifier(const AtomicExpression::Modifier& modifier, const ConvertContext& context, std::string& out) {
  if (modifier.modifier == ModifierName::Total) {
    return write_node_cell(modifier.name, modifier.index, 0, context, true, out);
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
  if (Failed failed = write_cell(*node, context.dimension, context, out)) return failed;
  out += '/';
  return write_cell(*node, 0, context, out);
}

// The function table; the builder guarantees the argument counts.
Failed write_function(const AtomicExpression::Function& call, const ConvertContext& context, std::string& out) {
  const List<Expression>& arguments = call.arguments;
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
    case FunctionName::Round:
      return call_form("ROUND", "0");
    // Spreadsheets require the significance; 1 gives the plain ceiling and floor.
    case FunctionName::Ceil:
      return call_form("CEILING", "1");
    case FunctionName::Floor:
      return call_form("FLOOR", "1");
    case FunctionName::Pow:
      return call_form("POWER", "");
    case FunctionName::Root: {
      out += '(';
      if (Failed failed = argument(0)) return failed;
      out += ")^(1/(";
      if (Failed failed = argument(1)) return failed;
      out += "))";
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

// IF(p1<>"",p1,IF(p2<>"",p2,...pn)): every argument but the last is written twice.
Failed write_coalesce(const List<Expression>& arguments, const ConvertContext& context, std::string& out) {
  if (arguments.empty()) {
    out += kEmptyText;
    return std::nullopt;
  }
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    out += "IF(";
    const std::size_t mark = out.size();
    if (Failed failed = write_expression(arguments[i], context, out)) return failed;
    const std::size_t length = out.size() - mark;
    if (out.size() + length > kMaxCellText) return ConvertError::TooLong;
    out += "<>\"\",";
    // Reserved first, so the copy reads from a buffer that no longer moves.
    out.reserve(out.size() + length + 1);
    out.append(out.data() + mark, length);
    out += ',';
  }
  if (Failed failed = write_expression(arguments.back(), context, out)) return failed;
  out.append(arguments.size() - 1, ')');
  return too_long(out);
}

Failed write_aggregation(const AtomicExpression::Aggregation& call, const ConvertContext& context, std::string& out) {
  const List<Expression> arguments = call.arguments.value_or(List<Expression>());
  if (call.aggregation == AggregationName::Coalesce) return write_coalesce(arguments, context, out);
  ConvertContext inner = context;
  inner.allow_many = true;
  out += spreadsheet_name(call.aggregation);
  out += '(';
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) out += ',';
    const AtomicExpression* atom = expr_as_atomic(arguments[i]);
    Failed failed;
    if (const auto* children = atom ? std::get_if<AtomicExpression::ChildrenReference>(&atom->v) : nullptr) {
      failed = write_children(children->index, inner, out);
    } else if (const auto* right = atom ? std::get_if<AtomicExpression::RightReference>(&atom->v) : nullptr) {
      failed = write_right(right->index, inner, out);
    } else {
      failed = write_expression(arguments[i], inner, out);
    }
    if (failed) return failed;
  }
  out += ')';
  return std::nullopt;
}

// IF(c1,v1,IF(c2,v2,...otherwise)); `if` is the case of one clause. The conditions are
// settled from the last clause to the first, so the last failing one names the error.
Failed write_conditional(const AtomicExpression::Conditional& call, const ConvertContext& context, std::string& out) {
  Failed condition_failed;
  for (const CaseClause& clause : call.clauses) {
    out += "IF(";
    if (Failed failed = write_or(clause.condition, context, out)) {
      if (*failed == ConvertError::TooLong) return failed;
      condition_failed = failed;
    }
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
  return condition_failed;
}

Failed write_atom(const AtomicExpression& atom, const ConvertContext& context, std::string& out) {
  using A = AtomicExpression;
  const Failed failed = std::visit(
      [&](const auto& a) -> Failed {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, A::Number>) {
          out += format_number(a.value);  // a percent literal already holds its value / 100
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

Failed write_power(const PowerExpression& expression, const ConvertContext& context, std::string& out) {
  if (Failed failed = write_unary(expression.base, context, out)) return failed;
  for (const UnaryExpression& exponent : expression.exponents) {
    out += '^';
    if (Failed failed = write_unary(exponent, context, out)) return failed;
  }
  return std::nullopt;
}

// A remainder wraps everything to its left in MOD(...); every such wrapper opens at the
// start of the chain, so they are all written first.
Failed write_multiplication(const MultiplicationExpression& expression, const ConvertContext& context,
                            std::string& out) {
  using Kind = MultiplicationOperation::Kind;
  const auto modulos = std::count_if(expression.operations.begin(), expression.operations.end(),
                                     [](const MultiplicationOperation& op) { return op.kind == Kind::Modulo; });
  for (std::ptrdiff_t i = 0; i < modulos; ++i) out += "MOD(";
  if (Failed failed = write_power(expression.first, context, out)) return failed;
  for (const MultiplicationOperation& op : expression.operations) {
    out += op.kind == Kind::Multiply ? '*' : op.kind == Kind::Divide ? '/' : ',';
    if (Failed failed = write_power(op.operand, context, out)) return failed;
    if (op.kind == Kind::Modulo) out += ')';
  }
  return std::nullopt;
}

Failed write_expression(const Expression& expression, const ConvertContext& context, std::string& out) {
  if (Failed failed = write_multiplication(expression.first, context, out)) return failed;
  for (const AdditionOperation& op : expression.operations) {
    out += op.kind == AdditionOperation::Kind::Plus ? '+' : '-';
    if (Failed failed = write_multiplication(op.operand, context, out)) return failed;
  }
  return std::nullopt;
}

Failed write_negation(const NegationExpression& expression, const ConvertContext& context, std::string& out) {
  using C = ComparisonExpression;
  if (expression.negated) out += "NOT(";
  const Failed failed = std::visit(
      [&](const auto& c) -> Failed {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, C::Comparison>) {
          if (Failed left = write_expression(*c.left, context, out)) return left;
          static constexpr std::string_view kOperators[] = {"=", "<>", ">", "<", ">=", "<="};
          out += kOperators[static_cast<std::size_t>(c.op)];
          return write_expression(*c.right, context, out);
        } else if constexpr (std::is_same_v<T, C::Single>) {
          out += '(';
          if (Failed inner = write_expression(*c.expression, context, out)) return inner;
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
  if (expression.rest.empty()) return write_negation(expression.first, context, out);
  out += "AND(";
  if (Failed failed = write_negation(expression.first, context, out)) return failed;
  for (const NegationExpression& operand : expression.rest) {
    out += ',';
    if (Failed failed = write_negation(operand, context, out)) return failed;
  }
  out += ')';
  return std::nullopt;
}

Failed write_or(const OrExpression& expression, const ConvertContext& context, std::string& out) {
  if (expression.rest.empty()) return write_and(expression.first, context, out);
  out += "OR(";
  if (Failed failed = write_and(expression.first, context, out)) return failed;
  for (const AndExpression& operand : expression.rest) {
    out += ',';
    if (Failed failed = write_and(operand, context, out)) return failed;
  }
  out += ')';
  return std::nullopt;
}

template <class Write>
Converted written(Write&& write) {
  std::string out;
  if (Failed failed = write(out)) return fail(*failed);
  return out;
}

}  // namespace

std::optional<ConvertError> append_expression(const Expression& expression, const ConvertContext& context,
                                              std::string& out) {
  return write_expression(expression, context, out);
}

Converted convert_expression(const Expression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_expression(expression, context, out); });
}

Converted convert_multiplication(const MultiplicationExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_multiplication(expression, context, out); });
}

Converted convert_power(const PowerExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_power(expression, context, out); });
}

Converted convert_unary(const UnaryExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_unary(expression, context, out); });
}

Converted convert_or(const OrExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_or(expression, context, out); });
}

Converted convert_and(const AndExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_and(expression, context, out); });
}

Converted convert_negation(const NegationExpression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_negation(expression, context, out); });
}

Converted convert_expression_embed_errors(const Expression& expression, const ConvertContext& context) {
  return written([&](std::string& out) { return write_embedded(expression, context, out); });
}

const AtomicExpression* expr_as_atomic(const Expression& expression) {
  if (!expression.operations.empty() || !expression.first.operations.empty()) return nullptr;
  const PowerExpression& power = expression.first.first;
  if (!power.exponents.empty() || power.base.sign) return nullptr;
  return &power.base.atom;
}

Converted resolve_node_cell(std::string_view name, std::optional<std::uint64_t> index, std::size_t dimension,
                            const ConvertContext& context, bool allow_many) {
  return written([&](std::string& out) { return write_node_cell(name, index, dimension, context, allow_many, out); });
}

Converted resolve_children_reference(std::optional<std::uint64_t> index, const ConvertContext& context) {
  return written([&](std::string& out) { return write_children(index, context, out); });
}

Converted resolve_right_reference(std::optional<std::uint64_t> index, const ConvertContext& context) {
  return written([&](std::string& out) { return write_right(index, context, out); });
}

}  // namespace ostrel::excel
