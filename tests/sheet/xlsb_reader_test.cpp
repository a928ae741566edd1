#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_paths.h"
#include "sheet/number_format.h"
#include "sheet/text_cells.h"
#include "sheet/xlsb/biff12.h"
#include "sheet/xlsb/xlsb_parts.h"
#include "sheet/xlsb_writer.h"

namespace dialsift::test {
namespace {

using namespace xlsb;  // the test writer

class XlsbReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const Builder& b, const std::string& name = "book.xlsb") {
    const auto path = dir_.path() / name;
    b.Write(path);
    return path;
  }
  TempDir dir_;
};

TEST_F(XlsbReaderTest, WorkbookTextOfTheContactExamples) {
  Builder one;
  one.SetStrings({"855-2880 (TTY)"});
  one.AddSheet("Sheet1",
               SheetPart(RowHdr(0) + Isst(0, 0) + InlineStr(1, " 355-650-5551 (Voice) ")));
  EXPECT_EQ(WorkbookText(Write(one)), "855-2880 (TTY) 355-650-5551 (Voice)");

  Builder c3;
  c3.AddSheet("Sheet1", SheetPart(RowHdr(2) + InlineStr(2, "855-2880")));
  EXPECT_EQ(WorkbookText(Write(c3)), "855-2880");

  Builder two;
  two.SetStrings({"855-2880", "355-650-5551"});
  two.AddSheet("First", SheetPart(RowHdr(0) + Isst(0, 0)));
  two.AddSheet("Second", SheetPart(RowHdr(0) + Isst(0, 1)));
  EXPECT_EQ(WorkbookText(Write(two)), "855-2880 355-650-5551");
}

TEST_F(XlsbReaderTest, EveryKindOfCellRecord) {
  std::string cells = RowHdr(0);
  cells += Rk(0, (123u << 2) | 2u);                              // integer RK
  cells += Rk(1, (static_cast<std::uint32_t>(-250) << 2) | 3u);  // integer / 100
  {
    // A double RK holds the high 30 bits of 0.5 (0x3FE00000 00000000).
    cells += Rk(2, 0x3FE00000u);
  }
  cells += Real(3, 447911123456.0);
  std::string b = CellHead(4);
  b += '\x01';
  cells += Rec(4, b);  // boolean
  std::string e = CellHead(5);
  e += '\x07';
  cells += Rec(3, e);            // error #DIV/0!
  cells += Rec(1, CellHead(6));  // blank
  cells += RowHdr(1);
  std::string fs = CellHead(0);
  PutWide(fs, "formula text");
  fs += std::string(2, '\0') + std::string(4, '\0');
  cells += Rec(8, fs);
  std::string fn = CellHead(1);
  PutF64(fn, 2.5);
  fn += std::string(6, '\0');
  cells += Rec(9, fn);
  std::string fb = CellHead(2);
  fb += '\0';
  fb += std::string(6, '\0');
  cells += Rec(10, fb);
  std::string fe = CellHead(3);
  fe += '\x2A';
  fe += std::string(6, '\0');
  cells += Rec(11, fe);
  std::string rich = CellHead(4);
  rich += '\x01';
  PutWide(rich, "r\xC3\xA9sum\xC3\xA9");
  PutU32(rich, 0);
  cells += Rec(62, rich);
  // Short records: no column, one after the previous cell.
  std::string sr;
  PutU32(sr, 0);
  PutF64(sr, 7);
  cells += Rec(16, sr);
  std::string ss;
  PutU32(ss, 0);
  PutWide(ss, "short");
  cells += Rec(17, ss);
  std::string sb;
  PutU32(sb, 0);
  cells += Rec(12, sb);

  Builder book;
  book.AddSheet("S", SheetPart(cells));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened) << opened.error().reason;
  SheetCells c;
  ASSERT_TRUE((*opened)->ReadSheet(0, c).ok());
  EXPECT_EQ(c.At(1, 1), "123");
  EXPECT_EQ(c.At(1, 2), "-2.5");
  EXPECT_EQ(c.At(1, 3), "0.5");
  EXPECT_EQ(c.At(1, 4), "447911123456");
  EXPECT_EQ(c.At(1, 5), "TRUE");
  EXPECT_EQ(c.At(1, 6), "#DIV/0!");
  EXPECT_EQ(c.At(1, 7), "");  // blanks come with an empty text
  EXPECT_EQ(c.At(2, 1), "formula text");
  EXPECT_EQ(c.At(2, 2), "2.5");
  EXPECT_EQ(c.At(2, 3), "FALSE");
  EXPECT_EQ(c.At(2, 4), "#N/A");
  EXPECT_EQ(c.At(2, 5), "r\xC3\xA9sum\xC3\xA9");
  EXPECT_EQ(c.At(2, 6), "7");
  EXPECT_EQ(c.At(2, 7), "short");
  EXPECT_EQ(c.At(2, 8), "");
  EXPECT_EQ(c.count, 15u);
}

