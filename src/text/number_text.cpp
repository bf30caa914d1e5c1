#include "text/number_text.h"

#include <charconv>
#include <limits>

namespace ostrel {

std::optional<double> decimal_to_double(std::string_view digits, bool at_least_one) {
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  // Out of range, the conversion gives no value: one of at least 1 overflowed, anything else
  // underflowed.
  if (ec == std::errc::result_out_of_range) return at_least_one ? std::numeric_limits<double>::infinity() : 0.0;
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace ostrel
