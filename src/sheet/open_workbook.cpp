// Picks the reader from the file's first bytes and, for zip files, from the
// parts that the package declares. File names play no part, except that a
// text file's extension chooses its separator, as it does in a spreadsheet
// application.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "sheet/limits.h"
#include "sheet/ods/flat_document.h"
#include "sheet/opc/package.h"
#include "sheet/open_options.h"
#include "sheet/readers.h"

namespace dialsift::sheet {

namespace {

constexpr std::string_view kZipMagic = "PK\x03\x04";
constexpr std::string_view kEmptyZipMagic = "PK\x05\x06";
constexpr std::string_view kOle2Magic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

bool StartsWith(std::string_view data, std::string_view prefix) {
  return data.substr(0, prefix.size()) == prefix;
}

// A workbook stream outside a compound file begins with a BOF record: type
// 0x0009, 0x0209 or 0x0409 (BIFF2-4, which are always stored so), or 0x0809
// (BIFF5-8, a stream some tools write without its container).
bool IsBareBiff(std::string_view head) {
  if (head.size() < 4) return false;
  const auto b0 = static_cast<unsigned char>(head[0]);
  const auto b1 = static_cast<unsigned char>(head[1]);
  return b0 == 0x09 && (b1 == 0x00 || b1 == 0x02 || b1 == 0x04 || b1 == 0x08) && head[3] == 0;
}

// `whole`: the file's bytes, when they were read whole (`size` of them).
WorkbookResult OpenZipWorkbook(const std::filesystem::path& path, const OpenOptions& options,
                               std::unique_ptr<char[]> whole, std::size_t size) {
  auto zip = whole ? ZipArchive::OpenBytes(std::move(whole), size) : ZipArchive::Open(path);
  if (!zip) return zip.error();
  zip->SetInflateAhead(options.inflate_ahead, options.core_to_spare);
  if (zip->Has("mimetype")) {
    auto mime = zip->ReadAll("mimetype", 256);
    if (mime && mime->find("application/vnd.oasis.opendocument.spreadsheet") == 0) {
      return OpenOds(path, std::move(zip.value()));
    }
  }
  // An OpenDocument package without its "mimetype" entry still names its
  // kind in the manifest.
  if (zip->Has("content.xml") && zip->Has("META-INF/manifest.xml")) {
    auto manifest = zip->ReadAll("META-INF/manifest.xml", 16 << 20);
    if (manifest &&
        manifest->find("\"application/vnd.oasis.opendocument.spreadsheet\"") != std::string::npos) {
      return OpenOds(path, std::move(zip.value()));
    }
  }
  if (zip->Has("[Content_Types].xml")) {
    auto types = opc::ReadContentTypes(*zip);
    if (!types) return types.error();
    // An XML workbook part wins: some packages also declare the binary type
    // as the default for ".bin" entries without holding a binary workbook.
    if (types->Any([](std::string_view t) {
          return t.ends_with(".sheet.main+xml") || t.ends_with(".sheet.macroEnabled.main+xml") ||
                 t.ends_with(".template.main+xml") ||
                 t.ends_with(".template.macroEnabled.main+xml");
        })) {
      return OpenXlsx(path, std::move(zip.value()));
    }
    if (types->Any([](std::string_view t) {
          return t.starts_with("application/vnd.ms-excel.sheet.binary.macroEnabled.main");
        })) {
      return OpenXlsb(path, std::move(zip.value()));
    }
    if (zip->Has("xl/workbook.xml")) return OpenXlsx(path, std::move(zip.value()));
    if (zip->Has("xl/workbook.bin")) return OpenXlsb(path, std::move(zip.value()));
  }
  return NotAWorkbook("a zip archive without a spreadsheet in it");
}

// Counts the cells of one sheet against the workbook's budget and ends the
// read once it is spent.
class CountingSink final : public CellSink {
 public:
  CountingSink(CellSink& sink, std::uint64_t& cells) : sink_(sink), cells_(cells) {}

  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (cells_ >= kMaxCellsPerWorkbook) {
      over_ = true;
      return;
    }
    ++cells_;
    sink_.Cell(row, column, text);
  }
  bool Cancelled() override { return over_ || sink_.Cancelled(); }
  bool over() const { return over_; }

