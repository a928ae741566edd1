// The SpreadsheetML reader (.xlsx, .xlsm, .xltx, .xltm; transitional and
// Strict). The package relationships lead to the workbook part, whose
// relationships lead to the sheets, the styles and the shared strings: no
// part name is ever guessed, except xl/workbook.xml for a package that lacks
// its root relationships.
#include <optional>
#include <utility>

#include "sheet/opc/package.h"
#include "sheet/readers.h"
#include "sheet/xlsx/xlsx_parts.h"
#include "sheet/xlsx/xlsx_sheet.h"

namespace dialsift::sheet {

namespace {

using opc::RelTypeIs;

struct SheetSource {
  std::string part;            // empty for a sheet without a part
  std::optional<Error> error;  // set when the sheet cannot be read
};

class XlsxWorkbook final : public Workbook {
 public:
  XlsxWorkbook(ZipArchive zip, bool date1904)
      : zip_(std::move(zip)), engine_(date1904), date1904_(date1904) {}

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= sources_.size()) return NoSuchSheet();
    const SheetSource& source = sources_[index];
    if (source.error) return *source.error;
    if (source.part.empty()) return Status::Ok();  // a sheet without a part holds no cells
    const xlsx::SheetContext context{&strings_, styles_, &engine_, date1904_};
    // With a core to spare, a large sheet is parsed in stretches on two
    // threads, its cells handed on in order all the same; this thread
    // inflates it, as the parse of a stretch takes several times as long.
    const bool spare_core = zip_.InflatesAhead();
    auto entry = zip_.OpenEntry(source.part, !spare_core);
    if (!entry) return entry.error();
    if (spare_core && entry->Size() >= ZipArchive::kAheadMinSize) {
      SplitOptions options;
      options.container = "sheetData";
      options.child = "row";
      options.spare = [this] { return zip_.CoreToSpare(); };
      return ParseXmlSplit(
          [&entry](std::span<char> out) { return entry->Read(out); }, source.part,
          [&] { return std::make_unique<xlsx::SheetHandler>(context, source.part, sink); },
          options);
    }
    xlsx::SheetHandler handler(context, source.part, sink);
    return ParseXml(*entry, source.part, handler);
  }

  Status Load(const std::string& workbook_part, const xlsx::WorkbookPart& book) {
    auto rels = opc::ReadRelationships(zip_, workbook_part);
    if (!rels) return rels.error();
    for (const auto& sheet : book.sheets) {
      const opc::Relationship* rel = rels->ById(sheet.rel_id);
      SheetSource source;
      if (sheet.rel_id.empty()) {
        // Listed without any relationship (old files keep very hidden
        // remnants so): a sheet without cells.
      } else if (!rel) {
        source.error = Error{ErrorKind::kMissingPart,
                             "the workbook lists a sheet without its part (relationship \"" +
                                 sheet.rel_id + "\" is missing)"};
      } else if (!RelTypeIs(rel->type, "worksheet")) {
        continue;  // chart, dialog and macro sheets are not worksheets
      } else if (rel->external) {
        source.error = Error{ErrorKind::kMissingPart, "the sheet's part lies outside the workbook"};
      } else if (!zip_.Has(rel->target)) {
        source.error = MissingPart(rel->target);
      } else {
        source.part = rel->target;
      }
      sheets_.push_back({sheet.name});
      sources_.push_back(std::move(source));
    }
    for (const auto& r : rels->All()) {
      if (r.external) continue;
      // A missing styles part leaves every cell in General, as a
      // spreadsheet application repairing the file would.
      if (RelTypeIs(r.type, "styles") && styles_.empty() && zip_.Has(r.target)) {
        auto styles = xlsx::ReadStyles(zip_, r.target, engine_);
        if (!styles) return styles.error();
        styles_ = std::move(styles.value());
      } else if (RelTypeIs(r.type, "sharedStrings") && strings_.size() == 0 && zip_.Has(r.target)) {
        // A missing table is tolerated as a missing styles part is: the
        // cells that refer to it say so when they are read.
        auto strings = xlsx::ReadSharedStrings(zip_, r.target);
        if (!strings) return strings.error();
        strings_ = std::move(strings.value());
      }
    }
    return Status::Ok();
  }

 private:
  ZipArchive zip_;
  FormatEngine engine_;
  bool date1904_;
  std::vector<SheetInfo> sheets_;
  std::vector<SheetSource> sources_;
  std::vector<FormatEngine::Handle> styles_;
  opc::SharedStrings strings_;
};

}  // namespace

WorkbookResult OpenXlsx(const std::filesystem::path&, ZipArchive zip) {
  auto package = opc::ReadRelationships(zip, "");
  if (!package) return package.error();
  const opc::Relationship* office_document = package->FirstInternal("officeDocument");
  std::string workbook_part = office_document ? office_document->target : std::string();
  if (workbook_part.empty()) workbook_part = "xl/workbook.xml";
  if (!zip.Has(workbook_part)) return MissingPart(workbook_part);

  auto book = xlsx::ReadWorkbookPart(zip, workbook_part);
  if (!book) return book.error();
  auto workbook = std::make_unique<XlsxWorkbook>(std::move(zip), book->date1904);
  if (auto status = workbook->Load(workbook_part, *book); !status) return status.error();
  return std::unique_ptr<Workbook>(std::move(workbook));
}

}  // namespace dialsift::sheet
