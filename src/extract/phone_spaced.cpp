// Numbers written with spaces: "(212) 555-0147", "+44 20 7946 0958",
// "01 23 45 67 89".
//
// A cell's text is cut into tokens: pieces (phone characters holding a
// digit: digits, "+-().", the en dash and the non-breaking hyphen), lone
// dashes and slashes between pieces, extension markers with their digits,
// other words (letters, signs) and stops (punctuation, tabs, line breaks).
// Blanks are the space, U+00A0, U+2007, U+2009 and U+202F. Pieces follow one
// another in a segment while one blank at most, a lone dash or a slash lies
// between them; a word, an extension, a stop or two blanks end it.
//
// Links between pieces are refused where the text says the next piece is no
// part of the same number, and segments whose shape says amount, date, card
// or the like are read piece by piece (each piece then is a word of the word
// rule). From the left, the longest run of pieces of a segment whose digit
// count is ticked is one number; the search goes on after it.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <span>

#include "extract/phone.h"

namespace dialsift::phone {

namespace {

enum class Kind : std::uint8_t {
  kPiece,  // phone characters holding a digit
  kDash,   // a hyphen or dash standing alone
  kSlash,  // "/"
  kWord,   // letters or other signs: ends a number
  kExt,    // an extension ("x204", "ext. 12", "#12"): ends a number
  kStop,   // punctuation, tab, line break: ends a number
};

// Every field is set when a token is made (Push): a cell's tokens live in
// storage that is not cleared first.
struct Token {
  std::size_t begin;
  std::size_t end;
  Kind kind;
  std::uint8_t gap;  // blanks before it: 0, 1, or 2 for more (or the start)
  std::uint32_t digits;
  bool plain;   // digits alone
  bool marker;  // kExt without digits of its own ("ext.", "#")
  bool alone;   // a piece that joins no neighbour (StandsAlone)
};

// The first N items in place, the rest on the heap: a cell's tokens and
// groups cost no allocation unless the cell is long.
template <typename T, std::size_t N>
class SmallVec {
 public:
  T& push_back(const T& v) {
    T* at = nullptr;
    if (size_ < N) {
      at = &(inline_[size_] = v);
    } else {
      if (size_ == N) heap_.assign(inline_.begin(), inline_.end());
      at = &heap_.emplace_back(v);
    }
    ++size_;
    return *at;
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return size_ <= N ? inline_.data() : heap_.data(); }
  const T* data() const { return size_ <= N ? inline_.data() : heap_.data(); }
  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }
  T& back() { return data()[size_ - 1]; }
  const T& back() const { return data()[size_ - 1]; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

 private:
  std::array<T, N> inline_;
  std::vector<T> heap_;
  std::size_t size_ = 0;
};

constexpr bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

// The punctuation of the word rule that ends a number here too: all of it
// but "/" (between groups) and "#" (an extension).
constexpr bool IsStop(unsigned char c) {
  return c < 0x20 || c == 0x7F || (c >= 0x21 && c <= 0x27 && c != '#') || c == 0x2A || c == 0x2C ||
         (c >= 0x3A && c <= 0x3F) || (c >= 0x5B && c <= 0x5E) || c == 0x60 ||
         (c >= 0x7B && c <= 0x7E);
}

constexpr bool IsFormatting(unsigned char c) {
  return c == '+' || c == '-' || c == '(' || c == ')' || c == '.';
}

// Length of the blank at text[i] (space, U+00A0, U+2007, U+2009, U+202F), else 0.
std::size_t BlankAt(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c == ' ') return 1;
  if (c == 0xC2)
    return i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0 ? 2 : 0;
  if (c != 0xE2 || i + 2 >= text.size() || static_cast<unsigned char>(text[i + 1]) != 0x80)
    return 0;
  const auto d = static_cast<unsigned char>(text[i + 2]);
  return d == 0x87 || d == 0x89 || d == 0xAF ? 3 : 0;
}

// What a byte is to the tokens: a digit, formatting, a space, a stop, "/",
// "#", the first byte of a blank or dash beyond ASCII (BlankAt and DashAt
// tell), or any other character of a word.
enum : std::uint8_t {
  kOtherByte,
  kDigitByte,
  kFormatByte,
  kSpaceByte,
  kStopByte,
  kSlashByte,
  kHashByte,
  kLeadByte
};
struct ByteKinds {
  std::uint8_t of[256] = {};
  constexpr ByteKinds() {
    for (int c = 0; c < 256; ++c) {
      const auto u = static_cast<unsigned char>(c);
      if (IsDigit(u)) {
        of[c] = kDigitByte;
      } else if (IsFormatting(u)) {
        of[c] = kFormatByte;
      } else if (c == ' ') {
        of[c] = kSpaceByte;
      } else if (IsStop(u)) {
        of[c] = kStopByte;
      } else if (c == '/') {
        of[c] = kSlashByte;
      } else if (c == '#') {
        of[c] = kHashByte;
      } else if (c == 0xC2 || c == 0xE2) {
        of[c] = kLeadByte;
      }
    }
  }
};
constexpr ByteKinds kBytes;

// The same kinds as bits, for the scan of a word's bytes: digits and
// formatting are gathered without a branch; a byte that ends the word, may
// end it or is no phone character leaves the quick loop.
enum : std::uint8_t { kDigitBit = 1, kFormatBit = 2, kOtherBit = 4, kEndBit = 8, kLeadBit = 16 };
struct WordBits {
  std::uint8_t of[256] = {};
  constexpr WordBits() {
    for (int c = 0; c < 256; ++c) {
      switch (kBytes.of[c]) {
        case kDigitByte:
          of[c] = kDigitBit;
          break;
        case kFormatByte:
          of[c] = kFormatBit;
          break;
        case kLeadByte:
          of[c] = kLeadBit;
          break;
        case kOtherByte:
          of[c] = kOtherBit;
          break;
        default:
          of[c] = kEndBit;
      }
    }
  }
};
constexpr WordBits kWordBits;

// Length of a dash read as a hyphen at text[i] (U+2011, U+2013), else 0.
std::size_t DashAt(std::string_view text, std::size_t i) {
  if (static_cast<unsigned char>(text[i]) != 0xE2 || i + 2 >= text.size() ||
      static_cast<unsigned char>(text[i + 1]) != 0x80)
    return 0;
  const auto d = static_cast<unsigned char>(text[i + 2]);
  return d == 0x91 || d == 0x93 ? 3 : 0;
}

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `word` begins with `prefix` (in lower case), ASCII letters in any case.
bool StartsWithNoCase(std::string_view word, std::string_view prefix) {
  if (word.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(word[i]) != prefix[i]) return false;
  return true;
}

// Whether the word, without the "." and ":" after it, is one of `list` (in
// lower case), ASCII letters in any case.
bool OneOf(std::string_view word, std::initializer_list<std::string_view> list) {
  while (!word.empty() && (word.back() == '.' || word.back() == ':')) word.remove_suffix(1);
  for (std::string_view name : list)
    if (word.size() == name.size() && StartsWithNoCase(word, name)) return true;
  return false;
}

// Words that say a phone number follows.
bool IsLabel(std::string_view word) {
  if (word.size() > 12) return false;
  return OneOf(word,
               {"tel",      "tél",      "tlf",    "tfn",       "telefon", "telephone", "téléphone",
                "teléfono", "telefono", "phone",  "ph",        "fax",     "t",         "f",
                "m",        "p",        "mobile", "mob",       "cell",    "handy",     "gsm",
                "portable", "mobil",    "móvil",  "cellulare", "call",    "dial"});
}

// An extension marker without its digits: "x", "ext", "ext.", "extn".
bool IsExtensionMarker(std::string_view word) {
  if (word.size() > 11) return false;
  // Every marker begins with one of these letters.
  const char first = LowerAscii(word[0]);
  if (first != 'x' && first != 'e' && first != 'p' && first != 'd') return false;
  return OneOf(word, {"x", "ext", "extn", "extension", "poste", "durchwahl", "dw"});
}

// A marker with its digits attached: "x204", "ext.12", "Ext12".
bool IsExtensionWithDigits(std::string_view word) {
  if (word.size() < 2 || word.size() > 16) return false;
  if (const char first = LowerAscii(word[0]); first != 'x' && first != 'e') return false;
  const std::string_view w = word;
  std::size_t i = 0;
  if (StartsWithNoCase(w, "extn")) {
    i = 4;
  } else if (StartsWithNoCase(w, "ext")) {
    i = 3;
  } else if (StartsWithNoCase(w, "x")) {
    i = 1;
  } else {
    return false;
  }
  if (i < w.size() && (w[i] == '.' || w[i] == ':')) ++i;
  if (i == w.size()) return false;
  for (; i < w.size(); ++i)
    if (!IsDigit(static_cast<unsigned char>(w[i]))) return false;
  return true;
}

// Currency signs and codes, and the percent sign, beside an amount.
bool IsCurrency(std::string_view word) {
  if (word.size() > 24) return false;
  static constexpr std::string_view kSigns[] = {"\xE2\x82\xAC",
                                                "$",
                                                "\xC2\xA3",
                                                "\xC2\xA5",
                                                "\xE2\x82\xB9",
                                                "\xE2\x82\xBD",
                                                "\xE2\x82\xBA",
                                                "\xE2\x82\xA9",
                                                "\xE2\x82\xAA",
                                                "\xE2\x82\xB4",
                                                "\xE2\x82\xA6",
                                                "\xE2\x82\xB1",
                                                "%"};
  for (std::string_view sign : kSigns)
    if (word.find(sign) != std::string_view::npos) return true;
  return OneOf(word, {"eur", "euro", "euros", "usd", "gbp", "chf", "jpy", "sek", "nok", "dkk",
                      "pln", "czk",  "huf",   "rub", "inr", "cny", "aud", "cad", "kr",  "zł",
                      "kč",  "ft",   "lei",   "fr",  "rs",  "r$",  "sfr", "dm"});
}

// "DE89", "GB29": the head of an IBAN.
bool IsIbanHead(std::string_view word) {
  return word.size() == 4 && std::isupper(static_cast<unsigned char>(word[0])) &&
         std::isupper(static_cast<unsigned char>(word[1])) &&
         IsDigit(static_cast<unsigned char>(word[2])) &&
         IsDigit(static_cast<unsigned char>(word[3]));
}

// The digit groups of a piece made of digits and one kind of separator
// (`sep`); empty when anything else is in it.
using GroupList = SmallVec<std::string_view, 8>;

GroupList Groups(std::string_view piece, char sep) {
  GroupList groups;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= piece.size(); ++i) {
    if (i == piece.size() || piece[i] == sep) {
      if (i == start) return {};
      groups.push_back(piece.substr(start, i - start));
      start = i + 1;
    } else if (!IsDigit(static_cast<unsigned char>(piece[i]))) {
      return {};
    }
  }
  return groups;
}

