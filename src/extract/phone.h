// Module Phone: finds phone numbers in a workbook text.
//
// A phone number is a word made only of digits and the formatting characters
// "+-(). " whose digit count is a ticked length. Words come back exactly as
// written. Text is UTF-8; every character the rules look at is ASCII, so the
// results equal those over the same text in UTF-16.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/yield.h"

namespace dialsift::phone {

// Answers whether digit count n is ticked. Asked once per candidate word, at
// the moment the word is tested, so a change of the selection applies to the
// words tested after it.
using LengthQuery = std::function<bool(std::int16_t n)>;
using ::dialsift::YieldFn;

// The digit counts the boxes stand for, the shortest and the longest: no
// other count can ever pass the length test.
inline constexpr std::int16_t kShortestLength = 5;
inline constexpr std::int16_t kLongestLength = 20;

// The sixteen phone-length boxes as the length test reads them: box i has the
// caption i + 5 and a state (1 ticked, anything else not).
class LengthBoxes {
 public:
  virtual ~LengthBoxes() = default;
  virtual int State(int index) const = 0;
  virtual std::string Caption(int index) const = 0;
};

// A plain in-memory selection, for the CLI and tests.
class LengthSelection final : public LengthBoxes {
 public:
  LengthSelection() = default;
  // Ticks the given digit counts (5 to 20; others are ignored).
  static LengthSelection Of(std::initializer_list<int> lengths);
  void Set(int length, bool ticked);
  int State(int index) const override;
  std::string Caption(int index) const override;

 private:
  std::array<int, 16> states_{};
};

// Replaces each of the 25 punctuation characters by a space; same length.
std::string PunctuationToSpaces(std::string text);
// The words of the text that hold at least one digit, in order. Separators:
// CR LF, tab, CR and space; a lone LF stays inside its word.
std::vector<std::string_view> SplitIntoCandidates(std::string_view text);
// The word without "+-() ." characters.
std::string StripPhoneFormatting(std::string_view word);
// True when every character is one of "0123456789+-() ." (true when empty).
bool HasOnlyPhoneCharacters(std::string_view word);
// True when a ticked box's caption, read as a number, equals n. Walks the
// boxes 0 to 15, reading each state first and the caption only when ticked.
bool IsPhoneLengthTicked(const LengthBoxes& boxes, std::int16_t n);

// The phone numbers of the text, in order, duplicates kept.
std::vector<std::string> ExtractPhoneNumbers(std::string_view text, const LengthQuery& ticked,
                                             const YieldFn& yield = {});

// Digit count above which a word is not a phone number: its length no longer
// fits the 16-bit count.
inline constexpr std::size_t kMaxWordLength = 32767;

// How a cell's text is read.
//   kWords   every word stands alone (the default, ExtractPhoneNumbers).
//   kSpaced  numbers written with spaces: inside one cell, phone words
//            joined by single blanks are read as one number when their digit
//            count is ticked (phone_spaced.cpp tells the whole rule).
//   kWordsMarkingSpaced  the words, each cell whose reading with spaces
//            could differ from them handed on first as a whole (Found::
//            SpacedCell): a reading thread's scan, decided later on either
//            rule.
enum class Rule : std::uint8_t { kWords, kSpaced, kWordsMarkingSpaced };

// The scanner fed piece by piece. Feeding a workbook's cell texts one after
// the other, each followed by a separator, gives the same numbers as
// ExtractPhoneNumbers over the whole workbook text: no word spans two cells.
class StreamingScanner {
 public:
  // Receives the numbers of one piece, in order; a view into the piece.
  class Found {
   public:
    virtual ~Found() = default;
    virtual void Number(std::string_view number) = 0;
    // Under kWordsMarkingSpaced: the cell, before its words, when reading it
    // with spaces could find other numbers than its words.
    virtual void SpacedCell(std::string_view /*cell*/) {}
  };

  StreamingScanner(LengthQuery ticked, YieldFn yield = {}, Rule rule = Rule::kWords);
  // Lengths that stay as they are for the whole run (the CLI's): looked up
  // in the table, index the digit count, instead of asked at each word.
  using FixedLengths = std::array<bool, kLongestLength + 1>;
  explicit StreamingScanner(const FixedLengths& lengths, Rule rule = Rule::kWords);
  // Scans one self-contained piece of text (a cell's text); hands each number
  // found to `found`, so the caller knows the cell it came from.
  void Scan(std::string_view text, Found& found);
  // The same, appending the numbers to `out`.
  void Scan(std::string_view text, std::vector<std::string>& out);

 private:
  // Asks the length test about a word that holds a digit.
  bool IsNumber(std::string_view word, bool only_phone_characters);
  // The numbers among the words of text[from..].
  void ScanWords(std::string_view text, std::size_t from, Found& found);
  // Under kSpaced and kWordsMarkingSpaced: the words and, in the same pass,
  // whether reading the cell with spaces could find other numbers.
  void ScanChecking(std::string_view text, Found& found);
  LengthQuery ticked_;
  YieldFn yield_;
  Rule rule_;
  bool fixed_ = false;
  FixedLengths lengths_{};
  // A cell's numbers by its words, until the check against its reading with
  // spaces is through.
  std::vector<std::string_view> held_;
};

// Numbers written with spaces, one cell's text at a time. The text of one
// cell only: a number never runs across cells, tabs or line breaks. Each
// number found goes to `found` as written, a view into `cell`; the length
// test is asked at each candidate and `yield` runs before each.
void ScanSpaced(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                StreamingScanner::Found& found);
std::vector<std::string> ExtractSpacedNumbers(std::string_view cell, const LengthQuery& ticked,
                                              const YieldFn& yield = {});
// ScanSpaced without its shortcut for the commonest cell, "(212) 555-0147":
// what the shortcut must equal.
void ScanSpacedInFull(std::string_view cell, const LengthQuery& ticked, const YieldFn& yield,
                      StreamingScanner::Found& found);

// False when reading the cell with spaces is bound to find what its words
// give, whatever is ticked: no digit at all, or no "/" or "#" and each word
// with a digit either made of digits and "+.-" alone, not ending in "." or
// "-" and not after another word and a single space, or holding ASCII
// letters with no digit before the first or a first one other than "x" and
// "e".
bool SpacedMayDiffer(std::string_view cell);

}  // namespace dialsift::phone
