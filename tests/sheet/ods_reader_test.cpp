#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "sheet/ods/kept_cells.h"
#include "sheet/ods/ods_content.h"
#include "sheet/text_cells.h"

namespace dialsift::test {
namespace {

std::filesystem::path Fixture(const std::string& name) {
  return TestData() / "ods" / name;
}

// A content.xml with the given table bodies (name, rows XML).
std::string Content(const std::vector<std::pair<std::string, std::string>>& tables) {
  std::string xml =
      R"(<?xml version="1.0" encoding="UTF-8"?>)"
      R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")"
      R"( xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0")"
      R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")"
      R"( xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0")"
      R"( xmlns:dc="http://purl.org/dc/elements/1.1/">)"
      R"(<office:body><office:spreadsheet>)";
  for (const auto& [name, rows] : tables) {
    xml +=
        "<table:table table:name=\"" + name + "\"><table:table-column/>" + rows + "</table:table>";
  }
  return xml + "</office:spreadsheet></office:body></office:document-content>";
}

std::string Cell(const std::string& inner, const std::string& attrs = "") {
  return "<table:table-cell office:value-type=\"string\"" + attrs + ">" + inner +
         "</table:table-cell>";
}
std::string P(const std::string& text) {
  return "<text:p>" + text + "</text:p>";
}
std::string Row(const std::string& cells, const std::string& attrs = "") {
  return "<table:table-row" + attrs + ">" + cells + "</table:table-row>";
}

class OdsReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path WriteOds(const std::string& content, bool with_mimetype = true) {
    const auto path = dir_.path() / ("book" + std::to_string(++count_) + ".ods");
    std::vector<std::pair<std::string, std::string>> entries;
    if (with_mimetype)
      entries.emplace_back("mimetype", "application/vnd.oasis.opendocument.spreadsheet");
    entries.emplace_back("content.xml", content);
    entries.emplace_back(
        "META-INF/manifest.xml",
        R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
        R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>)"
        R"(</manifest:manifest>)");
    WriteZip(path, entries);
    return path;
  }
  // The cells of sheet `index`, and the read's status.
  std::pair<SheetCells, Status> Read(const std::filesystem::path& path, std::size_t index = 0) {
    SheetCells cells;
    auto book = sheet::OpenWorkbook(path);
    if (!book) return {cells, book.error()};
    if (index >= (*book)->Sheets().size())
      return {cells, Error{ErrorKind::kMissingPart, "no sheet"}};
    Status status = (*book)->ReadSheet(index, cells);
    return {cells, status};
  }
  TempDir dir_;
  int count_ = 0;
};

TEST_F(OdsReaderTest, WorkbookTextOfTheContactExamples) {
  for (const char* ext : {".ods", ".fods", ".csv"}) {
    EXPECT_EQ(WorkbookText(Fixture(std::string("contact_examples") + ext)),
              "855-2880 (TTY) 355-650-5551 (Voice)")
        << ext;
    EXPECT_EQ(WorkbookText(Fixture(std::string("c3_only") + ext)), "855-2880") << ext;
  }
  EXPECT_EQ(WorkbookText(Fixture("two_sheets.ods")), "855-2880 355-650-5551");
  EXPECT_EQ(WorkbookText(Fixture("two_sheets.fods")), "855-2880 355-650-5551");
}

// LibreOffice's own CSV export of a sheet is the text it shows in each cell;
// the .ods and .fods readers must give exactly that.
TEST_F(OdsReaderTest, CellsMatchWhatLibreOfficeShows) {
  for (const char* name : {"features", "contact_examples", "c3_only", "two_sheets"}) {
    auto [shown, csv_status] = Read(Fixture(std::string(name) + ".csv"));
    ASSERT_TRUE(csv_status.ok()) << name;
    for (const char* ext : {".ods", ".fods"}) {
      auto [cells, status] = Read(Fixture(std::string(name) + ext));
      ASSERT_TRUE(status.ok()) << name << ext << ": " << status.error().reason;
      EXPECT_EQ(cells.cells, shown.cells) << name << ext;
    }
  }
  // The cases the features workbook holds, spelled out.
  auto [cells, status] = Read(Fixture("features.ods"));
  EXPECT_EQ(cells.At(1, 1), "212-555-0131\n212-555-0132");
  EXPECT_EQ(cells.At(1, 2), "wide   gap");
  EXPECT_EQ(cells.At(1, 3), "tab\there");
  EXPECT_EQ(cells.At(1, 6), "same");
  EXPECT_EQ(cells.At(2, 1), "4479111234567");
  EXPECT_EQ(cells.At(2, 2), "(212) 555-0185");
  EXPECT_EQ(cells.At(2, 5), "#DIV/0!");
  EXPECT_EQ(cells.At(9, 8), "  leading and trailing  ");
}

