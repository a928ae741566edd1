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

#include "sheet/ods/flat_document.h"
#include "sheet/ods/kept_cells.h"
#include "sheet/ods/ods_content.h"
#include "sheet/readers.h"

namespace dialsift::sheet {

namespace {

// Largest flat .fods file read.
constexpr std::uintmax_t kMaxFlatSize = std::uintmax_t{1} << 30;
// Memory for the cells kept at opening, over all sheets.
constexpr std::size_t kKeepBudget = std::size_t{64} << 20;

using ods::KeptCells;
using ods::ParseContent;

struct KeptSheet {
  KeptCells::Mark begin;
  KeptCells::Mark end;
  Status status;
  bool complete = false;
};

// Routes one parse of the document. At opening it takes every sheet's name
// and keeps the cells of the sheets while the store's budget lasts. Later,
// to read a sheet that was not kept, the document is parsed again: that
// sheet goes to the reader's sink, and the sheets after it are kept while
// the budget lasts, so reading the sheets in order parses the document once
// for every budget's worth of cells, never once per sheet.
class KeepingRouter final : public ods::SheetRouter, public CellSink {
 public:
  static constexpr std::size_t kNoTarget = static_cast<std::size_t>(-1);

  KeepingRouter(std::vector<SheetInfo>* names, std::vector<KeptSheet>& kept, KeptCells& store,
                std::size_t target = kNoTarget, CellSink* sink = nullptr)
      : names_(names), kept_(kept), store_(store), target_(target), sink_(sink) {}

  CellSink* BeginSheet(std::size_t index, std::string_view name) override {
    if (names_) {
      names_->push_back({std::string(name)});
      kept_.emplace_back();
    }
    current_ = index;
    if (index == target_) return sink_;
    if ((target_ != kNoTarget && index < target_) || over_budget_ || index >= kept_.size() ||
        kept_[index].complete) {
      return nullptr;
    }
    kept_[index].begin = store_.End();
    return this;
  }
  bool EndSheet(std::size_t index, const Status& status) override {
    if (index == target_) {
      found_ = true;
      target_status_ = status;
      return !over_budget_;
    }
    if (!over_budget_) {
      kept_[index].end = store_.End();
      kept_[index].status = status;
      kept_[index].complete = true;
      return true;
    }
    // At opening the names of the later sheets are still wanted.
    return names_ != nullptr;
  }
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (over_budget_ || store_.Add(row, column, text)) return;
    // From here on, sheets are parsed again when they are read.
    over_budget_ = true;
    store_.DropAfter(kept_[current_].begin);
  }

  // A sheet being kept beyond the budget is parsed again when it is read.
  bool SkipRest() override { return over_budget_ && current_ != target_; }

  bool found() const { return found_; }
  const Status& target_status() const { return target_status_; }

 private:
  std::vector<SheetInfo>* names_;
  std::vector<KeptSheet>& kept_;
  KeptCells& store_;
  std::size_t target_;
  CellSink* sink_;
  std::size_t current_ = 0;
  bool over_budget_ = false;
  bool found_ = false;
  Status target_status_;
};

class OdsWorkbook final : public Workbook {
 public:
  OdsWorkbook(ParseContent parse, std::size_t keep_budget, std::size_t first_chunk,
              std::size_t last_chunk, std::shared_ptr<const ods::StyleSet> common)
      : parse_(std::move(parse)),
        store_(first_chunk, last_chunk, keep_budget),
        common_(std::move(common)) {}

  Status Load() {
    KeepingRouter router(&sheets_, kept_, store_);
    ods::SheetHandler handler(router, common_);
    return parse_(handler);
  }

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= sheets_.size()) return NoSuchSheet();
    if (kept_[index].complete) {
      const auto& sheet = kept_[index];
      std::uint32_t last_row = 0;
      bool cancelled = false;
      store_.Read(sheet.begin, sheet.end,
                  [&](std::uint32_t row, std::uint32_t column, std::string_view text) {
                    if (row != last_row) {
                      if (last_row != 0 && sink.Cancelled()) {
                        cancelled = true;
                        return false;
                      }
                      last_row = row;
                    }
                    sink.Cell(row, column, text);
                    return true;
                  });
      return cancelled ? Status::Ok() : sheet.status;
    }
    // What was kept has been read (sheets are read in order); the sheets
    // after this one are kept afresh.
    for (auto& sheet : kept_) sheet = KeptSheet{};
    store_.Clear();
    KeepingRouter router(nullptr, kept_, store_, index, &sink);
    ods::SheetHandler handler(router, common_);
    if (auto status = parse_(handler); !status) return status;
    if (!router.found())
      return Error{ErrorKind::kMissingPart, "the worksheet is missing from the document"};
    return router.target_status();
  }

 private:
  ParseContent parse_;
  KeptCells store_;
  std::shared_ptr<const ods::StyleSet> common_;
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

WorkbookResult ods::OpenDocument(ParseContent parse, std::size_t keep_budget,
                                 std::size_t first_chunk, std::size_t last_chunk,
                                 std::shared_ptr<const StyleSet> common) {
  auto book = std::make_unique<OdsWorkbook>(std::move(parse), keep_budget, first_chunk, last_chunk,
                                            std::move(common));
  if (auto status = book->Load(); !status) return status.error();
  return std::unique_ptr<Workbook>(std::move(book));
}

WorkbookResult OpenOds(const std::filesystem::path&, ZipArchive zip) {
  if (IsEncrypted(zip)) return PasswordProtected();
  if (!zip.Has("content.xml")) return MissingPart("content.xml");
  // The common styles, which the cell styles of the content may name. A
  // package without them, or with them damaged, still shows its cells:
  // those that need them keep their stored text.
  auto common = std::make_shared<ods::StyleSet>();
  if (zip.Has("styles.xml")) {
    ods::StyleCollector collector(*common);
    if (!ParseXmlPart(zip, "styles.xml", collector)) *common = ods::StyleSet{};
  }
  auto shared = std::make_shared<ZipArchive>(std::move(zip));
  return ods::OpenDocument(
      [shared](XmlHandler& handler) { return ParseXmlPart(*shared, "content.xml", handler); },
      kKeepBudget, ods::kFirstKeepChunk, ods::kLastKeepChunk, std::move(common));
}

Result<ods::ParseContent> ods::FlatContent(const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return CannotReadFile();
  if (size > kMaxFlatSize) {
    return Error{ErrorKind::kTooLarge,
                 "flat OpenDocument file too large (" + std::to_string(size >> 20) + " MB)"};
  }
  if (!std::ifstream(path, std::ios::binary)) return CannotReadFile();
  // Each parse streams the file afresh (UTF-16 turned into UTF-8 on the
  // way).
  return ParseContent([path](XmlHandler& handler) -> Status {
    const auto in = OpenFlatStream(path);
    if (!*in) return CannotReadFile();
    return ParseXml(*in, "the document", handler);
  });
}

WorkbookResult OpenFlatOds(const std::filesystem::path& path) {
  auto content = ods::FlatContent(path);
  if (!content) return content.error();
  return ods::OpenDocument(std::move(*content), kKeepBudget);
}

}  // namespace dialsift::sheet
