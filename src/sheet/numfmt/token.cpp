#include "sheet/numfmt/token.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace dialsift::sheet::numfmt {

namespace {

constexpr std::size_t kMaxSections = 4;

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Length of the UTF-8 sequence that starts at code[i] (1 for stray bytes).
std::size_t CharLength(std::string_view code, std::size_t i) {
  const auto c = static_cast<unsigned char>(code[i]);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  return i + n <= code.size() ? n : code.size() - i;
}

bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (Lower(s[i + k]) != word[k]) return false;
  }
  return true;
}

void AddLiteral(std::vector<Token>& tokens, std::string_view text) {
  if (text.empty()) return;
  if (!tokens.empty() && tokens.back().kind == Tok::kLiteral) {
    tokens.back().text += text;
    return;
  }
  Token t;
  t.kind = Tok::kLiteral;
  t.text = text;
  tokens.push_back(std::move(t));
}

void Add(std::vector<Token>& tokens, Tok kind, char ch = 0, int width = 0) {
  Token t;
  t.kind = kind;
  t.ch = ch;
  t.width = static_cast<std::uint8_t>(width > 255 ? 255 : width);
  tokens.push_back(std::move(t));
}

bool ParseCondition(std::string_view s, Condition& cond) {
  std::size_t i = 0;
  CondOp op;
  if (s.substr(0, 2) == "<=") {
    op = CondOp::kLe, i = 2;
  } else if (s.substr(0, 2) == ">=") {
    op = CondOp::kGe, i = 2;
  } else if (s.substr(0, 2) == "<>") {
    op = CondOp::kNe, i = 2;
  } else if (s[0] == '<') {
    op = CondOp::kLt, i = 1;
  } else if (s[0] == '>') {
    op = CondOp::kGt, i = 1;
  } else if (s[0] == '=') {
    op = CondOp::kEq, i = 1;
  } else {
    return false;
  }
  while (i < s.size() && s[i] == ' ') ++i;
  double v = 0;
  auto r = std::from_chars(s.data() + i, s.data() + s.size(), v);
  if (r.ec != std::errc()) return false;
  cond.op = op;
  cond.value = v;
  return true;
}

// [...] content: colour, condition, currency/locale, elapsed time or
// something this engine does not show (calendar and numeral systems).
void Bracket(std::string_view inner, RawSection& section) {
  if (inner.empty()) return;
  if (inner[0] == '$') {
    if (inner.size() == 6 && inner[1] == '-' && (inner[2] == 'F' || inner[2] == 'f') &&
        inner.substr(4) == "00") {
      if (inner[3] == '8') section.system_code = "dddd, mmmm d, yyyy";
      if (inner[3] == '4') section.system_code = "h:mm:ss AM/PM";
      return;
    }
    std::string_view currency = inner.substr(1);
    const auto dash = currency.find('-');
    if (dash != std::string_view::npos) currency = currency.substr(0, dash);
    AddLiteral(section.tokens, currency);
    return;
  }
  if (inner[0] == '<' || inner[0] == '>' || inner[0] == '=') {
    ParseCondition(inner, section.condition);
    return;
  }
  const char c = Lower(inner[0]);
  if (c == 'h' || c == 'm' || c == 's') {
    bool same = true;
    for (char x : inner) same = same && Lower(x) == c;
    if (same) Add(section.tokens, Tok::kElapsed, c, static_cast<int>(inner.size()));
  }
  // Colours ([Red], [Color10]) and everything else: not part of the text.
}

}  // namespace

bool Condition::Matches(double v) const {
  switch (op) {
    case CondOp::kNone:
      return true;
    case CondOp::kLt:
      return v < value;
    case CondOp::kLe:
      return v <= value;
    case CondOp::kGt:
      return v > value;
    case CondOp::kGe:
      return v >= value;
    case CondOp::kEq:
      return v == value;
    case CondOp::kNe:
      return v != value;
  }
  return false;
}

