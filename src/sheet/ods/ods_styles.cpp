#include "sheet/ods/ods_styles.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace dialsift::sheet::ods {

namespace {

constexpr std::string_view kOfficeNamespace = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
// LibreOffice writes some attributes of newer versions in its own namespace.
constexpr std::string_view kLoextNs =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:loext:1.0";

std::optional<std::string_view> NumberAttr(const XmlAttributes& attrs, std::string_view local) {
  if (auto v = attrs.Get(kNumberNs, local)) return v;
  return attrs.Get(kLoextNs, local);
}
// Characters kept of one text element of a style, far beyond any real one.
constexpr std::size_t kMaxStyleText = 1024;
// Digits a number element may ask for; the engine shows at most 30 decimals.
constexpr int kMaxDigits = 30;
constexpr long long kMaxEmbeddedPosition = 64;
// Parent styles followed before a chain is taken for a loop.
constexpr int kMaxParents = 32;
// Bounds on one data style, far beyond real ones: a hostile style must not
// build a huge code for the engine to parse.
constexpr std::size_t kMaxCode = 4096;
constexpr std::size_t kMaxMaps = 16;
constexpr std::size_t kMaxEmbedded = 64;

std::optional<long long> Integer(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  long long v = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
  if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return v;
}

int Digits(std::optional<std::string_view> text, int absent) {
  const auto v = Integer(text);
  if (!v) return absent;
  return static_cast<int>(std::clamp<long long>(*v, 0, kMaxDigits));
}

std::optional<StyleFamily> FamilyOf(std::string_view local) {
  if (local == "number-style") return StyleFamily::kNumber;
  if (local == "currency-style") return StyleFamily::kCurrency;
  if (local == "percentage-style") return StyleFamily::kPercentage;
  if (local == "date-style") return StyleFamily::kDate;
  if (local == "time-style") return StyleFamily::kTime;
  if (local == "boolean-style") return StyleFamily::kBoolean;
  if (local == "text-style") return StyleFamily::kText;
  return std::nullopt;
}

// "value()>=0", "value() < 9999999": the only conditions data styles hold.
std::optional<numfmt::Condition> ParseCondition(std::string_view text) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
  };
  text = trim(text);
  constexpr std::string_view kValue = "value()";
  if (!text.starts_with(kValue)) return std::nullopt;
  text = trim(text.substr(kValue.size()));
  struct Op {
    std::string_view text;
    numfmt::CondOp op;
  };
  constexpr Op kOps[] = {{">=", numfmt::CondOp::kGe}, {"<=", numfmt::CondOp::kLe},
                         {"!=", numfmt::CondOp::kNe}, {"<>", numfmt::CondOp::kNe},
                         {"==", numfmt::CondOp::kEq}, {"=", numfmt::CondOp::kEq},
                         {"<", numfmt::CondOp::kLt},  {">", numfmt::CondOp::kGt}};
  for (const Op& op : kOps) {
    if (!text.starts_with(op.text)) continue;
    const std::string_view number = trim(text.substr(op.text.size()));
    double v = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (ec != std::errc() || end != number.data() + number.size() || number.empty()) {
      return std::nullopt;
    }
    return numfmt::Condition{op.op, v};
  }
  return std::nullopt;
}

// Appends `text` to a format code as a literal.
void AppendQuoted(std::string& code, std::string_view text) {
  while (!text.empty()) {
    const auto quote = text.find('"');
    const std::string_view run = text.substr(0, quote);
    if (!run.empty()) {
      code += '"';
      code += run;
      code += '"';
    }
    if (quote == std::string_view::npos) return;
    code += "\\\"";
    text.remove_prefix(quote + 1);
  }
}

}  // namespace

