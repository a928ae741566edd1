#include "extract/phone.h"

#include <cmath>
#include <cstdlib>

namespace dialsift::phone {

namespace {

constexpr bool IsPunctuation(unsigned char c) {
  return (c >= 0x21 && c <= 0x27) || c == 0x2A || c == 0x2C || c == 0x2F ||
         (c >= 0x3A && c <= 0x3F) || (c >= 0x5B && c <= 0x5E) || c == 0x60 ||
         (c >= 0x7B && c <= 0x7E);
}

constexpr bool IsFormatting(char c) {
  return c == '+' || c == '-' || c == '(' || c == ')' || c == ' ' || c == '.';
}

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits `text` at every occurrence of `sep`, appending the pieces to `out`.
void SplitAt(std::string_view text, std::string_view sep, std::vector<std::string_view>& out) {
  std::size_t start = 0;
  while (true) {
    const std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) {
      out.push_back(text.substr(start));
      return;
    }
    out.push_back(text.substr(start, pos - start));
    start = pos + sep.size();
  }
}

// Reads the leading decimal number of a caption, as a box caption is read.
bool CaptionEquals(const std::string& caption, std::int16_t n) {
  const char* begin = caption.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin) return false;
  return std::nearbyint(value) == static_cast<double>(n);
}

// The table of characters that end a word in the single-pass scan: the four
// separators (LF handled apart) and the 25 punctuation characters, which the
// punctuation step turns into spaces.
struct BreakTable {
  bool is_break[256] = {};
  constexpr BreakTable() {
    for (int c = 0; c < 256; ++c) {
      is_break[c] =
          IsPunctuation(static_cast<unsigned char>(c)) || c == ' ' || c == '\t' || c == '\r';
    }
  }
};
constexpr BreakTable kBreaks;

}  // namespace

LengthSelection LengthSelection::Of(std::initializer_list<int> lengths) {
  LengthSelection s;
  for (int n : lengths) s.Set(n, true);
  return s;
}

void LengthSelection::Set(int length, bool ticked) {
  if (length >= 5 && length <= 20) states_[static_cast<std::size_t>(length - 5)] = ticked ? 1 : 0;
}

int LengthSelection::State(int index) const {
  return index >= 0 && index < 16 ? states_[static_cast<std::size_t>(index)] : 0;
}

std::string LengthSelection::Caption(int index) const {
  return std::to_string(index + 5);
}

std::string PunctuationToSpaces(std::string text) {
  for (char& c : text) {
    if (IsPunctuation(static_cast<unsigned char>(c))) c = ' ';
  }
  return text;
}

std::vector<std::string_view> SplitIntoCandidates(std::string_view text) {
  std::vector<std::string_view> lines;
  SplitAt(text, "\r\n", lines);
  std::vector<std::string_view> fields;
  for (auto line : lines) SplitAt(line, "\t", fields);
  std::vector<std::string_view> pieces;
  for (auto field : fields) SplitAt(field, "\r", pieces);
  std::vector<std::string_view> words;
  for (auto piece : pieces) SplitAt(piece, " ", words);

  std::vector<std::string_view> candidates;
  for (auto word : words) {
    for (char c : word) {
      if (IsDigit(c)) {
        candidates.push_back(word);
        break;
      }
    }
  }
  return candidates;
}

std::string StripPhoneFormatting(std::string_view word) {
  std::string out;
  out.reserve(word.size());
  for (char c : word) {
    if (!IsFormatting(c)) out += c;
  }
  return out;
}

bool HasOnlyPhoneCharacters(std::string_view word) {
  for (char c : word) {
    if (!IsDigit(c) && !IsFormatting(c)) return false;
  }
  return true;
}

bool IsPhoneLengthTicked(const LengthBoxes& boxes, std::int16_t n) {
  for (int i = 0; i < 16; ++i) {
    if (boxes.State(i) == 1 && CaptionEquals(boxes.Caption(i), n)) return true;
  }
  return false;
}

std::vector<std::string> ExtractPhoneNumbers(std::string_view text, const LengthQuery& ticked,
                                             const YieldFn& yield) {
  std::vector<std::string> result;
  const std::string spaced = PunctuationToSpaces(std::string(text));
  for (std::string_view word : SplitIntoCandidates(spaced)) {
    if (yield) yield();
    const std::string stripped = StripPhoneFormatting(word);
    if (stripped.size() > kMaxWordLength) continue;
    const auto n = static_cast<std::int16_t>(stripped.size());
    if (ticked(n) && HasOnlyPhoneCharacters(word)) result.emplace_back(word);
  }
  return result;
}

StreamingScanner::StreamingScanner(LengthQuery ticked, YieldFn yield)
    : ticked_(std::move(ticked)), yield_(std::move(yield)) {}

void StreamingScanner::Scan(std::string_view text, std::vector<std::string>& out) {
  struct Append final : Found {
    std::vector<std::string>& out;
    explicit Append(std::vector<std::string>& o) : out(o) {}
    void Number(std::string_view number) override { out.emplace_back(number); }
  } append(out);
  Scan(text, append);
}

void StreamingScanner::Scan(std::string_view text, Found& found) {
  const std::size_t size = text.size();
  std::size_t start = 0;
  bool has_digit = false;
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    bool brk = kBreaks.is_break[c];
    if (c == '\n' && i > 0 && text[i - 1] == '\r') brk = true;
    if (brk) {
      if (has_digit && IsNumber(text.substr(start, i - start))) {
        found.Number(text.substr(start, i - start));
      }
      start = i + 1;
      has_digit = false;
    } else if (IsDigit(static_cast<char>(c))) {
      has_digit = true;
    }
  }
  if (has_digit && IsNumber(text.substr(start))) found.Number(text.substr(start));
}

bool StreamingScanner::IsNumber(std::string_view word) {
  if (yield_) yield_();
  std::size_t digits = 0;
  for (char c : word) {
    if (!IsFormatting(c)) ++digits;
  }
  if (digits > kMaxWordLength) return false;
  return ticked_(static_cast<std::int16_t>(digits)) && HasOnlyPhoneCharacters(word);
}

}  // namespace dialsift::phone
