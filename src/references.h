// Text forms shared by the tools: the display form of numbers.
#pragma once

#include <string>

namespace ostrel {

// Rounds to 10 decimals (halves away from zero) and writes fixed-point digits without
// trailing zeros: "0.3", "100", "-2", "NaN", "inf"; never "-0". A finite number too large to
// scale is written as it is, never as infinity.
std::string format_number(double x);

}  // namespace ostrel
