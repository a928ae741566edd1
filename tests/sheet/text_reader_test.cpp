#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/test_paths.h"
#include "sheet/text/text_sheet.h"
#include "sheet/text_cells.h"
#include "sheet/xls/text_codec.h"

namespace dialsift::test {
namespace {

class TextReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, std::string_view bytes) {
    const auto path = dir_.path() / name;
    WriteFile(path, bytes);
    return path;
  }
  // Cells of the one sheet of `name` holding `bytes`; fails the test when the
  // file does not open or read.
  SheetCells Read(const std::string& name, std::string_view bytes) {
    SheetCells cells;
    auto book = sheet::OpenWorkbook(Write(name, bytes));
    if (!book) {
      ADD_FAILURE() << name << ": " << book.error().reason;
      return cells;
    }
    EXPECT_EQ((*book)->Sheets().size(), 1u);
    const auto status = (*book)->ReadSheet(0, cells);
    EXPECT_TRUE(status.ok()) << status.error().reason;
    return cells;
  }
  // The kind of error opening gives, or nullopt when the file opens.
  std::optional<ErrorKind> OpenError(const std::string& name, std::string_view bytes) {
    auto book = sheet::OpenWorkbook(Write(name, bytes));
    if (book) return std::nullopt;
    return book.error().kind;
  }
  TempDir dir_;
};

TEST_F(TextReaderTest, QuotedFieldsKeepSeparatorsQuotesAndLineBreaks) {
  const auto c = Read("q.csv",
                      "plain,\"a,b\",\"say \"\"hi\"\"\"\r\n"
                      "\"two\nlines\",\"x\"tail,mid\"quote\r"
                      "\"\",,last\n");
  EXPECT_EQ(c.At(1, 1), "plain");
  EXPECT_EQ(c.At(1, 2), "a,b");
  EXPECT_EQ(c.At(1, 3), "say \"hi\"");
  EXPECT_EQ(c.At(2, 1), "two\nlines");
  EXPECT_EQ(c.At(2, 2), "xtail");
  EXPECT_EQ(c.At(2, 3), "mid\"quote");
  // Empty fields give no cell but keep their column.
  EXPECT_EQ(c.At(3, 1), "<none>");
  EXPECT_EQ(c.At(3, 3), "last");
  EXPECT_EQ(c.count, 7u);
}

TEST_F(TextReaderTest, FieldsStayAsWrittenWithoutNumberConversion) {
  const auto c = Read("n.csv", "007,1e5, 12 ,447911123456,1/2/2003\n");
  EXPECT_EQ(c.At(1, 1), "007");
  EXPECT_EQ(c.At(1, 2), "1e5");
  EXPECT_EQ(c.At(1, 3), " 12 ");
  EXPECT_EQ(c.At(1, 4), "447911123456");
  EXPECT_EQ(c.At(1, 5), "1/2/2003");
}

TEST_F(TextReaderTest, SeparatorFollowsTheKindOfFile) {
  const std::string bytes = "a,b\tc\n";
  auto csv = Read("x.CSV", bytes);
  EXPECT_EQ(csv.At(1, 1), "a");
  EXPECT_EQ(csv.At(1, 2), "b\tc");
  for (const char* name : {"x.txt", "x.tsv", "noextension"}) {
    auto tab = Read(name, bytes);
    EXPECT_EQ(tab.At(1, 1), "a,b") << name;
    EXPECT_EQ(tab.At(1, 2), "c") << name;
  }
}

TEST_F(TextReaderTest, CsvFirstLineMayNameTheSeparator) {
  auto c = Read("sep.csv", "SEP=;\r\na;b,c\n");
  EXPECT_EQ(c.At(1, 1), "a");
  EXPECT_EQ(c.At(1, 2), "b,c");
  EXPECT_EQ(c.count, 2u);
  // Anything else on the first line is data.
  c = Read("notsep.csv", "sep=;x\n");
  EXPECT_EQ(c.At(1, 1), "sep=;x");
  c = Read("short.csv", "sep");
  EXPECT_EQ(c.At(1, 1), "sep");
  EXPECT_EQ(Read("alone.csv", "sep=|").count, 0u);
  // Only comma-separated files take the directive.
  c = Read("sep.txt", "sep=;\na;b\n");
  EXPECT_EQ(c.At(1, 1), "sep=;");
  EXPECT_EQ(c.At(2, 1), "a;b");
}

TEST_F(TextReaderTest, EmptyLinesCountAsRowsAndTheLastLineNeedsNoBreak) {
  const auto c = Read("e.csv", "a\n\n\r\nb");
  EXPECT_EQ(c.At(1, 1), "a");
  EXPECT_EQ(c.At(4, 1), "b");
  EXPECT_EQ(c.count, 2u);
}

