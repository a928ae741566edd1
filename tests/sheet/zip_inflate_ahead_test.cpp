// Inflating ahead on a second thread gives what reading on one gives: the
// same bytes, the same cells in the same order, and on damaged data the same
// error after the same cells.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "sheet/open_options.h"
#include "sheet/workbook.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {
namespace {

constexpr const char* kSheetPart = "xl/worksheets/sheet1.xml";

// A sheet of `rows` rows, several megabytes of XML: large enough to be
// inflated ahead, varied enough that its deflated data spans many blocks.
std::string SheetXml(int rows) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<sheetData>";
  unsigned seed = 15;
  for (int r = 1; r <= rows; ++r) {
    seed = seed * 1103515245u + 12345u;
    const std::string n = std::to_string(r);
    xml += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>Caller " +
           std::to_string(seed % 99991) + "</t></is></c><c r=\"B" + n +
           "\" t=\"inlineStr\"><is><t>(" + std::to_string(200 + seed % 800) + ") 555-" +
           std::to_string(1000 + (seed >> 8) % 9000) + "</t></is></c><c r=\"C" + n + "\"><v>" +
           std::to_string(seed % 100000) + "." + std::to_string(seed % 97) + "</v></c></row>";
  }
  return xml + "</sheetData></worksheet>";
}

void WriteWorkbook(const std::filesystem::path& path, int rows) {
  test::WriteOneSheetXlsx(path, "Calls", SheetXml(rows));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Where the deflated data of `part` lies in the file: offset and size.
std::pair<std::size_t, std::size_t> PackedData(const std::filesystem::path& path,
                                               const std::string& part) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  EXPECT_NE(z, nullptr);
  zip_stat_t st;
  zip_stat_init(&st);
  EXPECT_EQ(zip_stat(z, part.c_str(), 0, &st), 0);
  zip_discard(z);
  // The local header of the entry: 30 bytes, the name and the extra field.
  const std::string bytes = ReadFile(path);
  std::size_t at = bytes.find("PK\x03\x04");
  while (at != std::string::npos) {
    const auto u16 = [&](std::size_t i) {
      return static_cast<std::size_t>(static_cast<unsigned char>(bytes[i])) |
             static_cast<std::size_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    const std::size_t name_len = u16(at + 26);
    const std::size_t extra_len = u16(at + 28);
    if (bytes.compare(at + 30, name_len, part) == 0) {
      return {at + 30 + name_len + extra_len, static_cast<std::size_t>(st.comp_size)};
    }
    at = bytes.find("PK\x03\x04", at + 4);
  }
  ADD_FAILURE() << part << " not found";
  return {0, 0};
}

struct Cell {
  std::uint32_t row, column;
  std::string text;
  bool operator==(const Cell&) const = default;
};

struct Outcome {
  std::string open_error;  // empty when the workbook opened
  std::vector<Cell> cells;
  std::string read_error;  // empty when the sheet was read to its end
};

// `from_file`: the archive is read from its file, not from the bytes read
// whole beforehand.
Outcome Read(const std::filesystem::path& path, bool ahead, bool from_file = false) {
  struct Sink final : CellSink {
    void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
      cells.push_back({row, column, std::string(text)});
    }
    std::vector<sheet::Cell> cells;
  };
  Outcome out;
  OpenOptions options;
  options.inflate_ahead = ahead;
  if (from_file) options.read_whole_up_to = 0;
  auto book = OpenWorkbook(path, options);
  if (!book) {
    out.open_error = book.error().reason;
    return out;
  }
  Sink sink;
  const Status status = (*book)->ReadSheet(0, sink);
  if (!status) out.read_error = status.error().reason;
  out.cells = std::move(sink.cells);
  return out;
}

}  // namespace

