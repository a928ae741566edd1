#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "sheet/numfmt/decimal.h"

namespace dialsift::sheet::numfmt {
namespace {

// The digits of |value| rounded to 15 significant digits, read off the
// standard library's exact conversion.
std::string Reference(double value) {
  char buf[40];
  const auto r =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string digits;
  const char* p = buf;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  // to_chars writes no terminating NUL: the exponent ends at r.ptr.
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exponent);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return "0";
  return digits + "e" + std::to_string(exponent + 1);
}

std::string Digits(const Decimal& d) {
  if (d.IsZero()) return "0";
  return std::string(d.digits, static_cast<std::size_t>(d.count)) + "e" + std::to_string(d.point);
}

// Short decimals take a quicker way to their digits than other values; both
// must give what the exact conversion gives.
TEST(NumfmtDecimal, FifteenDigitsAsTheExactConversionGivesThem) {
  const double fixed[] = {15878.84,
                          0.1 + 0.2,
                          1.0 / 3,
                          2.0 / 3,
                          1.005,
                          1e-7,
                          9.99e-8,
                          1.5e-7,
                          0.000123456789,
                          999999999999999.9,
                          1e15 - 1,
                          1e15 + 0.5,
                          123456789.123456789,
                          4.35,
                          0.1,
                          0.7,
                          5e-324,
                          1.7976931348623157e308,
                          43549.5,
                          12345678901234.5,
                          1234567890123.45,
                          0.30000000000000004};
  for (const double v : fixed) {
    EXPECT_EQ(Digits(ToDecimal(v)), Reference(v)) << v;
    EXPECT_EQ(Digits(ToDecimal(-v)), Reference(v)) << -v;
  }
  // Decimals of 1 to 17 significant digits at scales from 1e-9 to 1e16,
  // and the doubles next to each.
  std::uint64_t state = 12345;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 11;
  };
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(next() % 17);
    std::uint64_t mantissa = 0;
    for (int k = 0; k < digits; ++k) mantissa = mantissa * 10 + next() % 10;
    const int scale = static_cast<int>(next() % 26) - 9 - digits;
    const std::string text = std::to_string(mantissa) + "e" + std::to_string(scale);
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    for (const double w : {v, std::nextafter(v, 0.0), std::nextafter(v, 1e300)}) {
      ASSERT_EQ(Digits(ToDecimal(w)), Reference(w)) << text;
    }
  }
}

}  // namespace
}  // namespace dialsift::sheet::numfmt
