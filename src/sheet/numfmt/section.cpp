#include "sheet/numfmt/section.h"

#include <algorithm>
#include <cctype>

#include "base/unicode.h"

namespace dialsift::sheet::numfmt {

namespace {

constexpr std::size_t kMaxCodeChars = 255;

bool IsTimeUnit(const Token& t, char unit) {
  const bool time = t.kind == Tok::kDateCode || t.kind == Tok::kElapsed || t.kind == Tok::kHour ||
                    t.kind == Tok::kSecond;
  return time && t.ch == unit;
}

void ToLiteral(Token& t, std::string text) {
  t.kind = Tok::kLiteral;
  t.text = std::move(text);
}

std::string LetterRun(const Token& t) {
  return std::string(t.width, t.ch);
}

// The literal text a number token stands for in a date or text section.
void NumberTokenToLiteral(Token& t) {
  switch (t.kind) {
    case Tok::kDigit:
      ToLiteral(t, std::string(1, t.ch));
      break;
    case Tok::kPoint:
      ToLiteral(t, ".");
      break;
    case Tok::kComma:
      ToLiteral(t, ",");
      break;
    case Tok::kPercent:
      ToLiteral(t, "%");
      break;
    case Tok::kSlash:
      ToLiteral(t, "/");
      break;
    case Tok::kExponent:
      ToLiteral(t, t.text + t.ch);
      break;
    default:
      break;
  }
}

// m and mm mean minutes right after an hour, right before seconds, or right
// after seconds when only a colon stands between; months otherwise.
bool IsMinute(const std::vector<Token>& toks, std::size_t i) {
  for (std::size_t k = i; k-- > 0;) {
    const Token& t = toks[k];
    if (t.kind == Tok::kLiteral || t.kind == Tok::kSubSecond) {
      continue;
    }
    if (IsTimeUnit(t, 'h')) return true;
    if (IsTimeUnit(t, 's')) {
      bool colon_only = true;
      for (std::size_t j = k + 1; j < i; ++j) {
        colon_only = colon_only && toks[j].kind == Tok::kLiteral && toks[j].text == ":";
      }
      if (colon_only) return true;
    }
    break;
  }
  for (std::size_t k = i + 1; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.kind == Tok::kLiteral || t.kind == Tok::kAmPm) continue;
    return IsTimeUnit(t, 's');
  }
  return false;
}

void AnalyzeDate(Section& s) {
  auto& toks = s.tokens;
  s.elapsed_only = true;
  for (const Token& t : toks) {
    if (t.kind == Tok::kAmPm) s.hour12 = true;
    if (t.kind == Tok::kElapsed && !s.elapsed) s.elapsed = t.ch;
    if (t.kind == Tok::kDateCode || t.kind == Tok::kAmPm) s.elapsed_only = false;
  }
  s.elapsed_only = s.elapsed_only && s.elapsed;
  // Fractions of a second: a point followed by zeros.
  for (std::size_t i = 0; i < toks.size(); ++i) {
    if (toks[i].kind != Tok::kPoint) continue;
    std::size_t j = i + 1;
    while (j < toks.size() && toks[j].kind == Tok::kDigit && toks[j].ch == '0') ++j;
    const int zeros = static_cast<int>(j - i - 1);
    if (zeros == 0) continue;
    const int shown = std::min(zeros, 3);
    toks[i].kind = Tok::kSubSecond;
    toks[i].width = static_cast<std::uint8_t>(shown);
    for (std::size_t k = i + 1; k < j; ++k) {
      // Zeros past the third decimal stay as written.
      if (static_cast<int>(k - i) <= shown) {
        toks[k].kind = Tok::kNothing;
      } else {
        ToLiteral(toks[k], "0");
      }
    }
    s.subsecond = std::max(s.subsecond, shown);
  }
  for (std::size_t i = 0; i < toks.size(); ++i) {
    Token& t = toks[i];
    if (t.kind != Tok::kDateCode) {
      NumberTokenToLiteral(t);
      if (t.kind == Tok::kGeneral) ToLiteral(t, "General");
      if (t.kind == Tok::kText) ToLiteral(t, "@");
      continue;
    }
    switch (t.ch) {
      case 'y':
        t.kind = Tok::kYear;
        break;
      case 'm':
        t.kind = t.width <= 2 && IsMinute(toks, i) ? Tok::kMinute : Tok::kMonth;
        break;
      case 'd':
        t.kind = Tok::kDay;
        break;
      case 'h':
        t.kind = Tok::kHour;
        break;
      case 's':
        t.kind = Tok::kSecond;
        break;
      case 'e':
        t.kind = Tok::kEraYear;
        break;
      case 'b':
        t.kind = Tok::kBuddhistYear;
        break;
      default:
        // Era names (g) belong to calendars this engine does not render.
        t.kind = Tok::kNothing;
        break;
    }
  }
  s.kind = Kind::kDateTime;
}

void AnalyzeText(Section& s) {
  for (Token& t : s.tokens) {
    NumberTokenToLiteral(t);
    if (t.kind == Tok::kDateCode) ToLiteral(t, LetterRun(t));
    if (t.kind == Tok::kAmPm)
      ToLiteral(t, t.width == 2 ? "AM/PM" : std::string{t.text[0], '/', t.text[1]});
    if (t.kind == Tok::kElapsed) t.kind = Tok::kNothing;
  }
  s.kind = Kind::kText;
}

bool IsDigitText(const Token& t) {
  return t.kind == Tok::kLiteral && !t.text.empty() &&
         std::isdigit(static_cast<unsigned char>(t.text[0]));
}

// A literal that starts with digits right after the fraction bar is a fixed
// denominator: split the digits off the rest.
void SplitLeadingDigits(std::vector<Token>& toks, std::size_t i) {
  const std::string& text = toks[i].text;
  std::size_t n = 0;
  while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n]))) ++n;
  if (n == text.size()) return;
  Token rest;
  rest.kind = Tok::kLiteral;
  rest.text = text.substr(n);
  toks[i].text.resize(n);
  toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(rest));
}

