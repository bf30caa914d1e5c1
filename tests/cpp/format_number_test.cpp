// The number display form: what a reader relies on across magnitudes, ties at the tenth
// decimal, the largest numbers, and what the property leaves open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_names.h"
#include "text/number_text.h"

namespace ostrel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// glibc's printf writes the exact decimal value of a double, correctly rounded, which makes
// it an independent oracle for the digits.
std::string printf_fixed(double y, int decimals) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, y);
  return std::string(buffer, static_cast<std::size_t>(n));
}

struct FormatCase {
  const char* label;
  double x;
  std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  std::ostringstream x;
  x << std::setprecision(17) << c.x;
  *os << c.label << ": " << x.str() << " gives " << ::testing::PrintToString(c.expected);
}

class FormatNumber : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatNumber, Text) { EXPECT_EQ(format_number(GetParam().x), GetParam().expected); }

// What the read-back property below leaves open: zeros, the step's own rounding, digits past
// the double's precision, and the texts of values that are not finite.
INSTANTIATE_TEST_SUITE_P(Consequences, FormatNumber,
                         ::testing::Values(FormatCase{"zero", 0.0, "0"}, FormatCase{"negative_zero", -0.0, "0"},
                                           FormatCase{"minus_tiny", -1e-11, "0"},
                                           FormatCase{"half_step", 5e-11, "0.0000000001"},
                                           FormatCase{"minus_half_step", -5e-11, "-0.0000000001"},
                                           FormatCase{"beyond_snapping", 123456789.123456789, "123456789.123456791"},
                                           FormatCase{"nan", kNaN, "NaN"}, FormatCase{"negative_nan", -kNaN, "NaN"},
                                           FormatCase{"infinity", kInf, "inf"},
                                           FormatCase{"minus_infinity", -kInf, "-inf"}),
                         test_names::LabelBy<&FormatCase::label>());

// A double whose product with 10^10 is exactly `t`, found among the neighbours of t / 10^10.
double with_scaled_value(double t) {
  for (double direction : {kInf, -kInf}) {
    double x = t / 1e10;
    for (int i = 0; i < 64; ++i, x = std::nextafter(x, direction)) {
      if (x * 1e10 == t) return x;
    }
  }
  ADD_FAILURE() << "no double scales to exactly " << printf_fixed(t, 20);
  return kNaN;
}

struct HalfCase {
  double scaled;  // x * 10^10, exactly
  std::string expected;
};

// Ties at the 10th decimal go away from zero, and values just below a tie go towards it
// (an addend of exactly 0.5 would round 0.49999999999999994 up).
TEST(FormatNumber, HalvesAtTheTenthDecimal) {
  const HalfCase cases[] = {
      {0.5, "0.0000000001"},
      {-0.5, "-0.0000000001"},
      {2.5, "0.0000000003"},
      {-2.5, "-0.0000000003"},
      {std::nextafter(0.5, 0.0), "0"},
      {std::nextafter(-0.5, 0.0), "0"},
      {std::nextafter(2.5, 0.0), "0.0000000002"},
      {123456789012.5, "12.3456789013"},
      {-123456789012.5, "-12.3456789013"},
      {4503599627370494.5, "450359.9627370495"},
      {4503599627370495.5, "450359.9627370496"},
      {-4503599627370495.5, "-450359.9627370496"},
  };
  for (const HalfCase& c : cases) {
    SCOPED_TRACE(printf_fixed(c.scaled, 20));
    const double x = with_scaled_value(c.scaled);
    EXPECT_EQ(format_number(x), c.expected);
  }
}

// The largest double whose product with 10^10 is still finite.
double last_scalable() {
  double x = DBL_MAX / 1e10;
  while (std::isfinite(x * 1e10)) x = std::nextafter(x, kInf);
  while (!std::isfinite(x * 1e10)) x = std::nextafter(x, 0.0);
  return x;
}

TEST(FormatNumber, HugeFiniteNumbersPrintAllTheirDigits) {
  struct Huge {
    const char* label;
    double x;
    std::size_t digits;
  };
  const double last = last_scalable();
  ASSERT_NEAR(last, 1.7976931348623157e298, 1e284);
  const Huge cases[] = {
      {"1e299", 1e299, 300},
      {"DBL_MAX", DBL_MAX, 309},
      {"first_unscalable", std::nextafter(last, kInf), 299},
      {"1e300", 1e300, 301},
  };
  for (const Huge& c : cases) {
    for (double sign : {1.0, -1.0}) {
      const double x = sign * c.x;
      SCOPED_TRACE(std::string(c.label) + (sign < 0 ? " negative" : ""));
      ASSERT_FALSE(std::isfinite(x * 1e10));
      // The number is an integer here, so its exact value has no fraction to print.
      const std::string expected = printf_fixed(x, 0);
      ASSERT_EQ(expected.size(), c.digits + (sign < 0 ? 1 : 0));
      EXPECT_EQ(format_number(x), expected);
    }
  }
  EXPECT_EQ(format_number(DBL_MAX).substr(0, 17), "17976931348623157");
}

// "0", or digits without leading zeros, then at most ten decimals of which the last is not 0.
bool is_plain_decimal(const std::string& text) {
  const std::size_t point = std::min(text.find('.'), text.size());
  const std::size_t decimals = point < text.size() ? text.size() - point - 1 : 0;
  const auto digits = [&](std::size_t from, std::size_t to) {
    return from < to && text.find_first_not_of("0123456789", from) >= to;
  };
  return digits(0, point) && (text[0] != '0' || point == 1) &&
         (point == text.size() || (digits(point + 1, text.size()) && decimals <= 10 && text.back() != '0'));
}

// Over magnitudes 1e-12 to 1e300 and the neighbours of 1e-10, 1, 2^52 and 2^53 scaled and the
// last scalable number: a plain decimal of at most ten decimals without trailing zeros, read
// back within half a step (plus the scaling's rounding), and symmetric in the sign.
TEST(FormatNumber, ReadsBackWithinHalfAStep) {
  std::vector<double> values;
  for (double boundary : {0x1p52 / 1e10, 0x1p53 / 1e10, 1.0, 1e-10, last_scalable()}) {
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
    const double x = values[i];
    SCOPED_TRACE("value " + std::to_string(i) + ": " + printf_fixed(x, 20));
    const std::string text = format_number(x);
    ASSERT_TRUE(is_plain_decimal(text)) << text;
    const double slack = 0.5e-10 * (1 + 1e-9) + 2 * (std::nextafter(x, kInf) - x);
    ASSERT_LE(std::fabs(std::strtod(text.c_str(), nullptr) - x), slack) << text;
    ASSERT_EQ(format_number(-x), text == "0" ? "0" : "-" + text);
  }
}

}  // namespace
}  // namespace ostrel
