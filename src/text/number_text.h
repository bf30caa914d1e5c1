// Number texts both ways, with no dependency on the parser: the engine's values and the
// readers of numbers in formulas and in cells share them.
#pragma once

#include <optional>
#include <string_view>

namespace ostrel {

// The double nearest to the decimal `digits` (no sign; the forms the standard conversion
// reads), when that conversion reads all of it; nothing otherwise. Beyond the range of
// doubles, infinity when `at_least_one` (the value is 1 or more), else 0.
std::optional<double> decimal_to_double(std::string_view digits, bool at_least_one);

}  // namespace ostrel
