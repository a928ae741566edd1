#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/opc/shared_strings.h"
#include "sheet/xlsx/xlsx_sheet.h"
#include "sheet/xml/xml_split.h"
#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet {
namespace {

// What a sheet's reading handed on: cells, ends of rows, and the outcome.
struct Log final : CellSink {
  std::string text;
  int rows = 0;
  int stop_after = -1;  // rows, then Cancelled says stop
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view cell) override {
    text += std::to_string(row) + "," + std::to_string(column) + "=";
    // Long texts by their size and ends: the log stays small.
    text += cell.size() > 64 ? std::to_string(cell.size()) + ":" + std::string(cell.substr(0, 8)) +
                                   std::string(cell.substr(cell.size() - 8))
                             : std::string(cell);
    text += ";";
  }
  bool Cancelled() override {
    text += "|";
    return stop_after >= 0 && ++rows >= stop_after;
  }
};

struct Workbook {
  FormatEngine engine;
  opc::SharedStrings strings;
  std::vector<FormatEngine::Handle> styles;
  Workbook() {
    for (std::string s : {"Ann", "555-0147", "x<row r=\"3\">"}) {
      strings.Append(s);
      strings.End();
    }
    strings.Append(std::string(std::size_t{2} << 20, 'w') + "end");
    strings.End();
    styles = {engine.InternBuiltin(0), engine.Intern("(000) 000-0000"), engine.Intern("0.00")};
  }
  xlsx::SheetContext Context() { return {&strings, styles, &engine, false}; }
};

std::string Serial(Workbook& book, const std::string& xml, int stop_after) {
  const auto context = book.Context();
  Log log;
  log.stop_after = stop_after;
  xlsx::SheetHandler handler(context, "sheet.xml", log);
  const Status status = ParseXml(xml, "sheet.xml", handler);
  return log.text + (status ? "ok" : status.error().reason);
}

// Reads `xml` in pieces of random sizes; `fail_at` bytes in, the read fails.
struct Pieces {
  const std::string& xml;
  std::mt19937 random;
  std::size_t fail_at;
  std::size_t at = 0;
  Result<std::size_t> operator()(std::span<char> out) {
    if (at >= fail_at) return Error{ErrorKind::kDamagedWorkbook, "the read failed"};
    std::size_t n = std::min({out.size(), xml.size() - at, std::size_t{1} + random() % 300});
    n = std::min(n, fail_at - at);
    std::memcpy(out.data(), xml.data() + at, n);
    at += n;
    return n;
  }
};

std::string SerialRead(Workbook& book, const std::string& xml, std::size_t fail_at) {
  const auto context = book.Context();
  Log log;
  xlsx::SheetHandler handler(context, "sheet.xml", log);
  Pieces pieces{xml, std::mt19937(1), fail_at};
  const Status status = ParseXml({}, XmlRead(std::ref(pieces)), "sheet.xml", handler);
  return log.text + (status ? "ok" : status.error().reason);
}

// `spare_every`: the second core is free for one stretch in so many (0: all).
std::string Split(Workbook& book, const std::string& xml, int stop_after, std::size_t stretch,
                  unsigned threads, unsigned seed, SplitCounts& counts,
                  std::size_t fail_at = std::string::npos, int spare_every = 0) {
  const auto context = book.Context();
  Log log;
  log.stop_after = stop_after;
  Pieces pieces{xml, std::mt19937(seed), fail_at};
  SplitOptions options{"sheetData", "row", stretch, threads, &counts, {}};
  int asked = 0;
  if (spare_every > 0) options.spare = [&] { return ++asked % spare_every == 0; };
  const Status status = ParseXmlSplit(
      XmlRead(std::ref(pieces)), "sheet.xml",
      [&] { return std::make_unique<xlsx::SheetHandler>(context, "sheet.xml", log); }, options);
  return log.text + (status ? "ok" : status.error().reason);
}

std::string Row(int r, bool numbered = true) {
  const std::string n = std::to_string(r);
  const std::string ref = numbered ? " r=\"" + n + "\"" : "";
  std::string row = "<row" + ref + ">";
  row += "<c" + (numbered ? " r=\"A" + n + "\"" : std::string()) + " t=\"s\"><v>" +
         std::to_string(r % 3) + "</v></c>";
  row += "<c" + (numbered ? " r=\"C" + n + "\"" : std::string()) + " s=\"1\"><v>" +
         std::to_string(2125550100 + r) + "</v></c>";
  row += "<c t=\"inlineStr\"><is><t>call 555 01" + n + "</t></is></c><c s=\"2\"><v>" + n +
         ".5</v></c>";
  return row + "</row>\n";
}

std::string Rows(int from, int to, bool numbered = true) {
  std::string rows;
  for (int r = from; r <= to; ++r) rows += Row(r, numbered);
  return rows;
}

std::string Sheet(const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">\n"
         "<dimension ref=\"A1:D80\"/><sheetData>\n" +
         rows + "</sheetData>\n</worksheet>\n";
}

