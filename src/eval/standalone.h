// One formula or one condition on its own, without a tree: what the module's `evaluate` and
// `evaluate_boolean` give.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "types.h"

namespace ostrel::eval {

// The formula's value; nothing when it does not parse.
std::optional<EvalResult> evaluate_formula(std::string_view formula);

// The value's display text, "ERROR!" for a formula that does not parse.
std::string evaluate_formula_text(std::string_view formula);

// "true", "false" or an error text ("ERROR!" for a condition that does not parse).
std::string_view evaluate_condition_text(std::string_view condition);

}  // namespace ostrel::eval
