#include "sheet/numfmt/fraction.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "sheet/numfmt/decimal.h"
#include "sheet/numfmt/render.h"

namespace dialsift::sheet::numfmt {

Fraction NearestFraction(double value, long long max_denominator) {
  if (max_denominator < 1) max_denominator = 1;
  if (!(value < 1e15)) return {static_cast<long long>(value < 9e18 ? value : 9e18), 1};
  // The last continued-fraction convergent whose denominator fits. The
  // application stops there; it does not look at the intermediate
  // fractions between two convergents (0.456 with ?/? is 1/2, not 4/9).
  long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  double x = value;
  for (int i = 0; i < 64; ++i) {
    const double a_d = std::floor(x);
    if (a_d > 1e15) break;
    const auto a = static_cast<long long>(a_d);
    const long long q2 = q0 + a * q1;
    if (q2 > max_denominator) break;
    const long long p2 = p0 + a * p1;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
    const double rest = x - a_d;
    // Close enough to the value at the precision the application keeps.
    const double err = std::fabs(value - static_cast<double>(p1) / static_cast<double>(q1));
    if (rest < 1e-15 || err < 1e-14 * std::max(value, 1.0)) break;
    x = 1 / rest;
  }
  if (q1 == 0) return {static_cast<long long>(std::llround(value)), 1};
  return {p1, q1};
}

namespace {

std::size_t CharCount(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string Kinds(const std::vector<Token>& toks, int begin, int end) {
  std::string kinds;
  for (int i = begin; i < end; ++i) {
    if (toks[i].kind == Tok::kDigit) kinds += toks[i].ch;
  }
  return kinds;
}

// Emits tokens [begin, end): literals as written, placeholders from `parts`.
void EmitRange(const std::vector<Token>& toks, int begin, int end, const std::string* parts,
               std::string& out) {
  std::size_t next = 0;
  for (int i = begin; i < end; ++i) {
    if (toks[i].kind == Tok::kLiteral) {
      out += toks[i].text;
    } else if (toks[i].kind == Tok::kDigit && parts) {
      out += parts[next++];
    }
  }
}

std::size_t Width(const std::vector<Token>& toks, int begin, int end) {
  std::size_t n = 0;
  for (int i = begin; i < end; ++i) {
    n += toks[i].kind == Tok::kLiteral ? CharCount(toks[i].text) : toks[i].kind == Tok::kDigit;
  }
  return n;
}

}  // namespace

void RenderFraction(const Section& s, double magnitude, std::string& out) {
  const FractionLayout& f = s.fraction;
  const auto& toks = s.tokens;
  const int n = static_cast<int>(toks.size());
  double whole = 0;
  double rest = magnitude;
  if (f.has_integer) {
    whole = std::floor(magnitude);
    rest = magnitude - whole;
  }
  Fraction fr;
  if (f.fixed_denominator > 0) {
    fr.denominator = f.fixed_denominator;
    const double num = std::floor(rest * static_cast<double>(fr.denominator) + 0.5);
    fr.numerator = num < 9e18 ? static_cast<long long>(num) : 0;
  } else {
    long long max_den = 1;
    for (int i = 0; i < f.denominator_digits; ++i) max_den *= 10;
    fr = NearestFraction(rest, max_den - 1);
  }
  if (f.has_integer && fr.numerator >= fr.denominator) {
    whole += 1;
    fr.numerator = 0;
  }
  const std::string int_kinds = Kinds(toks, 0, f.int_end);
  const std::string num_kinds = Kinds(toks, f.num_begin, f.num_end);
  const std::string den_kinds = Kinds(toks, f.den_begin, f.den_end);
  const auto has = [](const std::string& kinds, char c) {
    return kinds.find(c) != std::string::npos;
  };
  std::string whole_digits;
  if (whole >= 1) {
    Decimal d = ToDecimal(whole);
    AppendIntegerDigits(d, whole_digits);
  }
  std::vector<std::string> int_parts(int_kinds.size());
  // Integer part and separator.
  bool drop_fraction = false;
  bool blank_fraction = false;
  if (f.has_integer && fr.numerator == 0 && !has(num_kinds, '0')) {
    // A whole number: the fraction vanishes (blanks under '?').
    if (whole_digits.empty()) whole_digits.push_back('0');
    blank_fraction = has(int_kinds, '?') || has(num_kinds, '?') || has(den_kinds, '?');
    drop_fraction = !blank_fraction;
  }
  if (f.has_integer && whole_digits.empty() && fr.numerator == 0 && has(int_kinds, '?')) {
    whole_digits.push_back('0');
  }
  FillRight(int_kinds, whole_digits, false, int_parts.data());
  EmitRange(toks, 0, f.int_end, int_parts.data(), out);
  if (drop_fraction || blank_fraction) {
    if (blank_fraction) out.append(Width(toks, f.int_end, f.den_end), ' ');
    EmitRange(toks, f.den_end, n, nullptr, out);
    return;
  }
  if (f.has_integer && whole_digits.empty() && !has(int_kinds, '0')) {
    // Below one: no integer; its separator turns to blanks when the
    // integer or the numerator pads with blanks.
    if (has(int_kinds, '?') || has(num_kinds, '?')) {
      out.append(Width(toks, f.int_end, f.num_begin), ' ');
    }
  } else {
    EmitRange(toks, f.int_end, f.num_begin, nullptr, out);
  }
  std::vector<std::string> num_parts(num_kinds.size());
  FillRight(num_kinds, std::to_string(fr.numerator), false, num_parts.data());
  EmitRange(toks, f.num_begin, f.num_end, num_parts.data(), out);
  EmitRange(toks, f.num_end, f.den_begin, nullptr, out);
  std::string den = std::to_string(fr.denominator);
  if (f.fixed_denominator == 0 && den.size() < den_kinds.size()) {
    const std::size_t pad = den_kinds.size() - den.size();
    if (has(den_kinds, '0')) {
      den = std::string(pad, '0') + den;
    } else if (has(den_kinds, '?')) {
      den.append(pad, ' ');
    }
  }
  out += den;
  EmitRange(toks, f.den_end, n, nullptr, out);
}

}  // namespace dialsift::sheet::numfmt
