// Compact text form of parse trees for table-driven tests: a leaf is RULE'text', an inner
// node RULE(child child ...).
#pragma once

#include <string>

#include "parser/grammar.h"

namespace ostrel::parser::testing {

inline std::string dump(ParseNode node) {
  std::string out(rule_name(node.rule()));
  if (node.child_count() == 0) return out + "'" + std::string(node.text()) + "'";
  out += "(";
  for (std::size_t i = 0; i < node.child_count(); ++i) {
    if (i > 0) out += " ";
    out += dump(node.child(i));
  }
  return out + ")";
}

// The dump of every top-level node, or "FAIL" when the rule does not match.
inline std::string dump_parse(Rule rule, std::string_view text) {
  auto tree = FormulaParser::parse(rule, text);
  if (!tree) return "FAIL";
  std::string out;
  for (std::size_t i = 0; i < tree.value().top_count(); ++i) {
    if (i > 0) out += " ";
    out += dump(tree.value().top(i));
  }
  return out;
}

}  // namespace ostrel::parser::testing
