// The .xls reader on workbooks written by xlwt and LibreOffice (made by
// tests/data/xls/make_fixtures.py).
#include <gtest/gtest.h>

#include <string>

#include "common/test_paths.h"
#include "sheet/number_format.h"
#include "sheet/workbook.h"
#include "text_cells.h"

namespace dialsift::sheet {
namespace {

std::filesystem::path Fixture(const char* name) {
  return test::TestData() / "xls" / name;
}

const std::string kPhone = "[<=9999999]###-####;(###) ###-####";

TEST(XlsFixtures, WorkbookTextExamples) {
  EXPECT_EQ(test::WorkbookText(Fixture("text_a1_b1.xls")), "855-2880 (TTY) 355-650-5551 (Voice)");
  EXPECT_EQ(test::WorkbookText(Fixture("text_only_c3.xls")), "855-2880");
  EXPECT_EQ(test::WorkbookText(Fixture("text_two_sheets.xls")), "855-2880 355-650-5551");
}

// The strings make_fixtures.py writes into sst_continue.xls.
std::string SplitString(int i) {
  const std::u32string latin = U"abcdefghijklmnopqrstuvwxyz0123456789";
  const std::u32string greek = U"\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8";
  auto run = [&](const std::u32string& alphabet, int n) {
    std::string out;
    for (int k = 0; k < n; ++k) {
      const char32_t c = alphabet[static_cast<std::size_t>(i + k) % alphabet.size()];
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  };
  std::string s = std::to_string(i) + "-";
  if (i % 3 == 0) return s + run(latin, 700 + i);
  if (i % 3 == 1) return s + run(greek, 500 + i);
  return s + run(latin, 300) + run(greek, 300);
}

TEST(XlsFixtures, SharedStringsSplitAcrossContinueRecords) {
  auto book = OpenWorkbook(Fixture("sst_continue.xls"));
  ASSERT_TRUE(book) << book.error().reason;
  test::SheetCells cells;
  ASSERT_TRUE((*book)->ReadSheet(0, cells).ok());
  ASSERT_EQ(cells.count, 60u);
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(cells.At(static_cast<std::uint32_t>(i) + 1, 1), SplitString(i)) << "row " << i + 1;
  }
}

TEST(XlsFixtures, RkNumbersAndNumberFormats) {
  auto book = OpenWorkbook(Fixture("numbers_rk.xls"));
  ASSERT_TRUE(book) << book.error().reason;
  test::SheetCells cells;
  ASSERT_TRUE((*book)->ReadSheet(0, cells).ok());
  const double values[] = {0,          1,           -1,    42,    536870911,
                           -536870912, 536870912,   12.34, -0.05, 3.141592653589793,
                           4155550123, 14155550123, 1e20,  0.1};
  for (std::uint32_t r = 0; r < std::size(values); ++r) {
    EXPECT_EQ(cells.At(r + 1, 1), FormatGeneral(values[r])) << "row " << r + 1;
  }
  EXPECT_EQ(cells.At(12, 1), "14155550123");  // a phone number stored as a number, in full
  FormatEngine engine;
  EXPECT_EQ(cells.At(1, 3), engine.FormatNumber(8552880, kPhone));
  EXPECT_EQ(cells.At(2, 3), engine.FormatNumber(3556505551, kPhone));
  EXPECT_EQ(cells.At(3, 3), engine.FormatNumber(123456789, "00000-0000"));
}

TEST(XlsFixtures, DatesOfA1904Workbook) {
  auto book = OpenWorkbook(Fixture("dates_1904.xls"));
  ASSERT_TRUE(book) << book.error().reason;
  test::SheetCells cells;
  ASSERT_TRUE((*book)->ReadSheet(0, cells).ok());
  FormatEngine engine(/*date1904=*/true);
  EXPECT_EQ(cells.At(1, 1), engine.FormatNumber(42443, "yyyy-mm-dd"));
  EXPECT_EQ(cells.At(1, 2), "42443");
  EXPECT_EQ(cells.At(2, 1), engine.FormatNumber(0, "yyyy-mm-dd"));
}

TEST(XlsFixtures, LibreOfficeWorkbookWithFormulasHiddenSheetAndBlanks) {
  auto book = OpenWorkbook(Fixture("contacts.xls"));
  ASSERT_TRUE(book) << book.error().reason;
  std::vector<std::string> names;
  for (const auto& s : (*book)->Sheets()) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Contacts", "Hidden", "Third"}));

  test::SheetCells c;
  ASSERT_TRUE((*book)->ReadSheet(0, c).ok());
  FormatEngine engine;
  EXPECT_EQ(c.At(2, 1), "Zo\u00eb M\u00fcller-\u00c9clair");
  EXPECT_EQ(c.At(2, 2), "855-2880 (TTY)");
  EXPECT_EQ(c.At(2, 3), engine.FormatNumber(3556505551, kPhone));
  EXPECT_EQ(c.At(3, 1), "Caf\u00e9 \u20ac");
  for (std::uint32_t col = 1; col <= 7; ++col) EXPECT_EQ(c.At(4, col), std::to_string(col * 11));
  EXPECT_EQ(c.At(5, 1), "TRUE");
  EXPECT_EQ(c.At(5, 2), "FALSE");
  EXPECT_EQ(c.At(5, 3), "#DIV/0!");
  EXPECT_EQ(c.At(5, 4), "355-650-5551");  // string result, from the STRING record
  EXPECT_EQ(c.At(5, 5), "66");
  EXPECT_EQ(c.At(5, 6), "TRUE");
  EXPECT_EQ(c.At(6, 2), engine.FormatNumber(0.25, "0.00%"));
  EXPECT_EQ(c.At(6, 3), engine.FormatNumber(1234567.891, "#,##0.00"));
  EXPECT_EQ(c.At(8, 7), "");  // styled blank: present, counts for the used range

  test::SheetCells hidden;
  ASSERT_TRUE((*book)->ReadSheet(1, hidden).ok());
  EXPECT_EQ(hidden.At(1, 1), "415-555-0100");
  test::SheetCells third;
  ASSERT_TRUE((*book)->ReadSheet(2, third).ok());
  EXPECT_EQ(third.At(2, 2), " 355-650-5551 (Voice) ");
}

}  // namespace
}  // namespace dialsift::sheet
