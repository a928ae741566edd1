// Numbers written with spaces: the forms people write, the texts that only
// look like numbers, and the cells on which both rules must agree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "extract/phone.h"

namespace dialsift::phone {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

LengthQuery Range(int lo, int hi) {
  return [lo, hi](std::int16_t n) { return n >= lo && n <= hi; };
}

std::vector<std::string> Spaced(std::string_view cell, int lo = 7, int hi = 15) {
  return ExtractSpacedNumbers(cell, Range(lo, hi));
}

std::vector<std::string> Words(std::string_view cell, int lo = 7, int hi = 15) {
  StreamingScanner scanner(Range(lo, hi));
  std::vector<std::string> out;
  scanner.Scan(cell, out);
  return out;
}

#define NBSP "\xC2\xA0"
#define NNBSP "\xE2\x80\xAF"
#define THIN "\xE2\x80\x89"
#define FIGURE "\xE2\x80\x87"
#define EN_DASH "\xE2\x80\x93"
#define NB_HYPHEN "\xE2\x80\x91"

TEST(SpacedNumbers, WrittenForms) {
  struct Case {
    const char* cell;
    std::vector<std::string> numbers;
  };
  const Case cases[] = {
      // National and international forms.
      {"(212) 555-0147", {"(212) 555-0147"}},
      {"(171) 555-7788", {"(171) 555-7788"}},
      {"(5) 555-4729", {"(5) 555-4729"}},
      {"0921-12 34 65", {"0921-12 34 65"}},
      {"+44 20 7946 0958", {"+44 20 7946 0958"}},
      {"020 7946 0958", {"020 7946 0958"}},
      {"+49 (0)30 1234 5678", {"+49 (0)30 1234 5678"}},
      {"+44(0)20 7946 0958", {"+44(0)20 7946 0958"}},
      {"+91 98765 43210", {"+91 98765 43210"}},
      {"8 (301) 123-45-67", {"8 (301) 123-45-67"}},
      {"+421 2/212 345 67", {"+421 2/212 345 67"}},
      {"089 / 123 456 78", {"089 / 123 456 78"}},
      {"+48 512 345 678", {"+48 512 345 678"}},
      {"1 800 555 1234", {"1 800 555 1234"}},
      {"+1 201.555.0123", {"+1 201.555.0123"}},
      // Every kind of blank, and the dashes read as hyphens.
      {"01" NBSP "23" NBSP "45" NBSP "67" NBSP "89",
       {"01" NBSP "23" NBSP "45" NBSP "67" NBSP "89"}},
      {"01" NNBSP "23" THIN "45" FIGURE "67 89", {"01" NNBSP "23" THIN "45" FIGURE "67 89"}},
      {"0921" EN_DASH "12 34 65", {"0921" EN_DASH "12 34 65"}},
      {"0921" NB_HYPHEN "12 34 65", {"0921" NB_HYPHEN "12 34 65"}},
      {"020 7946 " EN_DASH " 0958", {"020 7946 " EN_DASH " 0958"}},
      // Labels and extensions end a number.
      {"Tel 020 7946 0958 / Fax 020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"T 01 23 45 67 89 F 01 23 45 67 90", {"01 23 45 67 89", "01 23 45 67 90"}},
      {"Tel.: 020 7946 0958", {"020 7946 0958"}},
      {"Phone:+44 20 7946 0958", {"+44 20 7946 0958"}},
      {"mobile 0612345678", {"0612345678"}},
      {"(212) 555-0147 x204", {"(212) 555-0147"}},
      {"(212) 555-0147 ext. 1234567", {"(212) 555-0147"}},
      {"(212) 555-0147 ext 12", {"(212) 555-0147"}},
      {"(212) 555-0147 #1234567", {"(212) 555-0147"}},
      {"212-555-0147x204", {"212-555-0147"}},
      // Two to a cell.
      {"(212) 555-0147; (212) 555-0148", {"(212) 555-0147", "(212) 555-0148"}},
      {"(212) 555-0147 (212) 555-0148", {"(212) 555-0147", "(212) 555-0148"}},
      {"+44 20 7946 0958 +44 20 7946 0959", {"+44 20 7946 0958", "+44 20 7946 0959"}},
      {"020 7946 0958 / 020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"020 7946 0958 /020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"020 7946 0958, 020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"020 7946 0958\n020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"020 7946 0958\t020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      {"020 7946 0958  020 7946 0959", {"020 7946 0958", "020 7946 0959"}},
      // Sentences.
      {"Please call 020 7946 0958 before noon.", {"020 7946 0958"}},
      {"You can reach us on +33 1 23 45 67 89.", {"+33 1 23 45 67 89"}},
      {"Call (555) 123-4567 now", {"(555) 123-4567"}},
      {"855-2880 (TTY) 355-650-5551 (Voice)", {"855-2880", "355-650-5551"}},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(Spaced(c.cell), ElementsAreArray(c.numbers)) << c.cell;
  }
}

// The longest ticked run from the left, then on after it.
TEST(SpacedNumbers, LongestTickedRunFromTheLeft) {
  EXPECT_THAT(Spaced("(212) 555-0147", 7, 7), ElementsAreArray({"555-0147"}));
  EXPECT_THAT(Spaced("+1 355 650 5551", 10, 10), ElementsAreArray({"355 650 5551"}));
  EXPECT_THAT(Spaced("+1 355 650 5551", 10, 11), ElementsAreArray({"+1 355 650 5551"}));
  // The "(0)" after a country code is no digit of the number.
  EXPECT_THAT(Spaced("+44 (0)20 7946 0958", 12, 12), ElementsAreArray({"+44 (0)20 7946 0958"}));
  EXPECT_THAT(Spaced("12 34 56 78 90 12", 10, 10), ElementsAreArray({"12 34 56 78 90"}));
  EXPECT_THAT(Spaced("555 0147 555 0148", 7, 7), ElementsAreArray({"555 0147", "555 0148"}));
}

// Text with digits but no phone number: no more numbers than the word rule.
TEST(SpacedNumbers, Negatives) {
  const char* cells[] = {
      "1 234 567,89",
      "12 345 678",
      "1.234.567",
      "1 234 567 \xE2\x82\xAC",
      "EUR 123 456 789",
      "12" NNBSP "345" NNBSP "678",
      "-1 234 567",
      "1 234 567.50",
      "19.02.2015 10.30",
      "2015-02-19 14:30",
      "19/02/2015",
      "2015/02/19",
      "19 02 2015",
      "10.30 11.45 12.15",
      "Price 12.50 15.75",
      "DE89 3704 0044 0532 0130 00",
      "GB29 NWBK 6016 1331 9268 19",
      "NL91 ABNA 0417 1643 00",
      "4111 1111 1111 1111",
      "ISBN 978 3 16 148410 0",
      "ISBN 0 306 40615 2",
      "978-3-16-148410-0",
      "Version 3.11.4 2023",
      "10.0.19041 1234",
      "2019 2020 2021 2022",
      "1990 - 2000 2010",
      "1 2 3 4 5 6 7 8",
      "Hauptstraße 12 10115 Berlin",
      "Via Roma 15 00184 Roma",
      "Kerkstraat 123 1017 Amsterdam",
      "192.168.1.1 10.0.0.1",
      "2700/3000 3600/3800",
  };
  for (const char* cell : cells) {
    const auto spaced = Spaced(cell);
    const auto words = Words(cell);
    EXPECT_LE(spaced.size(), words.size()) << cell;
    for (const auto& n : spaced) EXPECT_THAT(words, ::testing::Contains(n)) << cell;
  }
  // A label says the groups are a phone number after all.
  EXPECT_THAT(Spaced("Tel 71 123 456", 8, 8), ElementsAreArray({"71 123 456"}));
  EXPECT_THAT(Spaced("71 123 456", 8, 8), IsEmpty());
}

// Common cells that read alike go the words' single pass; the others are
// read with spaces.
TEST(SpacedNumbers, WhichCellsAreReadWithSpaces) {
  const struct {
    const char* cell;
    bool spaced;
  } cases[] = {
      {"Ann Smith", false},       {"-1,234.56", false},
      {"2015-02-19", false},      {"212-555-0147", false},
      {"Tel: 2125550147", false}, {"1234 Main St, Springfield", false},
      {"12345 x", false},         {"(212) 555-0147", true},
      {"+1 212.555.0147", true},  {"212.555.0147 x204", false},
      {"212-555-0147x204", true}, {"A1B 2C3", false},
      {"Tel 2125550147", true},   {"2125550147.", true},
      {"12/05/2020", true},       {"#12345", true},
      {"01" NBSP "23 45", true},  {"0612345678\n0612345679", true},
      {"1234 5th Ave", false},    {"12kg, 5551234", false},
      {"5551234e12", true},       {"555-0147Ext.12", true},
      {"5th 5551234", true},
  };
  for (const auto& c : cases) EXPECT_EQ(SpacedMayDiffer(c.cell), c.spaced) << c.cell;
}

// Where reading with spaces cannot differ, it finds what the word rule
// finds: the window hands only the other cells over whole, and the CLI reads
// these the words' way. Random cells over the characters that matter.
TEST(SpacedNumbers, CellsThatCannotDifferGiveTheWords) {
  const std::string alphabet[] = {
      "0",  "5",        "9",   "+",   "-",        "(",    ")",   ".", " ",    "\t",
      "\r", "\n",       ";",   ",",   "/",        "#",    "x",   "a", NBSP,   EN_DASH,
      "12", "555-1234", "(0)", "+44", "\xC3\xA9", "2015", "ext", "T", "\x04", "\x7F",
      "th", "X",        "E",   "_",   "@",        "e1",   "k"};
  std::uint64_t state = 11;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(state >> 33);
  };
  int same = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const std::size_t pieces = next() % 12;
    for (std::size_t k = 0; k < pieces; ++k) text += alphabet[next() % std::size(alphabet)];
    const auto ticked = [](std::int16_t n) { return n % 3 != 0; };
    // Whatever the text, the scan ends and stays inside the cell.
    const auto spaced = ExtractSpacedNumbers(text, ticked);
    for (const auto& n : spaced) ASSERT_NE(text.find(n), std::string::npos) << text;

    struct Marks final : StreamingScanner::Found {
      int cells = 0;
      std::vector<std::string> words;
      void Number(std::string_view n) override { words.emplace_back(n); }
      void SpacedCell(std::string_view) override { ++cells; }
    } marks;
    StreamingScanner marking(ticked, {}, Rule::kWordsMarkingSpaced);
    marking.Scan(text, marks);
    ASSERT_EQ(marks.cells, SpacedMayDiffer(text) ? 1 : 0) << text;
    // Marked or not, the cell's words all come.
    StreamingScanner words(ticked, {}, Rule::kWords);
    std::vector<std::string> by_words;
    words.Scan(text, by_words);
    ASSERT_EQ(marks.words, by_words) << text;
    // The scan under --spaced: the reading with spaces where it may differ.
    StreamingScanner spaced_scan(ticked, {}, Rule::kSpaced);
    std::vector<std::string> by_scan;
    spaced_scan.Scan(text, by_scan);
    ASSERT_EQ(by_scan, SpacedMayDiffer(text) ? spaced : by_words) << text;
    if (SpacedMayDiffer(text)) continue;
    ++same;
    const auto by_spaced = ExtractSpacedNumbers(text, ticked);
    ASSERT_EQ(by_spaced, by_words) << text;
  }
  EXPECT_GT(same, 1000);
}

// The shortcut for cells shaped "(212) 555-0147" against the full reading:
// the same numbers, the same lengths asked in the same order, the same
// yields, on that shape with every digit count, with any one thing changed
// in it, and with labels, extensions and other numbers beside it.
TEST(SpacedNumbers, AreaCodeShortcutReadsAsTheFullReading) {
  std::uint64_t state = 23;
  auto next = [&](std::size_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(state >> 33) % n;
  };
  auto digits = [&] {
    std::string d;
    const std::size_t n = next(8) == 0 ? next(30) : 1 + next(5);
    for (std::size_t k = 0; k < n; ++k) d += static_cast<char>('0' + next(10));
    return d;
  };
  const std::string others[] = {
      " ",   "(",    ")",    "-",     ".",    "+",    "/",  "#",     "0",
      "5",   "x204", "Tel ", "Tel: ", " x12", "\t",   "\n", NBSP,    EN_DASH,
      "(0)", "+44 ", ", ",   "  ",    "T ",   "ext ", "€ ", " 2015", "; (212) 555-0148"};
  const std::regex shape(R"(\(\d+\) \d+-\d+)");
  int shaped = 0;
  for (int i = 0; i < 30000; ++i) {
    std::string cell = "(" + digits() + ") " + digits() + "-" + digits();
    switch (next(4)) {
      case 0:  // the shape itself
        break;
      case 1:  // one character replaced
        cell.replace(next(cell.size()), 1, others[next(std::size(others))]);
        break;
      case 2:  // something inserted, at the ends or inside
        cell.insert(next(3) == 0   ? 0
                    : next(3) == 0 ? cell.size()
                                   : next(cell.size() + 1),
                    others[next(std::size(others))]);
        break;
      default:  // one character left out
        cell.erase(next(cell.size()), 1);
    }
    shaped += std::regex_match(cell, shape);
    const std::uint32_t mask = static_cast<std::uint32_t>(next(1u << 31));

    struct Trace final : StreamingScanner::Found {
      std::vector<std::string> events;
      void Number(std::string_view n) override { events.emplace_back(n); }
    };
    Trace fast;
    Trace full;
    auto asking = [mask](Trace& t) {
      return [mask, &t](std::int16_t n) {
        t.events.push_back("asked " + std::to_string(n));
        return n >= 0 && n < 31 && (mask >> n & 1) != 0;
      };
    };
    const LengthQuery fast_ticked = asking(fast);
    const LengthQuery full_ticked = asking(full);
    ScanSpaced(
        cell, fast_ticked, [&] { fast.events.emplace_back("yield"); }, fast);
    ScanSpacedInFull(
        cell, full_ticked, [&] { full.events.emplace_back("yield"); }, full);
    ASSERT_EQ(fast.events, full.events) << cell << " ticked " << mask;
  }
  EXPECT_GT(shaped, 7000);
}

}  // namespace
}  // namespace dialsift::phone