void StyleCollector::StartElement(const XmlName& name, const XmlAttributes& attrs) {
  if (container_depth_ == 0) {
    if (name.ns == kOfficeNamespace &&
        (name.local == "styles" || name.local == "automatic-styles")) {
      container_depth_ = 1;
      depth_ = 0;
    }
    return;
  }
  ++depth_;
  if (data_) {
    if (depth_ == data_depth_ + 1) {
      if (name.Is(kStyleNs, "map")) {
        const auto condition = ParseCondition(attrs.Get(kStyleNs, "condition").value_or(""));
        const auto apply = attrs.Get(kStyleNs, "apply-style-name");
        if (condition && apply && data_->maps.size() < kMaxMaps) {
          data_->maps.push_back({*condition, std::string(*apply)});
        } else {
          data_->renderable = false;
        }
      } else if (name.ns == kNumberNs) {
        StartDataPart(name.local, attrs);
      }
    } else if (depth_ == data_depth_ + 2 && in_number_ && name.Is(kNumberNs, "embedded-text")) {
      const auto position = Integer(attrs.Get(kNumberNs, "position"));
      if (!position || *position < 0 || *position > kMaxEmbeddedPosition ||
          embedded_.size() == kMaxEmbedded) {
        data_->renderable = false;
        return;
      }
      embedded_at_ = *position;
      text_.clear();
      in_text_ = true;
    }
    return;
  }
  if (depth_ != 1) return;
  if (name.ns == kNumberNs) {
    const auto family = FamilyOf(name.local);
    const auto style_name = attrs.Get(kStyleNs, "name");
    if (!family || !style_name) return;
    data_ = &into_.data[std::string(*style_name)];
    *data_ = DataStyle{};
    data_->family = *family;
    data_depth_ = depth_;
    elapsed_ = attrs.Get(kNumberNs, "truncate-on-overflow") == "false";
    // The system's format for the language is shown, whatever the elements
    // say.
    if (attrs.Get(kNumberNs, "format-source") == "language") data_->renderable = false;
    return;
  }
  if (name.ns != kStyleNs || attrs.Get(kStyleNs, "family") != "table-cell") return;
  const auto data_style = attrs.Get(kStyleNs, "data-style-name");
  if (name.local == "style") {
    const auto style_name = attrs.Get(kStyleNs, "name");
    if (!style_name) return;
    CellStyle& style = into_.cells[std::string(*style_name)];
    style.parent = attrs.Get(kStyleNs, "parent-style-name").value_or("");
    style.data_style.reset();
    if (data_style) style.data_style = std::string(*data_style);
  } else if (name.local == "default-style" && data_style) {
    into_.default_data_style = std::string(*data_style);
  }
}

void StyleCollector::StartDataPart(std::string_view local, const XmlAttributes& attrs) {
  std::string& code = data_->code;
  const bool long_form = attrs.Get(kNumberNs, "style") == "long";
  const auto calendar = attrs.Get(kNumberNs, "calendar");
  if (calendar && !calendar->empty() && *calendar != "gregorian") data_->renderable = false;
  // Integer placeholders: zeros for the digits always shown, one '#' at
  // least, a '#,' in front for grouping.
  auto integers = [&](int min_integers, bool grouping) {
    if (grouping) code += "#,";
    code.append(static_cast<std::size_t>(min_integers == 0 ? 1 : 0), '#');
    code.append(static_cast<std::size_t>(min_integers), '0');
  };
  if (local == "text" || local == "currency-symbol") {
    text_.clear();
    in_text_ = true;
  } else if (local == "text-content") {
    code += '@';
  } else if (local == "number") {
    in_number_ = true;
    decimals_ = Digits(attrs.Get(kNumberNs, "decimal-places"), -1);
    min_decimals_ = Digits(NumberAttr(attrs, "min-decimal-places"), -1);
    min_integers_ = Digits(attrs.Get(kNumberNs, "min-integer-digits"), 0);
    grouping_ = attrs.Get(kNumberNs, "grouping") == "true";
    embedded_.clear();
    scale_commas_ = 0;
    const auto replacement = attrs.Get(kNumberNs, "decimal-replacement");
    if (replacement && !replacement->empty()) data_->renderable = false;
    if (const auto factor = attrs.Get(kNumberNs, "display-factor")) {
      double f = 0;
      std::from_chars(factor->data(), factor->data() + factor->size(), f);
      while (f >= 1000 && std::fmod(f, 1000) == 0) {
        f /= 1000;
        ++scale_commas_;
      }
      if (f != 1) data_->renderable = false;
    }
  } else if (local == "scientific-number") {
    const auto interval = Integer(NumberAttr(attrs, "exponent-interval"));
    if (interval && *interval > 1) data_->renderable = false;
    integers(Digits(attrs.Get(kNumberNs, "min-integer-digits"), 1),
             attrs.Get(kNumberNs, "grouping") == "true");
    const int decimals = Digits(attrs.Get(kNumberNs, "decimal-places"), 0);
    if (decimals > 0) code += '.' + std::string(static_cast<std::size_t>(decimals), '0');
    const int exponent = std::max(1, Digits(attrs.Get(kNumberNs, "min-exponent-digits"), 1));
    code += "E+" + std::string(static_cast<std::size_t>(exponent), '0');
  } else if (local == "fraction") {
    if (const auto min_integers = attrs.Get(kNumberNs, "min-integer-digits")) {
      integers(Digits(min_integers, 0), attrs.Get(kNumberNs, "grouping") == "true");
      code += ' ';
    }
    const int numerator = std::max(1, Digits(attrs.Get(kNumberNs, "min-numerator-digits"), 1));
    code.append(static_cast<std::size_t>(numerator), '?');
    code += '/';
    const auto denominator = Integer(attrs.Get(kNumberNs, "denominator-value"));
    if (denominator && *denominator > 0) {
      code += std::to_string(*denominator);
    } else {
      const int digits = std::max(1, Digits(attrs.Get(kNumberNs, "min-denominator-digits"), 1));
      code.append(static_cast<std::size_t>(digits), '?');
    }
  } else if (local == "day") {
    code += long_form ? "dd" : "d";
  } else if (local == "month") {
    const bool textual = attrs.Get(kNumberNs, "textual") == "true";
    code += textual ? (long_form ? "mmmm" : "mmm") : (long_form ? "mm" : "m");
  } else if (local == "year") {
    code += long_form ? "yyyy" : "yy";
  } else if (local == "day-of-week") {
    code += long_form ? "dddd" : "ddd";
  } else if (local == "hours" || local == "minutes" || local == "seconds") {
    const std::string unit(long_form ? 2 : 1, local[0] == 'h' ? 'h' : local[0] == 'm' ? 'm' : 's');
    // Durations: the largest unit counts on past its usual range.
    code += elapsed_ ? "[" + unit + "]" : unit;
    // Durations are rounded to their smallest unit, clock times cut.
    if (elapsed_) data_->clock_unit = -1;
    elapsed_ = false;
    double seconds = local[0] == 'h' ? 3600 : local[0] == 'm' ? 60 : 1;
    if (local == "seconds") {
      const int decimals = std::min(3, Digits(attrs.Get(kNumberNs, "decimal-places"), 0));
      if (decimals > 0) code += '.' + std::string(static_cast<std::size_t>(decimals), '0');
      seconds = std::pow(10.0, -decimals);
    }
    if (data_->clock_unit == 0 || (data_->clock_unit > 0 && seconds < data_->clock_unit)) {
      data_->clock_unit = seconds;
    }
  } else if (local == "am-pm") {
    code += "AM/PM";
  } else if (local == "boolean" || local == "fill-character") {
    // Booleans are shown by their family; a fill has no width to fill here.
  } else {
    // Era, quarter, week of the year and anything unknown.
    data_->renderable = false;
  }
}