TEST_F(OdsReaderTest, HiddenSheetsAreListedInOrder) {
  for (const char* ext : {".ods", ".fods"}) {
    auto book = sheet::OpenWorkbook(Fixture(std::string("features") + ext));
    ASSERT_TRUE(book) << book.error().reason;
    const auto sheets = (*book)->Sheets();
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Features");
    EXPECT_EQ(sheets[1].name, "Hidden");
    SheetCells cells;
    ASSERT_TRUE((*book)->ReadSheet(1, cells).ok());
    EXPECT_EQ(cells.At(1, 1), "hidden 212-555-0199");
  }
}

TEST_F(OdsReaderTest, RepeatedRowsAndCellsExpandInPlace) {
  const std::string rows =
      Row(Cell(P("a")) + "<table:table-cell table:number-columns-repeated=\"2\"/>" +
          Cell(P("x"), " table:number-columns-repeated=\"3\"")) +
      Row(Cell(P("r")), " table:number-rows-repeated=\"2\"") +
      Row("<table:table-cell table:number-columns-repeated=\"1024\"/>",
          " table:number-rows-repeated=\"5\"") +
      Row(Cell(P("end")) + "<table:table-cell table:number-columns-repeated=\"16383\"/>") +
      // The padding LibreOffice writes to the sheet's end.
      Row("<table:table-cell table:number-columns-repeated=\"16384\"/>",
          " table:number-rows-repeated=\"1048567\"");
  auto [cells, status] = Read(WriteOds(Content({{"S", rows}})));
  ASSERT_TRUE(status.ok()) << status.error().reason;
  EXPECT_EQ(cells.At(1, 1), "a");
  EXPECT_EQ(cells.At(1, 4), "x");
  EXPECT_EQ(cells.At(1, 6), "x");
  EXPECT_EQ(cells.At(2, 1), "r");
  EXPECT_EQ(cells.At(3, 1), "r");
  EXPECT_EQ(cells.At(9, 1), "end");
  EXPECT_EQ(cells.count, 7u);  // the empty runs only moved the position
  // The used range is A1:F9: the padding adds no rows or columns to it.
  EXPECT_EQ(WorkbookText(WriteOds(Content({{"S", rows}}))),
            "a   x x x r      r" + std::string(36, ' ') + "end");
}

TEST_F(OdsReaderTest, ParagraphTextAndWhatIsNotShown) {
  const std::string rows =
      Row(Cell(P("one<text:s/>two<text:s text:c=\"3\"/>three") +
               P("<text:span>second</text:span>") + P("x<text:line-break/>y<text:tab/>z")) +
          Cell("<office:annotation><dc:creator>me</dc:creator>" + P("a comment 212-555-0100") +
               "</office:annotation>" + P("shown")) +
          Cell(P("in cell<draw:frame><draw:text-box>" + P("shape 212-555-0101") +
                 "</draw:text-box></draw:frame>")) +
          "<table:covered-table-cell office:value-type=\"string\">" + P("covered") +
          "</table:covered-table-cell>" +
          // Typed values stored without text show their value.
          "<table:table-cell office:value-type=\"float\" office:value=\"2125550123\"/>"
          "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
          "<table:table-cell office:value-type=\"string\" office:string-value=\"kept\"/>"
          "<table:table-cell><text:p/></table:table-cell>" +
          Cell(P("last")));
  auto [cells, status] = Read(WriteOds(Content({{"S", rows}})));
  ASSERT_TRUE(status.ok()) << status.error().reason;
  EXPECT_EQ(cells.At(1, 1), "one two   three\nsecond\nx\ny\tz");
  EXPECT_EQ(cells.At(1, 2), "shown");
  EXPECT_EQ(cells.At(1, 3), "in cell");
  EXPECT_EQ(cells.At(1, 4), "<none>");
  EXPECT_EQ(cells.At(1, 5), "2125550123");
  EXPECT_EQ(cells.At(1, 6), "TRUE");
  EXPECT_EQ(cells.At(1, 7), "kept");
  EXPECT_EQ(cells.At(1, 8), "<none>");
  EXPECT_EQ(cells.At(1, 9), "last");
}

