// Compact text form of syntax trees for table-driven tests. Chains print flat in
// parentheses, "[...]" marks written parentheses, "{...}" a nested condition, "~" a
// negation, and a conditional prints as name(condition => value; ...; else value).
#pragma once

#include <charconv>
#include <string>

#include "parser/ast.h"
#include "parser/language.h"

namespace ostrel::parser::testing {

using namespace ast;

template <class Name>
std::string_view keyword(Name name) {
  return language::keyword_entry(name).text;
}

inline std::string num(double x) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, end);
}

inline std::string dump(const Expression& e);
inline std::string dump(const OrExpression& e);
inline std::string dump(const UnaryExpression& u);
inline std::string dump(const PowerExpression& p);
inline std::string dump(const MultiplicationExpression& m);
inline std::string dump(const NegationExpression& n);
inline std::string dump(const AndExpression& a);

inline std::string index_text(const std::optional<std::uint64_t>& index) {
  return index ? "[" + std::to_string(*index) + "]" : "";
}

inline std::string join(const List<Expression>& args) {
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) out += (i ? "; " : "") + dump(args[i]);
  return out;
}

inline std::string dump(const AtomicExpression& a) {
  using A = AtomicExpression;
  if (auto* n = std::get_if<A::Number>(&a.v)) return num(n->value);
  if (auto* r = std::get_if<A::NodeReference>(&a.v)) return "@{" + std::string(r->name) + "}" + index_text(r->index);
  if (auto* c = std::get_if<A::ChildrenReference>(&a.v)) return "children" + index_text(c->index);
  if (auto* r = std::get_if<A::RightReference>(&a.v)) return "right" + index_text(r->index);
  if (auto* m = std::get_if<A::Modifier>(&a.v)) {
    return std::string(keyword(m->modifier)) + "(@{" + std::string(m->name) + "}" + index_text(m->index) + ")";
  }
  if (auto* f = std::get_if<A::Function>(&a.v))
    return std::string(keyword(f->function)) + "(" + join(f->arguments) + ")";
  if (auto* g = std::get_if<A::Aggregation>(&a.v)) {
    return std::string(keyword(g->aggregation)) + (g->arguments ? "(" + join(*g->arguments) + ")" : "()!");
  }
  if (auto* c = std::get_if<A::Conditional>(&a.v)) {
    std::string out = std::string(keyword(c->conditional)) + "(";
    for (std::size_t i = 0; i < c->clauses.size(); ++i) {
      out += (i ? "; " : "") + dump(c->clauses[i].condition) + " => " + dump(*c->clauses[i].value);
    }
    if (c->otherwise) out += "; else " + dump(*c->otherwise);
    return out + ")";
  }
  if (std::holds_alternative<A::Empty>(a.v)) return "empty";
  return "[" + dump(*std::get<A::Parenthesized>(a.v).expression) + "]";
}

inline std::string dump(const UnaryExpression& u) {
  std::string sign = !u.sign ? "" : *u.sign == UnarySign::Minus ? "-" : "+";
  return sign + dump(u.atom);
}

// A chain prints flat: `open`, the first operand, then each further one after its operator.
template <class First, class Rest, class Operator>
std::string chain(const char* open, const First& first, const Rest& rest, Operator op) {
  if (rest.empty()) return dump(first);
  std::string out = open + dump(first);
  for (const auto& r : rest) out += op(r);
  return out + ")";
}

inline std::string dump(const PowerExpression& p) {
  return chain("(", p.base, p.exponents, [](const UnaryExpression& e) { return " ^ " + dump(e); });
}

inline std::string dump(const MultiplicationExpression& m) {
  return chain("(", m.first, m.operations, [](const MultiplicationOperation& op) {
    using K = MultiplicationOperation::Kind;
    return (op.kind == K::Multiply ? " * " : op.kind == K::Divide ? " / " : " % ") + dump(op.operand);
  });
}

inline std::string dump(const Expression& e) {
  return chain("(", e.first, e.operations, [](const AdditionOperation& op) {
    return (op.kind == AdditionOperation::Kind::Plus ? " + " : " - ") + dump(op.operand);
  });
}

inline std::string dump(const NegationExpression& n) {
  using C = ComparisonExpression;
  static const char* const kOps[] = {"==", "!=", ">", "<", ">=", "<="};
  std::string inner;
  if (auto* c = std::get_if<C::Comparison>(&n.comparison.v)) {
    inner = "(" + dump(*c->left) + " " + kOps[static_cast<int>(c->op)] + " " + dump(*c->right) + ")";
  } else if (auto* s = std::get_if<C::Single>(&n.comparison.v)) {
    inner = dump(*s->expression);
  } else {
    inner = "{" + dump(*std::get<C::Nested>(n.comparison.v).condition) + "}";
  }
  return (n.negated ? "~" : "") + inner;
}

inline std::string dump(const AndExpression& a) {
  return chain("and(", a.first, a.rest, [](const NegationExpression& n) { return ", " + dump(n); });
}

inline std::string dump(const OrExpression& o) {
  return chain("or(", o.first, o.rest, [](const AndExpression& a) { return ", " + dump(a); });
}

inline std::string dump(const Value& v) {
  if (auto* n = std::get_if<Value::Number>(&v.v)) return "number " + num(n->value);
  if (auto* e = std::get_if<Value::Expression>(&v.v)) return "= " + dump(*e->expression);
  return "empty formula";
}

inline std::string dump(const Condition& c) { return dump(c.expression); }

}  // namespace ostrel::parser::testing
