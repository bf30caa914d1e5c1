// The number display form against glibc's printf, which writes the exact decimal value of a
// double correctly rounded: an oracle for the digits independent of the formatter's own paths.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "text/number_text.h"

namespace ostrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::string printf_fixed(double y, int decimals) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, y);
  return std::string(buffer, static_cast<std::size_t>(n));
}

// x * 10^10 rounded half away from zero, back over 10^10 and printed with ten decimals, the
// trailing zeros and point cut; beyond the scaling's range the number itself.
std::string expected_text(double x) {
  const double t = x * 1e10;
  std::string text = printf_fixed((std::isfinite(t) ? std::round(t) / 1e10 : x) + 0.0, 10);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// A double whose product with 10^10 is exactly `t`, found among the neighbours of t / 10^10.
double with_scaled_value(double t) {
  for (double direction : {kInf, -kInf}) {
    double x = t / 1e10;
    for (int i = 0; i < 64; ++i, x = std::nextafter(x, direction)) {
      if (x * 1e10 == t) return x;
    }
  }
  ADD_FAILURE() << "no double scales to exactly " << printf_fixed(t, 20);
  return 0;
}

TEST(FormatNumber, ValuesThatAreNotFinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(format_number(nan), "NaN");
  EXPECT_EQ(format_number(-nan), "NaN");
  EXPECT_EQ(format_number(kInf), "inf");
  EXPECT_EQ(format_number(-kInf), "-inf");
}

// Ties at the tenth decimal and their neighbours (an addend of exactly 0.5 would round
// 0.49999999999999994 up), the neighbours of 1e-10, 1, 2^52 and 2^53 scaled and of the last
// scalable number, the numbers too large to scale, and random magnitudes from 1e-12 to 1e300.
TEST(FormatNumber, MatchesTheExactDecimalRoundedAtTheTenthDecimal) {
  std::vector<double> values = {0.0, -0.0, -1e-11, 5e-11, 123456789.123456789, 1e299, 1e300, DBL_MAX};
  for (double t : {0.5, 2.5, std::nextafter(0.5, 0.0), std::nextafter(2.5, 0.0), 123456789012.5, 4503599627370494.5,
                   4503599627370495.5}) {
    values.push_back(with_scaled_value(t));
  }
  double last_scalable = DBL_MAX / 1e10;
  while (std::isfinite(last_scalable * 1e10)) last_scalable = std::nextafter(last_scalable, kInf);
  while (!std::isfinite(last_scalable * 1e10)) last_scalable = std::nextafter(last_scalable, 0.0);
  for (double boundary : {0x1p52 / 1e10, 0x1p53 / 1e10, 1.0, 1e-10, last_scalable}) {
    double up = boundary;
    double down = boundary;
    for (int i = 0; i < 200; ++i, up = std::nextafter(up, kInf), down = std::nextafter(down, 0.0)) {
      values.push_back(up);
      values.push_back(down);
    }
  }
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-12, 300);
  for (int i = 0; i < 5000; ++i) values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
  for (int i = 0; i < 2000; ++i) values.push_back(static_cast<double>(random() % 1000000001) / 1000.0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (const double x : {values[i], -values[i]}) {
      ASSERT_EQ(format_number(x), expected_text(x)) << "value " << i << ": " << printf_fixed(x, 20);
    }
  }
  // Spot checks of the oracle itself: a tie away from zero, one below it towards zero.
  EXPECT_EQ(expected_text(with_scaled_value(-2.5)), "-0.0000000003");
  EXPECT_EQ(expected_text(with_scaled_value(std::nextafter(2.5, 0.0))), "0.0000000002");
  EXPECT_EQ(expected_text(DBL_MAX).size(), 309u);
}

}  // namespace
}  // namespace ostrel