TEST_F(XlsbReaderTest, CellFormatsComeFromTheStylesPart) {
  Builder book;
  // XF 0 General, XF 1 built-in "0.00" (id 2), XF 2 custom id 164.
  book.SetStyles({{164, "#,##0.00"}}, {0, 2, 164});
  book.AddSheet("S", SheetPart(RowHdr(0) + Real(0, 1234.5, 0) + Real(1, 1234.5, 1) +
                               Real(2, 1234.5, 2) + Real(3, 1234.5, 99)));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened);
  SheetCells c;
  ASSERT_TRUE((*opened)->ReadSheet(0, c).ok());
  EXPECT_EQ(c.At(1, 1), "1234.5");
  EXPECT_EQ(c.At(1, 2), "1234.50");
  EXPECT_EQ(c.At(1, 3), "1,234.50");
  EXPECT_EQ(c.At(1, 4), "1234.5");  // an unknown XF shows General
}

TEST_F(XlsbReaderTest, TextCellsShowThroughTheTextSectionOfTheirFormat) {
  Builder book;
  book.SetStrings({"555-0100"});
  book.SetStyles({{164, "0;-0;0;\"Tel: \"@"}}, {0, 164});
  book.AddSheet("S", SheetPart(RowHdr(0) + Isst(0, 0, 1) + InlineStr(1, "x", 1) + Isst(2, 0, 0)));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened);
  SheetCells c;
  ASSERT_TRUE((*opened)->ReadSheet(0, c).ok());
  EXPECT_EQ(c.At(1, 1), "Tel: 555-0100");
  EXPECT_EQ(c.At(1, 2), "Tel: x");
  EXPECT_EQ(c.At(1, 3), "555-0100");
}

TEST_F(XlsbReaderTest, CancelledSinkStopsBetweenRows) {
  std::string cells;
  for (std::uint32_t r = 0; r < 5; ++r) cells += RowHdr(r) + Real(0, r);
  Builder book;
  book.AddSheet("S", SheetPart(cells));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened);
  struct StopAfterTwo : SheetCells {
    bool Cancelled() override { return ++asked >= 2; }
    int asked = 0;
  } sink;
  EXPECT_TRUE((*opened)->ReadSheet(0, sink).ok());
  EXPECT_EQ(sink.count, 2u);
}

TEST_F(XlsbReaderTest, DateSystemFollowsTheWorkbookFlag) {
  sheet::FormatEngine e1900(false), e1904(true);
  const std::string in1900 = e1900.FormatNumber(1000, "m/d/yyyy");
  const std::string in1904 = e1904.FormatNumber(1000, "m/d/yyyy");
  if (in1900 == in1904) GTEST_SKIP() << "the number-format engine does not render dates yet";
  Builder book;
  book.SetStyles({{164, "m/d/yyyy"}}, {164});
  book.SetDate1904(true);
  book.AddSheet("S", SheetPart(RowHdr(0) + Real(0, 1000)));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened);
  SheetCells c;
  ASSERT_TRUE((*opened)->ReadSheet(0, c).ok());
  EXPECT_EQ(c.At(1, 1), in1904);
}

TEST_F(XlsbReaderTest, OnlyWorksheetsAreListedInWorkbookOrder) {
  Builder book;
  book.AddSheet("Data", SheetPart(RowHdr(0) + InlineStr(0, "a")));
  book.AddSheet("Chart1", SheetPart(""), "chartsheet");
  book.AddSheet("Macro1", SheetPart(""), "xlMacrosheet");
  book.AddSheet("Z last", SheetPart(RowHdr(0) + InlineStr(0, "z")));
  auto opened = sheet::OpenWorkbook(Write(book));
  ASSERT_TRUE(opened);
  const auto sheets = (*opened)->Sheets();
  ASSERT_EQ(sheets.size(), 2u);
  EXPECT_EQ(sheets[0].name, "Data");
  EXPECT_EQ(sheets[1].name, "Z last");
  SheetCells c;
  ASSERT_TRUE((*opened)->ReadSheet(1, c).ok());
  EXPECT_EQ(c.At(1, 1), "z");
}

TEST_F(XlsbReaderTest, DamagedSheetsKeepTheCellsBeforeTheDamage) {
  struct Case {
    const char* what;
    std::string cells;
  };
  std::string lying = Rec(7, CellHead(1));  // a shared-string cell without its index
  std::string cut = Rec(5, std::string(40, '\0'));
  cut.resize(cut.size() - 30);  // the part ends inside the record
  const Case cases[] = {
      {"bad string index", Isst(1, 5)},
      {"short record", lying},
      {"row beyond the sheet", RowHdr(1048576) + InlineStr(0, "x")},
      {"column beyond the sheet", InlineStr(16384, "x")},
      {"cut record", cut},
  };
  for (const auto& tc : cases) {
    Builder book;
    book.SetStrings({"only"});
    book.AddSheet("S", Rec(145) + RowHdr(0) + InlineStr(0, "kept") + tc.cells);
    auto opened = sheet::OpenWorkbook(Write(book));
    ASSERT_TRUE(opened) << tc.what;
    SheetCells c;
    const auto status = (*opened)->ReadSheet(0, c);
    EXPECT_FALSE(status.ok()) << tc.what;
    EXPECT_EQ(c.At(1, 1), "kept") << tc.what;
  }
}

