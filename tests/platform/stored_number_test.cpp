// Reading a stored counter as a whole number.
#include <gtest/gtest.h>

#include <limits>

#include "platform/settings.h"

namespace dialsift::test {
namespace {

TEST(WholeNumber, TakesANumberWithBlanksAroundIt) {
  EXPECT_EQ(WholeNumber("12"), 12.0);
  EXPECT_EQ(WholeNumber(" 12 "), 12.0);
  EXPECT_EQ(WholeNumber("\t-3"), -3.0);
  EXPECT_EQ(WholeNumber("2.5"), 2.5);
  EXPECT_EQ(WholeNumber("1e3"), 1000.0);
}

TEST(WholeNumber, RefusesAnythingElse) {
  for (const char* text :
       {"", "  ", "abc", "12x", "1 2", "0x10", "inf", "nan", "--1", "1e", "1e999", "."}) {
    EXPECT_EQ(WholeNumber(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(LeadingNumber, ReadsTheNumberAtTheStartRoundedHalfToEven) {
  const auto state = [](const char* text) {
    const auto n = LeadingNumber(text);
    return n ? RoundHalfEven(*n) : -1;
  };
  EXPECT_EQ(state("1"), 1);
  EXPECT_EQ(state(" 1"), 1);
  EXPECT_EQ(state("1 "), 1);
  EXPECT_EQ(state("1abc"), 1);
  EXPECT_EQ(state("0.5"), 0);
  EXPECT_EQ(state("1.5"), 2);
  EXPECT_EQ(state("2.5"), 2);
  EXPECT_EQ(state("x"), -1);
  EXPECT_EQ(state(""), -1);
  // Far beyond any state: pinned, never converted out of range.
  EXPECT_EQ(state("1e300"), std::numeric_limits<long long>::max());
  EXPECT_EQ(state("-1e300"), std::numeric_limits<long long>::min());
}

}  // namespace
}  // namespace dialsift::test
