// Decimal digits of a double as the spreadsheet application sees them: the
// value is first reduced to 15 significant digits (the precision the
// application keeps and shows), and every later rounding works on those
// decimal digits, half away from zero. That is why 1.005 shown with two
// decimals is 1.01 although the binary double lies just below 1.005.
#pragma once

#include <cstdint>
#include <string>

namespace dialsift::sheet::numfmt {

// A non-negative decimal number: 0.d[0]d[1]...d[count-1] x 10^point.
// Trailing zeros are trimmed; zero has count == 0.
struct Decimal {
  char digits[20] = {};
  int count = 0;
  int point = 0;

  bool IsZero() const { return count == 0; }
  // Position of the leading digit: floor(log10(value)). Undefined for zero.
  int Exponent() const { return point - 1; }
};

// |value| to 15 significant digits. `value` must be finite.
Decimal ToDecimal(double value);

// The digits of mantissa x 10^scale, a decimal of at most 15 significant
// digits well inside a double's normal range: what ToDecimal gives for the
// double nearest it (a double keeps 15 decimal digits). False for any other,
// which must take ToDecimal's way.
bool DecimalFromParts(std::uint64_t mantissa, int scale, Decimal& out);

// Rounds half away from zero, keeping `decimals` digits after the point
// (may be negative: round to tens, hundreds...).
void RoundToDecimals(Decimal& d, int decimals);
// Rounds half away from zero to `significant` digits (>= 1).
void RoundToSignificant(Decimal& d, int significant);

// Digits left of the point, without leading zeros ("" for a value below 1).
void AppendIntegerDigits(const Decimal& d, std::string& out);
// The first `decimals` digits right of the point, zero padded.
void AppendFractionDigits(const Decimal& d, int decimals, std::string& out);

}  // namespace dialsift::sheet::numfmt