bool AnalyzeFraction(Section& s) {
  auto& toks = s.tokens;
  const int n = static_cast<int>(toks.size());
  int slash = -1;
  for (int i = 0; i < n; ++i) {
    if (toks[i].kind == Tok::kSlash) {
      slash = i;
      break;
    }
  }
  if (slash < 0) return false;
  // Numerator: the run of placeholders nearest before the bar.
  int num_end = slash;
  while (num_end > 0 && toks[num_end - 1].kind != Tok::kDigit) --num_end;
  if (num_end == 0) return false;
  int num_begin = num_end - 1;
  while (num_begin > 0 && toks[num_begin - 1].kind == Tok::kDigit) --num_begin;
  // Denominator: placeholders or digits after the bar.
  int den_begin = slash + 1;
  while (den_begin < n && toks[den_begin].kind != Tok::kDigit && !IsDigitText(toks[den_begin])) {
    if (toks[den_begin].kind != Tok::kLiteral) return false;
    ++den_begin;
  }
  if (den_begin == n) return false;
  if (IsDigitText(toks[den_begin])) SplitLeadingDigits(toks, static_cast<std::size_t>(den_begin));
  const int m = static_cast<int>(toks.size());
  int den_end = den_begin;
  std::string fixed;
  bool literal_digits = false;
  while (den_end < m) {
    const Token& t = toks[den_end];
    if (t.kind == Tok::kDigit) {
      fixed += t.ch == '0' ? '0' : '?';
    } else if (IsDigitText(t) && t.text.find_first_not_of("0123456789") == std::string::npos) {
      fixed += t.text;
      literal_digits = true;
    } else {
      break;
    }
    ++den_end;
  }
  FractionLayout& f = s.fraction;
  if (literal_digits && fixed.find('?') == std::string::npos) {
    long long v = 0;
    for (char c : fixed) v = std::min(v * 10 + (c - '0'), 1000000000000LL);
    f.fixed_denominator = v > 0 ? v : 1;
  }
  f.denominator_digits = std::min(static_cast<int>(fixed.size()), 15);
  int int_last = -1;
  for (int i = 0; i < num_begin; ++i) {
    if (toks[i].kind == Tok::kDigit) int_last = i;
  }
  f.has_integer = int_last >= 0;
  f.int_end = int_last + 1;
  f.num_begin = num_begin;
  f.num_end = num_end;
  f.den_begin = den_begin;
  f.den_end = den_end;
  for (Token& t : toks) {
    if (t.kind != Tok::kDigit && t.kind != Tok::kLiteral) NumberTokenToLiteral(t);
    if (t.kind == Tok::kDateCode) ToLiteral(t, LetterRun(t));
  }
  s.kind = Kind::kFraction;
  return true;
}

void AnalyzeNumber(Section& s) {
  auto& toks = s.tokens;
  std::uint8_t zone = 0;
  bool exponent = false;
  for (Token& t : toks) {
    if (t.kind == Tok::kPoint) {
      if (zone == 0) {
        zone = 1;
        s.has_point = true;
      } else {
        ToLiteral(t, ".");
      }
    } else if (t.kind == Tok::kExponent) {
      if (exponent) {
        NumberTokenToLiteral(t);
      } else {
        exponent = true;
        zone = 2;
      }
    }
    t.zone = zone;
    if (t.kind == Tok::kDigit) {
      (zone == 0 ? s.int_count : zone == 1 ? s.frac_count : s.exp_count) += 1;
    }
    if (t.kind == Tok::kPercent) ++s.percent;
    if (t.kind == Tok::kGeneral) s.shows_number = true;
    if (t.kind == Tok::kDateCode) ToLiteral(t, LetterRun(t));
    if (t.kind == Tok::kSlash) ToLiteral(t, "/");
    if (t.kind == Tok::kText || t.kind == Tok::kElapsed || t.kind == Tok::kAmPm) {
      t.kind = Tok::kNothing;
    }
  }
  // Commas: between integer placeholders they group thousands; after the
  // last placeholder of the integer or decimal part they divide by 1000
  // each; before any placeholder they are plain text.
  const int n = static_cast<int>(toks.size());
  bool digit_before = false;
  for (int i = 0; i < n; ++i) {
    Token& t = toks[i];
    if (t.kind == Tok::kDigit) digit_before = true;
    if (t.kind != Tok::kComma) continue;
    if (!digit_before) {
      ToLiteral(t, ",");
      continue;
    }
    bool digit_after = false;
    for (int k = i + 1; k < n && toks[k].zone == t.zone; ++k) {
      if (toks[k].kind == Tok::kDigit) {
        digit_after = true;
        break;
      }
    }
    if (t.zone == 0 && digit_after) {
      s.group = true;
    } else if (!digit_after && t.zone != 2) {
      ++s.scale;
    }
    t.kind = Tok::kNothing;
  }
  s.kind = exponent ? Kind::kScientific : Kind::kNumber;
  for (const Token& t : toks) {
    if (t.kind == Tok::kDigit && t.zone == 0) s.int_kinds += t.ch;
  }
}

