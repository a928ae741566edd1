// The .xls reader on record streams built byte by byte: string splitting
// across CONTINUE records, every cell record, sheet kinds, BIFF5 code pages,
// and damaged or hostile streams.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "sheet/number_format.h"
#include "sheet/xls/record_stream.h"
#include "sheet/xls/sheet_cells.h"
#include "sheet/xls/sst.h"
#include "sheet/xls/workbook_globals.h"
#include "sheet/xls/xls_workbook.h"
#include "text_cells.h"
#include "xls_builder.h"

namespace dialsift::sheet {
namespace {

using test::xls::Biff;
using test::xls::Bytes;
using test::xls::Put16;
using test::xls::Put32;
using test::xls::Put8;
using test::xls::PutBytes;
using test::xls::PutChars16;
using test::xls::SheetSpec;
using test::xls::Str8;
using test::xls::WorkbookStream;

// Cells as "R1C1=text" lines, in arrival order.
class ListSink final : public CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    cells.push_back("R" + std::to_string(row) + "C" + std::to_string(column) + "=" +
                    std::string(text));
  }
  bool Cancelled() override {
    return cancel_after >= 0 && static_cast<int>(cells.size()) >= cancel_after;
  }
  std::vector<std::string> cells;
  int cancel_after = -1;
};

// An opened in-memory workbook; keeps the file bytes alive.
struct Opened {
  explicit Opened(Bytes bytes) : file(std::move(bytes)), wb(xls::OpenCompoundFileInMemory(file)) {}
  Bytes file;
  WorkbookResult wb;

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& s : (*wb)->Sheets()) names.push_back(s.name);
    return names;
  }
  std::vector<std::string> Cells(std::size_t sheet, Status* status = nullptr) {
    ListSink sink;
    Status st = (*wb)->ReadSheet(sheet, sink);
    if (status != nullptr)
      *status = st;
    else
      EXPECT_TRUE(st.ok()) << st.error().reason;
    return sink.cells;
  }
};

Opened Biff8Book(const Bytes& globals, const std::vector<SheetSpec>& sheets) {
  return Opened(test::xls::CompoundFile({{"Workbook", WorkbookStream(globals, sheets)}}));
}

Bytes SstRecordWithContinues(std::uint32_t declared, const std::vector<Bytes>& segments) {
  Biff b;
  Bytes first;
  Put32(first, declared);
  Put32(first, declared);
  first.insert(first.end(), segments[0].begin(), segments[0].end());
  b.Rec(0x00FC, first);
  for (std::size_t i = 1; i < segments.size(); ++i) b.Rec(0x003C, segments[i]);
  return b.bytes();
}

Bytes LabelSsts(int n) {
  Biff b;
  for (int i = 0; i < n; ++i) b.LabelSst(i, 0, static_cast<std::uint32_t>(i));
  return b.bytes();
}