void StyleCollector::EndDataPart(std::string_view local) {
  if (local == "text" || local == "currency-symbol") {
    in_text_ = false;
    if (local == "currency-symbol" && text_.empty()) data_->renderable = false;
    AddLiteral(text_);
    return;
  }
  if (local != "number" || !in_number_) return;
  in_number_ = false;
  std::string& code = data_->code;
  if (decimals_ < 0) {
    // Without its decimal places a number is shown as General shows it.
    code += "General";
    return;
  }
  // Placeholders from the leftmost; an embedded text at position p stands
  // with p digits to its right and one at least to its left, which takes
  // the digits beyond the placeholders.
  long long count = std::max(min_integers_, 1);
  for (const auto& e : embedded_) count = std::max(count, e.position + 1);
  for (long long pos = count - 1; pos >= -1; --pos) {
    for (const auto& e : embedded_) {
      if (e.position == pos + 1) AppendQuoted(code, e.text);
    }
    if (pos < 0) break;
    const char placeholder = pos < min_integers_ ? '0' : '#';
    // A comma between the first two placeholders groups the thousands.
    if (grouping_ && pos == count - 1 && count == 1) code += "#,";
    code += placeholder;
    if (grouping_ && pos == count - 1 && count > 1) code += ',';
  }
  code.append(static_cast<std::size_t>(scale_commas_), ',');
  if (decimals_ > 0) {
    const int shown = min_decimals_ < 0 ? decimals_ : std::min(min_decimals_, decimals_);
    code += '.';
    code.append(static_cast<std::size_t>(shown), '0');
    code.append(static_cast<std::size_t>(decimals_ - shown), '#');
  }
}

void StyleCollector::AddLiteral(std::string_view text) {
  if (data_->family != StyleFamily::kPercentage) return AppendQuoted(data_->code, text);
  // A percentage style's '%' is the sign that the value is shown times 100.
  while (!text.empty()) {
    const auto percent = text.find('%');
    AppendQuoted(data_->code, text.substr(0, percent));
    if (percent == std::string_view::npos) return;
    data_->code += '%';
    text.remove_prefix(percent + 1);
  }
}

