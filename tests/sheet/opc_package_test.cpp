// The package layer shared by the .xlsx and .xlsb readers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "sheet/opc/package.h"
#include "sheet/opc/shared_strings.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::opc {
namespace {

constexpr const char* kRelsOpen =
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
constexpr const char* kSheetType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";

ZipArchive Package(const test::TempDir& dir,
                   const std::vector<std::pair<std::string, std::string>>& entries) {
  const auto path = dir.path() / "p.zip";
  test::WriteZip(path, entries);
  auto zip = ZipArchive::Open(path);
  EXPECT_TRUE(zip) << zip.error().reason;
  return std::move(zip.value());
}

TEST(OpcPartNames, TargetsResolveAgainstTheirSourceFolder) {
  EXPECT_EQ(ResolvePartName("xl", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(ResolvePartName("xl/", "/xl/styles.xml"), "xl/styles.xml");
  EXPECT_EQ(ResolvePartName("xl/worksheets", "../media/./a.png"), "xl/media/a.png");
  EXPECT_EQ(ResolvePartName("", "xl//workbook.xml"), "xl/workbook.xml");
  // ".." never climbs above the package root.
  EXPECT_EQ(ResolvePartName("xl", "../../../etc/passwd"), "etc/passwd");
}

TEST(OpcRelationships, FoundByIdWithTheFirstOfAnIdCounting) {
  test::TempDir dir;
  std::string rels = kRelsOpen;
  for (int i = 1; i <= 3000; ++i) {
    rels += "<Relationship Id=\"rId" + std::to_string(i) + "\" Type=\"" + kSheetType +
            "\" Target=\"worksheets/sheet" + std::to_string(i) + ".xml\"/>";
  }
  rels += "<Relationship Id=\"rId2\" Type=\"x/styles\" Target=\"late.xml\"/>";
  rels +=
      "<Relationship Id=\"rX\" Type=\"x/hyperlink\" Target=\"http://a.example/\" "
      "TargetMode=\"External\"/>";
  rels += "</Relationships>";
  const ZipArchive zip = Package(dir, {{"xl/_rels/workbook.xml.rels", rels}});
  auto read = ReadRelationships(zip, "xl/workbook.xml");
  ASSERT_TRUE(read) << read.error().reason;
  EXPECT_EQ(read->All().size(), 3002u);
  ASSERT_NE(read->ById("rId2999"), nullptr);
  EXPECT_EQ(read->ById("rId2999")->target, "xl/worksheets/sheet2999.xml");
  EXPECT_EQ(read->ById("rId2")->target, "xl/worksheets/sheet2.xml");
  EXPECT_EQ(read->ById("rId0"), nullptr);
  EXPECT_EQ(read->ById("rX")->target, "http://a.example/");
  EXPECT_TRUE(read->ById("rX")->external);
  EXPECT_EQ(read->FirstInternal("hyperlink"), nullptr);
  EXPECT_EQ(read->FirstInternal("worksheet")->id, "rId1");

  // A part without a relationships part has none.
  auto none = ReadRelationships(zip, "xl/worksheets/sheet1.xml");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->All().empty());
}

TEST(OpcRelationships, ElementsOfOtherNamespacesAreNotRelationships) {
  test::TempDir dir;
  const std::string rels = std::string(kRelsOpen) +
                           R"(<x:Relationship xmlns:x="urn:other" Id="a" Type="t/worksheet" )"
                           R"(Target="fake.xml"/>)"
                           R"(<Relationship Id="b" Type="t/worksheet" Target="real.xml"/>)"
                           "</Relationships>";
  const ZipArchive zip = Package(dir, {{"_rels/.rels", rels}});
  auto read = ReadRelationships(zip, "");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->ById("a"), nullptr);
  ASSERT_NE(read->ById("b"), nullptr);
  EXPECT_EQ(read->ById("b")->target, "real.xml");
}

TEST(OpcRelationships, DamagedXmlIsAnError) {
  test::TempDir dir;
  const ZipArchive zip = Package(dir, {{"_rels/.rels", std::string(kRelsOpen) + "<Relation"}});
  auto read = ReadRelationships(zip, "");
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().kind, ErrorKind::kDamagedXml);
}

TEST(OpcContentTypes, DefaultsAndOverridesAreBothDeclarations) {
  test::TempDir dir;
  const ZipArchive zip = Package(
      dir, {{"[Content_Types].xml",
             R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
             R"(<Default Extension="bin" ContentType="application/x-bin"/>)"
             R"(<Override PartName="/xl/workbook.xml" ContentType="application/main+xml"/>)"
             R"(</Types>)"}});
  auto types = ReadContentTypes(zip);
  ASSERT_TRUE(types) << types.error().reason;
  EXPECT_TRUE(types->Any([](std::string_view t) { return t == "application/x-bin"; }));
  EXPECT_TRUE(types->Any([](std::string_view t) { return t.ends_with("main+xml"); }));
  EXPECT_FALSE(types->Any([](std::string_view t) { return t.empty(); }));
}

TEST(OpcSharedStrings, OneBufferWithOneCap) {
  SharedStrings table;
  for (const char* s : {"alpha", "", "\xC3\xA9t\xC3\xA9"}) {
    ASSERT_TRUE(table.Fits(std::string_view(s).size()));
    table.Append(s);
    table.End();
  }
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0], "alpha");
  EXPECT_EQ(table[1], "");
  EXPECT_EQ(table[2], "\xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(table.Fits(SharedStrings::kMaxBytes));
  EXPECT_EQ(SharedStrings::TooLarge().kind, ErrorKind::kTooLarge);
}

// A table whose text and offsets grow past the size at which their buffers
// are mapped keeps every string, edited in place or not, through Shrink and
// a move, and takes more strings after Shrink.
TEST(OpcSharedStrings, LargeTablesKeepEveryString) {
  const auto text = [](std::size_t i) {
    return std::to_string(i) + std::string(i % 7, static_cast<char>('a' + i % 26));
  };
  SharedStrings table;
  constexpr std::size_t kStrings = 400'000;
  for (std::size_t i = 0; i < kStrings; ++i) {
    ASSERT_TRUE(table.Fits(text(i).size()));
    table.Append(text(i));
    if (i % 1000 == 0) {
      table.Append("-cut");
      table.KeepPending(table.Pending().size() - 4);
    }
    table.End();
  }
  table.Shrink();
  for (std::size_t i = kStrings; i < kStrings + 10; ++i) {
    table.Append(text(i));
    table.End();
  }
  const SharedStrings moved = std::move(table);
  ASSERT_EQ(moved.size(), kStrings + 10);
  for (std::size_t i = 0; i < moved.size(); ++i) ASSERT_EQ(moved[i], text(i)) << i;
}

}  // namespace
}  // namespace dialsift::sheet::opc
