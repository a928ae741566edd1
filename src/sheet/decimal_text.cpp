#include "sheet/decimal_text.h"

#include <charconv>
#include <cstdint>

namespace dialsift::sheet {

namespace {

// Powers of ten that a double holds exactly.
constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool Slow(std::string_view text, double& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

}  // namespace

bool ParseDecimal(std::string_view text, double& out) {
  WrittenDecimal written;
  return ParseDecimal(text, out, written);
}

bool ParseDecimal(std::string_view text, double& out, WrittenDecimal& written) {
  written.known = false;
  // The common forms: [-]digits[.digits][e[+-]digits] with at most 19
  // significant digits. When the digits fit a double's mantissa and the
  // power of ten is exact, one multiplication or division rounds correctly
  // (both operands are exact), which is the answer strtod gives.
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  int significant = 0;
  int scale = 0;  // decimal exponent of the last digit read
  bool any = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    any = true;
    if (mantissa == 0 && *p == '0') continue;
    if (++significant > 19) return Slow(text, out);
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  }
  if (p < end && *p == '.') {
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
      any = true;
      --scale;
      if (mantissa == 0 && *p == '0') continue;
      if (++significant > 19) return Slow(text, out);
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    }
  }
  if (!any) return Slow(text, out);
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool minus = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return Slow(text, out);
    int exponent = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
      if (exponent > 10000) return Slow(text, out);
      exponent = exponent * 10 + (*p - '0');
    }
    scale += minus ? -exponent : exponent;
  }
  if (p != end) return Slow(text, out);
  double value;
  if (mantissa == 0) {
    value = 0;
  } else if (mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
    value = static_cast<double>(mantissa);
    value = scale < 0 ? value / kExact[-scale] : value * kExact[scale];
  } else {
    return Slow(text, out);
  }
  out = negative ? -value : value;
  written = {mantissa, scale, true};
  return true;
}

}  // namespace dialsift::sheet