// A cell's attributes count by namespace and local name, wherever they
// stand among however many others.
TEST_F(OdsReaderTest, CellAttributesCountByNamespaceWhereverTheyStand) {
  std::string many;
  for (int i = 0; i < 300; ++i) many += " dc:a" + std::to_string(i) + "=\"x\"";
  const std::string rows =
      Row("<table:table-cell dc:value-type=\"boolean\" office:value-type=\"float\""
          " office:value=\"2125550147\" dc:value=\"1\"/>"
          "<table:table-cell" +
          many +
          " office:value-type=\"percentage\" office:value=\"0.5\"/>"
          "<table:table-cell dc:number-columns-repeated=\"5\" table:number-columns-repeated=\"2\""
          " office:value-type=\"string\">" +
          P("twice") + "</table:table-cell>" + Cell(P("after")));
  auto [cells, status] = Read(WriteOds(Content({{"S", rows}})));
  ASSERT_TRUE(status.ok()) << status.error().reason;
  EXPECT_EQ(cells.At(1, 1), "2125550147");
  EXPECT_EQ(cells.At(1, 2), "50%");
  EXPECT_EQ(cells.At(1, 3), "twice");
  EXPECT_EQ(cells.At(1, 4), "twice");
  EXPECT_EQ(cells.At(1, 5), "after");
}

// A prefix declared again for a foreign namespace of the same length, and
// then for its own again, row after row: only the rows in the table
// namespace are rows, however the verdicts on namespaces are remembered.
TEST_F(OdsReaderTest, RedeclaredPrefixesAreToldApartByTheirNamespace) {
  const std::string own(sheet::ods::kTableNs);
  std::string foreign = own;
  foreign.back() = '9';
  auto row = [](const std::string& ns, const std::string& text) {
    return "<table:table-row" + (ns.empty() ? "" : " xmlns:table=\"" + ns + "\"") + ">" +
           Cell(P(text)) + "</table:table-row>";
  };
  const std::string rows = row("", "555-0101") + row(foreign, "555-0102") + row("", "555-0103") +
                           row(own, "555-0104") + row(foreign, "555-0105") + row(own, "555-0106");
  auto [cells, status] = Read(WriteOds(Content({{"S", rows}})));
  ASSERT_TRUE(status.ok()) << status.error().reason;
  EXPECT_EQ(cells.count, 4u);
  EXPECT_EQ(cells.At(1, 1), "555-0101");
  EXPECT_EQ(cells.At(2, 1), "555-0103");
  EXPECT_EQ(cells.At(3, 1), "555-0104");
  EXPECT_EQ(cells.At(4, 1), "555-0106");
}

