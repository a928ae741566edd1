// Reading a stored counter as a whole number.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dialsift::test