void StyleCollector::EndElement(const XmlName& name) {
  if (container_depth_ == 0) return;
  if (depth_ == 0) {
    container_depth_ = 0;
    return;
  }
  if (data_) {
    if (depth_ == data_depth_) {
      data_->clock_unit = std::max(0.0, data_->clock_unit);
      data_ = nullptr;
      in_text_ = false;
      in_number_ = false;
    } else if (depth_ == data_depth_ + 1 && name.ns == kNumberNs) {
      EndDataPart(name.local);
      if (data_->code.size() > kMaxCode) {
        data_->renderable = false;
        data_->code.clear();
      }
    } else if (depth_ == data_depth_ + 2 && embedded_at_) {
      embedded_.push_back({*embedded_at_, text_});
      embedded_at_.reset();
      in_text_ = false;
    }
  }
  --depth_;
}

void StyleCollector::Characters(std::string_view text) {
  if (!in_text_ || text_.size() >= kMaxStyleText) return;
  text_.append(text.substr(0, kMaxStyleText - text_.size()));
}

CellFormats::CellFormats(std::shared_ptr<const StyleSet> common, const StyleSet& content)
    : common_(std::move(common)), content_(content) {}

const DataStyle* CellFormats::FindData(std::string_view name, bool content_first) const {
  const std::string key(name);
  if (content_first) {
    if (const auto it = content_.data.find(key); it != content_.data.end()) return &it->second;
  }
  if (common_) {
    if (const auto it = common_->data.find(key); it != common_->data.end()) return &it->second;
  }
  return nullptr;
}

CellFormats::Plan CellFormats::MakePlan(std::string_view style) {
  Plan plan;
  // The data style of the cell style or of its nearest parent that has one;
  // styles of the content may name common ones, not the other way round.
  std::optional<std::string> data_name;
  bool in_content = true;
  std::string name(style);
  for (int i = 0; i < kMaxParents && !name.empty() && !data_name; ++i) {
    const CellStyle* found = nullptr;
    if (in_content) {
      if (const auto it = content_.cells.find(name); it != content_.cells.end()) {
        found = &it->second;
      } else {
        in_content = false;
      }
    }
    if (!found && common_) {
      if (const auto it = common_->cells.find(name); it != common_->cells.end()) {
        found = &it->second;
      }
    }
    if (!found) break;
    data_name = found->data_style;
    name = found->parent;
  }
  if (!data_name) {
    in_content = content_.default_data_style.has_value();
    data_name = in_content ? content_.default_data_style
                : common_  ? common_->default_data_style
                           : std::nullopt;
  }
  if (!data_name) return plan;
  const DataStyle* main = FindData(*data_name, in_content);
  if (!main) return plan;
  plan.has_style = true;
  plan.renderable = main->renderable;
  bool main_negative_only = false;
  for (const auto& map : main->maps) {
    const DataStyle* sub = FindData(map.apply, in_content);
    if (!sub || !sub->renderable) {
      plan.renderable = false;
      return plan;
    }
    plan.branches.push_back({map.condition, engine_.Intern(sub->code), sub->family,
                             map.condition.NegativeOnly(), sub->clock_unit});
    const auto& c = map.condition;
    main_negative_only |= (c.op == numfmt::CondOp::kGe && c.value <= 0) ||
                          (c.op == numfmt::CondOp::kGt && c.value < 0);
  }
  // The style itself takes what no condition took; when that is only
  // negative numbers, its own text carries the sign.
  plan.branches.push_back(
      {{}, engine_.Intern(main->code), main->family, main_negative_only, main->clock_unit});
  if (main->maps.empty() && main->code == "General") plan.has_style = false;
  return plan;
}

