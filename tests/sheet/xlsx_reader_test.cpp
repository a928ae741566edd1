// The SpreadsheetML reader over real files: written by openpyxl, by
// LibreOffice, and put together by hand (tests/data/xlsx/make_fixtures.py).
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace dialsift::sheet {
namespace {

std::filesystem::path Fixture(const std::string& name) {
  return test::TestData() / "xlsx" / name;
}

// A sheet as a map from "B2" style positions to texts.
using Grid = std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>;

struct GridSink : CellSink {
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    grid[{row, column}] = std::string(text);
    order.emplace_back(row, column);
  }
  Grid grid;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> order;
};

struct Reporter : ErrorReporter {
  void Report(const ErrorReport& r) override { reports.push_back(r); }
  std::vector<ErrorReport> reports;
};

std::unique_ptr<Workbook> Open(const std::string& name) {
  auto wb = OpenWorkbook(Fixture(name));
  EXPECT_TRUE(wb.ok()) << name << ": " << (wb.ok() ? "" : wb.error().reason);
  return wb.ok() ? std::move(wb.value()) : nullptr;
}

Grid ReadGrid(Workbook& wb, std::size_t sheet) {
  GridSink sink;
  auto status = wb.ReadSheet(sheet, sink);
  EXPECT_TRUE(status) << status.error().reason;
  return sink.grid;
}

std::vector<std::string> SheetNames(const Workbook& wb) {
  std::vector<std::string> names;
  for (const auto& s : wb.Sheets()) names.push_back(s.name);
  return names;
}

std::string WorkbookText(const std::string& name) {
  auto wb = Open(name);
  if (!wb) return "<cannot open>";
  Reporter reporter;
  auto text = ReadWorkBookToString(*wb, reporter);
  EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description;
  return text;
}

TEST(XlsxReader, WorkbookTextExamplesFromBothWriters) {
  for (const std::string writer : {"openpyxl", "libreoffice"}) {
    SCOPED_TRACE(writer);
    EXPECT_EQ(WorkbookText(writer + "_tty_voice.xlsx"), "855-2880 (TTY) 355-650-5551 (Voice)");
    EXPECT_EQ(WorkbookText(writer + "_only_c3.xlsx"), "855-2880");
    EXPECT_EQ(WorkbookText(writer + "_two_sheets.xlsx"), "855-2880 355-650-5551");
  }
}

TEST(XlsxReader, ValuesShowAsTheApplicationShowsThem) {
  auto wb = Open("openpyxl_values.xlsx");
  ASSERT_TRUE(wb);
  // Chart sheets are not worksheets; hidden and very hidden ones are.
  EXPECT_EQ(SheetNames(*wb), (std::vector<std::string>{"Values", "Hidden", "VeryHidden"}));
  const Grid grid = ReadGrid(*wb, 0);
  const Grid want = {
      {{1, 1}, "447911123456"},                // an integer of 12 digits in full under General
      {{2, 1}, "1,234.50"},     {{2, 2}, ""},  // the styled blank counts as a cell
      {{3, 1}, "25%"},          {{4, 1}, "TRUE"}, {{5, 1}, "FALSE"},
      {{6, 1}, "#N/A"},         {{7, 1}, ""},  // a formula without a cached result
      {{8, 1}, "00123"},        {{9, 1}, "3.5"},
  };
  EXPECT_EQ(grid, want);
  EXPECT_EQ(ReadGrid(*wb, 1), (Grid{{{1, 1}, "hidden text"}}));
  EXPECT_EQ(ReadGrid(*wb, 2), (Grid{{{1, 1}, "very hidden text"}}));

  auto lo = Open("libreoffice_values.xlsx");
  ASSERT_TRUE(lo);
  EXPECT_EQ(ReadGrid(*lo, 0), (Grid{{{1, 1}, "447911123456"},
                                    {{2, 1}, "1,234.50"},
                                    {{3, 1}, "3.5"},
                                    {{4, 1}, "line one\nline two"}}));
}

// Conditional formats number their formats like the cells do (openpyxl
// writes 164 for both): the cell's own format shows.
TEST(XlsxReader, ConditionalFormatsLeaveTheCellFormats) {
  EXPECT_EQ(WorkbookText("openpyxl_conditional_format.xlsx"), "212-555-0147 212-555-0148");
  EXPECT_EQ(WorkbookText("crafted_x14_dxfs.xlsx"), "212-555-0147");
}

// A workbook of any format that lists no worksheet is an error, not an
// empty success.
TEST(XlsxReader, WorkbooksWithoutWorksheetsAreErrors) {
  test::TempDir dir;
  test::WriteZip(dir.path() / "no_tables.ods",
                 {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                  {"content.xml",
                   "<office:document-content "
                   "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\">"
                   "<office:body><office:spreadsheet/></office:body></office:document-content>"}});
  for (const auto& path : {Fixture("crafted_no_sheets.xlsx"), dir.path() / "no_tables.ods"}) {
    auto wb = OpenWorkbook(path);
    ASSERT_FALSE(wb.ok()) << path;
    EXPECT_EQ(wb.error().reason, "the workbook holds no worksheet") << path;
  }
}

TEST(XlsxReader, StoredTextKinds) {
  auto wb = Open("crafted_text_kinds.xlsx");
  ASSERT_TRUE(wb);
  GridSink sink;
  ASSERT_TRUE(wb->ReadSheet(0, sink));
  const Grid want = {
      {{2, 2}, "plain"},
      {{2, 3}, "555-0100 ext"},              // rich-text runs joined; C2 follows B2
      {{3, 1}, "\xE6\x9D\xB1\xE4\xBA\xAC"},  // phonetic reading left out; row 3 follows row 2
      {{3, 2}, "a\rb\nc"},
      {{3, 3}, "_x000D_ and \xF0\x9F\x98\x80 and _x41_"},
      {{5, 3}, "inline\t"},
      {{5, 4}, "cached"},
      {{5, 5}, "#DIV/0!"},
      {{5, 6}, "TRUE"},
      {{5, 7}, ""},
      {{5, 8}, ""},
  };
  EXPECT_EQ(sink.grid, want);
  EXPECT_EQ(sink.order.size(), want.size());
}

TEST(XlsxReader, StrictNamespacesOddPartNamesAndMissingStyles) {
  auto strict = Open("crafted_strict.xlsx");
  ASSERT_TRUE(strict);
  EXPECT_EQ(ReadGrid(*strict, 0), (Grid{{{1, 1}, "855-2880"}, {{1, 2}, "447911123456"}}));

  auto back = Open("crafted_backslash_names.xlsx");
  ASSERT_TRUE(back);
  EXPECT_EQ(ReadGrid(*back, 0), (Grid{{{1, 1}, "7"}}));

  auto odd = Open("crafted_odd_part_names.xlsx");
  ASSERT_TRUE(odd);
  EXPECT_EQ(ReadGrid(*odd, 0), (Grid{{{1, 1}, "found"}}));
}

TEST(XlsxReader, IsoDatesFollowTheDateSystem) {
  auto d1900 = Open("openpyxl_iso_dates_1900.xlsx");
  auto d1904 = Open("openpyxl_iso_dates_1904.xlsx");
  ASSERT_TRUE(d1900 && d1904);
  // 2024-01-01 is serial 45292 counted from 1900, 1462 less from 1904;
  // 1900-03-01 is 61 because of the 29 February 1900 that never was.
  EXPECT_EQ(ReadGrid(*d1900, 0).at({1, 1}), "45292");
  EXPECT_EQ(ReadGrid(*d1900, 0).at({2, 1}), "61");
  EXPECT_EQ(ReadGrid(*d1904, 0).at({1, 1}), "43830");
}

TEST(XlsxReader, CellsShowThroughTheirStyleInBothDateSystems) {
  for (const std::string file : {"crafted_styles_1900.xlsx", "crafted_styles_1904.xlsx"}) {
    SCOPED_TRACE(file);
    auto wb = Open(file);
    ASSERT_TRUE(wb);
    EXPECT_EQ(ReadGrid(*wb, 0), (Grid{{{1, 1}, "1/1/2024"},
                                      {{1, 2}, "<abc>"},  // the format's text section
                                      {{1, 3}, "zero"},
                                      {{1, 4}, "1.50"},
                                      {{1, 5}, "447911123456"},  // "@" shows numbers as General
                                      {{1, 6}, "2.5"}}));        // style beyond the table: General
  }
}

TEST(XlsxReader, FarCornersScanQuickly) {
  auto wb = Open("openpyxl_far_corners.xlsx");
  ASSERT_TRUE(wb);
  Reporter reporter;
  phone::StreamingScanner scanner([](std::int16_t n) { return n == 7; });
  const auto start = std::chrono::steady_clock::now();
  const auto numbers = ScanWorkbook(*wb, scanner, reporter);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(numbers, (std::vector<std::string>{"555-0100", "555-0199"}));
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

TEST(XlsxReader, DamagedAndHostileFilesGiveTheirError) {
  struct Case {
    std::string file;
    ErrorKind kind;
    std::string where;         // the place the reason names
    std::size_t cells_before;  // cells delivered before the damage
  };
  const std::vector<Case> cases = {
      {"crafted_doctype.xlsx", ErrorKind::kDamagedXml, "xl/worksheets/s1.xml", 0},
      {"crafted_beyond_last_column.xlsx", ErrorKind::kDamagedWorkbook, "XFE1", 1},
      {"crafted_beyond_last_row.xlsx", ErrorKind::kDamagedWorkbook, "1048577", 0},
      {"crafted_shared_index_out_of_range.xlsx", ErrorKind::kDamagedWorkbook, "B1", 1},
      {"crafted_truncated_sheet.xlsx", ErrorKind::kDamagedXml, "xl/worksheets/s1.xml", 1},
      {"crafted_bad_reference.xlsx", ErrorKind::kDamagedWorkbook, "\"1A\"", 0},
      {"crafted_huge_cell.xlsx", ErrorKind::kTooLarge, "A1 in xl/worksheets/s1.xml", 0},
      {"crafted_missing_sheet_part.xlsx", ErrorKind::kMissingPart, "xl/worksheets/s1.xml", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto wb = Open(c.file);
    ASSERT_TRUE(wb);
    GridSink sink;
    auto status = wb->ReadSheet(0, sink);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().kind, c.kind) << status.error().reason;
    EXPECT_NE(status.error().reason.find(c.where), std::string::npos) << status.error().reason;
    EXPECT_EQ(sink.grid.size(), c.cells_before);
  }

  // The sheet after a missing one is read as usual.
  auto partial = Open("crafted_missing_sheet_part.xlsx");
  ASSERT_TRUE(partial);
  EXPECT_EQ(SheetNames(*partial), (std::vector<std::string>{"Gone", "Here"}));
  EXPECT_EQ(ReadGrid(*partial, 1), (Grid{{{1, 1}, "5"}}));

  auto missing = OpenWorkbook(Fixture("crafted_missing_workbook.xlsx"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind, ErrorKind::kMissingPart);
  EXPECT_NE(missing.error().reason.find("xl/workbook.xml"), std::string::npos);
}

TEST(XlsxReader, HostileButHarmlessFilesRead) {
  // A declared count of four billion shared strings is not preallocated.
  auto counted = Open("crafted_huge_declared_count.xlsx");
  ASSERT_TRUE(counted);
  EXPECT_EQ(ReadGrid(*counted, 0), (Grid{{{1, 1}, "555-0100"}}));

  auto deep = Open("crafted_deep_nesting.xlsx");
  ASSERT_TRUE(deep);
  EXPECT_EQ(ReadGrid(*deep, 0), (Grid{{{1, 1}, "42"}}));
}

TEST(XlsxReader, CancelledSinkStopsBetweenRows) {
  auto wb = Open("crafted_text_kinds.xlsx");
  ASSERT_TRUE(wb);
  struct Stopper : GridSink {
    bool Cancelled() override { return true; }
  } sink;
  ASSERT_TRUE(wb->ReadSheet(0, sink));
  EXPECT_EQ(sink.grid.size(), 2u);  // the first row only
}

}  // namespace
}  // namespace dialsift::sheet

namespace dialsift::sheet {
namespace {

// A namespace declared on one element and gone with it leaves its storage
// free for the next declaration: a foreign namespace of the same length
// declared on the next row must not be taken for the sheet's own, nor the
// sheet's own, redeclared, for a foreign one.
TEST(XlsxReader, RedeclaredNamespacesAreToldApartByTheirName) {
  const std::string main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  std::string other_ns = main_ns;
  other_ns.back() = 'X';
  auto row = [](int r, const std::string& ns, const std::string& value) {
    const std::string n = std::to_string(r);
    return "<row r=\"" + n + "\" xmlns=\"" + ns + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>" +
           value + "</t></is></c></row>";
  };
  const std::string sheet = "<worksheet xmlns=\"" + main_ns + "\"><sheetData>" +
                            row(1, main_ns, "555-0101") + row(2, other_ns, "555-0102") +
                            row(3, main_ns, "555-0103") + row(4, other_ns, "555-0104") +
                            row(5, main_ns, "555-0105") + "</sheetData></worksheet>";
  test::TempDir dir;
  const auto path = dir.path() / "namespaces.xlsx";
  test::WriteOneSheetXlsx(path, "S", sheet);
  auto wb = OpenWorkbook(path);
  ASSERT_TRUE(wb.ok()) << wb.error().reason;
  EXPECT_EQ(ReadGrid(**wb, 0),
            (Grid{{{1, 1}, "555-0101"}, {{3, 1}, "555-0103"}, {{5, 1}, "555-0105"}}));
}

}  // namespace
}  // namespace dialsift::sheet