 private:
  CellSink& sink_;
  std::uint64_t& cells_;
  bool over_ = false;
};

// Holds every reader to the workbook's budgets of sheets and cells. The
// readers list at most one sheet beyond the budget, which is enough to tell.
class BudgetedWorkbook final : public Workbook {
 public:
  explicit BudgetedWorkbook(std::unique_ptr<Workbook> inner) : inner_(std::move(inner)) {
    const auto all = inner_->Sheets();
    too_many_sheets_ = all.size() > kMaxSheetsPerWorkbook;
    sheets_ = all.first(std::min(all.size(), kMaxSheetsPerWorkbook));
  }

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index >= sheets_.size()) return inner_->ReadSheet(index, sink);
    // Once the budget is spent the error has been given, with the sheet
    // where it ran out; the later sheets hold nothing more to say.
    if (spent_) return Status::Ok();
    CountingSink counting(sink, cells_);
    const Status status = inner_->ReadSheet(index, counting);
    if (counting.over()) {
      spent_ = true;
      return OverBudget(kMaxCellsPerWorkbook, "cells");
    }
    if (!status && IsOverBudget(status.error())) spent_ = true;
    // The sheets left unread are told at the last one read, even when that
    // one gave an error of its own (as a refused .xls sheet entry does).
    if (!spent_ && too_many_sheets_ && index + 1 == sheets_.size()) {
      return OverBudget(kMaxSheetsPerWorkbook, "worksheets");
    }
    return status;
  }

 private:
  std::unique_ptr<Workbook> inner_;
  std::span<const SheetInfo> sheets_;
  bool too_many_sheets_ = false;
  std::uint64_t cells_ = 0;
  bool spent_ = false;
};

Result<std::unique_ptr<Workbook>> OpenByContent(const std::filesystem::path& path,
                                                const OpenOptions& options);

}  // namespace

Result<std::unique_ptr<Workbook>> OpenWorkbook(const std::filesystem::path& path) {
  return OpenWorkbook(path, OpenOptions{});
}

Result<std::unique_ptr<Workbook>> OpenWorkbook(const std::filesystem::path& path,
                                               const OpenOptions& options) {
  auto workbook = OpenByContent(path, options);
  if (!workbook) return workbook;
  // Whatever the format: a workbook that lists no worksheet has nothing to
  // read, which is no success (chart, macro and dialog sheets do not count).
  if ((*workbook)->Sheets().empty()) {
    return Error{ErrorKind::kDamagedWorkbook, "the workbook holds no worksheet"};
  }
  return std::unique_ptr<Workbook>(std::make_unique<BudgetedWorkbook>(std::move(workbook.value())));
}

namespace {

Result<std::unique_ptr<Workbook>> OpenByContent(const std::filesystem::path& path,
                                                const OpenOptions& options) {
  // The type is checked before anything opens the file: opening a pipe
  // would wait for a writer that never comes.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return FileNotFound();
    return CannotReadFile(std::generic_category().message(errno));
  }
  if (S_ISDIR(st.st_mode)) return NotAWorkbook("a folder");
  if (!S_ISREG(st.st_mode)) return NotAWorkbook("a pipe, socket or device, not a regular file");

  // A small file is read whole (a byte more than its size, to see whether
  // it grew meanwhile); of a larger one, the head.
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const bool small = size <= options.read_whole_up_to;
  const std::size_t want = small ? static_cast<std::size_t>(size) + 1 : 4096;
  auto bytes = std::make_unique_for_overwrite<char[]>(want);
  std::size_t got = 0;
  {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CannotReadFile(std::strerror(errno));
    while (got < want) {
      const ssize_t n = ::read(fd, bytes.get() + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int fault = errno;
        ::close(fd);
        return CannotReadFile(std::strerror(fault));
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
  const bool whole = small && got < want;
  const std::string_view head(bytes.get(), std::min<std::size_t>(got, 4096));
  if (got == 0) return NotAWorkbook("an empty file");

  if (StartsWith(head, kZipMagic) || StartsWith(head, kEmptyZipMagic)) {
    if (!whole) bytes.reset();
    return OpenZipWorkbook(path, options, std::move(bytes), got);
  }
  if (StartsWith(head, kOle2Magic)) return OpenCompoundFile(path);
  if (IsBareBiff(head)) return OpenBareBiff(path);
  // A flat OpenDocument file is XML, whatever comes before its root element.
  if (ods::IsFlatDocument(path, std::string_view(bytes.get(), got), whole)) {
    return OpenFlatOds(path);
  }
  return OpenTextWorkbook(path);
}

}  // namespace

}  // namespace dialsift::sheet
