#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/xlsx/xlsx_text.h"

namespace dialsift::sheet::xlsx {
namespace {

TEST(XlsxText, CellReferences) {
  struct Case {
    std::string text;
    RefStatus status;
    std::uint32_t row, column;
  };
  const std::vector<Case> cases = {
      {"A1", RefStatus::kOk, 1, 1},
      {"b12", RefStatus::kOk, 12, 2},
      {"Z1", RefStatus::kOk, 1, 26},
      {"AA1", RefStatus::kOk, 1, 27},
      {"XFD1048576", RefStatus::kOk, 1048576, 16384},
      {"XFE1", RefStatus::kOutOfRange, 0, 0},
      {"A1048577", RefStatus::kOutOfRange, 0, 0},
      {"ZZZZZZZZZZZZ1", RefStatus::kOutOfRange, 0, 0},
      {"A99999999999999999999", RefStatus::kOutOfRange, 0, 0},
      {"", RefStatus::kMalformed, 0, 0},
      {"A", RefStatus::kMalformed, 0, 0},
      {"12", RefStatus::kMalformed, 0, 0},
      {"A0", RefStatus::kMalformed, 0, 0},
      {"$A$1", RefStatus::kMalformed, 0, 0},
      {"A1B", RefStatus::kMalformed, 0, 0},
      // Around the lengths read in one pass.
      {"xFD1048576", RefStatus::kOk, 1048576, 16384},
      {"ZZZ9999999", RefStatus::kOutOfRange, 0, 0},
      {"AAAA1", RefStatus::kOutOfRange, 0, 0},
      {"A12345678", RefStatus::kOutOfRange, 0, 0},
      {"A00000001", RefStatus::kOk, 1, 1},
      {"A000", RefStatus::kMalformed, 0, 0},
      {"A1 ", RefStatus::kMalformed, 0, 0},
      {"A-1", RefStatus::kMalformed, 0, 0},
      {"@1", RefStatus::kMalformed, 0, 0},
      {"[1", RefStatus::kMalformed, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CellRef ref;
    EXPECT_EQ(ParseCellRef(c.text, ref), c.status);
    if (c.status == RefStatus::kOk) {
      EXPECT_EQ(ref.row, c.row);
      EXPECT_EQ(ref.column, c.column);
      EXPECT_EQ(ColumnName(ref.column),
                std::string(1, c.text[0] & ~0x20) +
                    c.text.substr(1, c.text.find_first_of("0123456789") - 1));
    }
  }
}

TEST(XlsxText, Escapes) {
  auto unescape = [](std::string_view s) {
    std::string out;
    AppendUnescaped(s, out);
    return out;
  };
  EXPECT_EQ(unescape("a_x000D__x000A_b"), "a\r\nb");
  EXPECT_EQ(unescape("_x005F_x000D_"), "_x000D_");  // an escaped underscore
  EXPECT_EQ(unescape("_x00e9_"), "\xC3\xA9");
  EXPECT_EQ(unescape("_xD83D__xDE00_"), "\xF0\x9F\x98\x80");  // a surrogate pair
  EXPECT_EQ(unescape("_xD83D_x"),
            "\xEF\xBF\xBD"
            "x");  // a lone surrogate
  EXPECT_EQ(unescape("_x12_ _x12345_ _xZZZZ_ _x"), "_x12_ _x12345_ _xZZZZ_ _x");
  EXPECT_EQ(unescape("phone_x0020_555"), "phone 555");
}

TEST(XlsxText, IsoDates) {
  EXPECT_EQ(IsoDateToSerial("1900-01-01", false), 1.0);
  EXPECT_EQ(IsoDateToSerial("1900-02-28", false), 59.0);
  EXPECT_EQ(IsoDateToSerial("1900-03-01", false), 61.0);  // after the 29 February that never was
  EXPECT_EQ(IsoDateToSerial("2024-01-01T12:00:00", false), 45292.5);
  EXPECT_EQ(IsoDateToSerial("2024-01-01T12:00:00Z", true), 43830.5);
  EXPECT_EQ(IsoDateToSerial("1904-01-01", true), 0.0);
  EXPECT_EQ(IsoDateToSerial("06:00:00", false), 0.25);
  EXPECT_EQ(IsoDateToSerial("2024-02-30", false), std::nullopt);
  EXPECT_EQ(IsoDateToSerial("2024-01-01T25:00:00", false), std::nullopt);
  EXPECT_EQ(IsoDateToSerial("yesterday", false), std::nullopt);
  EXPECT_EQ(IsoDateToSerial("", false), std::nullopt);
}

}  // namespace
}  // namespace dialsift::sheet::xlsx
