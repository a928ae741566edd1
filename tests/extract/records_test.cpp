// Where each number was found: the record's sheet and cell, for every reader,
// on files written here with numbers in known cells.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "common/fake_workbook.h"
#include "common/test_paths.h"
#include "common/write_zip.h"
#include "extract/record.h"
#include "extract/workbook_text.h"
#include "sheet/xls_builder.h"
#include "sheet/xlsb_writer.h"

namespace dialsift {
namespace {

namespace fs = std::filesystem;
using test::WriteZip;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct Collect final : RecordSink, ErrorReporter {
  std::vector<std::string> found;  // "number@Sheet!A1"
  std::vector<std::string> errors;
  void Found(const Record& r) override {
    found.push_back(r.number + "@" + SheetCellReference(r.sheet, r.row, r.column));
    EXPECT_EQ(r.path, "the/path");
  }
  void Report(const ErrorReport& r) override { errors.push_back(r.description); }
};

std::vector<std::string> Records(sheet::Workbook& wb, std::int16_t also = 10) {
  Collect out;
  phone::StreamingScanner scanner(
      [also](std::int16_t n) { return n == 7 || n == 10 || n == also; });
  ScanWorkbook(wb, "the/path", scanner, out, out);
  EXPECT_THAT(out.errors, ::testing::IsEmpty());
  return out.found;
}

std::vector<std::string> Records(const fs::path& file) {
  auto wb = sheet::OpenWorkbook(file);
  EXPECT_TRUE(wb) << (wb ? "" : wb.error().reason);
  if (!wb) return {};
  return Records(*wb.value());
}

// Every workbook below holds the same numbers: on a visible sheet a number in
// C7 and two in one cell, stored after a later row; on a hidden or second
// sheet one at the far corner of the format.
std::vector<std::string> Expected(const std::string& far) {
  return {"855-2880@Visible!C7", "8552881@Visible!B9", "3556505551@Visible!B9",
          "8552882@Visible!A12", far};
}

TEST(Records, Xlsx) {
  test::TempDir dir;
  const std::string ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
  const std::string rel =
      "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
  auto cell = [](const char* ref, const char* text) {
    return std::string("<c r=\"") + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
  };
  WriteZip(
      dir.path() / "b.xlsx",
      {{"[Content_Types].xml",
        R"(<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/></Types>)"},
       {"_rels/.rels",
        R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
       {"xl/workbook.xml",
        "<workbook " + ns +
            R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
            R"(<sheet name="Visible" sheetId="1" r:id="rId1"/><sheet name="Hidden Sheet" sheetId="2" state="hidden" r:id="rId2"/>)"
            "</sheets></workbook>"},
       {"xl/_rels/workbook.xml.rels",
        R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type=")" +
            rel + R"(" Target="worksheets/a.xml"/><Relationship Id="rId2" Type=")" + rel +
            R"(" Target="worksheets/b.xml"/></Relationships>)"},
       {"xl/worksheets/a.xml",
        "<worksheet " + ns + "><sheetData><row r=\"7\">" + cell("C7", "855-2880") +
            "</row><row r=\"12\">" + cell("A12", "8552882") + "</row><row r=\"9\">" +
            cell("B9", "8552881 3556505551") + "</row></sheetData></worksheet>"},
       {"xl/worksheets/b.xml", "<worksheet " + ns + "><sheetData><row r=\"1048576\">" +
                                   cell("XFD1048576", "355-650-5551") +
                                   "</row></sheetData></worksheet>"}});
  EXPECT_THAT(Records(dir.path() / "b.xlsx"),
              ElementsAreArray(Expected("355-650-5551@'Hidden Sheet'!XFD1048576")));
}

TEST(Records, Xls) {
  using namespace test::xls;
  Biff visible;
  visible.LabelSst(6, 2, 0).LabelSst(11, 0, 2).LabelSst(8, 1, 1);
  Biff hidden;
  hidden.Number(65535, 255, 3556505551.0);
  Bytes sst;
  Put32(sst, 3);
  Put32(sst, 3);
  for (const char* s : {"855-2880", "8552881 3556505551", "8552882"}) {
    const Bytes str = Str8(s);
    sst.insert(sst.end(), str.begin(), str.end());
  }
  Biff globals;
  globals.Rec(0x00FC, sst);
  const Bytes stream = WorkbookStream(
      globals.bytes(), {{"Visible", visible.bytes()}, {"Hidden", hidden.bytes(), 0, 0x0010, 1}});
  test::TempDir dir;
  const Bytes file = CompoundFile({{"Workbook", stream}});
  std::ofstream(dir.path() / "b.xls", std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  EXPECT_THAT(Records(dir.path() / "b.xls"),
              ElementsAreArray(Expected("3556505551@Hidden!IV65536")));
}

TEST(Records, Xlsb) {
  using namespace test::xlsb;
  Builder b;
  b.SetStrings({"855-2880", "8552881 3556505551", "8552882"});
  b.AddSheet("Visible",
             SheetPart(RowHdr(6) + Isst(2, 0) + RowHdr(11) + Isst(0, 2) + RowHdr(8) + Isst(1, 1)));
  b.AddSheet("Far", SheetPart(RowHdr(1048575) + Real(16383, 3556505551.0)));
  test::TempDir dir;
  b.Write(dir.path() / "b.xlsb");
  EXPECT_THAT(Records(dir.path() / "b.xlsb"),
              ElementsAreArray(Expected("3556505551@Far!XFD1048576")));
}

TEST(Records, Ods) {
  const std::string office = R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
                             R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
                             R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
                             R"(xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0")";
  auto text = [](const char* t) {
    return std::string(R"(<table:table-cell office:value-type="string"><text:p>)") + t +
           "</text:p></table:table-cell>";
  };
  const std::string empty_row = "<table:table-row><table:table-cell/></table:table-row>";
  const std::string content =
      "<office:document-content " + office +
      R"(><office:automatic-styles><style:style style:name="ta2" style:family="table">)"
      R"(<style:table-properties table:display="false"/></style:style></office:automatic-styles>)"
      R"(<office:body><office:spreadsheet><table:table table:name="Visible">)"
      R"(<table:table-row table:number-rows-repeated="6"><table:table-cell/></table:table-row>)"
      R"(<table:table-row><table:table-cell table:number-columns-repeated="2"/>)" +
      text("855-2880") + "</table:table-row>" + empty_row + "<table:table-row><table:table-cell/>" +
      text("8552881 3556505551") + "</table:table-row>" + empty_row + empty_row +
      "<table:table-row>" + text("8552882") + "</table:table-row>" +
      R"(</table:table><table:table table:name="Hidden" table:style-name="ta2">)"
      R"(<table:table-row table:number-rows-repeated="1048575"><table:table-cell/></table:table-row>)"
      R"(<table:table-row><table:table-cell table:number-columns-repeated="16383"/>)" +
      text("355-650-5551") + "</table:table-row></table:table></office:spreadsheet></office:body>" +
      "</office:document-content>";
  test::TempDir dir;
  WriteZip(
      dir.path() / "b.ods",
      {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
       {"content.xml", content},
       {"META-INF/manifest.xml",
        R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
        R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>)"
        R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>)"}});
  EXPECT_THAT(Records(dir.path() / "b.ods"),
              ElementsAreArray(Expected("355-650-5551@Hidden!XFD1048576")));
}

TEST(Records, Csv) {
  test::TempDir dir;
  std::ofstream(dir.path() / "b.csv", std::ios::binary)
      << "name,phone,other\n\n\n\n\n\n,,855-2880\n\n,\"8552881 3556505551\"\n\n\n8552882\n"
      << std::string(300, ',') << "355-650-5551\n";
  const auto found = Records(dir.path() / "b.csv");
  ASSERT_EQ(found.size(), 5u);
  // The one sheet of a csv file is named after the file.
  const std::string sheet =
      found[0].substr(found[0].find('@') + 1, found[0].find('!') - found[0].find('@'));
  EXPECT_THAT(found, ElementsAre("855-2880@" + sheet + "C7", "8552881@" + sheet + "B9",
                                 "3556505551@" + sheet + "B9", "8552882@" + sheet + "A12",
                                 "355-650-5551@" + sheet + "KO13"));
}

TEST(Records, WhereFoundNamesTheFileAndTheCell) {
  EXPECT_EQ(WhereFound({"8552880", "/data/2024/contacts.xlsx", "Sheet1", 7, 3}),
            "contacts.xlsx \u2014 Sheet1!C7");
  EXPECT_EQ(WhereFound({"8552880", "book.ods", "My sheet", 1, 28}),
            "book.ods \u2014 'My sheet'!AB1");
}

TEST(Records, CellReferences) {
  EXPECT_EQ(CellReference(7, 3), "C7");
  EXPECT_EQ(CellReference(1, 26), "Z1");
  EXPECT_EQ(CellReference(1, 27), "AA1");
  EXPECT_EQ(CellReference(1, 702), "ZZ1");
  EXPECT_EQ(CellReference(1, 703), "AAA1");
  EXPECT_EQ(CellReference(1048576, 16384), "XFD1048576");
  EXPECT_EQ(SheetCellReference("Sheet1", 7, 3), "Sheet1!C7");
  EXPECT_EQ(SheetCellReference("My sheet", 7, 3), "'My sheet'!C7");
  EXPECT_EQ(SheetCellReference("Bob's", 1, 1), "'Bob''s'!A1");
}

// Numbers come out while a sheet is read, not when it ends: a sheet of many
// numbers in order holds at most the reorder window back.
TEST(Records, ASheetInOrderStreamsWithABoundedWindow) {
  struct Counting final : sheet::Workbook, RecordSink, ErrorReporter {
    std::size_t delivered = 0;
    std::size_t found = 0;
    std::size_t most_waiting = 0;
    std::vector<sheet::SheetInfo> infos{{"S"}};
    std::span<const sheet::SheetInfo> Sheets() const override { return infos; }
    Status ReadSheet(std::size_t, sheet::CellSink& sink) override {
      for (std::uint32_t row = 1; row <= 200000; ++row) {
        sink.Cell(row, 1, "8552880");
        ++delivered;
        most_waiting = std::max(most_waiting, delivered - found);
      }
      return {};
    }
    void Found(const Record&) override { ++found; }
    void Report(const ErrorReport&) override {}
  } wb;
  phone::StreamingScanner scanner([](std::int16_t n) { return n == 7; });
  ScanWorkbook(wb, "p", scanner, wb, wb);
  EXPECT_EQ(wb.found, 200000u);
  EXPECT_LE(wb.most_waiting, kReorderWindow + 1);
}

// Cells stored out of order come out in sheet order, numbers of one cell in
// their own order; displaced beyond the window they still all come out.
TEST(Records, OutOfOrderCellsComeOutInSheetOrder) {
  std::vector<test::FakeCell> cells;
  for (std::uint32_t row = 2000; row >= 1; --row)
    cells.push_back({row, 1, std::to_string(5550000 + row)});
  cells.push_back({1, 2, "8552880 3556505551"});
  test::FakeWorkbook wb({{"S", cells}, {"T", {{2, 2, "8552881"}, {1, 1, "8552882"}}}});
  const auto found = Records(wb);
  ASSERT_EQ(found.size(), 2004u);
  EXPECT_EQ(found[0], "5550001@S!A1");
  EXPECT_EQ(found[1], "8552880@S!B1");
  EXPECT_EQ(found[2], "3556505551@S!B1");
  EXPECT_EQ(found[3], "5550002@S!A2");
  EXPECT_EQ(found[2002], "8552882@T!A1");
  EXPECT_EQ(found[2003], "8552881@T!B2");
}

// A sheet in order long enough for the waiting numbers to go round their
// store more than once, then a cell out of order, then more in order, on
// two sheets: each number at its place, every one once. Every third number
// is too long to be kept with its cell's place and is kept apart.
TEST(Records, OutOfOrderCellAfterALongRunInOrder) {
  const auto number = [](std::uint32_t row) {
    return row % 3 == 0 ? std::string("85528801234567890") : std::string("8552880");
  };
  auto sheet = [&](const std::string& name) {
    std::vector<test::FakeCell> cells;
    for (std::uint32_t row = 1; row <= 150000; ++row) cells.push_back({row, 1, number(row)});
    cells.push_back({149990, 2, "3556505551"});
    for (std::uint32_t row = 150001; row <= 150010; ++row) cells.push_back({row, 1, number(row)});
    return test::FakeSheet(name, cells);
  };
  test::FakeWorkbook wb({sheet("S"), sheet("T")});
  const auto found = Records(wb, 17);
  ASSERT_EQ(found.size(), 2u * 150011);
  for (const std::size_t base : {std::size_t{0}, std::size_t{150011}}) {
    const std::string name = base == 0 ? "S" : "T";
    EXPECT_EQ(found[base + 149990], "3556505551@" + name + "!B149990");
    for (std::size_t i = 0; i < 150011; ++i) {
      if (i == 149990) continue;
      const auto row = static_cast<std::uint32_t>(i < 149990 ? i + 1 : i);
      ASSERT_EQ(found[base + i], number(row) + "@" + name + "!A" + std::to_string(row)) << i;
    }
  }
}

}  // namespace
}  // namespace dialsift
