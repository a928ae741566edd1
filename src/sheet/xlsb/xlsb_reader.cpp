// Binary workbooks (.xlsb): the zip package of an .xlsx with BIFF12 record
// streams in place of the XML parts.
#include <memory>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/opc/package.h"
#include "sheet/readers.h"
#include "sheet/xlsb/xlsb_parts.h"

namespace dialsift::sheet {

namespace {

class XlsbWorkbook final : public Workbook {
 public:
  explicit XlsbWorkbook(ZipArchive zip) : zip_(std::move(zip)) {}

  Status Load() {
    // The workbook part, as the package names it.
    std::string book_part = "xl/workbook.bin";
    auto package_rels = opc::ReadRelationships(zip_, "");
    if (!package_rels) return package_rels.error();
    if (const auto* rel = package_rels->FirstInternal("officeDocument")) book_part = rel->target;

    auto entry = zip_.OpenEntry(book_part);
    if (!entry) return entry.error();
    xlsb::ZipEntrySource book_source(std::move(entry.value()));
    auto book = xlsb::ParseBookPart(book_source, book_part);
    if (!book) return book.error();
    engine_.SetDate1904(book->date1904);

    auto rels = opc::ReadRelationships(zip_, book_part);
    if (!rels) return rels.error();
    for (auto& sheet : book->sheets) {
      const opc::Relationship* target = rels->ById(sheet.rel_id);
      // Chart, macro and dialog sheets are not worksheets.
      if (target && !opc::RelTypeIs(target->type, "worksheet")) continue;
      sheets_.push_back({std::move(sheet.name)});
      parts_.push_back(target && !target->external ? target->target : std::string());
    }

    if (const auto* rel = rels->FirstInternal("styles"); rel && zip_.Has(rel->target)) {
      auto styles_entry = zip_.OpenEntry(rel->target);
      if (!styles_entry) return styles_entry.error();
      xlsb::ZipEntrySource source(std::move(styles_entry.value()));
      auto styles = xlsb::ParseStyles(source, rel->target, engine_);
      if (!styles) return styles.error();
      styles_ = std::move(styles.value());
    }
    if (const auto* rel = rels->FirstInternal("sharedStrings"); rel && zip_.Has(rel->target)) {
      auto sst_entry = zip_.OpenEntry(rel->target);
      if (!sst_entry) return sst_entry.error();
      xlsb::ZipEntrySource source(std::move(sst_entry.value()));
      auto strings = xlsb::ParseSharedStrings(source, rel->target);
      if (!strings) return strings.error();
      strings_ = std::move(strings.value());
    }
    return Status::Ok();
  }

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= sheets_.size()) return NoSuchSheet();
    const std::string& part = parts_[index];
    if (part.empty()) {
      return Error{ErrorKind::kMissingPart, "the worksheet has no part in the package"};
    }
    auto entry = zip_.OpenEntry(part);
    if (!entry) return entry.error();
    xlsb::ZipEntrySource source(std::move(entry.value()));
    const xlsb::SheetContext context{&strings_, &styles_, &engine_};
    return xlsb::ParseSheet(source, part, context, sink);
  }

 private:
  ZipArchive zip_;
  FormatEngine engine_;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> parts_;
  std::vector<FormatEngine::Handle> styles_;
  opc::SharedStrings strings_;
};

}  // namespace

WorkbookResult OpenXlsb(const std::filesystem::path&, ZipArchive zip) {
  auto book = std::make_unique<XlsbWorkbook>(std::move(zip));
  if (auto status = book->Load(); !status) return status.error();
  return std::unique_ptr<Workbook>(std::move(book));
}

}  // namespace dialsift::sheet