TEST_F(OdsReaderTest, HostileRepeatsEndInErrorsNotHangs) {
  // A content cell across every column of a million rows.
  const std::string flood = Row(Cell(P("x"), " table:number-columns-repeated=\"16384\""),
                                " table:number-rows-repeated=\"1048576\"");
  auto [cells, status] = Read(WriteOds(Content({{"S", flood}})));
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(cells.count, 0u);

  // Counts beyond any integer type, then content past the last row and column.
  const std::string huge =
      Row(Cell(P("a")), " table:number-rows-repeated=\"99999999999999999999999\"") +
      Row(Cell(P("beyond")));
  std::tie(cells, status) = Read(WriteOds(Content({{"S", huge}})));
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(cells.At(1, 1), "a");
  EXPECT_EQ(cells.At(1048576, 1), "a");
  EXPECT_EQ(cells.count, 1048576u);

  const std::string wide =
      Row("<table:table-cell table:number-columns-repeated=\"16384\"/>" + Cell(P("beyond")));
  std::tie(cells, status) = Read(WriteOds(Content({{"S", wide}})));
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(cells.count, 0u);

  // The other sheets still read.
  auto book =
      sheet::OpenWorkbook(WriteOds(Content({{"Bad", flood}, {"Good", Row(Cell(P("ok")))}})));
  ASSERT_TRUE(book);
  SheetCells good;
  EXPECT_TRUE((*book)->ReadSheet(1, good).ok());
  EXPECT_EQ(good.At(1, 1), "ok");
}

TEST_F(OdsReaderTest, DamagedAndProtectedPackages) {
  // Encrypted content: the manifest carries encryption data.
  const auto locked = dir_.path() / "locked.ods";
  WriteZip(
      locked,
      {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
       {"content.xml", "\x01\x02 encrypted bytes"},
       {"META-INF/manifest.xml",
        R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
        R"(<manifest:file-entry manifest:full-path="content.xml"><manifest:encryption-data/>)"
        R"(</manifest:file-entry></manifest:manifest>)"}});
  auto book = sheet::OpenWorkbook(locked);
  ASSERT_FALSE(book);
  EXPECT_EQ(book.error().kind, ErrorKind::kPasswordProtected);

  // Broken XML is an error; a DOCTYPE is refused.
  EXPECT_FALSE(sheet::OpenWorkbook(WriteOds("<office:document-content><table:table")));
  EXPECT_FALSE(sheet::OpenWorkbook(
      WriteOds("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]><x>&a;</x>")));

  // Without its "mimetype" entry the package is known by its manifest.
  auto [cells, status] = Read(WriteOds(Content({{"S", Row(Cell(P("found")))}}), false));
  ASSERT_TRUE(status.ok()) << status.error().reason;
  EXPECT_EQ(cells.At(1, 1), "found");
}

// Sheets kept at opening and sheets parsed again read alike, errors included.
TEST_F(OdsReaderTest, KeptAndReparsedSheetsReadAlike) {
  const std::string flood = Row(Cell(P("x"), " table:number-columns-repeated=\"16384\""),
                                " table:number-rows-repeated=\"1048576\"");
  const std::string content =
      Content({{"One", Row(Cell(P("a")) + Cell(P("b"))) + Row(Cell(P("c")))},
               {"Bad", flood},
               {"Three", Row(Cell(P("212-555-0100"), " table:number-columns-repeated=\"2\""))}});
  std::vector<std::pair<SheetCells, bool>> reads[3];
  for (const std::size_t budget : {std::size_t{64} << 20, std::size_t{60}, std::size_t{0}}) {
    auto book = sheet::ods::OpenDocument(
        [&](sheet::XmlHandler& h) { return sheet::ParseXml(content, "content.xml", h); }, budget);
    ASSERT_TRUE(book) << book.error().reason;
    ASSERT_EQ((*book)->Sheets().size(), 3u);
    EXPECT_EQ((*book)->Sheets()[2].name, "Three");
    auto& out = reads[budget == 0 ? 2 : budget == 60 ? 1 : 0];
    for (std::size_t i = 0; i < 3; ++i) {
      SheetCells cells;
      const bool ok = (*book)->ReadSheet(i, cells).ok();
      out.emplace_back(std::move(cells), ok);
    }
  }
  for (int k = 1; k < 3; ++k) {
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(reads[k][i].first.cells, reads[0][i].first.cells) << k << " " << i;
      EXPECT_EQ(reads[k][i].second, reads[0][i].second) << k << " " << i;
    }
  }
  EXPECT_EQ(reads[0][0].first.count, 3u);
  EXPECT_FALSE(reads[0][1].second);
  EXPECT_EQ(reads[0][2].first.At(1, 2), "212-555-0100");
}

