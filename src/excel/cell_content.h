// What one formula text becomes in a cell: a spreadsheet formula ("=" and the
// translation, or an error text for the whole cell), or a plain value. Plain values are
// numbers in the spreadsheet's form ("1,5" becomes "1.5", "15%" the formula "=0.15"), and
// any other text stays as it stands, trimmed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "excel/convert.h"
#include "parser/ast.h"

namespace ostrel::excel {

// A formula text read once for all the dimensions it serves: either the content it gives
// whatever the dimension, or the expression to translate per dimension.
struct PreparedFormula {
  std::string content;                        // when `formula` is empty
  std::optional<parser::ast::Value> formula;  // holds a Value::Expression
};

PreparedFormula prepare_formula(std::string_view text);

// The cell content of a prepared formula in the context's dimension.
std::string cell_content(const PreparedFormula& prepared, const ConvertContext& context);

}  // namespace ostrel::excel
