#include "sheet/decimal_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

namespace dialsift::sheet {
namespace {

// What std::from_chars answers, the reference.
bool Reference(std::string_view text, double& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

void ExpectSame(const std::string& text) {
  double want = 0;
  double got = 0;
  const bool ok = Reference(text, want);
  ASSERT_EQ(ParseDecimal(text, got), ok) << text;
  // Bit for bit: the sign of zero and the last bit of rounding count.
  if (ok) {
    EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << text << " " << want << " " << got;
  }
}

TEST(ParseDecimal, AgreesWithFromCharsOnHandPickedForms) {
  for (const char* text : {"0",
                           "-0",
                           "42",
                           "-12.5",
                           "1E-3",
                           "1e+22",
                           "1e23",
                           "9007199254740993",
                           "0.1",
                           "0.3",
                           "123456789012345678",
                           "1234567890123456789",
                           "12345678901234567890",
                           "1.7976931348623157e308",
                           "1e309",
                           "4.9e-324",
                           "1e-400",
                           "000000000000000000000000001.5",
                           "0.000000000000000000000001",
                           ".5",
                           "5.",
                           "-.5",
                           "",
                           "-",
                           ".",
                           "e5",
                           "1e",
                           "1e+",
                           "1ex",
                           "1.2.3",
                           "--1",
                           "+1",
                           "0x10",
                           "inf",
                           "nan",
                           "1 ",
                           " 1",
                           "2002000000",
                           "45123.375",
                           "-4999.99",
                           "1e-22",
                           "3e-23",
                           "9007199254740992e22",
                           "9007199254740993e-22",
                           "1e99999999999"}) {
    ExpectSame(text);
  }
}

TEST(ParseDecimal, AgreesWithFromCharsOnRandomDecimals) {
  std::mt19937_64 rng(15);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    if (rng() % 4 == 0) text += '-';
    const int int_digits = static_cast<int>(rng() % 21);
    for (int k = 0; k < int_digits; ++k) text += static_cast<char>('0' + rng() % 10);
    if (rng() % 2) {
      text += '.';
      const int frac_digits = static_cast<int>(rng() % 21);
      for (int k = 0; k < frac_digits; ++k) text += static_cast<char>('0' + rng() % 10);
    }
    if (rng() % 5 == 0) {
      text += rng() % 2 ? 'e' : 'E';
      if (rng() % 2) text += rng() % 2 ? '-' : '+';
      text += std::to_string(rng() % 40);
    }
    ExpectSame(text);
  }
}

}  // namespace
}  // namespace dialsift::sheet