TEST_F(XlsbReaderTest, DamagedWorkbookPartsAreErrors) {
  {
    Builder book;
    book.AddSheet("S", SheetPart(""));
    std::string bad;
    PutU32(bad, 0);
    book.Override("xl/workbook.bin", Rec(156, bad));  // a sheet entry without strings
    auto opened = sheet::OpenWorkbook(Write(book));
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ErrorKind::kDamagedWorkbook);
  }
  {
    Builder book;
    book.AddSheet("S", SheetPart(""));
    // A record size claiming 200 MB in a part of a few bytes.
    book.Override("xl/sharedStrings.bin", std::string("\x13\xFF\xFF\xFF\x7F", 5) + "abc");
    EXPECT_FALSE(sheet::OpenWorkbook(Write(book)));
  }
}

TEST(Biff12Test, RecordHeadersOfEveryLength) {
  const std::string big(300, 'x');
  const std::string bytes = Rec(1) + Rec(617, "ab") + Rec(2, big) + Rec(19);
  sheet::xlsb::MemorySource source(bytes);
  sheet::xlsb::RecordReader reader(source, "p");
  sheet::xlsb::Record rec;
  std::vector<std::pair<std::uint32_t, std::size_t>> seen;
  while (true) {
    auto more = reader.Next(rec);
    ASSERT_TRUE(more);
    if (!*more) break;
    seen.emplace_back(rec.type, rec.data.size());
  }
  const std::vector<std::pair<std::uint32_t, std::size_t>> want = {
      {1, 0}, {617, 2}, {2, 300}, {19, 0}};
  EXPECT_EQ(seen, want);
  // A header whose size runs on past four bytes.
  sheet::xlsb::MemorySource bad(std::string_view("\x01\xFF\xFF\xFF\xFF\x01", 6));
  sheet::xlsb::RecordReader bad_reader(bad, "p");
  EXPECT_FALSE(bad_reader.Next(rec));
}

// However the part's bytes arrive, one at a time or a chunk and a bit, the
// records come out the same, a payload beyond the largest held skipped.
TEST(Biff12Test, RecordsReadAlikeInAnyPieces) {
  constexpr std::size_t kMax = sheet::xlsb::RecordReader::kMaxPayload;
  const std::string bytes = Rec(1) + Rec(617, "ab") + Rec(2, std::string(300, 'x')) +
                            Rec(5, std::string(kMax, 'y')) + Rec(6, std::string(kMax + 1, 'z')) +
                            Rec(19, "end");
  struct Pieces final : sheet::xlsb::ByteSource {
    std::string_view bytes;
    std::size_t most;
    Result<std::size_t> Read(std::span<char> buffer) override {
      const std::size_t n = std::min({buffer.size(), bytes.size(), most});
      std::copy_n(bytes.data(), n, buffer.data());
      bytes.remove_prefix(n);
      return n;
    }
  };
  using Seen = std::tuple<std::uint32_t, std::size_t, bool>;
  const std::vector<Seen> want = {{1, 0, false},    {617, 2, false}, {2, 300, false},
                                  {5, kMax, false}, {6, 0, true},    {19, 3, false}};
  for (const std::size_t most : {std::size_t{1}, std::size_t{7}, std::size_t{65539}, kMax * 3}) {
    Pieces source;
    source.bytes = bytes;
    source.most = most;
    sheet::xlsb::RecordReader reader(source, "p");
    sheet::xlsb::Record rec;
    std::vector<Seen> seen;
    while (true) {
      auto more = reader.Next(rec);
      ASSERT_TRUE(more) << most;
      if (!*more) break;
      seen.emplace_back(rec.type, rec.data.size(), rec.skipped);
    }
    EXPECT_EQ(seen, want) << most;
  }
}

TEST(Biff12Test, RkNumbers) {
  EXPECT_EQ(sheet::DecodeRk((5u << 2) | 2u), 5);
  EXPECT_EQ(sheet::DecodeRk((static_cast<std::uint32_t>(-7) << 2) | 2u), -7);
  EXPECT_DOUBLE_EQ(sheet::DecodeRk((1234u << 2) | 3u), 12.34);
  EXPECT_EQ(sheet::DecodeRk(0x3FF00000u), 1.0);
  EXPECT_DOUBLE_EQ(sheet::DecodeRk(0x3FF00000u | 1u), 0.01);
}

}  // namespace
}  // namespace dialsift::test
