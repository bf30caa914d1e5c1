// The direct route from a formula or condition text to its syntax tree, without a parse
// tree. It matches the grammar's rules the way the grammar does (ordered choice, greedy
// repetitions, implicit whitespace, keyword prefixes) and builds the syntax tree as it
// goes, which makes it several times faster than matching and building in two passes.
//
// It gives up (nullopt) whenever the answer is anything but a syntax tree: a text that does
// not parse, a builder error, nesting beyond the limit, or more work than a few passes over
// the text. The two-pass route then decides, so every failure keeps its exact error, and
// hostile input stays linear. Where it does give a tree, it is the tree the two-pass route
// builds; a differential test holds the two routes to that.
#pragma once

#include <optional>
#include <string_view>

#include "parser/ast.h"

namespace ostrel::parser {

// Start rule `value`.
std::optional<ast::Value> parse_formula_directly(std::string_view text);

// Start rule `boolean_value`.
std::optional<ast::Condition> parse_condition_directly(std::string_view text);

}  // namespace ostrel::parser
