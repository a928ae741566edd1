#include "extract/phone.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dialsift::phone {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Find(std::string_view text, std::initializer_list<int> lengths) {
  auto sel = LengthSelection::Of(lengths);
  return ExtractPhoneNumbers(text, [&](std::int16_t n) { return IsPhoneLengthTicked(sel, n); });
}

std::vector<std::string> FindStreaming(std::string_view text, std::initializer_list<int> lengths) {
  auto sel = LengthSelection::Of(lengths);
  StreamingScanner scanner([&](std::int16_t n) { return IsPhoneLengthTicked(sel, n); });
  std::vector<std::string> out;
  scanner.Scan(text, out);
  return out;
}

TEST(Phone, WorkedExamples) {
  EXPECT_THAT(Find("855-2880 (TTY) 355-650-5551 (Voice)", {7, 10}),
              ElementsAre("855-2880", "355-650-5551"));
  EXPECT_THAT(Find("Call (555) 123-4567 now", {7, 10}), ElementsAre("123-4567"));
  EXPECT_THAT(Find("Tel:+1.555.123.4567;Fax:(355)650-5551", {7, 10}), ElementsAre("(355)650-5551"));
  EXPECT_THAT(Find("Tel:+1.555.123.4567;Fax:(355)650-5551", {7, 10, 11}),
              ElementsAre("+1.555.123.4567", "(355)650-5551"));
}

TEST(Phone, WordsAreNeverJoinedOrTakenWithLetters) {
  EXPECT_THAT(Find("", {7}), IsEmpty());
  EXPECT_THAT(Find("no digits here", {7}), IsEmpty());
  EXPECT_THAT(Find("555-1234x12 ext.5551234", {5, 6, 7, 8, 9, 10, 11, 12}), IsEmpty());
  EXPECT_THAT(Find("+1 355 650 5551", {5, 6, 7, 8, 9, 10, 11}), IsEmpty());
  EXPECT_THAT(Find("2015/02/19", {5, 6, 7, 8}), IsEmpty());
  EXPECT_THAT(Find("2015-02-19", {8}), ElementsAre("2015-02-19"));
  EXPECT_THAT(Find("--8552880-- ((8552880))", {7}), ElementsAre("--8552880--", "((8552880))"));
  EXPECT_THAT(Find("8552880 8552880", {7}), ElementsAre("8552880", "8552880"));
}

TEST(Phone, SeparatorsAndTheLoneLineFeed) {
  EXPECT_THAT(Find("8552880\n3556505551", {7, 10}), IsEmpty());
  for (const char* sep : {"\r\n", "\t", "\r", " "}) {
    const std::string text = std::string("8552880") + sep + "3556505551";
    EXPECT_THAT(Find(text, {7, 10}), ElementsAre("8552880", "3556505551")) << sep;
  }
  // The LF of a CR LF pair belongs to the pair, even after another CR.
  EXPECT_THAT(Find("8552880\r\r\n3556505551", {7, 10}), ElementsAre("8552880", "3556505551"));
}

TEST(Phone, EveryBoxFindsItsLength) {
  for (int n = 5; n <= 20; ++n) {
    const std::string word(static_cast<std::size_t>(n), '7');
    EXPECT_THAT(Find(word, {n}), ElementsAre(word));
    EXPECT_THAT(Find(word + "7", {n}), IsEmpty());
  }
}

TEST(Phone, HugeWordIsNotANumber) {
  // 65,543 digits would wrap a 16-bit count round to 7.
  const std::string word(65536 + 7, '1');
  EXPECT_THAT(Find(word, {7}), IsEmpty());
  EXPECT_THAT(FindStreaming(word, {7}), IsEmpty());
}