std::optional<std::string> CellFormats::Render(std::string_view style, double value,
                                               Unstyled unstyled) {
  if (!last_ || style != last_name_) {
    auto it = plans_.find(std::string(style));
    if (it == plans_.end()) it = plans_.emplace(std::string(style), MakePlan(style)).first;
    last_ = &it->second;
    last_name_.assign(style);
  }
  const Plan& plan = *last_;
  if (!plan.has_style) {
    switch (unstyled) {
      case Unstyled::kGeneral:
        return FormatGeneral(value);
      case Unstyled::kBoolean:
        return value != 0 ? "TRUE" : "FALSE";
      case Unstyled::kStoredText:
        return std::nullopt;
    }
  }
  if (!plan.renderable || !std::isfinite(value)) return std::nullopt;
  const Branch* chosen = &plan.branches.back();
  for (const auto& b : plan.branches) {
    if (b.condition.Present() && b.condition.Matches(value)) {
      chosen = &b;
      break;
    }
  }
  double shown = chosen->magnitude && value < 0 ? -value : value;
  if (chosen->family == StyleFamily::kBoolean) return shown != 0 ? "TRUE" : "FALSE";
  if (chosen->clock_unit > 0) {
    // Cut to the smallest unit shown; the margin keeps a value stored a
    // hair below a whole unit on it.
    const double units = std::fabs(shown) * 86400 / chosen->clock_unit;
    const double cut = std::floor(units + 1e-6) * chosen->clock_unit / 86400;
    shown = shown < 0 ? -cut : cut;
  }
  return engine_.FormatNumber(shown, chosen->handle);
}

namespace {

// Days from 0000-03-01 of the proleptic Gregorian calendar.
long long DayNumber(long long y, long long m, long long d) {
  if (m < 3) {
    y -= 1;
    m += 12;
  }
  return 365 * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + d - 1;
}

// Reads `digits` digits at `pos`, moving past them.
std::optional<long long> Fixed(std::string_view s, std::size_t& pos, std::size_t digits) {
  if (pos + digits > s.size()) return std::nullopt;
  long long v = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  pos += digits;
  return v;
}

}  // namespace

std::optional<double> DateSerial(std::string_view value) {
  std::size_t pos = 0;
  const auto year = Fixed(value, pos, 4);
  if (!year || pos >= value.size() || value[pos++] != '-') return std::nullopt;
  const auto month = Fixed(value, pos, 2);
  if (!month || pos >= value.size() || value[pos++] != '-') return std::nullopt;
  const auto day = Fixed(value, pos, 2);
  if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  double fraction = 0;
  if (pos < value.size() && value[pos] == 'T') {
    ++pos;
    const auto h = Fixed(value, pos, 2);
    if (!h || pos >= value.size() || value[pos++] != ':') return std::nullopt;
    const auto m = Fixed(value, pos, 2);
    if (!m) return std::nullopt;
    double seconds = 0;
    if (pos < value.size() && value[pos] == ':') {
      ++pos;
      std::size_t end = pos;
      while (end < value.size() && ((value[end] >= '0' && value[end] <= '9') || value[end] == '.'))
        ++end;
      const auto [p, ec] = std::from_chars(value.data() + pos, value.data() + end, seconds);
      if (ec != std::errc() || p != value.data() + end) return std::nullopt;
      pos = end;
    }
    if (*h > 24 || *m > 59 || seconds >= 61) return std::nullopt;
    fraction = (static_cast<double>(*h) * 3600 + static_cast<double>(*m) * 60 + seconds) / 86400;
  }
  // A zone suffix is dropped: the applications show the local time written.
  if (pos < value.size() && value[pos] != 'Z' && value[pos] != '+' && value[pos] != '-') {
    return std::nullopt;
  }
  const double days =
      static_cast<double>(DayNumber(*year, *month, *day) - DayNumber(1899, 12, 30)) + fraction;
  // The engine counts the fictitious 1900-02-29, as the spreadsheet file
  // formats do: dates before it sit one day lower.
  if (days >= 61) return days;
  if (days >= 2) return days - 1;
  if (days >= 0 && days < 1) return days;
  return std::nullopt;
}

std::optional<double> DurationDays(std::string_view value) {
  bool negative = false;
  if (value.starts_with('-')) {
    negative = true;
    value.remove_prefix(1);
  }
  if (!value.starts_with('P')) return std::nullopt;
  value.remove_prefix(1);
  double days = 0;
  bool in_time = false, any = false;
  while (!value.empty()) {
    if (value.front() == 'T') {
      in_time = true;
      value.remove_prefix(1);
      continue;
    }
    double n = 0;
    const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || p == value.data() + value.size() || n < 0) return std::nullopt;
    const char unit = *p;
    value.remove_prefix(static_cast<std::size_t>(p - value.data()) + 1);
    any = true;
    if (!in_time && unit == 'D') {
      days += n;
    } else if (in_time && unit == 'H') {
      days += n / 24;
    } else if (in_time && unit == 'M') {
      days += n / 1440;
    } else if (in_time && unit == 'S') {
      days += n / 86400;
    } else {
      return std::nullopt;  // years and months have no fixed length
    }
  }
  if (!any) return std::nullopt;
  return negative ? -days : days;
}

}  // namespace dialsift::sheet::ods
