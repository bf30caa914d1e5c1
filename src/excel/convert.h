// The translation of a formula's syntax tree into spreadsheet formula text: node
// references become the addresses of the cell snapshot, the language's keywords become
// spreadsheet functions. The text has no leading "=" and no blanks outside addresses.
//
// Every step gives text or a `ConvertError`. Errors end the translation of the whole
// cell, except inside function arguments and conditional values, which embed the error's
// text so that the surrounding formula survives ("ABS(REF!)").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "excel/cell_snapshot.h"
#include "excel/convert_error.h"
#include "parser/ast.h"
#include "result.h"
#include "tree_index.h"
#include "types.h"

namespace ostrel::excel {

// What every step of one cell's translation reads.
struct ConvertContext {
  const Node& node;  // whose formula is translated
  const CellSnapshot& snapshot;
  std::size_t dimension;    // counted from 0
  const TreeIndex& names;   // the whole tree, where names are looked up
  bool allow_many = false;  // true only inside aggregation arguments
};

using Converted = Result<std::string, ConvertError>;

Converted convert_expression(const parser::ast::Expression& expression, const ConvertContext& context);
Converted convert_multiplication(const parser::ast::MultiplicationExpression& expression,
                                 const ConvertContext& context);
Converted convert_power(const parser::ast::PowerExpression& expression, const ConvertContext& context);
Converted convert_unary(const parser::ast::UnaryExpression& expression, const ConvertContext& context);
Converted convert_or(const parser::ast::OrExpression& expression, const ConvertContext& context);
Converted convert_and(const parser::ast::AndExpression& expression, const ConvertContext& context);
Converted convert_negation(const parser::ast::NegationExpression& expression, const ConvertContext& context);

// Appends the translation to `out`, for callers that build a larger text; after a failure
// `out` holds part of a translation.
std::optional<ConvertError> append_expression(const parser::ast::Expression& expression, const ConvertContext& context,
                                              std::string& out);

// The translation, or the error's text in its place. Only `TooLong` still fails.
Converted convert_expression_embed_errors(const parser::ast::Expression& expression, const ConvertContext& context);

// The expression's atom when the expression is that atom alone (no operator, no sign).
const parser::ast::AtomicExpression* expr_as_atomic(const parser::ast::Expression& expression);

// The cell of a named node in `dimension`; "Self" is the translated node itself. Several
// matches without an index are an error unless `allow_many`, which sums their cells.
Converted resolve_node_cell(std::string_view name, std::optional<std::uint64_t> index, std::size_t dimension,
                            const ConvertContext& context, bool allow_many);
// The cells of the node's children in the context's dimension, joined by ",".
Converted resolve_children_reference(std::optional<std::uint64_t> index, const ConvertContext& context);
// The node's own cells after the context's dimension, joined by ",".
Converted resolve_right_reference(std::optional<std::uint64_t> index, const ConvertContext& context);

}  // namespace ostrel::excel
