// The translation of a formula's syntax tree into spreadsheet formula text: node
// references become the addresses of the cell snapshot, the language's keywords become
// spreadsheet functions. The text has no leading "=" and no blanks outside addresses, and
// the spreadsheet computes from it what the engine computes from the formula.
//
// A reference that cannot be written ends the translation of the whole cell with a
// `ConvertError`, except where the engine's value can survive it: function arguments
// (which iferror catches), conditions and conditional values (read only when their clause
// is reached) and coalesce arguments after the first hold the spreadsheet's error literal
// in its place ("ABS(#REF!)").
//
// Lists (`children` and `right` without an index, a name of several nodes) are whole
// arguments of aggregations, where they give all their cells; anywhere else they are one
// value too many (`ConvertError::Many`), as in the engine, whatever their length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "excel/cell_snapshot.h"
#include "excel/convert_error.h"
#include "nodes/tree_index.h"
#include "parser/ast.h"
#include "types.h"

namespace ostrel::excel {

// What every step of one cell's translation reads.
struct ConvertContext {
  const Node& node;  // whose formula is translated
  const CellSnapshot& snapshot;
  std::size_t dimension;   // counted from 0
  const TreeIndex& names;  // the whole tree, where names are looked up
};

// Appends the translation to `out`; after a failure `out` holds part of a translation.
std::optional<ConvertError> append_expression(const parser::ast::Expression& expression, const ConvertContext& context,
                                              std::string& out);

// A number as a spreadsheet reads it back: format_number's text where that is exact, else
// the shortest text of the double ("1.234e-11"); "#NUM!", the spreadsheet's overflow, for
// infinities and NaN.
std::string spreadsheet_number(double x);

}  // namespace ostrel::excel
