// OpenDocument spreadsheets: .ods packages and flat .fods files.
//
// The sheets of a document follow one another in one XML part, which can
// only be read from its start. Opening parses it once, for the sheet names,
// and keeps the cells of the sheets as they pass, up to a memory budget; a
// sheet kept is then read from memory, any other by parsing the part again.
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "sheet/ods/ods_content.h"
#include "sheet/readers.h"

namespace dialsift::sheet {

namespace {

// Largest flat .fods file read; it is held whole while it is parsed.
constexpr std::uintmax_t kMaxFlatSize = std::uintmax_t{1} << 30;
// Memory for the cells kept at opening, over all sheets.
constexpr std::size_t kKeepBudget = std::size_t{64} << 20;

using ods::ParseContent;

struct KeptCell {
  std::uint32_t row;
  std::uint32_t column;
  std::uint32_t offset;
  std::uint32_t length;
};

struct KeptSheet {
  std::string text;
  std::vector<KeptCell> cells;
  Status status;
  bool complete = false;
};

// At opening: takes every sheet's name, and its cells while the budget lasts.
class KeepingRouter final : public ods::SheetRouter, public CellSink {
 public:
  KeepingRouter(std::vector<SheetInfo>& names, std::vector<KeptSheet>& kept, std::size_t budget)
      : names_(names), kept_(kept), budget_(budget) {}

  CellSink* BeginSheet(std::size_t, std::string_view name) override {
    names_.push_back({std::string(name)});
    kept_.emplace_back();
    return over_budget_ ? nullptr : this;
  }
  bool EndSheet(std::size_t index, const Status& status) override {
    if (!over_budget_) {
      kept_[index].status = status;
      kept_[index].complete = true;
    }
    return true;
  }
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (over_budget_) return;
    auto& sheet = kept_.back();
    used_ += text.size() + sizeof(KeptCell);
    if (used_ > budget_) {
      // From here on, sheets are parsed again when they are read.
      over_budget_ = true;
      sheet = KeptSheet{};
      return;
    }
    sheet.cells.push_back({row, column, static_cast<std::uint32_t>(sheet.text.size()),
                           static_cast<std::uint32_t>(text.size())});
    sheet.text += text;
  }

 private:
  std::vector<SheetInfo>& names_;
  std::vector<KeptSheet>& kept_;
  std::size_t budget_;
  std::size_t used_ = 0;
  bool over_budget_ = false;
};

// Reading one sheet by parsing the document again.
class TargetRouter final : public ods::SheetRouter {
 public:
  TargetRouter(std::size_t target, CellSink& sink) : target_(target), sink_(sink) {}
  CellSink* BeginSheet(std::size_t index, std::string_view) override {
    return index == target_ ? &sink_ : nullptr;
  }
  bool EndSheet(std::size_t, const Status& status) override {
    found_ = true;
    status_ = status;
    return false;
  }
  bool found() const { return found_; }
  const Status& status() const { return status_; }

 private:
  std::size_t target_;
  CellSink& sink_;
  bool found_ = false;
  Status status_;
};

class OdsWorkbook final : public Workbook {
 public:
  explicit OdsWorkbook(ParseContent parse) : parse_(std::move(parse)) {}

  Status Load(std::size_t keep_budget) {
    KeepingRouter router(sheets_, kept_, keep_budget);
    ods::SheetHandler handler(router);
    return parse_(handler);
  }

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= sheets_.size()) return NoSuchSheet();
    if (kept_[index].complete) {
      const auto& sheet = kept_[index];
      std::uint32_t row = 0;
      for (const auto& cell : sheet.cells) {
        if (cell.row != row) {
          if (row != 0 && sink.Cancelled()) return Status::Ok();
          row = cell.row;
        }
        sink.Cell(cell.row, cell.column,
                  std::string_view(sheet.text).substr(cell.offset, cell.length));
      }
      return sheet.status;
    }
    TargetRouter router(index, sink);
    ods::SheetHandler handler(router);
    if (auto status = parse_(handler); !status) return status;
    if (!router.found())
      return Error{ErrorKind::kMissingPart, "the worksheet is missing from the document"};
    return router.status();
  }

 private:
  ParseContent parse_;
  std::vector<SheetInfo> sheets_;
  std::vector<KeptSheet> kept_;
};

// True when the manifest says that the content is encrypted.
bool IsEncrypted(const ZipArchive& zip) {
  if (!zip.Has("META-INF/manifest.xml")) return false;
  auto manifest = zip.ReadAll("META-INF/manifest.xml", 16 << 20);
  return manifest && manifest->find("encryption-data") != std::string::npos;
}

}  // namespace

WorkbookResult ods::OpenDocument(ParseContent parse, std::size_t keep_budget) {
  auto book = std::make_unique<OdsWorkbook>(std::move(parse));
  if (auto status = book->Load(keep_budget); !status) return status.error();
  return std::unique_ptr<Workbook>(std::move(book));
}

WorkbookResult OpenOds(const std::filesystem::path&, ZipArchive zip) {
  if (IsEncrypted(zip)) return PasswordProtected();
  if (!zip.Has("content.xml")) return MissingPart("content.xml");
  auto shared = std::make_shared<ZipArchive>(std::move(zip));
  return ods::OpenDocument(
      [shared](XmlHandler& handler) { return ParseXmlPart(*shared, "content.xml", handler); },
      kKeepBudget);
}

WorkbookResult OpenFlatOds(const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return CannotReadFile();
  if (size > kMaxFlatSize) {
    return Error{ErrorKind::kTooLarge,
                 "flat OpenDocument file too large (" + std::to_string(size >> 20) + " MB)"};
  }
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
  std::ifstream in(path, std::ios::binary);
  if (!in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()))) {
    return CannotReadFile();
  }
  return ods::OpenDocument(
      [bytes](XmlHandler& handler) { return ParseXml(*bytes, "the document", handler); },
      kKeepBudget);
}

}  // namespace dialsift::sheet
