// The two routes from a text to its syntax tree, held against each other on the input read
// as a formula and as a condition. Where the direct route gives a tree, the two-pass route
// gives an equal one; where it gives up, the two-pass route decides, and the public entry
// then answers as the two-pass route does, the same error included. The public entry also
// answers the same way twice.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ast_dump.h"
#include "check.h"
#include "parser/direct_parse.h"
#include "parser/grammar.h"
#include "parser/parse.h"

namespace {

using ostrel::Result;
using ostrel::fuzz::fail;
using ostrel::parser::FormulaError;
using ostrel::parser::testing::dump;

std::string describe(const FormulaError& error) {
  if (error.is_syntax()) {
    return "syntax error at " + std::to_string(error.syntax().position) + ", expected mask " +
           std::to_string(error.syntax().expected);
  }
  return "\"" + error.custom().message + "\" at " + std::to_string(error.custom().start) + ".." +
         std::to_string(error.custom().end);
}

template <class Tree>
std::string outcome(const Result<Tree, FormulaError>& result) {
  return result.ok() ? "tree " + dump(result.value()) : "error " + describe(result.error());
}

// One start rule: the direct route, the two-pass route and the public entry on `text`.
template <class Tree, class Direct, class TwoPass, class Public>
void check_routes(std::string_view text, std::string_view rule, Direct direct_route, TwoPass two_pass_route,
                  Public public_route) {
  const std::optional<Tree> direct = direct_route(text);
  const Result<Tree, FormulaError> built = two_pass_route(text);
  const std::string built_outcome = outcome(built);
  const auto detail = [&](std::string_view other, const std::string& other_outcome) {
    return std::string(rule) + ": two-pass route gives " + built_outcome + "; " + std::string(other) + " gives " +
           other_outcome;
  };

  if (direct && (!built.ok() || dump(*direct) != dump(built.value()))) {
    fail("the direct route gives a tree the two-pass route does not", text, detail("direct", dump(*direct)));
  }

  // The public entry: the direct route's tree when it has one, else the two-pass answer;
  // both are the two-pass answer once the check above holds.
  const Result<Tree, FormulaError> entry = public_route(text);
  const std::string entry_outcome = outcome(entry);
  if (entry_outcome != built_outcome)
    fail("the public parse answers unlike the two-pass route", text, detail("public", entry_outcome));

  const std::string again = outcome(public_route(text));
  if (again != entry_outcome)
    fail("the public parse answers differently the second time", text, detail("again", again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace parser = ostrel::parser;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_routes<parser::ast::Value>(text, "formula", parser::parse_formula_directly, parser::build_formula,
                                   parser::FormulaParser::parse_formula);
  check_routes<parser::ast::Condition>(text, "condition", parser::parse_condition_directly, parser::build_condition,
                                       parser::parse_condition);
  return 0;
}
