// The syntax tree of one formula: plain data built once by a parser and then only read (by
// the evaluator, the expansion and the spreadsheet translation). Chains of operators are
// kept flat, in source order; how they fold is the evaluator's business.
//
// Every node lives in the arena of its root (`Value` or `Condition`): building a tree is a
// few pointer bumps, and freeing it is freeing the arena's blocks, with no destructor to
// run. Nodes are therefore trivially destructible, and they refer to each other by plain
// pointers (`Box`) and spans (`List`) that stay valid as long as the root lives.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "parser/arena.h"

namespace ostrel::parser::ast {

// ---- Keywords -------------------------------------------------------------------------

enum class FunctionName : std::uint8_t { Abs, Round, Ceil, Floor, Pow, Root, Log, Mod, Sign, IfError };
enum class AggregationName : std::uint8_t { Sum, Mult, Avg, Median, Stdev, Max, Min, Count, Coalesce };
enum class ConditionalName : std::uint8_t { If, When };
enum class ModifierName : std::uint8_t { Total, Ratio };

// The enumerator whose keyword equals `text` under ASCII case folding; no trimming.
template <class Name>
std::optional<Name> lookup(std::string_view text);
template <>
std::optional<FunctionName> lookup<FunctionName>(std::string_view text);
template <>
std::optional<AggregationName> lookup<AggregationName>(std::string_view text);
template <>
std::optional<ConditionalName> lookup<ConditionalName>(std::string_view text);
template <>
std::optional<ModifierName> lookup<ModifierName>(std::string_view text);

// ---- Conditions -----------------------------------------------------------------------

struct Expression;
struct OrExpression;
// The root of a condition and its OR chain are one shape.
using BooleanExpression = OrExpression;

enum class ComparisonOperator : std::uint8_t { EqualTo, NotEqual, GreaterThan, LessThan, GreaterOrEqual, LessOrEqual };

struct ComparisonExpression {
  // left operator right
  struct Comparison {
    Box<Expression> left;
    ComparisonOperator op;
    Box<Expression> right;
  };
  // an expression used as a condition without an operator
  struct Single {
    Box<Expression> expression;
  };
  // a condition in parentheses
  struct Nested {
    Box<BooleanExpression> condition;
  };
  std::variant<Comparison, Single, Nested> v;
};

struct NegationExpression {
  bool negated;  // an odd number of "not" stood before the operand
  ComparisonExpression comparison;
};

struct AndExpression {
  NegationExpression first;
  List<NegationExpression> rest;
};

struct OrExpression {
  AndExpression first;
  List<AndExpression> rest;
};

// ---- Arithmetic -----------------------------------------------------------------------

struct CaseClause {
  BooleanExpression condition;
  Box<Expression> value;
};

struct AtomicExpression {
  // a number literal, percent already applied
  struct Number {
    double value;
  };
  // "@name" or "@{any name}", with an optional 1-based index
  struct NodeReference {
    std::string_view name;  // in the root's arena
    std::optional<std::uint64_t> index;
  };
  // "children", with an optional index
  struct ChildrenReference {
    std::optional<std::uint64_t> index;
  };
  // "right", with an optional index
  struct RightReference {
    std::optional<std::uint64_t> index;
  };
  // "total(@a)", "ratio(@{b}[2])"
  struct Modifier {
    ModifierName modifier;
    std::string_view name;  // in the root's arena
    std::optional<std::uint64_t> index;
  };
  // "round(@a; 2)": the argument count is one the function accepts
  struct Function {
    FunctionName function;
    List<Expression> arguments;
  };
  // "sum(@a; 3)", or "sum()" with absent arguments
  struct Aggregation {
    AggregationName aggregation;
    std::optional<List<Expression>> arguments;
  };
  // "if(c; v; w)", "when(c; v; d; w)": at least one clause; `otherwise` may be null
  struct Conditional {
    ConditionalName conditional;
    List<CaseClause> clauses;
    Box<Expression> otherwise;
  };
  // the keyword "empty"
  struct Empty {};
  // an expression in parentheses
  struct Parenthesized {
    Box<Expression> expression;
  };
  std::variant<Number, NodeReference, ChildrenReference, RightReference, Modifier, Function, Aggregation, Conditional,
               Empty, Parenthesized>
      v;
};

enum class UnarySign : std::uint8_t { Plus, Minus };

struct UnaryExpression {
  AtomicExpression atom;
  std::optional<UnarySign> sign;  // absent and Plus are distinct
};

struct PowerExpression {
  UnaryExpression base;
  List<UnaryExpression> exponents;  // each introduced by "^" or "**"
};

struct MultiplicationOperation {
  enum class Kind : std::uint8_t { Multiply, Divide, Modulo } kind;
  PowerExpression operand;
};

struct MultiplicationExpression {
  PowerExpression first;
  List<MultiplicationOperation> operations;
};

struct AdditionOperation {
  enum class Kind : std::uint8_t { Plus, Minus } kind;
  MultiplicationExpression operand;
};

struct Expression {
  MultiplicationExpression first;
  List<AdditionOperation> operations;
};

// The root of a node formula.
struct Value {
  // a plain signed number without "="
  struct Number {
    double value;
  };
  // "=" and an expression
  struct Expression {
    Box<ast::Expression> expression;
  };
  // an empty or blank formula
  struct Empty {};
  std::variant<Number, Expression, Empty> v;
  Arena arena;  // owns every node under `v`
};

// The root of a condition (start rule `boolean_value`).
struct Condition {
  BooleanExpression expression;
  Arena arena;  // owns every node under `expression`
};

}  // namespace ostrel::parser::ast
