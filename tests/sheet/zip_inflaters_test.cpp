// Deflated entries inflated by ISA-L (read raw through libzip) and by libzip
// itself give the same bytes and, on damaged or hostile archives, the same
// error after the same bytes: the guards on sizes, the CRC, the expansion
// ratio and the inflate budget hold on both paths.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {
namespace {

constexpr const char* kPart = "xl/worksheets/sheet1.xml";

// Over a megabyte of rows (so that it is also inflated ahead), varied enough
// that its deflated data spans many blocks.
std::string Content() {
  std::string text = "<sheetData>";
  unsigned seed = 7;
  for (int r = 0; r < 24000; ++r) {
    seed = seed * 1103515245u + 12345u;
    text += "<row r=\"" + std::to_string(r) + "\"><c><v>(" + std::to_string(200 + seed % 800) +
            ") 555-" + std::to_string(1000 + (seed >> 8) % 9000) + "</v></c></row>";
  }
  return text + "</sheetData>";
}

std::uint32_t U32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// The archive's bytes with handles on the entry's fields, which are changed
// alike in its local header and in the central directory.
struct Packed {
  std::string bytes;
  std::size_t local = 0;    // offset of the local header
  std::size_t central = 0;  // of the central directory's header
  std::size_t Data() const {
    const auto u16 = [&](std::size_t at) {
      return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
             static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    return local + 30 + u16(local + 26) + u16(local + 28);
  }
  // Field offsets in the local header; the central one's are 2 further.
  void Set(std::size_t field, std::uint32_t value) {
    PutU32(bytes, local + field, value);
    PutU32(bytes, central + field + 2, value);
  }
  std::uint32_t Get(std::size_t field) const { return U32(bytes, local + field); }
  static constexpr std::size_t kCrc = 14, kPackedSize = 18, kSize = 22;
};

Packed Pack(const std::filesystem::path& path, const std::string& content) {
  test::WriteZip(path, {{"a.xml", "<a/>"}, {kPart, content}});
  Packed p{test::ReadFile(path)};
  const std::string name(kPart);
  p.local = p.bytes.find(
      "PK\x03\x04"
      "\x14",
      0);
  while (p.local != std::string::npos && p.bytes.compare(p.local + 30, name.size(), name) != 0) {
    p.local = p.bytes.find("PK\x03\x04", p.local + 4);
  }
  p.central = p.bytes.find("PK\x01\x02");
  while (p.central != std::string::npos &&
         p.bytes.compare(p.central + 46, name.size(), name) != 0) {
    p.central = p.bytes.find("PK\x01\x02", p.central + 4);
  }
  EXPECT_NE(p.local, std::string::npos);
  EXPECT_NE(p.central, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(p.bytes[p.local + 8]), ZIP_CM_DEFLATE);
  return p;
}

struct Outcome {
  std::string open_error;
  std::string bytes;
  std::string read_error;
  bool operator==(const Outcome&) const = default;
};

struct Way {
  bool fast;
  bool from_bytes;
  bool ahead;
  std::size_t buffer;
};

Outcome Read(const std::filesystem::path& path, const std::string& file_bytes, ZipLimits limits,
             Way way) {
  Outcome out;
  Result<ZipArchive> zip = [&] {
    if (!way.from_bytes) return ZipArchive::Open(path, limits);
    auto copy = std::make_unique<char[]>(file_bytes.size());
    std::memcpy(copy.get(), file_bytes.data(), file_bytes.size());
    return ZipArchive::OpenBytes(std::move(copy), file_bytes.size(), limits);
  }();
  if (!zip) {
    out.open_error = zip.error().reason;
    return out;
  }
  zip->SetFastInflate(way.fast);
  zip->SetInflateAhead(way.ahead);
  // The small part first: its reader's memory is then reused by the next.
  if (auto small = zip->ReadAll("a.xml", 100); !small || *small != "<a/>") {
    out.read_error = "a.xml unread";
    return out;
  }
  auto entry = zip->OpenEntry(kPart);
  if (!entry) {
    out.open_error = entry.error().reason;
    return out;
  }
  std::vector<char> buffer(way.buffer);
  while (true) {
    auto n = entry->Read(buffer);
    if (!n) {
      out.read_error = n.error().reason;
      break;
    }
    if (*n == 0) break;
    out.bytes.append(buffer.data(), *n);
  }
  return out;
}

TEST(ZipInflaters, SameBytesAndSameErrorsOnEveryPath) {
  test::TempDir dir;
  const std::string content = Content();
  ASSERT_GT(content.size(), ZipArchive::kAheadMinSize);
  const Packed intact = Pack(dir.path() / "intact.xlsx", content);
  const std::uint32_t size = intact.Get(Packed::kSize);
  const std::uint32_t packed = intact.Get(Packed::kPackedSize);
  ASSERT_EQ(size, content.size());

  struct Case {
    const char* name;
    std::function<void(Packed&)> damage;
    ZipLimits limits;
    const char* open_error;  // part of the error opening the entry, or ""
    const char* read_error;  // part of the error reading it, or "" for none
    // A stream cut short: zlib decodes the bits left at its end where ISA-L
    // stops at the last whole symbol, a match at most.
    std::size_t slack = 0;
  };
  ZipLimits ratio;
  ratio.ratio_floor = 1000;
  ratio.max_ratio = 2;
  ZipLimits budget;
  budget.max_inflated = 300000;
  ZipLimits entry_size;
  entry_size.max_entry_size = size - 1;
  const std::vector<Case> cases = {
      {"intact", nullptr, {}, "", ""},
      {"wrong CRC",
       [](Packed& p) { p.Set(Packed::kCrc, p.Get(Packed::kCrc) ^ 0x100); },
       {},
       "",
       "checksum mismatch"},
      {"declared smaller",
       [&](Packed& p) { p.Set(Packed::kSize, size - 70000); },
       {},
       "",
       "larger than its declared size"},
      // The bytes are whole and their CRC right: read, as libzip reads them.
      {"declared larger", [&](Packed& p) { p.Set(Packed::kSize, size + 5); }, {}, "", ""},
      {"stream cut short",
       [&](Packed& p) { p.Set(Packed::kPackedSize, packed / 2); },
       {},
       "",
       "checksum mismatch",
       258},
      {"garbled data",
       [](Packed& p) {
         for (std::size_t i = 0; i < 64; ++i) p.bytes[p.Data() + 3000 + i] ^= 0x5A;
       },
       {},
       "",
       "compressed data cannot be unpacked"},
      {"expands too much", nullptr, ratio, "times its packed size", ""},
      {"over the inflate budget", nullptr, budget, "", "unpacked out of its zip container"},
      {"entry too large", nullptr, entry_size, "is too large", ""},
  };
  const std::vector<Way> ways = {{false, false, false, 7919}, {true, false, false, 7919},
                                 {true, true, false, 65536},  {true, false, true, 7919},
                                 {false, true, true, 65536},  {true, true, true, 1 << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Packed p = intact;
    if (c.damage) c.damage(p);
    const auto path = dir.path() / "case.xlsx";
    { std::ofstream(path, std::ios::binary | std::ios::trunc) << p.bytes; }
    // libzip's inflate, on the caller's thread, from the file: the reference.
    const Outcome want = Read(path, p.bytes, c.limits, ways[0]);
    EXPECT_NE(want.open_error.find(c.open_error), std::string::npos) << want.open_error;
    if (*c.open_error) continue;
    if (*c.read_error) {
      EXPECT_NE(want.read_error.find(c.read_error), std::string::npos) << want.read_error;
    } else {
      EXPECT_EQ(want.read_error, "");
      EXPECT_TRUE(want.bytes == content);
    }
    // Whatever came before an error is the entry's own bytes.
    if (std::string(c.name) != "garbled data") {
      EXPECT_EQ(content.compare(0, want.bytes.size(), want.bytes), 0);
    }
    for (const Way& way : ways) {
      SCOPED_TRACE(std::string(way.fast ? "ISA-L" : "libzip") + (way.from_bytes ? " bytes" : "") +
                   (way.ahead ? " ahead" : "") + " buffer " + std::to_string(way.buffer));
      const Outcome got = Read(path, p.bytes, c.limits, way);
      EXPECT_EQ(got.open_error, want.open_error);
      EXPECT_EQ(got.read_error, want.read_error);
      if (c.slack == 0) {
        EXPECT_EQ(got.bytes.size(), want.bytes.size());
        EXPECT_TRUE(got.bytes == want.bytes);
      } else {
        EXPECT_LE(got.bytes.size(), want.bytes.size() + c.slack);
        EXPECT_GE(got.bytes.size() + c.slack, want.bytes.size());
        EXPECT_EQ(content.compare(0, got.bytes.size(), got.bytes), 0);
      }
    }
  }
}

// Two readers of deflated entries open at once, read in turns, each with
// memory of its own; and a reader dropped halfway leaves none of its state
// to the next.
TEST(ZipInflaters, ReadersOpenAtOnceAndDroppedHalfway) {
  test::TempDir dir;
  const std::string content = Content();
  const auto path = dir.path() / "two.zip";
  const std::string other = content.substr(0, content.size() / 3) + "<tail/>";
  test::WriteZip(path, {{"one.xml", content}, {"two.xml", other}});
  auto zip = ZipArchive::Open(path);
  ASSERT_TRUE(zip) << zip.error().reason;
  {
    auto dropped = zip->OpenEntry("one.xml");
    ASSERT_TRUE(dropped);
    std::vector<char> buffer(5000);
    ASSERT_TRUE(dropped->Read(buffer));
  }
  auto one = zip->OpenEntry("one.xml");
  auto two = zip->OpenEntry("two.xml");
  ASSERT_TRUE(one && two);
  std::string got_one, got_two;
  std::vector<char> buffer(3001);
  for (bool more = true; more;) {
    more = false;
    for (auto [entry, got] : {std::pair{&*one, &got_one}, {&*two, &got_two}}) {
      auto n = entry->Read(buffer);
      ASSERT_TRUE(n) << n.error().reason;
      got->append(buffer.data(), *n);
      more = more || *n > 0;
    }
  }
  EXPECT_TRUE(got_one == content);
  EXPECT_TRUE(got_two == other);
}

}  // namespace
}  // namespace dialsift::sheet