TEST(Phone, LengthTestReadsBoxesEachTimeAndStateOneOnly) {
  struct Boxes : LengthBoxes {
    std::array<int, 16> s{};
    mutable int caption_reads = 0;
    int State(int i) const override { return s[static_cast<std::size_t>(i)]; }
    std::string Caption(int i) const override {
      ++caption_reads;
      return std::to_string(i + 5);
    }
  } boxes;
  boxes.s[2] = 2;  // "grayed" is not ticked
  EXPECT_FALSE(IsPhoneLengthTicked(boxes, 7));
  EXPECT_EQ(boxes.caption_reads, 0);
  boxes.s[2] = 1;
  EXPECT_TRUE(IsPhoneLengthTicked(boxes, 7));

  // A box changed during the scan applies to the words after the change.
  int calls = 0;
  auto result = ExtractPhoneNumbers(
      "8552880 8552880 8552880", [&](std::int16_t n) { return IsPhoneLengthTicked(boxes, n); },
      [&] {
        if (++calls == 2) boxes.s[2] = 0;
      });
  EXPECT_THAT(result, ElementsAre("8552880"));
}

TEST(Phone, StepFunctions) {
  EXPECT_EQ(PunctuationToSpaces("!\"#$%&'*,/:;<=>?[\\]^`{|}~()+-.@_"),
            std::string(25, ' ') + "()+-.@_");
  EXPECT_THAT(SplitIntoCandidates("a1 b\t2c\r\n3\rx 4\n5"), ElementsAre("a1", "2c", "3", "4\n5"));
  EXPECT_EQ(StripPhoneFormatting("+1 (555) 123-45.67"), "15551234567");
  EXPECT_TRUE(HasOnlyPhoneCharacters(""));
  EXPECT_TRUE(HasOnlyPhoneCharacters("+1 (555) 123-45.67"));
  EXPECT_FALSE(HasOnlyPhoneCharacters("555_1234"));
}

TEST(Phone, StreamingAgreesWithTheWholeText) {
  const char* texts[] = {
      "855-2880 (TTY) 355-650-5551 (Voice)",
      "Tel:+1.555.123.4567;Fax:(355)650-5551",
      "a\r\n8552880\n1\r8552880\t3556505551,3556505551;x",
      "\n8552880 \r\r\n 8552880\xC3\xA9 8552880",
  };
  for (const char* t : texts) {
    EXPECT_EQ(FindStreaming(t, {7, 10, 11}), Find(t, {7, 10, 11})) << t;
  }
}

// The single pass over a cell asks the length test about the same words in
// the same order as the step-by-step extraction, and finds the same numbers:
// random texts over the characters that matter (digits, formatting, the
// separators, CR and LF in every order, punctuation, letters, UTF-8).
TEST(Phone, StreamingAsksAndFindsAsTheStepsDo) {
  const std::string alphabet[] = {"0", "5", "9",  "+",  "-",        "(",  ")",
                                  ".", " ", "\t", "\r", "\n",       ";",  ",",
                                  "/", "_", "a",  "x",  "\xC3\xA9", "12", "555-1234"};
  std::uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(state >> 33);
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const std::size_t pieces = next() % 24;
    for (std::size_t k = 0; k < pieces; ++k) text += alphabet[next() % std::size(alphabet)];
    std::vector<int> asked_whole, asked_streaming;
    const auto whole = ExtractPhoneNumbers(text, [&](std::int16_t n) {
      asked_whole.push_back(n);
      return n % 2 == 1 || n == 10;
    });
    StreamingScanner scanner([&](std::int16_t n) {
      asked_streaming.push_back(n);
      return n % 2 == 1 || n == 10;
    });
    std::vector<std::string> streaming;
    scanner.Scan(text, streaming);
    ASSERT_EQ(streaming, whole) << text;
    ASSERT_EQ(asked_streaming, asked_whole) << text;
    // The same lengths as a table the scanner looks up, under every rule.
    StreamingScanner::FixedLengths table{};
    for (std::size_t n = 0; n < table.size(); ++n) table[n] = n % 2 == 1 || n == 10;
    for (const Rule rule : {Rule::kWords, Rule::kSpaced, Rule::kWordsMarkingSpaced}) {
      StreamingScanner asking(
          [](std::int16_t n) { return n <= kLongestLength && (n % 2 == 1 || n == 10); }, {}, rule);
      StreamingScanner looking(table, rule);
      std::vector<std::string> asked, looked;
      asking.Scan(text, asked);
      looking.Scan(text, looked);
      ASSERT_EQ(looked, asked) << text;
    }
  }
}

}  // namespace
}  // namespace dialsift::phone
