// The .xls reader: Excel 5, 95 and 97-2003 workbooks (BIFF5, BIFF7, BIFF8)
// inside an OLE2 compound file, and the single-worksheet files of Excel 2.x
// to 4.0 (BIFF2-4), which are bare record streams (as BIFF5-8 streams taken
// out of their container are read too). The workbook globals (sheet list, shared
// strings, styles) are read when the workbook opens; each worksheet is read
// from its BOF record when asked for, so memory follows the shared strings,
// never the number of rows.
#include <memory>
#include <utility>
#include <vector>

#include "sheet/readers.h"
#include "sheet/xls/compound_file.h"
#include "sheet/xls/file_source.h"
#include "sheet/xls/sheet_cells.h"
#include "sheet/xls/workbook_globals.h"
#include "sheet/xls/xls_workbook.h"

namespace dialsift::sheet {

namespace {

class XlsWorkbook final : public Workbook {
 public:
  XlsWorkbook(std::unique_ptr<xls::ByteSource> file, xls::WorkbookGlobals globals)
      : file_(std::move(file)), reader_(*file_), globals_(std::move(globals)) {
    for (const auto& s : globals_.sheets) infos_.push_back({s.name});
  }

  std::span<const SheetInfo> Sheets() const override { return infos_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= globals_.sheets.size()) return NoSuchSheet();
    return xls::ReadSheetCells(reader_, globals_.sheets[index].offset, globals_, sink);
  }

 private:
  std::unique_ptr<xls::ByteSource> file_;
  xls::RecordReader reader_;
  xls::WorkbookGlobals globals_;
  std::vector<SheetInfo> infos_;
};

WorkbookResult OpenFromStream(std::unique_ptr<xls::ByteSource> stream,
                              std::string_view lone_sheet_name) {
  xls::RecordReader reader(*stream);
  auto globals = xls::ReadWorkbookGlobals(reader, lone_sheet_name);
  if (!globals) return globals.error();
  return std::unique_ptr<Workbook>(
      std::make_unique<XlsWorkbook>(std::move(stream), std::move(globals.value())));
}

WorkbookResult OpenFromContainer(Result<std::unique_ptr<xls::CompoundFile>> opened) {
  if (!opened) return opened.error();
  auto file = std::move(opened.value());
  switch (file->content()) {
    case xls::CompoundContent::kEncryptedPackage:
      return PasswordProtected();
    case xls::CompoundContent::kOther:
      return NotAWorkbook("an OLE2 compound file without a workbook stream");
    case xls::CompoundContent::kWorkbook:
      break;
  }
  return OpenFromStream(std::move(file), "Sheet1");
}

}  // namespace

WorkbookResult OpenCompoundFile(const std::filesystem::path& path) {
  return OpenFromContainer(xls::CompoundFile::Open(path));
}

WorkbookResult OpenBareBiff(const std::filesystem::path& path) {
  auto file = xls::FileSource::Open(path);
  if (!file) return file.error();
  // Excel names the one sheet of such a file after the file.
  return OpenFromStream(std::move(file.value()), path.stem().string());
}

namespace xls {

WorkbookResult OpenCompoundFileInMemory(std::span<const std::uint8_t> bytes) {
  return OpenFromContainer(CompoundFile::FromMemory(bytes));
}

WorkbookResult OpenBareBiffInMemory(std::span<const std::uint8_t> bytes) {
  return OpenFromStream(std::make_unique<MemorySource>(bytes), "Sheet1");
}

}  // namespace xls

}  // namespace dialsift::sheet