// Sheets beyond what is kept at opening, read in order, cost one parse for
// every budget's worth of cells, not one parse per sheet.
TEST_F(OdsReaderTest, SheetsNotKeptCostAParsePerBudgetNotPerSheet) {
  std::vector<std::pair<std::string, std::string>> sheets;
  for (int i = 0; i < 40; ++i) sheets.emplace_back("S" + std::to_string(i), Row(Cell(P("a"))));
  const std::string content = Content(sheets);
  int parses = 0;
  // Room for four one-letter cells at a time.
  auto book = sheet::ods::OpenDocument(
      [&](sheet::XmlHandler& h) {
        ++parses;
        return sheet::ParseXml(content, "content.xml", h);
      },
      60);
  ASSERT_TRUE(book) << book.error().reason;
  ASSERT_EQ((*book)->Sheets().size(), 40u);
  for (std::size_t i = 0; i < 40; ++i) {
    SheetCells cells;
    ASSERT_TRUE((*book)->ReadSheet(i, cells).ok()) << i;
    EXPECT_EQ(cells.At(1, 1), "a") << i;
    EXPECT_EQ(cells.count, 1u) << i;
  }
  // One parse at opening, then one per five sheets (the one read and the
  // four kept after it).
  EXPECT_LE(parses, 12);
  // Out of order, every sheet still reads.
  for (const std::size_t i : {std::size_t{39}, std::size_t{0}, std::size_t{20}}) {
    SheetCells cells;
    ASSERT_TRUE((*book)->ReadSheet(i, cells).ok()) << i;
    EXPECT_EQ(cells.At(1, 1), "a") << i;
  }
}

// Every cell in the order it came, for comparing reads cell by cell.
struct CellLog : sheet::CellSink {
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    cells.emplace_back(row, column, std::string(text));
  }
  std::vector<std::tuple<std::uint32_t, std::uint32_t, std::string>> cells;
};

// A written .ods opened with a given keeping budget and chunk sizes (fixed
// unless a larger last one is given); counts the parses of its content.
struct KeptBook {
  KeptBook(const std::filesystem::path& path, std::size_t budget, std::size_t chunk,
           std::size_t last_chunk = 0) {
    auto zip = sheet::ZipArchive::Open(path);
    EXPECT_TRUE(zip) << zip.error().reason;
    if (!zip) return;
    auto shared = std::make_shared<sheet::ZipArchive>(std::move(*zip));
    auto opened = sheet::ods::OpenDocument(
        [shared, this](sheet::XmlHandler& h) {
          ++parses;
          return sheet::ParseXmlPart(*shared, "content.xml", h);
        },
        budget, chunk, std::max(chunk, last_chunk));
    EXPECT_TRUE(opened) << opened.error().reason;
    if (opened) book = std::move(*opened);
  }
  // Reads the sheets in the order given: each one's cells and whether it read.
  std::vector<std::pair<CellLog, bool>> Read(const std::vector<std::size_t>& order) {
    std::vector<std::pair<CellLog, bool>> out;
    for (const std::size_t i : order) {
      CellLog log;
      const bool ok = book->ReadSheet(i, log).ok();
      out.emplace_back(std::move(log), ok);
    }
    return out;
  }
  std::unique_ptr<sheet::Workbook> book;
  int parses = 0;
};

