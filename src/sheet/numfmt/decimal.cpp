#include "sheet/numfmt/decimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace dialsift::sheet::numfmt {

namespace {

// Powers of ten that a double holds exactly.
constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

void TrimTrailingZeros(Decimal& d) {
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  if (d.count == 0) d.point = 0;
}

// Keeps the first `keep` digits and rounds on the next one.
void RoundAt(Decimal& d, int keep) {
  if (keep >= d.count) return;
  if (keep < 0) {
    d.count = 0;
    d.point = 0;
    return;
  }
  const bool up = d.digits[keep] >= '5';
  d.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') --i;
    if (i < 0) {
      // All nines (or nothing kept): the value becomes a one in the place
      // left of the kept digits.
      d.digits[0] = '1';
      d.count = 1;
      d.point += 1;
      return;
    }
    d.digits[i] += 1;
    d.count = i + 1;
  }
  TrimTrailingZeros(d);
}

}  // namespace

Decimal ToDecimal(double value) {
  Decimal d;
  value = std::fabs(value);
  if (value == 0 || !std::isfinite(value)) return d;
  // Whole numbers of up to 15 digits are exact in the double: convert them
  // directly, the common case for counts, ids and phone numbers.
  if (value < 1e15 && value == std::floor(value)) {
    auto r = std::to_chars(d.digits, d.digits + sizeof d.digits, static_cast<long long>(value));
    d.count = static_cast<int>(r.ptr - d.digits);
    d.point = d.count;
    while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
    return d;
  }
  // A value read from a short decimal (15878.84): the first scale p at which
  // value * 10^p is a whole number m of at most 15 digits whose quotient
  // m / 10^p gives back the same double names those digits. Both operands
  // are exact and the division rounds correctly, so the double is the one
  // nearest the decimal m * 10^-p; and a decimal of at most 15 significant
  // digits is what the double reads as at 15 digits (a double holds 15
  // decimal digits). Anything else goes the long way.
  if (value >= 1e-7 && value < 1e15) {
    for (int p = 1; p <= 22; ++p) {
      const double scaled = value * kPowers[p];
      if (scaled >= 1e15) break;
      const double m = std::nearbyint(scaled);
      if (m / kPowers[p] != value) continue;
      auto r = std::to_chars(d.digits, d.digits + sizeof d.digits, static_cast<long long>(m));
      d.count = static_cast<int>(r.ptr - d.digits);
      d.point = d.count - p;
      TrimTrailingZeros(d);
      return d;
    }
  }
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  // d.dddddddddddddde[+-]xx
  const char* p = buf;
  int n = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits[n++] = *p;
  }
  int exp = 0;
  if (p < r.ptr) {
    ++p;
    const bool neg = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (; p < r.ptr; ++p) exp = exp * 10 + (*p - '0');
    if (neg) exp = -exp;
  }
  d.count = n;
  d.point = exp + 1;
  TrimTrailingZeros(d);
  return d;
}

bool DecimalFromParts(std::uint64_t mantissa, int scale, Decimal& out) {
  if (mantissa == 0) {
    out = Decimal{};
    return true;
  }
  if (mantissa >= 1'000'000'000'000'000 || scale < -300 || scale > 300) return false;
  Decimal d;
  const auto r = std::to_chars(d.digits, d.digits + sizeof d.digits, mantissa);
  d.count = static_cast<int>(r.ptr - d.digits);
  d.point = d.count + scale;
  // Far from subnormals and overflow, where the double holds fewer digits
  // or none.
  if (d.point < -290 || d.point > 290) return false;
  TrimTrailingZeros(d);
  out = d;
  return true;
}

void RoundToDecimals(Decimal& d, int decimals) {
  if (d.IsZero()) return;
  RoundAt(d, d.point + decimals);
}

void RoundToSignificant(Decimal& d, int significant) {
  if (d.IsZero()) return;
  RoundAt(d, significant < 1 ? 1 : significant);
}

void AppendIntegerDigits(const Decimal& d, std::string& out) {
  if (d.point <= 0 || d.IsZero()) return;
  for (int i = 0; i < d.point; ++i) out += i < d.count ? d.digits[i] : '0';
}

void AppendFractionDigits(const Decimal& d, int decimals, std::string& out) {
  for (int k = 0; k < decimals; ++k) {
    const int i = d.point + k;
    out += (i >= 0 && i < d.count) ? d.digits[i] : '0';
  }
}

}  // namespace dialsift::sheet::numfmt
