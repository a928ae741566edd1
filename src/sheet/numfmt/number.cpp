#include "sheet/numfmt/render.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "sheet/numfmt/decimal.h"
#include "sheet/numfmt/general.h"

namespace dialsift::sheet::numfmt {

namespace {

// Placeholder kinds of one zone, left to right.
std::string ZoneKinds(const Section& s, std::uint8_t zone) {
  std::string kinds;
  for (const Token& t : s.tokens) {
    if (t.kind == Tok::kDigit && t.zone == zone) kinds += t.ch;
  }
  return kinds;
}

// Decimals: digits left to right; trailing zeros become nothing under '#'
// and blanks under '?'.
void FillLeft(std::string_view kinds, std::string_view digits, std::string* parts) {
  int last = static_cast<int>(digits.size()) - 1;
  while (last >= 0 && digits[last] == '0') --last;
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    parts[k].clear();
    if (static_cast<int>(k) <= last) {
      parts[k] += digits[k];
    } else if (kinds[k] == '0') {
      parts[k] += '0';
    } else if (kinds[k] == '?') {
      parts[k] += ' ';
    }
  }
}

// Shared walk over the tokens of number and scientific sections.
void Emit(const Section& s, double magnitude, const std::string& int_digits,
          const std::vector<std::string>& parts, std::string_view exponent_sign, std::string& out) {
  std::size_t next = 0;
  bool sign_pending = false;
  for (const Token& t : s.tokens) {
    switch (t.kind) {
      case Tok::kLiteral:
        out += t.text;
        break;
      case Tok::kDigit:
        // The exponent's sign stands right before its first digit.
        if (t.zone == 2 && sign_pending) {
          out += exponent_sign;
          sign_pending = false;
        }
        out += parts[next++];
        break;
      case Tok::kPoint:
        if (s.int_count == 0) out += int_digits;
        out += '.';
        break;
      case Tok::kPercent:
        out += '%';
        break;
      case Tok::kExponent:
        out += t.text;
        sign_pending = true;
        break;
      case Tok::kGeneral:
        AppendGeneral(magnitude, out);
        break;
      default:
        break;
    }
  }
}

}  // namespace

void FillRight(std::string_view kinds, std::string_view digits, bool group, std::string* parts) {
  const int n = static_cast<int>(kinds.size());
  const int len = static_cast<int>(digits.size());
  const int width = std::max(n, len);
  // The text of position j (counted from the right, 0-based), and whether
  // it counts as a digit for the grouping separator left of the next one.
  auto position = [&](int j, std::string& into) {
    char fill;
    if (j < len) {
      fill = digits[len - 1 - j];
    } else {
      const char kind = kinds[n - 1 - j];
      fill = kind == '0' ? '0' : kind == '?' ? ' ' : 0;
    }
    if (fill) into += fill;
    if (group && j > 0 && j % 3 == 0 && fill) into += fill == ' ' ? ' ' : ',';
  };
  for (int p = 0; p < n; ++p) {
    parts[p].clear();
    const int top = p == 0 ? width - 1 : n - 1 - p;
    for (int j = top; j >= n - 1 - p; --j) position(j, parts[p]);
  }
}