// Cells whose records straddle chunk ends, fill them exactly, or outgrow
// them, over sheets that begin and end anywhere in a chunk, read alike from
// memory and from a fresh parse, in order and out of it.
TEST_F(OdsReaderTest, KeptCellsReadAlikeWhateverTheChunkSize) {
  std::vector<std::pair<std::string, std::string>> sheets;
  std::vector<std::size_t> in_order;
  for (int s = 0; s < 60; ++s) {
    std::string rows;
    for (int r = 0; r < s % 4; ++r) {
      std::string cells;
      for (int c = 0; c < 3; ++c) {
        // Lengths from empty up to several chunks of the smaller sizes.
        const std::size_t length = static_cast<std::size_t>((s * 7 + r * 5 + c * 11) % 23) *
                                   (c == 2 && s % 5 == 0 ? 40 : 1);
        std::string text(length, static_cast<char>('a' + (s + r + c) % 26));
        if (!text.empty()) text.back() = '0' + static_cast<char>(c);
        cells += Cell(P(text));
      }
      rows += Row(cells, r == 1 ? " table:number-rows-repeated=\"2\"" : "");
    }
    sheets.emplace_back("S" + std::to_string(s), rows);
    in_order.push_back(static_cast<std::size_t>(s));
  }
  const auto path = WriteOds(Content(sheets));
  KeptBook parsed(path, 0, 1 << 10);
  ASSERT_TRUE(parsed.book);
  const auto reference = parsed.Read(in_order);
  EXPECT_EQ(std::get<2>(reference[5].first.cells[2]), std::string(439, 'h') + "2");
  std::vector<std::size_t> shuffled = {59, 0, 31, 30, 1, 58, 12, 12, 45};
  const auto reference_shuffled = parsed.Read(shuffled);
  const std::pair<std::size_t, std::size_t> chunks[] = {
      {12, 0}, {13, 0}, {40, 0}, {64, 0}, {1000, 0}, {16, 256}, {sheet::ods::kFirstKeepChunk, 0}};
  for (const auto& [chunk, last_chunk] : chunks) {
    KeptBook kept(path, std::size_t{64} << 20, chunk, last_chunk);
    ASSERT_TRUE(kept.book);
    const auto reads = kept.Read(in_order);
    EXPECT_EQ(kept.parses, 1) << chunk;
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].first.cells, reference[i].first.cells) << chunk << " sheet " << i;
      EXPECT_TRUE(reads[i].second);
    }
    const auto again = kept.Read(shuffled);
    for (std::size_t i = 0; i < again.size(); ++i) {
      EXPECT_EQ(again[i].first.cells, reference_shuffled[i].first.cells) << chunk << " " << i;
    }
  }
}

// Rows, columns and lengths at each width their bytes take come back as
// kept, and the smaller records let more cells into the same budget.
TEST(KeptCells, NumbersOfEveryWidthComeBack) {
  using Cell = std::tuple<std::uint32_t, std::uint32_t, std::string>;
  std::vector<Cell> cells;
  for (const std::uint32_t n : {0u, 1u, 127u, 128u, 16383u, 16384u, (1u << 21) - 1, 1u << 21,
                                (1u << 28) - 1, 1u << 28, 0xFFFFFFFFu}) {
    cells.emplace_back(n, 0xFFFFFFFFu - n, std::string(n % 300, 'x'));
  }
  sheet::ods::KeptCells store(64, 256, 1 << 20);
  for (const auto& [row, column, text] : cells) ASSERT_TRUE(store.Add(row, column, text));
  std::vector<Cell> read;
  store.Read({}, store.End(), [&](std::uint32_t row, std::uint32_t column, std::string_view text) {
    read.emplace_back(row, column, std::string(text));
    return true;
  });
  EXPECT_EQ(read, cells);
  // Four bytes of numbers for a cell of row 1000, column 3 and 20 characters:
  // one record to a chunk of 25, four in a budget of 100.
  sheet::ods::KeptCells small(25, 25, 100);
  int kept = 0;
  while (small.Add(1000, 3, std::string(20, 'y'))) ++kept;
  EXPECT_EQ(kept, 4);
}