Section Analyze(RawSection raw) {
  Section s;
  s.tokens = std::move(raw.tokens);
  s.condition = raw.condition;
  bool text = false, date = false, digits = false;
  for (const Token& t : s.tokens) {
    text = text || t.kind == Tok::kText;
    date = date || t.kind == Tok::kDateCode || t.kind == Tok::kAmPm || t.kind == Tok::kElapsed;
    digits = digits || t.kind == Tok::kDigit || t.kind == Tok::kGeneral;
  }
  s.shows_number = digits;
  if (text) {
    AnalyzeText(s);
  } else if (date) {
    AnalyzeDate(s);
    s.shows_number = true;
  } else if (!AnalyzeFraction(s)) {
    AnalyzeNumber(s);
  }
  return s;
}

}  // namespace

Format ParseFormat(std::string_view code) {
  Format f;
  // The application accepts format codes of at most 255 characters: its
  // dialog refuses longer ones, MS-XLS bounds the FORMAT record's string
  // there, and for SpreadsheetML its documented limit (MS-OI29500, numFmt)
  // is the same; a longer code in a file is dropped when the application
  // repairs the file, and the cell shows its value as General. So does a
  // code longer than that here, which also bounds every rendering by the
  // code's length.
  if (Utf16Length(code) > kMaxCodeChars) return f;
  std::vector<RawSection> raw = Tokenize(code);
  for (RawSection& r : raw) f.sections.push_back(Analyze(std::move(r)));
  // A code of nothing but blanks is General.
  if (f.sections.size() == 1 && f.sections[0].tokens.empty() &&
      !f.sections[0].condition.Present()) {
    f.sections.clear();
    return f;
  }
  const int count = static_cast<int>(f.sections.size());
  if (count == 4) {
    f.text = 3;
  } else {
    for (int i = 0; i < count; ++i) {
      if (f.sections[i].kind == Kind::kText) {
        f.text = i;
        break;
      }
    }
  }
  for (int i = 0; i < count && i < 3; ++i) {
    if (i == f.text) continue;
    f.numeric[f.numeric_count++] = static_cast<std::uint8_t>(i);
    if (f.sections[i].condition.Present()) f.conditional = true;
  }
  return f;
}

namespace {

// General in the section for negative numbers still writes the sign.
Choice WithGeneralSign(Choice c, double value) {
  if (!c.minus && value < 0 && c.section) {
    for (const Token& t : c.section->tokens) {
      if (t.kind == Tok::kGeneral) {
        c.minus = true;
        break;
      }
    }
  }
  return c;
}

Choice Choose(const Format& f, double value);

}  // namespace

Choice ChooseSection(const Format& f, double value) {
  const Choice c = Choose(f, value);
  return f.conditional ? c : WithGeneralSign(c, value);
}

namespace {

Choice Choose(const Format& f, double value) {
  const int n = f.numeric_count;
  if (n == 0) return {nullptr, value < 0};
  auto at = [&](int i) { return &f.sections[f.numeric[i]]; };
  if (!f.conditional) {
    if (n == 1 || (value >= 0 && (n == 2 || value > 0))) return {at(0), value < 0};
    if (value < 0) return {at(1), false};
    return {at(2), false};
  }
  // With conditions the sections are tried in order; one without a
  // condition takes what is left (the second one, when not last, takes
  // negative values). A section whose condition admits only negative
  // numbers ([<0], [<=-25]) is their negative section and shows them without
  // the sign, unless it is the only section.
  for (int i = 0; i < n; ++i) {
    const Section* s = at(i);
    if (s->condition.Present()) {
      if (s->condition.Matches(value)) {
        return {s, value < 0 && (n == 1 || !s->condition.NegativeOnly())};
      }
      continue;
    }
    if (i == n - 1) return {s, value < 0};
    if (i == 0 && value >= 0) return {s, false};
    if (i == 1 && value < 0) return {s, false};
  }
  return {nullptr, value < 0};
}

}  // namespace

}  // namespace dialsift::sheet::numfmt