int Value(std::string_view digits) {
  int v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

bool IsYear(std::string_view piece) {
  if (piece.size() != 4) return false;
  const int v = Value(piece);
  return v >= 1800 && v <= 2099;
}

bool IsDayMonth(std::string_view day, std::string_view month) {
  if (day.size() > 2 || month.size() > 2) return false;
  const int d = Value(day);
  const int m = Value(month);
  return d >= 1 && d <= 31 && m >= 1 && m <= 12;
}

// A piece that stands alone whatever is beside it: a date ("19.02.2015",
// "2015-02-19"), a time or decimal ("10.30", "12.50"), a version or address
// ("3.11.4", "10.0.19041.1").
bool StandsAlone(std::string_view piece) {
  // Digit groups with one kind of separator, "." or "-", or nothing to see.
  char sep = 0;
  int seps = 0;
  for (char c : piece) {
    if (IsDigit(static_cast<unsigned char>(c))) continue;
    if ((c != '.' && c != '-') || (sep != 0 && c != sep)) return false;
    sep = c;
    ++seps;
  }
  if (sep == 0 || (sep == '-' && seps != 2)) return false;
  // The groups between the separators: the first three, how many, whether
  // one has a single digit; an empty one leaves none to read.
  std::array<std::string_view, 3> g;
  std::size_t count = 0;
  bool single = false;
  for (std::size_t start = 0, i = 0; i <= piece.size(); ++i) {
    if (i < piece.size() && piece[i] != sep) continue;
    if (i == start) return false;
    if (count < g.size()) g[count] = piece.substr(start, i - start);
    single = single || i - start == 1;
    ++count;
    start = i + 1;
  }
  if (count == 3) {
    if (g[0].size() == 4 && IsYear(g[0]) && IsDayMonth(g[2], g[1])) return true;
    if (g[2].size() == 4 || (sep == '.' && g[2].size() == 2)) {
      if (IsDayMonth(g[0], g[1]) || IsDayMonth(g[1], g[0])) return true;
    }
  }
  if (sep != '.') return false;
  if (count == 2) return true;  // "12.50", "48.8566"
  return count >= 3 && single;
}

// Two years joined by an en dash or non-breaking hyphen: "2001–2005".
bool IsRangeOfYears(std::string_view word) {
  return word.size() == 11 && DashAt(word, 4) == 3 && IsYear(word.substr(0, 4)) &&
         IsYear(word.substr(7));
}

// "+44", the country code that may begin a number.
bool IsCountryCode(std::string_view piece) {
  if (piece.size() < 2 || piece.size() > 4 || piece[0] != '+') return false;
  for (char c : piece.substr(1))
    if (!IsDigit(static_cast<unsigned char>(c))) return false;
  return true;
}

class SpacedReader {
 public:
  SpacedReader(std::string_view text, const LengthQuery& ticked, const YieldFn& yield,
               StreamingScanner::Found& found)
      : text_(text), ticked_(ticked), yield_(yield), found_(found) {}

  void Read() {
    Tokenize();
    Segments();
  }

 private:
  std::string_view Text(const Token& t) const { return text_.substr(t.begin, t.end - t.begin); }

  Token& Push(std::size_t begin, std::size_t end, Kind kind, std::uint8_t gap) {
    return tokens_.push_back({begin, end, kind, gap, 0, false, false, false});
  }

  // A piece's kind: a marker takes the digits after it as the extension.
  Kind PieceAfter(std::uint8_t gap) const {
    return gap <= 1 && !tokens_.empty() && tokens_.back().marker ? Kind::kExt : Kind::kPiece;
  }

  void Tokenize() {
    const std::size_t n = text_.size();
    std::uint8_t gap = 2;
    std::size_t i = 0;
    while (i < n) {
      const std::uint8_t kind = kBytes.of[static_cast<unsigned char>(text_[i])];
      if (kind == kSpaceByte || kind == kLeadByte) {
        if (const std::size_t b = kind == kSpaceByte ? 1 : BlankAt(text_, i)) {
          gap = static_cast<std::uint8_t>(std::min(gap + 1, 2));
          i += b;
          continue;
        }
      }
      if (kind == kStopByte) {
        Push(i, i + 1, Kind::kStop, gap);
        ++i;
      } else if (kind == kSlashByte) {
        Push(i, i + 1, Kind::kSlash, gap);
        ++i;
      } else if (kind == kHashByte) {
        Push(i, i + 1, Kind::kExt, gap).marker = true;
        ++i;
      } else {
        i = Word(i, gap);
      }
      gap = 0;
    }
  }

  // One word from `i`; returns where it ends.
  std::size_t Word(std::size_t i, std::uint8_t gap) {
    const std::size_t n = text_.size();
    const std::size_t begin = i;
    std::size_t other = std::string_view::npos;  // first character that is no phone character
    std::uint32_t digits = 0;
    std::uint32_t digits_before_other = 0;
    std::uint8_t seen = 0;  // the bits of the word's bytes
    while (i < n) {
      const std::uint8_t bits = kWordBits.of[static_cast<unsigned char>(text_[i])];
      if (bits & (kEndBit | kLeadBit | kOtherBit)) {
        if (bits & kEndBit) break;
        if (bits & kLeadBit) {
          if (BlankAt(text_, i)) break;
          if (const std::size_t d = DashAt(text_, i)) {
            seen |= kFormatBit;
            i += d;
            continue;
          }
        }
        // The first character that is no phone character: past it only the
        // word's end matters.
        other = i;
        digits_before_other = digits;
        seen |= kOtherBit;
        for (++i; i < n; ++i) {
          const std::uint8_t rest = kWordBits.of[static_cast<unsigned char>(text_[i])];
          if ((rest & kEndBit) || ((rest & kLeadBit) && BlankAt(text_, i))) break;
        }
        break;
      }
      digits += bits & kDigitBit;
      seen |= bits;
      ++i;
    }
    const bool plain = seen == 0 || seen == kDigitBit;
    const std::string_view word = text_.substr(begin, i - begin);
    if (other == std::string_view::npos) {
      if (digits > 0 && IsRangeOfYears(word)) {
        Push(begin, i, Kind::kWord, gap);  // "2001–2005"
      } else if (digits > 0) {
        Token& piece = Push(begin, i, PieceAfter(gap), gap);
        piece.digits = digits;
        piece.plain = plain;
        piece.alone = !plain && StandsAlone(word);
      } else if (word == "-" || DashAt(word, 0) == word.size()) {
        Push(begin, i, Kind::kDash, gap);
      } else {
        Push(begin, i, Kind::kWord, gap);
      }
      return i;
    }
    // "555-0147x204": the number, then its extension.
    if (digits_before_other > 0 && IsExtensionWithDigits(text_.substr(other, i - other))) {
      Push(begin, other, PieceAfter(gap), gap).digits = digits_before_other;
      Push(other, i, Kind::kExt, 0);
      return i;
    }
    if (IsExtensionWithDigits(word)) {
      Push(begin, i, Kind::kExt, gap);
    } else {
      Token& token = Push(begin, i, Kind::kWord, gap);
      if (IsExtensionMarker(word)) {
        token.kind = Kind::kExt;
        token.marker = true;
      }
    }
    return i;
  }

  bool Piece(std::size_t k) const { return tokens_[k].kind == Kind::kPiece; }
  bool Connector(std::size_t k) const {
    return tokens_[k].kind == Kind::kDash || tokens_[k].kind == Kind::kSlash;
  }

  // The pieces of a segment (token indices), without its connectors.
  using Pieces = SmallVec<std::size_t, 32>;
  Pieces PiecesOf(std::size_t first, std::size_t last) const {
    Pieces pieces;
    for (std::size_t k = first; k <= last; ++k)
      if (Piece(k)) pieces.push_back(k);
    return pieces;
  }

  // What stands before a slash can be an area code: "089", "+49 (0)89",
  // "+421 2".
  bool AreaCodeBefore(std::size_t first, std::size_t last) const {
    const auto pieces = PiecesOf(first, last);
    std::uint32_t digits = 0;
    for (std::size_t k : pieces) digits += tokens_[k].digits;
    // A trunk prefix opens a national area code ("089/", "(0228)/"): "2700/3000" is a range.
    if (pieces.size() == 1) {
      const std::string_view area = Text(tokens_[pieces[0]]);
      return digits <= 6 && (area[0] == '0' || area.starts_with("(0"));
    }
    if (pieces.size() > 3 || !IsCountryCode(Text(tokens_[pieces[0]]))) return false;
    return digits - tokens_[pieces[0]].digits <= 6;
  }

  // Whether piece `next` carries on the segment that runs from `first` to
  // `last` (a piece or a connector after one).
  bool Links(std::size_t first, std::size_t last, std::size_t next) const {
    const Token& t = tokens_[next];
    if (t.gap > 1) return false;
    std::size_t prev = last;
    if (Connector(last)) {
      if (last == first || Connector(last - 1) || t.gap + tokens_[last].gap > 2) return false;
      prev = last - 1;
      if (tokens_[last].kind == Kind::kSlash && !AreaCodeBefore(first, prev)) return false;
    }
    // The end of a range ("2700/3000") joins nothing after it either.
    if (prev == first && first > 1 && tokens_[first - 1].kind == Kind::kSlash &&
        tokens_[first].gap == 0 && tokens_[first - 1].gap == 0 && Piece(first - 2))
      return false;
    const std::string_view piece = Text(t);
    const std::string_view before = Text(tokens_[prev]);
    // A "+" opens a number; "(" opens an area code, past the country code
    // and trunk prefix.
    if (piece[0] == '+') return false;
    if (piece[0] == '(' && !piece.starts_with("(0)")) {
      std::uint32_t digits = 0;
      for (std::size_t k : PiecesOf(first, prev)) digits += tokens_[k].digits;
      if (digits >= 5) return false;
    }
    if (t.alone || tokens_[prev].alone) return false;
    // Rows of years, "1 2 3 4".
    if (tokens_[prev].plain && t.plain) {
      if (IsYear(before) && IsYear(piece)) return false;
      if (before.size() == 1 && piece.size() == 1) return false;
    }
    return true;
  }

  void Segments() {
    std::size_t first = 0;
    bool open = false;
    for (std::size_t k = 0; k < tokens_.size(); ++k) {
      const Token& t = tokens_[k];
      if (t.kind == Kind::kPiece) {
        if (open && Links(first, k - 1, k)) continue;
        if (open) Segment(first, k - 1);
        first = k;
        open = true;
      } else if (Connector(k)) {
        if (open && (t.gap > 1 || Connector(k - 1))) {
          Segment(first, k - 1);
          open = false;
        }
      } else if (open) {
        Segment(first, k - 1);
        open = false;
      }
    }
    if (open) Segment(first, tokens_.size() - 1);
  }

  // The texts of a segment's pieces, read as they are asked for.
  struct PieceTexts {
    const SpacedReader& reader;
    const Pieces& pieces;
    std::size_t size() const { return pieces.size(); }
    std::string_view operator[](std::size_t k) const {
      return reader.Text(reader.tokens_[pieces[k]]);
    }
  };

  // The nearest word before token `k`, past stops; nothing past a piece.
  const Token* WordBefore(std::size_t k) const {
    while (k > 0) {
      --k;
      if (tokens_[k].kind == Kind::kStop) continue;
      return tokens_[k].kind == Kind::kWord || tokens_[k].kind == Kind::kExt ? &tokens_[k]
                                                                             : nullptr;
    }
    return nullptr;
  }

  // A segment read as an amount, a date, a card or account number, an
  // address or an ISBN: its pieces stand alone.
  bool ReadPieceByPiece(std::size_t first, std::size_t last, const Pieces& pieces) const {
    const Token* before = WordBefore(first);
    const Token* after = last + 1 < tokens_.size() && tokens_[last + 1].gap <= 1 &&
                                 tokens_[last + 1].kind != Kind::kPiece
                             ? &tokens_[last + 1]
                             : nullptr;
    if (before && before->end - before->begin <= 8) {
      if (OneOf(Text(*before),
                {"isbn", "isbn-10", "isbn-13", "issn", "ean", "iban", "bic", "swift"}) ||
          IsIbanHead(Text(*before)))
        return true;
      // "GB29 NWBK 6016 ...": a bank code after the head.
      const Token* head = WordBefore(static_cast<std::size_t>(before - tokens_.data()));
      if (head && IsIbanHead(Text(*head))) return true;
    }
    bool connectors = false;
    for (std::size_t k = first; k <= last; ++k) connectors = connectors || Connector(k);
    const PieceTexts groups{*this, pieces};
    bool all_plain = !connectors;
    for (std::size_t k : pieces) all_plain = all_plain && tokens_[k].plain;
    // Cards and account numbers: three groups of four.
    for (std::size_t k = 0, run = 0; k < groups.size(); ++k) {
      run = tokens_[pieces[k]].plain && groups[k].size() == 4 ? run + 1 : 0;
      if (run >= 3) return true;
    }
    if (all_plain && IsList(groups)) return true;
    if (all_plain && groups.size() == 3 &&
        ((groups[2].size() == 4 && IsYear(groups[2]) &&
          (IsDayMonth(groups[0], groups[1]) || IsDayMonth(groups[1], groups[0]))) ||
         (IsYear(groups[0]) && IsDayMonth(groups[2], groups[1]))))
      return true;
    if (Amount(first, last, pieces, before, after)) return true;
    // "Hauptstraße 12 10115 Berlin": house number and postcode.
    if (all_plain && groups.size() == 2 && before && groups[0][0] != '0' && groups[0].size() <= 4 &&
        (groups[1].size() == 4 || groups[1].size() == 5) && after && after->kind == Kind::kWord &&
        !IsLabel(Text(*after)) && !IsLabel(Text(*before))) {
      const auto c = static_cast<unsigned char>(text_[after->begin]);
      if (std::isupper(c) || c >= 0x80) return true;
    }
    return false;
  }

  // Counting and round quantities: "36 38 40 42", "101 102 103" (three
  // or more groups of one length, rising by the same step of 1 to 10),
  // "5 10 20 50 100" (four or more multiples of five).
  static bool IsList(const PieceTexts& groups) {
    if (groups.size() < 3) return false;
    for (std::size_t k = 0; k < groups.size(); ++k) {
      const std::string_view g = groups[k];
      if (g.size() > 4 || (g.size() > 1 && g[0] == '0')) return false;
    }
    bool rounds = groups.size() >= 4;
    bool steps = true;
    const int step = Value(groups[1]) - Value(groups[0]);
    for (std::size_t k = 0; k < groups.size(); ++k) {
      rounds = rounds && Value(groups[k]) % 5 == 0;
      if (k > 0) {
        steps = steps && groups[k].size() == groups[0].size() &&
                Value(groups[k]) - Value(groups[k - 1]) == step;
      }
    }
    return rounds || (steps && step >= 1 && step <= 10);
  }

  // "1 234 567,89", "12 345 678", "€ 123 456": a group of one to three
  // digits, then groups of three.
  bool Amount(std::size_t first, std::size_t last, const Pieces& pieces, const Token* before,
              const Token* after) const {
    if (pieces.size() < 2 || last - first + 1 != pieces.size()) return false;
    std::string_view lead = Text(tokens_[pieces[0]]);
    if (lead[0] == '-') lead.remove_prefix(1);
    if (lead.empty() || lead.size() > 3 || lead[0] == '0' ||
        !std::all_of(lead.begin(), lead.end(), [](char c) { return IsDigit(c); }))
      return false;
    bool decimals = false;
    for (std::size_t k = 1; k < pieces.size(); ++k) {
      const std::string_view g = Text(tokens_[pieces[k]]);
      if (tokens_[pieces[k]].plain && g.size() == 3) continue;
      const auto parts = Groups(g, '.');
      if (k + 1 == pieces.size() && parts.size() == 2 && parts[0].size() == 3 &&
          parts[1].size() <= 2) {
        decimals = true;
        continue;
      }
      return false;
    }
    const std::size_t end = tokens_[last].end;
    if (end + 1 < text_.size() && text_[end] == ',' &&
        IsDigit(static_cast<unsigned char>(text_[end + 1])))
      decimals = true;
    if (decimals) return true;
    if ((before && tokens_[pieces[0]].gap <= 1 && IsCurrency(Text(*before))) ||
        (after && IsCurrency(Text(*after))))
      return true;
    if (before && IsLabel(Text(*before))) return false;
    return (lead.size() <= 2 && pieces.size() >= 3) || pieces.size() >= 4;
  }

  void Segment(std::size_t first, std::size_t last) {
    while (last > first && !Piece(last)) --last;
    const Pieces pieces = PiecesOf(first, last);
    if (pieces.empty()) return;
    if (pieces.size() > 1 && ReadPieceByPiece(first, last, pieces)) {
      for (std::size_t k : pieces) Choose({&k, 1});
      return;
    }
    Choose({pieces.data(), pieces.size()});
  }

  // Whether piece j of a run from piece i holds the "(0)" after a country
  // code: "+44 (0)20", "+44(0)20".
  bool TrunkMark(std::span<const std::size_t> pieces, std::size_t i, std::size_t j) const {
    const std::string_view piece = Text(tokens_[pieces[j]]);
    return (j == i + 1 && piece.starts_with("(0)") && IsCountryCode(Text(tokens_[pieces[i]]))) ||
           (j == i && piece[0] == '+' && piece.find("(0)") != std::string_view::npos &&
            IsCountryCode(piece.substr(0, piece.find("(0)"))));
  }

  // The longest ticked run from the left, again and again.
  void Choose(std::span<const std::size_t> pieces) {
    // Written up to `longest` before they are read.
    std::array<std::uint32_t, kLongestLength + 1> counts;
    std::size_t i = 0;
    while (i < pieces.size()) {
      if (yield_) yield_();
      // Digit counts of the runs from piece i; "(0)" after a country code
      // is a trunk prefix, no digit of the number.
      std::size_t longest = i;
      std::uint32_t count = 0;
      for (std::size_t j = i; j < pieces.size(); ++j) {
        const Token& t = tokens_[pieces[j]];
        std::uint32_t digits = t.digits;
        const char first = text_[t.begin];
        if ((first == '(' || first == '+') && TrunkMark(pieces, i, j)) --digits;
        count += digits;
        if (j > i && count > static_cast<std::uint32_t>(kLongestLength)) break;
        if (j - i < counts.size()) counts[j - i] = count;
        longest = j;
        if (j - i + 1 >= counts.size()) break;
      }
      std::size_t taken = pieces.size();
      for (std::size_t j = longest + 1; j-- > i;) {
        const std::uint32_t n = counts[j - i];
        if (n > kMaxWordLength) continue;
        if (ticked_(static_cast<std::int16_t>(n))) {
          taken = j;
          break;
        }
      }
      if (taken == pieces.size()) {
        ++i;
        continue;
      }
      std::size_t begin = tokens_[pieces[i]].begin;
      std::size_t end = tokens_[pieces[taken]].end;
      // Separators at the ends are not part of the number: "0958." at the
      // end of a sentence, a hyphen before it.
      // A minus before a single word is a sign ("-35.40"): kept as written.
      while (end > begin && (text_[end - 1] == '.' || text_[end - 1] == '-')) --end;
      while (taken > i && begin < end && (text_[begin] == '.' || text_[begin] == '-')) ++begin;
      found_.Number(text_.substr(begin, end - begin));
      i = taken + 1;
    }
  }

  std::string_view text_;
  const LengthQuery& ticked_;
  const YieldFn& yield_;
  StreamingScanner::Found& found_;
  SmallVec<Token, 48> tokens_;
};

// The number of digits from `i` on.
std::size_t DigitsFrom(std::string_view text, std::size_t i) {
  std::size_t k = i;
  while (k < text.size() && IsDigit(static_cast<unsigned char>(text[k]))) ++k;
  return k - i;
}

// A cell shaped "(212) 555-0147", as the phone number formats show numbers:
// digits in brackets, one space, digits, a hyphen, digits, nothing else.
// Gives what the reader gives it, asking the same lengths in the same order,
// and returns true; false, having done nothing, for any other cell.
//
// To the reader the cell is two pieces that join (the second opens with a
// digit; neither stands alone nor is an amount, the first holding brackets),
// with no word around them: the whole when its digit count is at most the
// longest and ticked, else "(212)" when its count is ticked, then "555-0147"
// when its count is.
bool ReadAreaCodeShape(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                       StreamingScanner::Found& found) {
  if (cell.size() < 7 || cell[0] != '(') return false;
  const std::size_t area = DigitsFrom(cell, 1);
  std::size_t i = 1 + area;
  if (area == 0 || i + 1 >= cell.size() || cell[i] != ')' || cell[i + 1] != ' ') return false;
  const std::size_t second = i + 2;
  const std::size_t head = DigitsFrom(cell, second);
  i = second + head;
  if (head == 0 || i >= cell.size() || cell[i] != '-') return false;
  const std::size_t tail = DigitsFrom(cell, i + 1);
  if (tail == 0 || i + 1 + tail != cell.size()) return false;

  const auto asked = [&ticked](std::size_t n) {
    return n <= kMaxWordLength && ticked(static_cast<std::int16_t>(n));
  };
  if (yield) yield();
  const std::size_t rest = head + tail;
  if (area + rest <= static_cast<std::size_t>(kLongestLength) && asked(area + rest)) {
    found.Number(cell);
    return true;
  }
  if (asked(area)) found.Number(cell.substr(0, second - 1));
  if (yield) yield();
  if (asked(rest)) found.Number(cell.substr(second));
  return true;
}

void ReadInFull(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                StreamingScanner::Found& found) {
  SpacedReader(cell, ticked, yield, found).Read();
}

}  // namespace

void ScanSpaced(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                StreamingScanner::Found& found) {
  if (ReadAreaCodeShape(cell, ticked, yield, found)) return;
  ReadInFull(cell, ticked, yield, found);
}

void ScanSpacedInFull(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                      StreamingScanner::Found& found) {
  ReadInFull(cell, ticked, yield, found);
}

std::vector<std::string> ExtractSpacedNumbers(std::string_view cell, const LengthQuery& ticked,
                                              const YieldFn& yield) {
  struct Append final : StreamingScanner::Found {
    std::vector<std::string> out;
    void Number(std::string_view number) override { out.emplace_back(number); }
  } append;
  ScanSpaced(cell, ticked, yield, append);
  return std::move(append.out);
}

}  // namespace dialsift::phone
