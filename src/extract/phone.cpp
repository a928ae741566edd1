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

// Character classes of the single-pass scan. kBreak ends a word: the four
// separators (LF handled apart) and the 25 punctuation characters, which the
// punctuation step turns into spaces. Within a word: kDigit, kOther (neither
// a digit nor formatting) and kLineFeed, which ends a word only after a CR.
// For the check of a cell against its reading with spaces: kParen marks the
// brackets, formatting to the words, kSlashHash the two breaks that reading
// takes inside a number, and kUnsafe the others that are no ASCII letter,
// "@" or "_" (control characters and bytes beyond ASCII, which may be blanks
// or stops to it).
enum : std::uint8_t {
  kBreak = 1,
  kDigit = 2,
  kOther = 4,
  kLineFeed = 8,
  kParen = 16,
  kSlashHash = 32,
  kUnsafe = 64
};
// The classes of characters that are not formatting inside a word.
constexpr std::uint8_t kNotFormatting = kDigit | kOther | kLineFeed;

struct ClassTable {
  std::uint8_t of[256] = {};
  constexpr ClassTable() {
    for (int c = 0; c < 256; ++c) {
      const auto ch = static_cast<char>(c);
      if (IsPunctuation(static_cast<unsigned char>(c)) || c == ' ' || c == '\t' || c == '\r') {
        of[c] = kBreak;
        if (c == '/' || c == '#') of[c] |= kSlashHash;
      } else if (c == '\n') {
        of[c] = kLineFeed;
      } else if (IsDigit(ch)) {
        of[c] = kDigit;
      } else if (c == '(' || c == ')') {
        of[c] = kParen;
      } else if (!IsFormatting(ch)) {
        of[c] = c > 0x20 && c < 0x7F ? kOther : kOther | kUnsafe;
      }
    }
  }
};
constexpr ClassTable kClasses;

// The words of text[from..], in order: calls on_word(word, only_phone) for
// each that holds a digit, `only_phone` telling whether it is made of phone
// characters alone. The words are the ones of PunctuationToSpaces and
// SplitIntoCandidates.
//
// With kCheck the walk also tells whether reading the cell with spaces could
// find other numbers than its words, and stops where that shows: it returns
// the offset of the word that shows it, which on_word has not seen, or the
// offset after the "/" or "#" that shows it, or npos when the whole text
// reads alike both ways. A cell reads alike when it holds no "/" or "#" and
// each word with a digit is either
//   - made of digits and "+", "." and "-" alone, not ending in "." or "-"
//     (that reading trims them) and not after another word and a single
//     space (where it could join it, or take it as a label or an extension
//     marker): one piece standing alone in that reading, given whole when its
//     digit count is ticked, as the words give it; or
//   - a word with ASCII letters ("@", "_") and no digit before the first of
//     them ("x204", "A1B"), or with a first one other than "x" or "e"
//     ("5th", "12kg"): a word giving no number either way. A digit before an
//     "x" or "e" could make a number and its extension ("555-0147x204",
//     "555-0147ext.12").
// Brackets, line feeds and other characters in such words send the cell the
// spaced way: that reading splits or joins at them. A cell without a digit
// gives nothing either way.
template <bool kCheck, typename OnWord>
[[gnu::always_inline]] inline std::size_t WalkWords(std::string_view text, std::size_t from,
                                                    OnWord&& on_word) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  [[maybe_unused]] bool digit = false;       // a word with a digit went by
  [[maybe_unused]] bool slash_hash = false;  // a "/" or "#" went by
  std::size_t i = from;
  while (i < size) {
    // One word: the classes of its characters gathered on the way to its end.
    const std::size_t start = i;
    std::uint8_t seen = 0;
    std::uint8_t c = 0;
    for (; i < size; ++i) {
      c = kClasses.of[s[i]];
      if (c & (kBreak | kLineFeed)) {
        if (c & kBreak) break;
        // The LF of a CR LF pair: the CR has ended the word, the LF ends the
        // empty one after it.
        if (i > 0 && s[i - 1] == '\r') break;
      }
      seen |= c;
    }
    if (seen & kDigit) {
      if constexpr (kCheck) {
        // The word that shows it is left to the caller: the offset of its
        // start.
        digit = true;
        if (seen & (kLineFeed | kParen | kUnsafe)) return start;
        if (seen & kOther) {
          bool digit_before = false;
          for (std::size_t k = start;; ++k) {
            const std::uint8_t b = kClasses.of[s[k]];
            if (b & kOther) {
              // Only "x" and "e" can open the extension after a number.
              const unsigned char first = s[k] | 0x20;
              if (digit_before && (first == 'x' || first == 'e')) return start;
              break;
            }
            digit_before = digit_before || (b & kDigit);
          }
        } else {
          const char last = static_cast<char>(s[i - 1]);
          if (last == '.' || last == '-' ||
              (start >= 2 && s[start - 1] == ' ' && !(kClasses.of[s[start - 2]] & kBreak)))
            return start;
        }
      }
      // A lone LF is no digit and no formatting: it keeps the word from being
      // a number, as any other character does.
      on_word(text.substr(start, i - start), (seen & (kOther | kLineFeed)) == 0);
    }
    if constexpr (kCheck) {
      if (i < size && (c & kSlashHash)) slash_hash = true;
      if (slash_hash && digit) return i + 1;
    }
    ++i;  // past the break
  }
  return std::string_view::npos;
}

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