std::vector<RawSection> Tokenize(std::string_view code) {
  std::vector<RawSection> sections(1);
  std::size_t i = 0;
  const std::size_t n = code.size();
  while (i < n) {
    RawSection& sec = sections.back();
    auto& toks = sec.tokens;
    const char c = code[i];
    const char lc = Lower(c);
    switch (c) {
      case ';':
        if (sections.size() == kMaxSections) return sections;
        sections.emplace_back();
        ++i;
        continue;
      case '"': {
        const auto end = code.find('"', i + 1);
        const std::size_t stop = end == std::string_view::npos ? n : end;
        AddLiteral(toks, code.substr(i + 1, stop - i - 1));
        i = stop == n ? n : stop + 1;
        continue;
      }
      case '\\': {
        if (i + 1 < n) {
          const std::size_t len = CharLength(code, i + 1);
          AddLiteral(toks, code.substr(i + 1, len));
          i += 1 + len;
        } else {
          ++i;
        }
        continue;
      }
      case '_':
        // Space as wide as the next character: one blank.
        AddLiteral(toks, " ");
        i += 1 + (i + 1 < n ? CharLength(code, i + 1) : 0);
        continue;
      case '*':
        // Repeat to fill the cell: no width here, so nothing.
        i += 1 + (i + 1 < n ? CharLength(code, i + 1) : 0);
        continue;
      case '[': {
        const auto end = code.find(']', i + 1);
        if (end == std::string_view::npos) {
          AddLiteral(toks, "[");
          ++i;
          continue;
        }
        Bracket(code.substr(i + 1, end - i - 1), sec);
        i = end + 1;
        continue;
      }
      case '0':
      case '#':
      case '?':
        Add(toks, Tok::kDigit, c);
        ++i;
        continue;
      case '.':
        Add(toks, Tok::kPoint);
        ++i;
        continue;
      case ',':
        Add(toks, Tok::kComma);
        ++i;
        continue;
      case '%':
        Add(toks, Tok::kPercent);
        ++i;
        continue;
      case '/':
        Add(toks, Tok::kSlash);
        ++i;
        continue;
      case '@':
        Add(toks, Tok::kText);
        ++i;
        continue;
      default:
        break;
    }
    if ((lc == 'e') && i + 1 < n && (code[i + 1] == '+' || code[i + 1] == '-')) {
      Add(toks, Tok::kExponent, code[i + 1]);
      toks.back().text = std::string(1, c);
      i += 2;
      continue;
    }
    if (lc == 'g' && StartsWithNoCase(code, i, "general")) {
      Add(toks, Tok::kGeneral);
      i += 7;
      continue;
    }
    if (lc == 'a' && StartsWithNoCase(code, i, "am/pm")) {
      Add(toks, Tok::kAmPm, 0, 2);
      toks.back().text = "AP";
      i += 5;
      continue;
    }
    if (lc == 'a' && i + 2 < n && code[i + 1] == '/' && Lower(code[i + 2]) == 'p') {
      Add(toks, Tok::kAmPm, 0, 1);
      toks.back().text = {code[i], code[i + 2]};
      i += 3;
      continue;
    }
    if (lc == 'b' && i + 1 < n && (code[i + 1] == '1' || code[i + 1] == '2')) {
      // Calendar prefix (B1 Gregorian, B2 Hijri): not rendered.
      i += 2;
      continue;
    }
    if (lc == 'y' || lc == 'm' || lc == 'd' || lc == 'h' || lc == 's' || lc == 'e' || lc == 'b' ||
        lc == 'g') {
      std::size_t j = i;
      while (j < n && Lower(code[j]) == lc) ++j;
      Add(toks, Tok::kDateCode, lc, static_cast<int>(j - i));
      i = j;
      continue;
    }
    const std::size_t len = CharLength(code, i);
    AddLiteral(toks, code.substr(i, len));
    i += len;
  }
  for (RawSection& s : sections) {
    if (!s.system_code.empty()) s.tokens = Tokenize(s.system_code)[0].tokens;
  }
  return sections;
}

}  // namespace dialsift::sheet::numfmt
