#include "references.h"

#include <charconv>
#include <cmath>

namespace ostrel {

std::string format_number(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  constexpr double kScale = 1e10;
  double y = x;
  const double t = x * kScale;
  if (std::isfinite(t)) {
    // Snap to 10 decimals; beyond 2^53 this changes nothing.
    y = std::trunc(t + std::copysign(0.49999999999999994, t)) / kScale;
  }
  if (y == 0) y = 0.0;
  // 309 integer digits at most, a point, 10 decimals and a sign.
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, y, std::chars_format::fixed, 10);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  while (!text.empty() && text.back() == '0') text.pop_back();
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace ostrel
