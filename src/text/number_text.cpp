#include "text/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ostrel {

namespace {

// k / 10^10 in fixed point, trailing zeros and point removed.
std::string scaled_integer_text(std::int64_t k) {
  constexpr std::uint64_t kScale = 10'000'000'000;
  const std::uint64_t magnitude = k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
  std::uint64_t whole = magnitude / kScale;
  std::uint64_t fraction = magnitude % kScale;
  int decimals = fraction == 0 ? 0 : 10;
  while (decimals > 0 && fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  char buffer[32];
  char* end = buffer + sizeof buffer;
  char* p = end;
  for (int i = 0; i < decimals; ++i, fraction /= 10) *--p = static_cast<char>('0' + fraction % 10);
  if (decimals > 0) *--p = '.';
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (k < 0) *--p = '-';
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
