#include "references.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace ostrel {

namespace {

// k / 10^10 in fixed point, trailing zeros and point removed.
std::string scaled_integer_text(std::int64_t k) {
  constexpr int kDecimals = 10;
  std::uint64_t magnitude = k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
  char buffer[32];
  char* end = buffer + sizeof buffer;
  char* p = end;
  for (int i = 0; i < kDecimals; ++i, magnitude /= 10) *--p = static_cast<char>('0' + magnitude % 10);
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (k < 0) *--p = '-';
  while (end[-1] == '0') --end;
  if (end[-1] == '.') --end;
  return std::string(p, end);
}

}  // namespace

std::string format_number(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  constexpr double kScale = 1e10;
  double y = x;
  const double t = x * kScale;
  if (std::fabs(t) < 0x1p52) {
    // k / 10^10 with |k| < 2^52 is within a quarter of 10^-10 of the double that the
    // division gives, so that double's 10-decimal form is k's digits with a point.
    const auto k = static_cast<std::int64_t>(std::trunc(t + std::copysign(0.49999999999999994, t)));
    return scaled_integer_text(k);
  }
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
