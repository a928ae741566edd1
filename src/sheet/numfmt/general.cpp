#include "sheet/numfmt/general.h"

#include <cmath>
#include <cstdlib>

#include "sheet/numfmt/decimal.h"

namespace dialsift::sheet::numfmt {

namespace {

constexpr int kWidth = 11;

// Significant digits that a rounded decimal shows.
int Significant(const Decimal& d) {
  return d.count;
}

void AppendScientific(Decimal d, std::string& out) {
  // The mantissa gets what is left of the 11 characters after "d." and the
  // exponent ("E+dd", or "E+ddd" past 99).
  int exp = d.Exponent();
  const int exp_digits = std::abs(exp) >= 100 ? 3 : 2;
  const int decimals = kWidth - 2 - 2 - exp_digits;
  RoundToSignificant(d, decimals + 1);
  exp = d.Exponent();
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits + 1, d.digits + d.count);
  }
  out += 'E';
  out += exp < 0 ? '-' : '+';
  const int a = std::abs(exp);
  if (a >= 100) out += static_cast<char>('0' + a / 100);
  out += static_cast<char>('0' + a / 10 % 10);
  out += static_cast<char>('0' + a % 10);
}

}  // namespace

void AppendGeneral(double value, std::string& out) {
  const double a = std::fabs(value);
  if (a == 0) {
    out += '0';
    return;
  }
  const Decimal exact = ToDecimal(a);
  // Whole numbers of up to 15 digits are written in full, whatever their
  // length: a phone number stored as a number must keep all its digits.
  if (a < 1e15 && a == std::floor(a)) {
    AppendIntegerDigits(exact, out);
    return;
  }
  const int e = exact.Exponent();
  if (e < kWidth) {
    // Decimal form: the integer digits, a point and as many decimals as the
    // width leaves.
    Decimal dec = exact;
    const int int_digits = e >= 0 ? e + 1 : 1;
    RoundToDecimals(dec, int_digits >= kWidth - 1 ? 0 : kWidth - int_digits - 1);
    const int dec_int_digits = dec.IsZero() ? 1 : (dec.point > 0 ? dec.point : 1);
    Decimal sci = exact;
    RoundToSignificant(sci, kWidth - 4 - (std::abs(e) >= 100 ? 3 : 2) + 1);
    if (!dec.IsZero() && dec_int_digits <= kWidth && Significant(dec) >= Significant(sci)) {
      if (dec.point <= 0) {
        out += '0';
      } else {
        AppendIntegerDigits(dec, out);
      }
      const int decimals = dec.count - dec.point;
      if (decimals > 0) {
        out += '.';
        AppendFractionDigits(dec, decimals, out);
      }
      return;
    }
  }
  AppendScientific(exact, out);
}

}  // namespace dialsift::sheet::numfmt
