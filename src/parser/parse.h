// The tree builder: parse trees of the grammar to syntax trees. Converts number texts,
// resolves keywords, checks argument and clause counts and reads indexes; the first problem
// ends the build with a `FormulaError`.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parser/ast.h"
#include "parser/grammar.h"

namespace ostrel::parser {

// A condition (start rule `boolean_value`) to its syntax tree.
Result<ast::Condition, FormulaError> parse_condition(std::string_view text);

// The two-pass route of `parse_formula` and `parse_condition`: the grammar's parse tree,
// then the builder. The direct route gives way to it for every failure.
Result<ast::Value, FormulaError> build_formula(std::string_view text);
Result<ast::Condition, FormulaError> build_condition(std::string_view text);

// A node reference of the grammar (rule `node_reference`) to its name and optional index.
Result<std::pair<std::string, std::optional<std::uint64_t>>, FormulaError> parse_node_reference(ParseNode node);

// The value of a number as the grammar matched it (optional sign, digits and separators,
// optional "%", which divides by 100). On failure, the builder's error message.
Result<double, std::string> number_text_value(std::string_view text);

// An index text (digits) to its value; nothing when it is not a 64-bit unsigned number.
std::optional<std::uint64_t> index_text_value(std::string_view text);

// A number text in the form the float conversion reads: trimmed, with "," and "." read as
// thousands or decimal separators ("1.234,5" gives "1234.5", "1,5" gives "1.5").
std::string normalize_number_string(std::string_view text);

// The decimal text (optional sign, digits, at most one ".") to the nearest double; too large
// becomes infinity, too small zero or a subnormal. On failure, the reason as a text.
Result<double, std::string> parse_float(std::string_view text);

}  // namespace ostrel::parser
