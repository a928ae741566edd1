#include "platform/settings.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace dialsift {

std::optional<double> LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
  const std::size_t digits_start = j;
  while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  bool any = j > digits_start;
  if (j < text.size() && text[j] == '.') {
    std::size_t k = j + 1;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
    if (k > j + 1 || any) {
      any = any || k > j + 1;
      j = k;
    }
  }
  if (!any) return std::nullopt;
  // An exponent belongs to the number only when digits follow it.
  if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
    std::size_t k = j + 1;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    const std::size_t exp_digits = k;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
    if (k > exp_digits) j = k;
  }
  const std::string number(text.substr(i, j - i));
  return std::strtod(number.c_str(), nullptr);
}

std::optional<double> WholeNumber(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  // Only sign, digits, point and exponent may appear; strtod decides the rest.
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.' &&
        c != 'e' && c != 'E')
      return std::nullopt;
  }
  const std::string number(text);
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

long long RoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  // Values beyond the range of the result are pinned to its ends rather
  // than converted (which would be undefined).
  constexpr double kLimit = 9.2e18;
  if (value >= kLimit) return std::numeric_limits<long long>::max();
  if (value <= -kLimit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(std::nearbyint(value));  // default mode: half to even
}

std::string PhoneLengthKey(int index) {
  return std::to_string(index) + "Phone Length";
}

std::optional<StoredLengthBox> ReadLengthBox(const SettingsReader& store, int index) {
  std::optional<std::string> text = store.Read(PhoneLengthKey(index));
  if (!text) return std::nullopt;
  const std::optional<double> number = LeadingNumber(*text);
  return StoredLengthBox{std::move(*text), number ? RoundHalfEven(*number) : 0};
}

}  // namespace dialsift