TEST(XlsSharedStrings, StringsSplitAcrossContinueRecordsKeepEveryCharacter) {
  // Segment 1: "plain", then "Hello, wö" begun in 8-bit characters.
  Bytes s1;
  Put16(s1, 5);
  Put8(s1, 0);
  PutBytes(s1, "plain");
  Put16(s1, 9);
  Put8(s1, 0);
  PutBytes(s1, "Hello");
  // Segment 2: the flag byte switches to 16-bit for the rest ", w\u00f6rld"
  // cut to 4 characters; then a rich string (2 runs) with a phonetic block,
  // whose runs spill into segment 3.
  Bytes s2;
  Put8(s2, 0x01);
  PutChars16(s2, u", w\u00f6");
  Put16(s2, 3);
  Put8(s2, 0x0C);  // rich runs + phonetic data, 8-bit characters
  Put16(s2, 2);    // runs
  Put32(s2, 6);    // phonetic bytes
  PutBytes(s2, "abc");
  Put32(s2, 0x00010000);  // first run
  Put16(s2, 0x0002);      // half of the second run
  // Segment 3: no flag byte (not character data): rest of the run, the
  // phonetic block, then a string whose header starts the record: 16-bit
  // "\u0416\u0416" then, split again, back to 8-bit.
  Bytes s3;
  Put16(s3, 0x0001);
  PutBytes(s3, "PHONET");
  Put16(s3, 4);
  Put8(s3, 0x01);
  PutChars16(s3, u"\u0416\u0416");
  Bytes s4;
  Put8(s4, 0x00);
  PutBytes(s4, "zz");

  Biff g;
  g.Raw(SstRecordWithContinues(4, {s1, s2, s3, s4}));
  auto book = Biff8Book(g.bytes(), {{"S", LabelSsts(4)}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Cells(0), (std::vector<std::string>{"R1C1=plain", "R2C1=Hello, w\u00f6",
                                                     "R3C1=abc", "R4C1=\u0416\u0416zz"}));
}

TEST(XlsSharedStrings, ALyingCountReadsWhatIsThereAndMissingStringsAreReported) {
  Bytes s1;
  Put16(s1, 2);
  Put8(s1, 0);
  PutBytes(s1, "ok");
  Biff g;
  g.Raw(SstRecordWithContinues(0xFFFFFFF0u, {s1}));
  auto book = Biff8Book(g.bytes(), {{"S", LabelSsts(2)}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  Status st;
  EXPECT_EQ(book.Cells(0, &st), std::vector<std::string>{"R1C1=ok"});
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().kind, ErrorKind::kDamagedWorkbook);
  EXPECT_NE(st.error().reason.find("shared string 1"), std::string::npos) << st.error().reason;
}

TEST(XlsSharedStrings, TruncatedContinueEndsTheTable) {
  Bytes s1;
  Put16(s1, 1);
  Put8(s1, 0);
  PutBytes(s1, "a");
  Put16(s1, 100);  // declares 100 characters, holds 3 and a cut CONTINUE
  Put8(s1, 0);
  PutBytes(s1, "bcd");
  Bytes s2;
  Put8(s2, 1);
  Put8(s2, 'e');  // half a 16-bit character
  xls::Record rec;
  rec.type = 0x00FC;
  Put32(rec.data, 2);
  Put32(rec.data, 2);
  rec.data.insert(rec.data.end(), s1.begin(), s1.end());
  rec.segment_ends.push_back(rec.data.size());
  rec.data.insert(rec.data.end(), s2.begin(), s2.end());
  rec.segment_ends.push_back(rec.data.size());
  const auto sst = xls::ReadSharedStrings(rec);
  ASSERT_EQ(sst.strings.size(), 1u);
  EXPECT_EQ(sst.strings[0], "a");
  EXPECT_TRUE(sst.truncated);
}

Bytes Formula(int row, int col, std::initializer_list<std::uint8_t> result) {
  Bytes b = Biff::Head(row, col, 0);
  b.insert(b.end(), result);
  Put16(b, 0);  // flags
  Put32(b, 0);
  Put16(b, 0);  // no formula tokens
  return b;
}

TEST(XlsCells, EveryCellRecordGivesItsDisplayedText) {
  Biff s;
  s.Number(0, 0, 12.5);
  Bytes rk = Biff::Head(0, 1, 0);
  Put32(rk, (1234u << 2) | 0x02 | 0x01);  // integer 1234, divided by 100
  s.Rec(0x027E, rk);
  Bytes mulrk;
  Put16(mulrk, 1);
  Put16(mulrk, 2);                             // first column C
  for (std::uint32_t v : {7u, 0x1FFFFFFFu}) {  // 7 and the largest 30-bit integer
    Put16(mulrk, 0);
    Put32(mulrk, (v << 2) | 0x02);
  }
  Put16(mulrk, 0);
  Put32(mulrk, 0x3FF00000);  // 1.0 as the top of a double
  Put16(mulrk, 4);           // last column E
  s.Rec(0x00BD, mulrk);
  Bytes mulblank;
  Put16(mulblank, 2);
  Put16(mulblank, 5);
  Put16(mulblank, 0);
  Put16(mulblank, 0);
  Put16(mulblank, 6);
  s.Rec(0x00BE, mulblank);
  s.Blank(3, 0);
  // Booleans and every error code.
  const std::vector<std::pair<std::uint8_t, std::uint8_t>> boolerr = {
      {1, 0}, {0, 0}, {0x00, 1}, {0x07, 1}, {0x0F, 1}, {0x17, 1}, {0x1D, 1}, {0x24, 1}, {0x2A, 1}};
  for (std::size_t i = 0; i < boolerr.size(); ++i) {
    Bytes b = Biff::Head(4, static_cast<int>(i), 0);
    Put8(b, boolerr[i].first);
    Put8(b, boolerr[i].second);
    s.Rec(0x0205, b);
  }
  // A BIFF8 LABEL with 16-bit characters and an RSTRING.
  Bytes label = Biff::Head(5, 0, 0);
  Put16(label, 3);
  Put8(label, 1);
  PutChars16(label, u"\u00e9\u20ac!");
  s.Rec(0x0204, label);
  Bytes rstring = Biff::Head(5, 1, 0);
  const Bytes rs = Str8("rich");
  rstring.insert(rstring.end(), rs.begin(), rs.end());
  Put16(rstring, 1);
  Put32(rstring, 0);
  s.Rec(0x00D6, rstring);
  // Formulas: a number, a string in the STRING record that follows (after
  // a shared-formula record), a boolean, an error, an empty string, and a
  // string result whose STRING record is missing.
  Bytes num = Biff::Head(6, 0, 0);
  test::xls::PutF64(num, 66);
  Put16(num, 0);
  Put32(num, 0);
  Put16(num, 0);
  s.Rec(0x0006, num);
  s.Rec(0x0006, Formula(6, 1, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  s.Rec(0x04BC, Bytes(10, 0));
  s.Rec(0x0207, Str8("355-650-5551"));
  s.Rec(0x0006, Formula(6, 2, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}));
  s.Rec(0x0006, Formula(6, 3, {2, 0, 0x07, 0, 0, 0, 0xFF, 0xFF}));
  s.Rec(0x0006, Formula(6, 4, {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  s.Rec(0x0006, Formula(6, 5, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  s.Number(7, 0, 1);

  auto book = Biff8Book({}, {{"S", s.bytes()}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Cells(0),
            (std::vector<std::string>{"R1C1=12.5",      "R1C2=12.34",   "R2C3=7",
                                      "R2C4=536870911", "R2C5=1",       "R3C6=",
                                      "R3C7=",          "R4C1=",        "R5C1=TRUE",
                                      "R5C2=FALSE",     "R5C3=#NULL!",  "R5C4=#DIV/0!",
                                      "R5C5=#VALUE!",   "R5C6=#REF!",   "R5C7=#NAME?",
                                      "R5C8=#NUM!",     "R5C9=#N/A",    "R6C1=\u00e9\u20ac!",
                                      "R6C2=rich",      "R7C1=66",      "R7C2=355-650-5551",
                                      "R7C3=TRUE",      "R7C4=#DIV/0!", "R7C5=",
                                      "R7C6=",          "R8C1=1"}));
}

TEST(XlsCells, CellStringsGoOnInContinueRecordsWithinBounds) {
  Biff s;
  Bytes label = Biff::Head(0, 0, 0);
  Put16(label, 6);
  Put8(label, 0);
  PutBytes(label, "abc");
  s.Rec(0x0204, label);
  Bytes rest{0x01};  // the rest in 16-bit characters
  PutChars16(rest, u"\u00e9\u00e8\u00ea");
  s.Rec(0x003C, rest);
  // A formula string whose STRING record is followed by a megabyte of
  // CONTINUE records: the string is read, the flood skipped.
  s.Rec(0x0006, Formula(1, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  s.Rec(0x0207, Str8("ok"));
  for (int i = 0; i < 128; ++i) s.Rec(0x003C, Bytes(8192, 0x41));
  s.Number(2, 0, 3);
  auto book = Biff8Book({}, {{"S", s.bytes()}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Cells(0),
            (std::vector<std::string>{"R1C1=abc\u00e9\u00e8\u00ea", "R2C1=ok", "R3C1=3"}));
}

TEST(XlsCells, RkNumbers) {
  EXPECT_EQ(DecodeRk((5u << 2) | 2), 5);
  EXPECT_EQ(DecodeRk(static_cast<std::uint32_t>(-3 * 4) | 2), -3);
  EXPECT_EQ(DecodeRk((1234u << 2) | 3), 12.34);
  EXPECT_EQ(DecodeRk(0x405EC000u), 123.0);  // top bits of the double 123
  EXPECT_EQ(DecodeRk(0x405EC001u), 1.23);
}

TEST(XlsCells, NumberFormatsComeFromFormatAndXfRecords) {
  Biff g;
  Bytes fmt;
  Put16(fmt, 164);
  const Bytes code = Str8("[<=9999999]###-####;(###) ###-####");
  fmt.insert(fmt.end(), code.begin(), code.end());
  g.Rec(0x041E, fmt);
  for (int id : {0, 164, 3}) {
    Bytes xf;
    Put16(xf, 0);
    Put16(xf, static_cast<std::uint32_t>(id));
    xf.resize(20, 0);
    g.Rec(0x00E0, xf);
  }
  Biff s;
  s.Number(0, 0, 3556505551.0, 1).Number(0, 1, 8552880, 1).Number(0, 2, 1234567, 2);
  s.Number(0, 3, 2.5, 0).Number(0, 4, 2.5, 99);  // an XF index past the table: General
  auto book = Biff8Book(g.bytes(), {{"S", s.bytes()}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  FormatEngine engine;
  const std::string phone = "[<=9999999]###-####;(###) ###-####";
  EXPECT_EQ(book.Cells(0),
            (std::vector<std::string>{"R1C1=" + engine.FormatNumber(3556505551.0, phone),
                                      "R1C2=" + engine.FormatNumber(8552880, phone),
                                      "R1C3=" + engine.FormatNumber(1234567, "#,##0"), "R1C4=2.5",
                                      "R1C5=2.5"}));
}

TEST(XlsSheets, OnlyWorksheetsAreListedHiddenOnesIncluded) {
  Biff dialog;
  Bytes wsbool;
  Put16(wsbool, 0x0010);
  dialog.Rec(0x0081, wsbool);
  Biff normal;
  Put16(wsbool, 0);
  normal.Rec(0x0081, Bytes{0x01, 0x04}).Number(0, 0, 1);
  Biff hidden;
  hidden.Number(0, 0, 2);
  auto book = Biff8Book({}, {{"Sheet", normal.bytes()},
                             {"Chart", {}, 2, 0x0020},
                             {"Macro", {}, 1, 0x0040},
                             {"ChartByBof", {}, 0, 0x0020},
                             {"Dialog", dialog.bytes()},
                             {"Hidden", hidden.bytes(), 0, 0x0010, 1}});
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Names(), (std::vector<std::string>{"Sheet", "Hidden"}));
  // Sheets read in any order, each as often as asked.
  EXPECT_EQ(book.Cells(1), std::vector<std::string>{"R1C1=2"});
  EXPECT_EQ(book.Cells(0), std::vector<std::string>{"R1C1=1"});
  EXPECT_EQ(book.Cells(1), std::vector<std::string>{"R1C1=2"});
}

TEST(XlsSheets, WrongSheetOffsetsFallBackToTheSubstreamsInOrder) {
  Biff a;
  a.Number(0, 0, 1);
  Biff b;
  b.Number(0, 0, 2);
  auto book = Opened(test::xls::CompoundFile(
      {{"Workbook", WorkbookStream({}, {{"A", a.bytes()}, {"B", b.bytes()}}, 0x0600, 20)}}));
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Cells(0), std::vector<std::string>{"R1C1=1"});
  EXPECT_EQ(book.Cells(1), std::vector<std::string>{"R1C1=2"});
}

// A sheet list entry placed on the globals or on an earlier sheet's start is
// refused for that sheet, not skipped as no worksheet or read twice; a
// globals without any sheet list is damaged.
TEST(XlsSheets, EntriesPlacedWhereNoSheetOfTheirsBeginsAreRefused) {
  Biff a;
  a.Number(0, 0, 1);
  Biff sub;
  sub.Bof(0x0600, 0x0010).Raw(a.bytes()).Eof();
  auto stream = [&](std::uint32_t sheet_a) {
    Biff head;
    head.Bof(0x0600, 0x0005)
        .Rec(0x0085, test::xls::BoundSheet(sheet_a, "A"))
        .Rec(0x0085, test::xls::BoundSheet(0, "OnGlobals"))
        .Rec(0x0085, test::xls::BoundSheet(sheet_a, "AAgain"))
        .Eof();
    return head;
  };
  Biff head = stream(static_cast<std::uint32_t>(stream(0).size()));
  head.Raw(sub.bytes());
  Opened book(test::xls::CompoundFile({{"Workbook", head.bytes()}}));
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Names(), (std::vector<std::string>{"A", "OnGlobals", "AAgain"}));
  EXPECT_EQ(book.Cells(0), std::vector<std::string>{"R1C1=1"});
  const std::vector<std::pair<std::size_t, std::string>> refused = {
      {1, "damaged workbook stream (the sheet list places this sheet on the workbook globals)"},
      {2, "damaged workbook stream (the sheet list places this sheet where sheet \"A\" begins)"}};
  for (const auto& [index, reason] : refused) {
    Status status;
    EXPECT_TRUE(book.Cells(index, &status).empty());
    ASSERT_FALSE(status.ok()) << index;
    EXPECT_EQ(status.error().reason, reason);
  }
  EXPECT_EQ(book.Cells(0), std::vector<std::string>{"R1C1=1"});

  Opened listless(test::xls::CompoundFile({{"Workbook", WorkbookStream({}, {})}}));
  ASSERT_FALSE(listless.wb);
  EXPECT_EQ(listless.wb.error().reason, "damaged workbook stream (the sheet list is missing)");
}

TEST(XlsSheets, EmbeddedChartSubstreamsAreSkippedAndCancelStopsTheRead) {
  Biff s;
  s.Number(0, 0, 1);
  s.Bof(0x0600, 0x0020).Number(5, 5, 99).Eof();
  s.Number(1, 0, 2).Number(2, 0, 3);
  auto book = Biff8Book({}, {{"S", s.bytes()}});
  ASSERT_TRUE(book.wb);
  EXPECT_EQ(book.Cells(0), (std::vector<std::string>{"R1C1=1", "R2C1=2", "R3C1=3"}));
  ListSink sink;
  sink.cancel_after = 2;
  EXPECT_TRUE((*book.wb)->ReadSheet(0, sink).ok());
  EXPECT_EQ(sink.cells.size(), 2u);
}

TEST(XlsBiff5, ByteStringsAreDecodedWithTheCodePage) {
  Biff g;
  Bytes cp;
  Put16(cp, 1251);
  g.Rec(0x0042, cp);
  Bytes fmt;  // BIFF5 FORMAT: id, 8-bit length, bytes
  Put16(fmt, 164);
  Put8(fmt, 5);
  PutBytes(fmt, "0.000");
  g.Rec(0x041E, fmt);
  for (int id : {0, 164}) {
    Bytes xf;
    Put16(xf, 0);
    Put16(xf, static_cast<std::uint32_t>(id));
    xf.resize(16, 0);
    g.Rec(0x00E0, xf);
  }
  Biff s;
  Bytes label = Biff::Head(0, 0, 0);
  Put16(label, 6);
  PutBytes(label, "\xcf\xf0\xe8\xe2\xe5\xf2");  // "Привет" in Windows-1251
  s.Rec(0x0204, label);
  s.Number(0, 1, 1.5, 1);
  s.Rec(0x0006, Formula(0, 2, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  Bytes str;
  Put16(str, 2);
  PutBytes(str, "\xc4\xe0");  // "Да"
  s.Rec(0x0207, str);
  auto book = Opened(test::xls::CompoundFile(
      {{"Book", WorkbookStream(g.bytes(), {{"\xcb\xe8\xf1\xf2", s.bytes()}}, 0x0500)}}));
  ASSERT_TRUE(book.wb) << book.wb.error().reason;
  EXPECT_EQ(book.Names(), std::vector<std::string>{"\u041b\u0438\u0441\u0442"});
  FormatEngine engine;
  EXPECT_EQ(book.Cells(0), (std::vector<std::string>{"R1C1=\u041f\u0440\u0438\u0432\u0435\u0442",
                                                     "R1C2=" + engine.FormatNumber(1.5, "0.000"),
                                                     "R1C3=\u0414\u0430"}));
}

TEST(XlsDamage, EachDamageIsAnErrorWithItsReason) {
  auto open = [](Bytes stream, const char* name = "Workbook") -> std::optional<ErrorKind> {
    Opened o(test::xls::CompoundFile({{name, std::move(stream)}}));
    if (o.wb) return std::nullopt;
    return o.wb.error().kind;
  };
  Biff filepass;
  filepass.Rec(0x002F, Bytes(6, 0));
  EXPECT_EQ(open(WorkbookStream(filepass.bytes(), {})), ErrorKind::kPasswordProtected);

  Biff past;
  past.Bof(0x0600, 0x0005).Raw({0x42, 0x00, 0x20, 0x00, 0xB0});
  EXPECT_EQ(open(past.bytes()), ErrorKind::kDamagedWorkbook);

  Biff bound;
  bound.Rec(0x0409, Bytes{0, 0, 0x00, 0x01, 0, 0});
  EXPECT_EQ(open(bound.bytes()), ErrorKind::kUnsupportedFormat);
  Biff chart;
  chart.Bof(0x0600, 0x0020).Eof();
  EXPECT_EQ(open(chart.bytes()), ErrorKind::kNotWorkbook);
  EXPECT_EQ(open(Bytes{1, 2, 3, 4, 5, 6}), ErrorKind::kNotWorkbook);
  EXPECT_EQ(open({}), ErrorKind::kNotWorkbook);

  EXPECT_EQ(open(Bytes(64, 0), "EncryptedPackage"), ErrorKind::kPasswordProtected);
  EXPECT_EQ(open(Bytes(64, 0), "WordDocument"), ErrorKind::kNotWorkbook);

  Bytes garbage(2048, 0xAB);
  std::copy_n("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8, garbage.begin());
  Opened bad(garbage);
  ASSERT_FALSE(bad.wb);
  EXPECT_EQ(bad.wb.error().kind, ErrorKind::kDamagedContainer) << bad.wb.error().reason;
}

TEST(XlsDamage, ADamagedContainerWritesNothingToStandardError) {
  // A first FAT sector far past the end of the file: the reader's Error says
  // it all; standard error belongs to the program.
  Bytes file = test::xls::CompoundFile({{"Workbook", Bytes(100, 0)}});
  file[0x4C] = 0xEE;
  file[0x4D] = 0xEE;
  testing::internal::CaptureStderr();
  Opened bad(file);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_FALSE(bad.wb);
  EXPECT_EQ(bad.wb.error().kind, ErrorKind::kDamagedContainer);
  EXPECT_EQ(err, "");
}

TEST(XlsDamage, DamagedSheetsKeepTheCellsReadBeforeTheDamage) {
  Biff cut;
  cut.Number(0, 0, 1).Raw({0x03, 0x02, 0x0E, 0x00, 0x01});  // a NUMBER header, then the end
  Biff shortrec;
  shortrec.Number(0, 0, 1).Rec(0x0203, Bytes(4, 0));
  Biff farcol;
  farcol.Number(0, 0, 1).Number(1, 20000, 2);
  const Bytes cut_stream = WorkbookStream({}, {{"S", cut.bytes()}});
  // Drop the EOF that WorkbookStream put after the cut record.
  Opened a(
      test::xls::CompoundFile({{"Workbook", Bytes(cut_stream.begin(), cut_stream.end() - 4)}}));
  auto b = Biff8Book({}, {{"S", shortrec.bytes()}});
  auto c = Biff8Book({}, {{"S", farcol.bytes()}});
  for (auto* book : {&a, &b, &c}) ASSERT_TRUE(book->wb) << book->wb.error().reason;
  Status st;
  EXPECT_EQ(a.Cells(0, &st), std::vector<std::string>{"R1C1=1"});
  EXPECT_EQ(st.error().kind, ErrorKind::kDamagedWorkbook);
  EXPECT_EQ(b.Cells(0, &st), std::vector<std::string>{"R1C1=1"});
  EXPECT_EQ(st.error().kind, ErrorKind::kDamagedWorkbook);
  EXPECT_NE(st.error().reason.find("NUMBER record"), std::string::npos);
  EXPECT_EQ(c.Cells(0, &st), std::vector<std::string>{"R1C1=1"});
  EXPECT_EQ(st.error().kind, ErrorKind::kDamagedWorkbook);
  EXPECT_NE(st.error().reason.find("row 2"), std::string::npos);
}

// BIFF2-4 files are bare record streams holding one worksheet, whose
// formats and styles sit inside the sheet; styles refer to formats by
// position.
TEST(XlsOldFormats, Biff2To4WorksheetsAreRead) {
  test::TempDir dir;
  auto text_of = [&](const std::string& name, const Bytes& stream) {
    const auto path = dir.path() / name;
    test::WriteFile(path,
                    std::string_view(reinterpret_cast<const char*>(stream.data()), stream.size()));
    auto book = OpenWorkbook(path);
    if (!book) return "ERROR: " + book.error().reason;
    std::string out = (*book)->Sheets()[0].name + ":";
    ListSink sink;
    if (auto st = (*book)->ReadSheet(0, sink); !st) return "ERROR: " + st.error().reason;
    for (const auto& c : sink.cells) out += " " + c;
    return out;
  };
  auto format2 = [](std::string_view code) {
    Bytes b;
    Put8(b, static_cast<std::uint32_t>(code.size()));
    PutBytes(b, code);
    return b;
  };
  FormatEngine engine;
  const std::string pct = engine.FormatNumber(0.25, "0.00%");

  // BIFF2: 3-byte cell attributes, the second naming the format by position.
  Biff b2;
  b2.Rec(0x0009, Bytes{0x07, 0x00, 0x10, 0x00});
  b2.Rec(0x0042, Bytes{0xE4, 0x04});  // code page 1252
  b2.Rec(0x001E, format2("General")).Rec(0x001E, format2("0.00%"));
  Bytes integer{0, 0, 0, 0, 0x40, 0x00, 0x00};
  Put16(integer, 7);
  b2.Rec(0x0002, integer);
  Bytes number{0, 0, 1, 0, 0x40, 0x01, 0x00};
  test::xls::PutF64(number, 0.25);
  b2.Rec(0x0003, number);
  Bytes label{1, 0, 0, 0, 0x40, 0x00, 0x00, 4};
  PutBytes(label, "Caf\xe9");
  b2.Rec(0x0004, label);
  b2.Rec(0x0001, Bytes{1, 0, 2, 0, 0, 0, 0});
  b2.Rec(0x0005, Bytes{2, 0, 0, 0, 0, 0, 0, 0x2A, 1});
  Bytes formula{2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
  b2.Rec(0x0006, formula);
  Bytes string2{5};
  PutBytes(string2, "hello");
  b2.Rec(0x0007, string2).Eof();
  EXPECT_EQ(text_of("old2.xls", b2.bytes()),
            "old2: R1C1=7 R1C2=" + pct + " R2C1=Caf\u00e9 R2C3= R3C1=#N/A R3C2=hello");

  // BIFF3 and BIFF4: XF records with 8-bit fields; BIFF4's FORMAT has two
  // unused bytes before the code.
  for (const bool biff4 : {false, true}) {
    Biff b;
    b.Rec(biff4 ? 0x0409 : 0x0209, Bytes{0, 0, 0x10, 0, 0, 0});
    for (const char* code : {"General", "0.00%"}) {
      Bytes f = biff4 ? Bytes{0, 0} : Bytes{};
      const Bytes body = format2(code);
      f.insert(f.end(), body.begin(), body.end());
      b.Rec(biff4 ? 0x041E : 0x001E, f);
    }
    for (std::uint8_t fmt : {0, 1}) b.Rec(biff4 ? 0x0443 : 0x0243, Bytes{0, fmt, 0, 0, 0, 0});
    b.Number(0, 0, 0.25, 1);
    Bytes rk = Biff::Head(0, 1, 0);
    Put32(rk, (12u << 2) | 2);
    b.Rec(0x027E, rk);
    Bytes lab = Biff::Head(1, 0, 0);
    Put16(lab, 3);
    PutBytes(lab, "abc");
    b.Rec(0x0204, lab).Eof();
    EXPECT_EQ(text_of(biff4 ? "old4.xls" : "old3.xls", b.bytes()),
              std::string(biff4 ? "old4" : "old3") + ": R1C1=" + pct + " R1C2=12 R2C1=abc");
  }
}

}  // namespace
}  // namespace dialsift::sheet
