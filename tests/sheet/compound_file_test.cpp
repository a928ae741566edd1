// The compound-file container: streams read back byte for byte wherever
// they lie, the content judged by the stream names, and damage borne where
// the workbook stream is intact and named where it is not.
#include "sheet/xls/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "sheet/xls_builder.h"

namespace dialsift::sheet::xls {
namespace {

using test::xls::Bytes;

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return b;
}

void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The whole stream, read in pieces of `step` bytes; empty when a read fails.
std::optional<Bytes> ReadAll(ByteSource& s, std::size_t step) {
  Bytes out(static_cast<std::size_t>(s.Size()));
  for (std::size_t at = 0; at < out.size(); at += step) {
    const std::size_t n = std::min(step, out.size() - at);
    if (!s.Read(at, std::span(out).subspan(at, n))) return std::nullopt;
  }
  return out;
}

TEST(CompoundFile, StreamsReadBackWhereverTheyLie) {
  // Mini stream below 4096 bytes, sectors from there on; another stream
  // before the workbook's moves it off the first sectors.
  for (const std::size_t size : {1u, 64u, 65u, 3000u, 4095u, 4096u, 4097u, 70000u}) {
    const Bytes data = Pattern(size);
    const Bytes file = test::xls::CompoundFile(
        {{"\x05SummaryInformation", Pattern(size < 4096 ? 200 : 5000)}, {"Workbook", data}});
    auto cf = CompoundFile::FromMemory(file);
    ASSERT_TRUE(cf) << size << ": " << cf.error().reason;
    ASSERT_EQ((*cf)->content(), CompoundContent::kWorkbook);
    ASSERT_EQ((*cf)->Size(), size);
    for (const std::size_t step : {std::size_t{1000}, std::size_t{63}, size}) {
      EXPECT_EQ(ReadAll(**cf, step), data) << size << " in pieces of " << step;
    }
    std::uint8_t byte = 0;
    EXPECT_FALSE((*cf)->Read(size, std::span(&byte, 1)));
  }

  // From a file as from memory; a missing file is an error.
  const Bytes data = Pattern(9000);
  const Bytes file = test::xls::CompoundFile({{"Workbook", data}});
  test::TempDir dir;
  std::ofstream(dir.path() / "b.xls", std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  auto cf = CompoundFile::Open(dir.path() / "b.xls");
  ASSERT_TRUE(cf) << cf.error().reason;
  EXPECT_EQ(ReadAll(**cf, 4096), data);
  EXPECT_FALSE(CompoundFile::Open(dir.path() / "none.xls"));
}

TEST(CompoundFile, ContentIsJudgedByTheStreamNames) {
  struct Case {
    std::vector<std::string> names;
    CompoundContent content;
    std::string stream;
  };
  const Case cases[] = {
      {{"Workbook"}, CompoundContent::kWorkbook, "Workbook"},
      {{"Book"}, CompoundContent::kWorkbook, "Book"},
      {{"WORKBOOK"}, CompoundContent::kWorkbook, "WORKBOOK"},
      {{"Book", "Workbook"}, CompoundContent::kWorkbook, "Workbook"},
      {{"EncryptedInfo", "EncryptedPackage"}, CompoundContent::kEncryptedPackage, ""},
      {{"WordDocument"}, CompoundContent::kOther, ""},
      {{}, CompoundContent::kOther, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, Bytes>> streams;
    for (const auto& n : c.names) streams.emplace_back(n, Pattern(100));
    auto cf = CompoundFile::FromMemory(test::xls::CompoundFile(streams));
    ASSERT_TRUE(cf) << c.names.size() << ": " << cf.error().reason;
    EXPECT_EQ((*cf)->content(), c.content) << c.stream;
    EXPECT_EQ((*cf)->stream_name(), c.stream);
  }
}

TEST(CompoundFile, DamageIsBorneWhereTheStreamIsIntactAndNamedWhereNot) {
  // Layout of the files below (512-byte sectors): header, FAT at 512,
  // directory at 1024 (root entry, then the workbook's at 1152). A regular
  // stream of 5000 bytes fills sectors 2-11 and ends at 6536; a mini stream
  // of 3000 bytes has its mini FAT at 1536 and ends at 5048.
  constexpr std::size_t kFat = 512, kRoot = 1024, kEntry = 1152, kMiniFat = 1536;
  struct Case {
    const char* what;
    bool mini;
    std::function<void(Bytes&)> spoil;
    const char* error;  // null: the stream reads back whole
  };
  const Case cases[] = {
      {"the last sector cut short after the stream's end", false, [](Bytes& f) { f.resize(6536); },
       nullptr},
      {"the same in the mini stream", true, [](Bytes& f) { f.resize(5048); }, nullptr},
      {"a header that overstates the FAT", false, [](Bytes& f) { Set32(f, 44, 8388610); }, nullptr},
      {"garbage in the upper half of a 32-bit size", false,
       [](Bytes& f) { Set32(f, kEntry + 124, 0xFFFFFFFF); }, nullptr},
      {"a broken tree of siblings", false, [](Bytes& f) { Set32(f, kRoot + 76, 77); }, nullptr},
      {"a chain that loops", false, [](Bytes& f) { Set32(f, kFat + 4 * 5, 3); },
       "the sector chain of the workbook stream is broken"},
      {"a chain that leaves the file", false, [](Bytes& f) { Set32(f, kFat + 4 * 5, 1000); },
       "the sector chain of the workbook stream is broken"},
      {"a chain that ends early", false, [](Bytes& f) { Set32(f, kFat + 4 * 5, 0xFFFFFFFE); },
       "the workbook stream claims 5000 bytes but its sectors hold 2048 bytes"},
      {"a stream that claims a gigabyte", false, [](Bytes& f) { Set32(f, kEntry + 120, 1u << 30); },
       "the workbook stream claims 1024 MB, more than the file holds"},
      {"a mini chain that loops", true, [](Bytes& f) { Set32(f, kMiniFat + 4 * 10, 5); },
       "the mini sector chain of the workbook stream is broken"},
      {"a stream cut by the end of the file", false, [](Bytes& f) { f.resize(3000); },
       "the workbook stream claims 5000 bytes, more than the file holds"},
      {"a FAT sector past the end", false, [](Bytes& f) { Set32(f, 76, 0xEEEE); },
       "its allocation table lies outside the file"},
      {"no root entry", false, [](Bytes& f) { f[kRoot + 66] = 0; },
       "its directory has no root entry"},
      {"sectors of a megabyte", false, [](Bytes& f) { f[30] = 20; },
       "unusable sector sizes, 2^20 and 2^6 bytes"},
      {"a header cut short", false, [](Bytes& f) { f.resize(300); },
       "the file ends inside its header"},
      {"no signature", false, [](Bytes& f) { f[0] = 'P'; }, "no compound-file signature"},
  };
  for (const Case& c : cases) {
    const Bytes data = Pattern(c.mini ? 3000 : 5000);
    Bytes file = test::xls::CompoundFile({{"Workbook", data}});
    c.spoil(file);
    auto cf = CompoundFile::FromMemory(file);
    if (c.error == nullptr) {
      ASSERT_TRUE(cf) << c.what << ": " << cf.error().reason;
      EXPECT_EQ(ReadAll(**cf, 700), data) << c.what;
      continue;
    }
    ASSERT_FALSE(cf) << c.what;
    EXPECT_EQ(cf.error().kind, ErrorKind::kDamagedContainer) << c.what;
    EXPECT_EQ(cf.error().reason, "damaged OLE2 compound file (" + std::string(c.error) + ")")
        << c.what;
  }

  // Cut inside the stream's last sector: what the file holds reads, the
  // rest is a failed read rather than made-up bytes.
  Bytes file = test::xls::CompoundFile({{"Workbook", Pattern(5000)}});
  file.resize(6400);
  auto cf = CompoundFile::FromMemory(file);
  ASSERT_TRUE(cf) << cf.error().reason;
  Bytes head(4000);
  EXPECT_TRUE((*cf)->Read(0, head));
  EXPECT_FALSE(ReadAll(**cf, 5000));
}

}  // namespace
}  // namespace dialsift::sheet::xls
