// The UTF-8 checks that keep csv, jsonl and settings text valid: each edge of
// the well-formed ranges, both sides.
#include "base/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace dialsift::sheet {
namespace {

TEST(Utf8Sequence, AcceptsTheWellFormedRangesAndNothingBeyond) {
  struct Case {
    std::string bytes;
    std::size_t length;
    char32_t code_point;  // when accepted
  };
  const Case cases[] = {
      {"A", 1, 0x41},
      {"\x7F", 1, 0x7F},
      {"\xC2\x80", 2, 0x80},
      {"\xDF\xBF", 2, 0x7FF},
      {"\xC1\xBF", 0, 0},  // overlong
      {"\xE0\xA0\x80", 3, 0x800},
      {"\xE0\x9F\xBF", 0, 0},  // overlong
      {"\xED\x9F\xBF", 3, 0xD7FF},
      {"\xED\xA0\x80", 0, 0},  // a surrogate
      {"\xEF\xBF\xBD", 3, 0xFFFD},
      {"\xF0\x90\x80\x80", 4, 0x10000},
      {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xF4\x90\x80\x80", 0, 0},  // beyond U+10FFFF
      {"\xF5\x80\x80\x80", 0, 0},
      {"\x80", 0, 0},             // a stray continuation byte
      {"\xE2\x82", 0, 0},         // cut short
      {"\xE2\x28\xA1", 0, 0},     // a continuation byte missing
      {"\xC3\xA9rest", 2, 0xE9},  // only the first sequence counts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8SequenceLength(c.bytes), c.length) << testing::PrintToString(c.bytes);
    if (c.length > 0) {
      EXPECT_EQ(Utf8CodePoint(std::string_view(c.bytes).substr(0, c.length)), c.code_point)
          << testing::PrintToString(c.bytes);
    }
  }
  EXPECT_EQ(Utf8SequenceLength(""), 0u);
}

// UTF-16LE text read four ASCII units at a time gives what the decoder
// gives one unit at a time: whatever stops the ASCII run (a unit with a
// high byte, one from 0x80, a surrogate, an odd byte at the end), wherever
// it falls, after text already in the string.
TEST(Utf16Le, AsciiRunsReadAtOnceMatchTheDecoder) {
  for (const std::uint32_t odd : {0x80u, 0xE9u, 0x100u, 0x141u, 0xFFFFu, 0xD83Du}) {
    for (std::size_t length = 0; length <= 13; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string bytes;
        Utf16Decoder decoder;
        std::string expected = "head";
        for (std::size_t i = 0; i < length; ++i) {
          const std::uint32_t unit = i == at ? odd : 'a' + static_cast<std::uint32_t>(i);
          bytes += static_cast<char>(unit & 0xFF);
          bytes += static_cast<char>(unit >> 8);
          decoder.Push(unit, expected);
        }
        decoder.Finish(expected);
        if (at == length) bytes += 'z';  // an odd byte, which is dropped
        std::string out = "head";
        AppendUtf16Le(bytes, out);
        EXPECT_EQ(out, expected) << "unit " << odd << ", length " << length << ", at " << at;
      }
    }
  }
}

}  // namespace
}  // namespace dialsift::sheet