// The budget bounds the chunks held, not only the cells in them: with room
// for one record per chunk, a budget of five chunks keeps five cells, and a
// sheet cut short by the budget is parsed again, whole.
TEST_F(OdsReaderTest, KeepingBudgetCountsTheChunksHeld) {
  std::vector<std::pair<std::string, std::string>> sheets;
  std::vector<std::size_t> in_order;
  for (int s = 0; s < 12; ++s) {
    // Two cells of 30 characters in sheet 4, one in the others: records of
    // 33 bytes, one to a chunk of 64.
    std::string cells = Cell(P(std::string(29, 'x') + static_cast<char>('A' + s)));
    if (s == 4) cells += cells;
    sheets.emplace_back("S" + std::to_string(s), Row(cells));
    in_order.push_back(static_cast<std::size_t>(s));
  }
  const auto path = WriteOds(Content(sheets));
  KeptBook kept(path, 5 * 64, 64);
  ASSERT_TRUE(kept.book);
  const auto reads = kept.Read(in_order);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    ASSERT_TRUE(reads[i].second) << i;
    ASSERT_EQ(reads[i].first.cells.size(), i == 4 ? 2u : 1u) << i;
    EXPECT_EQ(std::get<2>(reads[i].first.cells.back()),
              std::string(29, 'x') + static_cast<char>('A' + i));
  }
  // Kept at opening: sheets 0-3 (4 would take a sixth chunk). Sheet 4 is
  // parsed again, keeping 5-9; then 10, keeping 11. Had the budget counted
  // the records alone (seven fit), 0-5 and then 7-11 would have been kept.
  EXPECT_EQ(kept.parses, 3);
}

// A flat file is parsed from the file at every parse, from its start, over
// many reads of the tokenizer's buffer: with room for one sheet's cells at a
// time, sheets are parsed again and again, and all read as from the same
// content packed in an .ods.
TEST_F(OdsReaderTest, FlatFilesAreParsedFromTheFileEachTime) {
  std::vector<std::pair<std::string, std::string>> sheets;
  for (int s = 0; s < 6; ++s) {
    std::string rows;
    for (int r = 0; r < 300; ++r) {
      rows += Row(Cell(P("212-555-" + std::to_string(1000 + s * 300 + r))) +
                  Cell(P(std::string(40, static_cast<char>('a' + s)))));
    }
    sheets.emplace_back("S" + std::to_string(s), rows);
  }
  const std::string content = Content(sheets);
  ASSERT_GT(content.size(), std::size_t{4} << 16);
  const auto flat = dir_.path() / "flat.fods";
  WriteFile(flat, content);
  auto parse = sheet::ods::FlatContent(flat);
  ASSERT_TRUE(parse) << parse.error().reason;
  int parses = 0;
  auto book = sheet::ods::OpenDocument(
      [&](sheet::XmlHandler& h) {
        ++parses;
        return (*parse)(h);
      },
      30 * 1024, 1024);
  ASSERT_TRUE(book) << book.error().reason;
  ASSERT_EQ((*book)->Sheets().size(), 6u);
  KeptBook packed(WriteOds(content), std::size_t{64} << 20, 1024);
  ASSERT_TRUE(packed.book);
  for (const std::size_t i : {0, 1, 2, 3, 4, 5, 2, 0}) {
    CellLog log;
    ASSERT_TRUE((*book)->ReadSheet(i, log).ok()) << i;
    CellLog want;
    ASSERT_TRUE(packed.book->ReadSheet(i, want).ok()) << i;
    ASSERT_EQ(log.cells.size(), 600u) << i;
    EXPECT_EQ(log.cells, want.cells) << i;
  }
  // One at opening; then for sheets 1, 3, 5, 2 and 0, each keeping the next.
  EXPECT_EQ(parses, 6);
}

TEST_F(OdsReaderTest, CancelledSinkStopsBetweenRows) {
  struct StopAfterTwo : SheetCells {
    bool Cancelled() override { return ++asked >= 2; }
    int asked = 0;
  } sink;
  std::string rows;
  for (int i = 0; i < 5; ++i) rows += Row(Cell(P(std::to_string(i))));
  auto book = sheet::OpenWorkbook(WriteOds(Content({{"S", rows}})));
  ASSERT_TRUE(book);
  EXPECT_TRUE((*book)->ReadSheet(0, sink).ok());
  EXPECT_EQ(sink.count, 2u);
}

TEST_F(OdsReaderTest, SampleWorkbookShowsItsFormattedNumbers) {
  const auto sample = SourceDir() / "Samples" / "contacts.ods";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no sample workbook";
  const std::string text = WorkbookText(sample);
  for (const char* shown : {"(212) 555-0185", "1-212-555-0189", "+1 (212) 555-0191", "02079460123",
                            "212-555-0131\n212-555-0132"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown;
  }
}

}  // namespace
}  // namespace dialsift::test