TEST(InflateAhead, EntryBytesAreTheSameAndAnEarlyCloseEndsTheThread) {
  test::TempDir dir;
  const auto path = dir.path() / "calls.xlsx";
  WriteWorkbook(path, 30000);
  auto plain = ZipArchive::Open(path);
  ASSERT_TRUE(plain.ok());
  auto want = plain->ReadAll(kSheetPart, std::uint64_t{1} << 30);
  ASSERT_TRUE(want.ok());
  ASSERT_GT(want->size(), ZipArchive::kAheadMinSize);

  auto ahead = ZipArchive::Open(path);
  ASSERT_TRUE(ahead.ok());
  ahead->SetInflateAhead(true);
  {
    auto entry = ahead->OpenEntry(kSheetPart);
    ASSERT_TRUE(entry.ok());
    EXPECT_TRUE(entry->InflatesAhead());
    std::string got;
    std::vector<char> buffer(7919);  // no multiple of the thread's blocks
    while (true) {
      auto n = entry->Read(buffer);
      ASSERT_TRUE(n.ok()) << n.error().reason;
      if (*n == 0) break;
      got.append(buffer.data(), *n);
    }
    EXPECT_TRUE(got == *want);
  }
  // Closed after one read, while the thread waits for room in its ring; and
  // small parts are read on the caller's thread.
  auto entry = ahead->OpenEntry(kSheetPart);
  ASSERT_TRUE(entry.ok());
  std::vector<char> buffer(100);
  ASSERT_TRUE(entry->Read(buffer).ok());
  entry = ahead->OpenEntry("xl/workbook.xml");
  ASSERT_TRUE(entry.ok());
  EXPECT_FALSE(entry->InflatesAhead());
}

TEST(InflateAhead, DamagedAndCutZipsGiveTheSameErrorAfterTheSameCells) {
  test::TempDir dir;
  const auto intact = dir.path() / "intact.xlsx";
  WriteWorkbook(intact, 30000);
  const std::string bytes = ReadFile(intact);
  const auto [data, size] = PackedData(intact, kSheetPart);
  ASSERT_GT(size, std::size_t{100000});

  const Outcome whole = Read(intact, false);
  ASSERT_EQ(whole.read_error, "");
  ASSERT_EQ(whole.cells.size(), 90000u);
  EXPECT_TRUE(Read(intact, true).cells == whole.cells);

  struct Case {
    const char* name;
    std::string bytes;
  };
  std::vector<Case> cases;
  // Deflated data garbled two thirds of the way in.
  std::string garbled = bytes;
  for (std::size_t i = data + size * 2 / 3; i < data + size * 2 / 3 + 64; ++i) garbled[i] ^= 0x5A;
  cases.push_back({"garbled", garbled});
  // The last bytes of the deflated data lost to zeros: the stream ends early.
  std::string zeroed = bytes;
  for (std::size_t i = data + size - 4096; i < data + size; ++i) zeroed[i] = 0;
  cases.push_back({"zeroed", zeroed});
  // One flipped bit that inflates fine: caught by the checksum at the end.
  std::string flipped = bytes;
  flipped[data + size / 2] ^= 0x01;
  cases.push_back({"flipped", flipped});
  // Cut short: the table of contents is gone.
  cases.push_back({"cut", bytes.substr(0, data + size / 2)});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir.path() / (std::string(c.name) + ".xlsx");
    WriteBytes(path, c.bytes);
    const Outcome one = Read(path, false);
    // Inflated ahead, and read from the file instead of from memory: the
    // same cells, then the same error.
    for (const auto& [ahead, from_file] : {std::pair{true, false}, {false, true}, {true, true}}) {
      SCOPED_TRACE(std::string(ahead ? "ahead" : "") + (from_file ? " from the file" : ""));
      const Outcome two = Read(path, ahead, from_file);
      EXPECT_EQ(two.open_error, one.open_error);
      EXPECT_EQ(two.read_error, one.read_error);
      EXPECT_TRUE(two.cells == one.cells) << one.cells.size() << " cells, " << two.cells.size();
    }
    if (std::string(c.name) == "cut") {
      EXPECT_NE(one.open_error, "");
    } else {
      EXPECT_NE(one.read_error, "");
      // The cells before the damage are kept.
      const auto [kept, _] = std::mismatch(one.cells.begin(), one.cells.end(), whole.cells.begin());
      EXPECT_GT(kept - one.cells.begin(), 10000);
    }
  }
}

}  // namespace dialsift::sheet