TEST_F(TextReaderTest, DecodesUtf8Windows1252AndUtf16) {
  EXPECT_EQ(Read("bom.csv", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9,x\n").At(1, 1), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Read("bomonly.csv", "\xEF\xBB\xBF").count, 0u);
  // Not valid UTF-8: Windows-1252, euro sign and e acute.
  EXPECT_EQ(Read("ansi.csv", "\x80 5,caf\xE9\n").At(1, 1), "\xE2\x82\xAC 5");
  EXPECT_EQ(Read("ansi.csv", "\x80 5,caf\xE9\n").At(1, 2), "caf\xC3\xA9");
  // UTF-16 with its mark, little and big endian, a surrogate pair included.
  const std::string le(
      "\xFF\xFE"
      "a\0,\0\x3D\xD8\x00\xDE\n\0b\0",
      14);
  auto c = Read("le.csv", le);
  EXPECT_EQ(c.At(1, 1), "a");
  EXPECT_EQ(c.At(1, 2), "\xF0\x9F\x98\x80");
  EXPECT_EQ(c.At(2, 1), "b");
  const std::string be("\xFE\xFF\0x\0\t\0y", 8);
  c = Read("be.txt", be);
  EXPECT_EQ(c.At(1, 1), "x");
  EXPECT_EQ(c.At(1, 2), "y");
}

TEST_F(TextReaderTest, Windows1252ReadsAlikeInTextFilesAndOldWorkbooks) {
  // Every byte from 0x80 up, the five unassigned ones included: a text file and
  // an .xls of code page 1252 (under either of its numbers, or an unknown page,
  // which falls back to it) must give the same characters.
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  const std::string from_text = Read("high.csv", "x" + high).At(1, 1);
  ASSERT_EQ(from_text.substr(0, 4), "x\xE2\x82\xAC");        // 0x80 is the euro sign
  EXPECT_NE(from_text.find("\xC2\x81"), std::string::npos);  // 0x81 is U+0081
  for (const int code_page : {1252, 32769, 4321}) {
    std::string from_xls = "x";
    sheet::xls::CodePageDecoder decoder(code_page);
    decoder.Append({reinterpret_cast<const std::uint8_t*>(high.data()), high.size()}, from_xls);
    EXPECT_EQ(from_xls, from_text) << "code page " << code_page;
  }
}

TEST_F(TextReaderTest, NulsInPlainTextShowAsNothing) {
  const auto c = Read("nul.csv", std::string("a,b\0c\n555\0-0100\0\0\0", 18));
  EXPECT_EQ(c.At(1, 2), "bc");
  EXPECT_EQ(c.At(2, 1), "555-0100");
  // Text written as UTF-16 without its mark reads as the text it is.
  const auto wide = Read("wide.csv", std::string("5\0\x35\0,\0x\0", 8));
  EXPECT_EQ(wide.At(1, 1), "55");
  EXPECT_EQ(wide.At(1, 2), "x");
  // A NUL far beyond the first bytes, and text padded with NULs to its end.
  std::string late(200000, 'x');
  late[150000] = '\0';
  EXPECT_EQ(Read("late.txt", late).At(1, 1).size(), 32767u);
  EXPECT_EQ(Read("padded.csv", "a,b\n" + std::string(100000, '\0')).count, 2u);
}

TEST_F(TextReaderTest, BinaryContentIsNotAWorkbook) {
  // Nothing but NULs.
  EXPECT_EQ(OpenError("zeros.csv", std::string(5000, '\0')), ErrorKind::kNotWorkbook);
  // NULs do not dilute the control characters of binary content.
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary += (i % 50 == 0) ? '\x03' : '\0';
  binary += std::string(100, 'k');
  EXPECT_EQ(OpenError("bin.csv", binary), ErrorKind::kNotWorkbook);
  // Many control characters, no NUL.
  std::string controls;
  for (int i = 0; i < 1000; ++i) controls += (i % 10 == 0) ? '\x02' : 'k';
  EXPECT_EQ(OpenError("ctl.dat", controls), ErrorKind::kNotWorkbook);
  // A stray control character in plain text is still text.
  EXPECT_EQ(OpenError("one.txt", std::string(500, 'a') + "\x1F" + std::string(500, 'b')),
            std::nullopt);
}

TEST_F(TextReaderTest, LongFieldsAndSheetLimits) {
  // A field keeps 32,767 characters (here two-byte ones), never half of one.
  std::string longfield;
  for (int i = 0; i < 40000; ++i) longfield += "\xC3\xA9";
  auto c = Read("long.csv", "\"" + longfield + "\",next\n");
  EXPECT_EQ(c.At(1, 1).size(), 2u * 32767);
  EXPECT_EQ(c.At(1, 2), "next");
  // An unterminated quote takes the rest of the file, as it does in a
  // spreadsheet application.
  c = Read("open.csv", "a,\"b\nc,d\n");
  EXPECT_EQ(c.At(1, 2), "b\nc,d\n");
}

TEST_F(TextReaderTest, FieldsBeyondTheLastColumnGiveAnErrorAfterTheRest) {
  std::string wide;
  for (int i = 0; i < 16384; ++i) wide += "v,";
  // Exactly the last column, then empty fields beyond it: no error.
  EXPECT_EQ(Read("full.csv", wide + ",,,\nnext\n").count, 16385u);
  auto book = sheet::OpenWorkbook(Write("wide.csv", wide + "lost,\"lost\"\nnext\n"));
  ASSERT_TRUE(book);
  SheetCells c;
  const auto status = (*book)->ReadSheet(0, c);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind, ErrorKind::kTooLarge);
  EXPECT_EQ(c.count, 16385u);
  EXPECT_EQ(c.At(2, 1), "next");
}

TEST_F(TextReaderTest, RowsBeyondTheLastWorksheetRowGiveAnError) {
  std::string lines;
  for (int i = 0; i < 1048577; ++i) lines += "1\n";
  auto book = sheet::OpenWorkbook(Write("rows.csv", lines));
  ASSERT_TRUE(book);
  SheetCells c;
  const auto status = (*book)->ReadSheet(0, c);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(c.count, 1048576u);
  // Exactly the last row is fine.
  lines.resize(lines.size() - 2);
  c = Read("full.csv", lines);
  EXPECT_EQ(c.count, 1048576u);
}

TEST_F(TextReaderTest, CancelledSinkStopsBetweenRows) {
  struct StopAfterTwo : SheetCells {
    bool Cancelled() override { return ++asked >= 2; }
    int asked = 0;
  } sink;
  auto book = sheet::OpenWorkbook(Write("stop.csv", "1\n2\n3\n4\n"));
  ASSERT_TRUE(book);
  EXPECT_TRUE((*book)->ReadSheet(0, sink).ok());
  EXPECT_EQ(sink.count, 2u);
}

TEST_F(TextReaderTest, SheetIsNamedAfterTheFile) {
  auto book = sheet::OpenWorkbook(Write("Customer list 2024.csv", "x"));
  ASSERT_TRUE(book);
  EXPECT_EQ((*book)->Sheets()[0].name, "Customer list 2024");
  book = sheet::OpenWorkbook(Write(std::string(40, 'n') + ".txt", "x"));
  ASSERT_TRUE(book);
  EXPECT_EQ((*book)->Sheets()[0].name, std::string(31, 'n'));
}

TEST_F(TextReaderTest, WorkbookTextOfCsvFiles) {
  EXPECT_EQ(WorkbookText(Write("a.csv", "855-2880 (TTY), 355-650-5551 (Voice) \n")),
            "855-2880 (TTY) 355-650-5551 (Voice)");
  EXPECT_EQ(WorkbookText(Write("c3.csv", ",,\n,,\n,,855-2880\n")), "855-2880");
}

// The encoding sniffer and the parser fed one byte at a time give what they
// give on the whole content: chunk borders never split a character or a
// line break.
TEST(DelimitedParserTest, ByteByByteFeedingMatchesWholeFeeding) {
  const std::string samples[] = {
      std::string("\xEF\xBB\xBF"
                  "a,\"b\r\nc\"\r\nd\xC3\xA9,e\r\n"),
      std::string("\xFF\xFE"
                  "a\0,\0\x3D\xD8\x00\xDE\r\0\n\0z\0",
                  16),
      std::string("caf\xE9,\"x\"\"y\"\r\r\n"),
      std::string("sep=\t\r\na\tb,c\r\n\"d\"\n"),
  };
  for (const auto& s : samples) {
    sheet::text::EncodingSniffer whole_sniffer;
    whole_sniffer.Feed(s);
    auto whole_enc = whole_sniffer.Finish();
    sheet::text::EncodingSniffer byte_sniffer;
    for (char ch : s) byte_sniffer.Feed(std::string_view(&ch, 1));
    auto byte_enc = byte_sniffer.Finish();
    ASSERT_TRUE(whole_enc && byte_enc);
    EXPECT_EQ(*whole_enc, *byte_enc);

    SheetCells whole, bytes;
    sheet::text::DelimitedParser p1(*whole_enc, ',', whole);
    p1.Feed(s);
    EXPECT_TRUE(p1.Finish().ok());
    sheet::text::DelimitedParser p2(*whole_enc, ',', bytes);
    for (char ch : s) p2.Feed(std::string_view(&ch, 1));
    EXPECT_TRUE(p2.Finish().ok());
    EXPECT_EQ(whole.cells, bytes.cells);
    EXPECT_GE(whole.count, 2u);
  }
}

}  // namespace
}  // namespace dialsift::test
