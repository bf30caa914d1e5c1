// Number texts both ways, with no dependency on the parser: the engine's values and the
// readers of numbers in formulas and in cells share them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Rounds to 10 decimals (halves away from zero) and writes fixed-point digits without
// trailing zeros: "0.3", "100", "-2", "NaN", "inf"; never "-0". A finite number too large to
// scale is written as it is, never as infinity.
std::string format_number(double x);

// The double nearest to the decimal `digits` (no sign; the forms the standard conversion
// reads), when that conversion reads all of it; nothing otherwise. Beyond the range of
// doubles, infinity when `at_least_one` (the value is 1 or more), else 0.
std::optional<double> decimal_to_double(std::string_view digits, bool at_least_one);

}  // namespace ostrel