TEST(XmlSplit, HandsOnWhatOneParserWould) {
  std::string prefixed = Sheet(Rows(1, 60));
  for (const char* from :
       {"<row", "</row", "<c", "</c", "<v", "</v", "<is", "</is", "<t>", "</t", "<sheetData",
        "</sheetData", "<worksheet", "</worksheet", "<dimension"}) {
    for (std::size_t at = prefixed.find(from); at != std::string::npos;
         at = prefixed.find(from, at + 4)) {
      prefixed.insert(at + (from[1] == '/' ? 2 : 1), "x:");
    }
  }
  const std::size_t ns = prefixed.find("xmlns=");
  prefixed.insert(ns + 5, ":x");
  const std::string with_big_strings = [] {
    std::string rows;
    for (int r = 1; r <= 30; ++r) {
      rows += "<row r=\"" + std::to_string(r) +
              "\"><c t=\"s\"><v>3</v></c><c t=\"s\"><v>3</v></c>" + "<c t=\"s\"><v>3</v></c></row>";
    }
    return Sheet(rows);
  }();
  const struct {
    const char* what;
    std::string xml;
  } cases[] = {
      {"numbered rows", Sheet(Rows(1, 60))},
      {"rows numbered only at first", Sheet(Rows(1, 2) + Rows(3, 60, false))},
      {"rows numbered again later", Sheet(Rows(1, 20, false) + Rows(21, 60))},
      {"prefixed names", prefixed},
      {"a comment holding rows",
       Sheet(Rows(1, 25) + "<!-- " + Rows(100, 104) + " -->" + Rows(26, 60))},
      {"CDATA holding a row tag",
       Sheet(Rows(1, 30) + "<row r=\"31\"><c t=\"inlineStr\"><is><t><![CDATA[a\n<row r=\"2\">" +
             std::string(300, 'z') + "]]></t></is></c></row>" + Rows(32, 60))},
      {"a processing instruction holding a row tag",
       Sheet(Rows(1, 30) + "<?pi <row r=\"3\"> " + std::string(200, 'p') + "?>" + Rows(31, 60))},
      {"a row declaring a namespace",
       Sheet(Rows(1, 30) + "<row r=\"31\" xmlns=\"urn:other\"><c><v>5551234</v></c></row>" +
             Rows(32, 60))},
      {"another default namespace inside",
       Sheet(Rows(1, 30) + "<ext xmlns=\"urn:other\">" + Rows(200, 230) + "</ext>" + Rows(31, 60))},
      {"text between rows", Sheet(Rows(1, 30) + "stray &amp; text\r\n" + Rows(31, 60))},
      {"CR line ends",
       [] {
         std::string x = Sheet(Rows(1, 60));
         for (std::size_t at = x.find('\n'); at != std::string::npos; at = x.find('\n', at + 2))
           x.replace(at, 1, "\r\n");
         return x;
       }()},
      {"a tag left open late",
       Sheet(Rows(1, 50) + "<row r=\"51\"><c><v>1</c></row>" + Rows(52, 60))},
      {"an unknown entity late",
       Sheet(Rows(1, 40) + "<row r=\"41\"><c t=\"inlineStr\"><is><t>&bogus;</t></is></c></row>" +
             Rows(42, 60))},
      {"a bad row number late", Sheet(Rows(1, 45) + "<row r=\"0\"/>" + Rows(46, 60))},
      {"a bad shared string late",
       Sheet(Rows(1, 45) + "<row r=\"46\"><c t=\"s\"><v>99</v></c></row>" + Rows(47, 60))},
      {"cut short", Sheet(Rows(1, 60)).substr(0, 3000)},
      {"bytes after the root", Sheet(Rows(1, 60)) + "junk"},
      {"a sheet without rows", Sheet("")},
      {"long shared strings", with_big_strings},
  };
  for (const auto& c : cases) {
    Workbook book;
    for (const int stop_after : {-1, 7}) {
      const std::string want = Serial(book, c.xml, stop_after);
      for (const std::size_t stretch : {std::size_t{60}, std::size_t{333}, std::size_t{1} << 20}) {
        for (const unsigned threads : {0u, 1u, 3u}) {
          SplitCounts counts;
          EXPECT_EQ(Split(book, c.xml, stop_after, stretch, threads, stretch + threads, counts),
                    want)
              << c.what << ", stretch " << stretch << ", threads " << threads << ", stop after "
              << stop_after;
          // The core taken and given back as it goes.
          SplitCounts some;
          EXPECT_EQ(
              Split(book, c.xml, stop_after, stretch, threads, threads, some, std::string::npos, 2),
              want)
              << c.what << ", stretch " << stretch << ", threads " << threads
              << ", a core for every other stretch";
          // Proof that the stretches were parsed ahead, and read again where they must.
          const std::string what = c.what;
          if (stop_after < 0 && stretch == 60 && what == "numbered rows") {
            EXPECT_GT(counts.stood, 40u) << "threads " << threads;
            EXPECT_EQ(counts.read_again, 0u);
          }
          if (stop_after < 0 && stretch == 60 && what == "rows numbered only at first") {
            EXPECT_GT(counts.read_again, 10u);
          }
          if (stop_after < 0 && stretch == 333 && what == "long shared strings") {
            EXPECT_GE(counts.read_again, 3u);
          }
        }
      }
    }
  }
}

TEST(XmlSplit, AFailedReadComesAfterTheBytesBeforeIt) {
  Workbook book;
  const std::string xml = Sheet(Rows(1, 60));
  for (std::size_t fail_at = 0; fail_at < xml.size(); fail_at += 97) {
    const std::string want = SerialRead(book, xml, fail_at);
    EXPECT_NE(want.find("the read failed"), std::string::npos) << fail_at;
    for (const unsigned threads : {0u, 2u}) {
      SplitCounts counts;
      EXPECT_EQ(Split(book, xml, -1, 200, threads, fail_at, counts, fail_at), want) << fail_at;
    }
  }
}

}  // namespace
}  // namespace dialsift::sheet
