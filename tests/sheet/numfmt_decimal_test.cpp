#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "sheet/decimal_text.h"
#include "sheet/numfmt/decimal.h"

namespace dialsift::sheet::numfmt {
namespace {

// The same numbers on every run: a failure names the text it failed on.
struct Random {
  std::uint64_t state;
  std::uint64_t operator()() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 11;
  }
};

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
  Random next{12345};
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

// A number's text, read the quick way, gives the digits ToDecimal finds in
// its double whenever it has at most 15 significant digits; longer ones are
// left to ToDecimal.
TEST(NumfmtDecimal, DigitsOfTheWrittenNumberAreThoseOfItsDouble) {
  // Whether the digits came from the text; when they did, they must be
  // ToDecimal's.
  const auto taken_from_text = [](const std::string& text) {
    double v = 0;
    WrittenDecimal written;
    EXPECT_TRUE(ParseDecimal(text, v, written)) << text;
    Decimal d;
    const bool taken = written.known && DecimalFromParts(written.mantissa, written.scale, d);
    if (taken) {
      EXPECT_EQ(Digits(d), Digits(ToDecimal(v))) << text;
    }
    return taken;
  };
  const struct {
    const char* text;
    bool taken;
  } fixed[] = {{"15878.84", true},
               {"0.05", true},
               {"-0", true},
               {"1.5e3", true},
               {".5", true},
               {"5.", true},
               {"000123.4500", true},
               {"1E-7", true},
               {"-1e+22", true},
               {"123456789012345", true},
               {"1.2e-10", true},
               {"1234567890123456", false},
               {"1e-300", false},
               {"1e300", false},
               {"0.1234567890123456", false},
               {"100000000000000000000", false}};
  for (const auto& c : fixed) {
    EXPECT_EQ(taken_from_text(c.text), c.taken) << c.text;
  }
  Random next{777};
  for (int i = 0; i < 200000; ++i) {
    const int count = 1 + static_cast<int>(next() % 17);
    std::string text = next() % 4 == 0 ? "-" : "";
    text.append(next() % 3, '0');
    for (int k = 0; k < count; ++k) text += static_cast<char>('0' + next() % 10);
    const auto dot = next() % (count + 2);
    if (dot <= static_cast<std::uint64_t>(count)) text.insert(text.size() - count + dot, ".");
    const bool exponent = next() % 3 == 0;
    if (exponent) text += "e" + std::to_string(static_cast<int>(next() % 30) - 15);
    std::size_t significant = 0;
    for (char c : text.substr(0, text.find('e'))) {
      if (c >= '1' || (c == '0' && significant > 0)) ++significant;
    }
    const bool taken = taken_from_text(text);
    if (significant <= 15 && !exponent) {
      ASSERT_TRUE(taken) << text;
    } else if (significant > 15) {
      ASSERT_FALSE(taken) << text;
    }
  }
}

}  // namespace
}  // namespace dialsift::sheet::numfmt