void RenderNumber(const Section& s, double magnitude, Decimal d, std::string& out) {
  // The common case of every number cell: written straight into `out`, with
  // each placeholder's text worked out where the walk meets it (as
  // FillRight and FillLeft would fill it), no piece held apart.
  if (!d.IsZero()) d.point += 2 * s.percent - 3 * s.scale;
  RoundToDecimals(d, s.frac_count);
  // Integer digits, without leading zeros: `len` of them, the j-th from the
  // right being IntDigit(j).
  const int len = d.IsZero() || d.point <= 0 ? 0 : d.point;
  const auto int_digit = [&](int j) {
    const int i = len - 1 - j;
    return i < d.count ? d.digits[i] : '0';
  };
  // Decimal k (0-based, left to right), and the last one that is not zero.
  const auto frac_digit = [&](int k) {
    const int i = d.point + k;
    return i >= 0 && i < d.count ? d.digits[i] : '0';
  };
  int last_frac = s.frac_count - 1;
  while (last_frac >= 0 && frac_digit(last_frac) == '0') --last_frac;

  const int n = s.int_count;
  const int width = std::max(n, len);
  int next_int = 0;   // integer placeholders met so far
  int next_frac = 0;  // decimal placeholders met so far
  for (const Token& t : s.tokens) {
    switch (t.kind) {
      case Tok::kLiteral:
        out += t.text;
        break;
      case Tok::kDigit:
        if (t.zone == 0) {
          // Placeholder p shows position n-1-p; the first one also shows
          // every digit that does not fit.
          const int p = next_int++;
          const int top = p == 0 ? width - 1 : n - 1 - p;
          for (int j = top; j >= n - 1 - p; --j) {
            char fill;
            if (j < len) {
              fill = int_digit(j);
            } else {
              const char kind = s.int_kinds[static_cast<std::size_t>(n - 1 - j)];
              fill = kind == '0' ? '0' : kind == '?' ? ' ' : 0;
            }
            if (!fill) continue;
            out += fill;
            if (s.group && j > 0 && j % 3 == 0) out += fill == ' ' ? ' ' : ',';
          }
        } else if (t.zone == 1) {
          const int k = next_frac++;
          if (k <= last_frac) {
            out += frac_digit(k);
          } else if (t.ch == '0') {
            out += '0';
          } else if (t.ch == '?') {
            out += ' ';
          }
        }
        break;
      case Tok::kPoint:
        if (n == 0) {
          for (int j = len - 1; j >= 0; --j) out += int_digit(j);
        }
        out += '.';
        break;
      case Tok::kPercent:
        out += '%';
        break;
      case Tok::kExponent:
        out += t.text;
        break;
      case Tok::kGeneral:
        AppendGeneral(magnitude, out);
        break;
      default:
        break;
    }
  }
}

void RenderScientific(const Section& s, double magnitude, std::string& out) {
  // Percent signs are shown but do not scale a scientific value.
  Decimal d = ToDecimal(magnitude);
  int exponent = 0;
  if (!d.IsZero()) {
    // The exponent is a multiple of the number of integer placeholders
    // (##0.0E+0 gives engineering notation).
    const int step = s.int_count > 0 ? s.int_count : 1;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int e10 = d.Exponent();
      exponent =
          s.int_count > 0 ? (e10 >= 0 ? e10 / step : -((-e10 + step - 1) / step)) * step : e10 + 1;
      Decimal m = d;
      RoundToSignificant(m, e10 - exponent + 1 + s.frac_count);
      const bool carried = m.Exponent() != e10;
      d = m;
      if (!carried) break;
    }
    d.point -= exponent;
  }
  std::string int_digits;
  AppendIntegerDigits(d, int_digits);
  std::string frac_digits;
  AppendFractionDigits(d, s.frac_count, frac_digits);
  const std::string exp_digits = exponent == 0 ? std::string() : std::to_string(std::abs(exponent));
  std::vector<std::string> parts(
      static_cast<std::size_t>(s.int_count + s.frac_count + s.exp_count));
  std::string int_kinds = ZoneKinds(s, 0);
  // Zero fills every integer placeholder with a zero.
  if (d.IsZero()) int_kinds.assign(int_kinds.size(), '0');
  FillRight(int_kinds, int_digits, s.group, parts.data());
  FillLeft(ZoneKinds(s, 1), frac_digits, parts.data() + s.int_count);
  std::string exp_kinds = ZoneKinds(s, 2);
  // The exponent always shows at least one digit.
  if (!exp_kinds.empty() && exponent == 0 && exp_kinds.find('0') == std::string::npos) {
    exp_kinds.back() = '0';
  }
  FillRight(exp_kinds, exp_digits, false, parts.data() + s.int_count + s.frac_count);
  std::string_view sign;
  for (const Token& t : s.tokens) {
    if (t.kind == Tok::kExponent) {
      sign = exponent < 0 ? "-" : (t.ch == '+' ? "+" : "");
      break;
    }
  }
  Emit(s, magnitude, int_digits, parts, sign, out);
}

}  // namespace dialsift::sheet::numfmt