StreamingScanner::StreamingScanner(LengthQuery ticked, YieldFn yield, Rule rule)
    : ticked_(std::move(ticked)), yield_(std::move(yield)), rule_(rule) {}

StreamingScanner::StreamingScanner(const FixedLengths& lengths, Rule rule)
    : ticked_([lengths](std::int16_t n) {
        return n >= 0 && static_cast<std::size_t>(n) < lengths.size() &&
               lengths[static_cast<std::size_t>(n)];
      }),
      rule_(rule),
      fixed_(true),
      lengths_(lengths) {}

void StreamingScanner::Scan(std::string_view text, std::vector<std::string>& out) {
  struct Append final : Found {
    std::vector<std::string>& out;
    explicit Append(std::vector<std::string>& o) : out(o) {}
    void Number(std::string_view number) override { out.emplace_back(number); }
  } append(out);
  Scan(text, append);
}

void StreamingScanner::Scan(std::string_view text, Found& found) {
  if (rule_ == Rule::kWords) {
    ScanWords(text, 0, found);
    return;
  }
  ScanChecking(text, found);
}

// Inlined into the walks over the words, which call it at every word with a digit.
[[gnu::always_inline]] inline bool StreamingScanner::IsNumber(std::string_view word,
                                                              bool only_phone_characters) {
  if (yield_) yield_();
  // Formatting characters are the ones of none of the classes of the others.
  std::size_t digits = word.size();
  for (char c : word) digits -= (kClasses.of[static_cast<unsigned char>(c)] & kNotFormatting) == 0;
  if (digits > kMaxWordLength) return false;
  if (fixed_) return digits < lengths_.size() && lengths_[digits] && only_phone_characters;
  return ticked_(static_cast<std::int16_t>(digits)) && only_phone_characters;
}

void StreamingScanner::ScanWords(std::string_view text, std::size_t from, Found& found) {
  WalkWords<false>(text, from, [this, &found](std::string_view word, bool only_phone) {
    if (IsNumber(word, only_phone)) found.Number(word);
  });
}

void StreamingScanner::ScanChecking(std::string_view text, Found& found) {
  // The words and the check in one pass; the numbers wait for its outcome.
  held_.clear();
  const std::size_t stop = WalkWords<true>(text, 0, [&](std::string_view word, bool only_phone) {
    if (IsNumber(word, only_phone)) held_.push_back(word);
  });
  if (stop != std::string_view::npos) {
    if (rule_ == Rule::kSpaced) {
      ScanSpaced(text, ticked_, yield_, found);
      return;
    }
    found.SpacedCell(text);
  }
  for (const std::string_view word : held_) found.Number(word);
  if (stop != std::string_view::npos) ScanWords(text, stop, found);
}

bool SpacedMayDiffer(std::string_view cell) {
  return WalkWords<true>(cell, 0, [](std::string_view, bool) {}) != std::string_view::npos;
}

}  // namespace dialsift::phone
