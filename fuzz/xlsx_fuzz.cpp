// libFuzzer target for the SpreadsheetML reader: opens the input as a
// workbook and reads every sheet.
//
// The first byte picks what the rest is:
//   0: a whole file (a zip, or anything else OpenWorkbook is given);
//   1: the XML of a worksheet, packed into a small workbook;
//   2: the XML of the shared strings, next to a sheet that uses them;
//   3: the XML of the styles, next to a sheet whose cells use them.
// Packing the XML here lets the fuzzer reach the parsers without first
// having to forge deflate streams and CRCs.
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "sheet/workbook.h"

namespace {

constexpr std::string_view kContentTypes =
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>)";
constexpr std::string_view kRootRels =
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
constexpr std::string_view kWorkbook =
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<workbookPr date1904="1"/><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>)";
constexpr std::string_view kWorkbookRels =
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
    R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>)";
constexpr std::string_view kSheet =
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
    R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c t="s" s="1"><v>1</v></c><c s="2"><v>45292.5</v></c>)"
    R"(<c s="3"><v>-0.125</v></c><c s="4" t="s"><v>2</v></c></row></sheetData></worksheet>)";
constexpr std::string_view kStrings =
    R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<si><t>555-0100</t></si><si><r><t>a_x000D_</t></r><r><t>b</t></r></si><si><t>x</t></si></sst>)";
constexpr std::string_view kStyles =
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<numFmts><numFmt numFmtId="164" formatCode="0.00;[Red]\-0.00;&quot;zero&quot;;@&quot; t&quot;"/></numFmts>)"
    R"(<cellXfs><xf numFmtId="0"/><xf numFmtId="49"/><xf numFmtId="22"/><xf numFmtId="164"/><xf numFmtId="164"/></cellXfs></styleSheet>)";

class Sink final : public dialsift::sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (row == 0 || column == 0 || row > dialsift::sheet::kMaxRows ||
        column > dialsift::sheet::kMaxColumns) {
      __builtin_trap();
    }
    bytes_ += text.size();
  }

 private:
  std::size_t bytes_ = 0;
};

bool AddPart(zip_t* z, const char* name, std::string_view data) {
  zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
  if (!src) return false;
  const zip_int64_t index = zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
  if (index < 0) {
    zip_source_free(src);
    return false;
  }
  zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  return true;
}

bool WritePackage(const std::string& path, int mode, std::string_view xml) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) return false;
  const bool ok = AddPart(z, "[Content_Types].xml", kContentTypes) &&
                  AddPart(z, "_rels/.rels", kRootRels) &&
                  AddPart(z, "xl/workbook.xml", kWorkbook) &&
                  AddPart(z, "xl/_rels/workbook.xml.rels", kWorkbookRels) &&
                  AddPart(z, "xl/worksheets/sheet1.xml", mode == 1 ? xml : kSheet) &&
                  AddPart(z, "xl/sharedStrings.xml", mode == 2 ? xml : kStrings) &&
                  AddPart(z, "xl/styles.xml", mode == 3 ? xml : kStyles);
  if (!ok) {
    zip_discard(z);
    return false;
  }
  return zip_close(z) == 0;
}

const std::string& TempPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("xlsx_fuzz_" + std::to_string(getpid()) + ".xlsx"))
          .string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int mode = data[0] % 4;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string& path = TempPath();
  if (mode == 0) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
    if (!out) return 0;
  } else if (!WritePackage(path, mode, rest)) {
    return 0;
  }
  auto workbook = dialsift::sheet::OpenWorkbook(path);
  if (workbook) {
    for (std::size_t i = 0; i < (*workbook)->Sheets().size(); ++i) {
      Sink sink;
      (void)(*workbook)->ReadSheet(i, sink);
    }
  } else if (workbook.error().reason.empty()) {
    __builtin_trap();  // every failure must say why
  }
  std::remove(path.c_str());
  return 0;
}
