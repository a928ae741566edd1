// First cut of the engine: General, text, and the plain built-in number
// formats 1-4, 9-10. Everything else renders like General for now.
#include "sheet/number_format.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace dialsift::sheet {

namespace {

constexpr std::string_view kBuiltin[] = {
    "General", "0", "0.00", "#,##0", "#,##0.00", "", "", "", "", "0%", "0.00%",
};

std::string GroupThousands(std::string digits) {
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Fixed(double value, int decimals, bool group) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string s = buf;
  std::string int_part = s.substr(0, s.find('.'));
  std::string frac = s.find('.') == std::string::npos ? "" : s.substr(s.find('.'));
  if (group) int_part = GroupThousands(int_part);
  std::string out = int_part + frac;
  if (value < 0 && out.find_first_not_of("0.,") != std::string::npos) out = "-" + out;
  return out;
}

}  // namespace

std::string_view BuiltinFormatCode(int id) {
  if (id >= 0 && id < static_cast<int>(std::size(kBuiltin))) return kBuiltin[id];
  if (id == 49) return "@";
  return {};
}

std::string FormatGeneral(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  if (value == 0) return "0";
  char buf[64];
  const double a = std::fabs(value);
  if (a < 1e15 && std::floor(a) == a) {
    std::snprintf(buf, sizeof buf, "%.0f", value);
    return buf;
  }
  if (a >= 1e11 || a < 1e-9) {
    for (int prec = 5; prec >= 0; --prec) {
      std::snprintf(buf, sizeof buf, "%.*E", prec, value);
      std::string s = buf;
      // Trim trailing zeros of the mantissa.
      auto e = s.find('E');
      std::string mant = s.substr(0, e);
      std::string exp = s.substr(e);
      if (mant.find('.') != std::string::npos) {
        while (mant.back() == '0') mant.pop_back();
        if (mant.back() == '.') mant.pop_back();
      }
      // Exponent with at least two digits, as the application writes it.
      int ev = std::stoi(exp.substr(1));
      std::snprintf(buf, sizeof buf, "E%c%02d", ev < 0 ? '-' : '+', std::abs(ev));
      std::string out = mant + buf;
      if (out.size() <= 11 || prec == 0) return out;
    }
  }
  const int int_digits = a >= 1 ? static_cast<int>(std::floor(std::log10(a))) + 1 : 1;
  int decimals = 10 - int_digits - (value < 0 ? 1 : 0);
  if (decimals < 0) decimals = 0;
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

struct FormatEngine::Impl {
  bool date1904 = false;
  std::vector<std::string> codes;
  std::unordered_map<std::string, Handle> index;
};

FormatEngine::FormatEngine(bool date1904) : impl_(std::make_unique<Impl>()) {
  impl_->date1904 = date1904;
}
FormatEngine::~FormatEngine() = default;
FormatEngine::FormatEngine(FormatEngine&&) noexcept = default;
FormatEngine& FormatEngine::operator=(FormatEngine&&) noexcept = default;

void FormatEngine::SetDate1904(bool date1904) { impl_->date1904 = date1904; }
bool FormatEngine::Date1904() const { return impl_->date1904; }

FormatEngine::Handle FormatEngine::Intern(std::string_view code) {
  auto it = impl_->index.find(std::string(code));
  if (it != impl_->index.end()) return it->second;
  const auto h = static_cast<Handle>(impl_->codes.size());
  impl_->codes.emplace_back(code);
  impl_->index.emplace(std::string(code), h);
  return h;
}

FormatEngine::Handle FormatEngine::InternBuiltin(int id) {
  auto code = BuiltinFormatCode(id);
  return Intern(code.empty() ? "General" : code);
}

std::string FormatEngine::FormatNumber(double value, Handle format) {
  const std::string& code = format < impl_->codes.size() ? impl_->codes[format] : "General";
  if (code == "0") return Fixed(std::round(value), 0, false);
  if (code == "0.00") return Fixed(value, 2, false);
  if (code == "#,##0") return Fixed(value, 0, true);
  if (code == "#,##0.00") return Fixed(value, 2, true);
  if (code == "0%") return Fixed(value * 100, 0, false) + "%";
  if (code == "0.00%") return Fixed(value * 100, 2, false) + "%";
  return FormatGeneral(value);
}

std::string FormatEngine::FormatText(std::string_view text, Handle /*format*/) {
  return std::string(text);
}

}  // namespace dialsift::sheet
