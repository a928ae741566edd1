// Picks the reader from the file's first bytes and, for zip files, from the
// parts that the package declares. File names play no part, except that a
// text file's extension chooses its separator, as it does in a spreadsheet
// application.
#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

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

WorkbookResult OpenZipWorkbook(const std::filesystem::path& path) {
  auto zip = ZipArchive::Open(path);
  if (!zip) return zip.error();
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
    auto types = zip->ReadAll("[Content_Types].xml", 4 << 20);
    if (!types) return types.error();
    // An XML workbook part wins: some packages also declare the binary type
    // as the default for ".bin" entries without holding a binary workbook.
    if (types->find(".sheet.main+xml") != std::string::npos ||
        types->find(".sheet.macroEnabled.main+xml") != std::string::npos ||
        types->find(".template.main+xml") != std::string::npos ||
        types->find(".template.macroEnabled.main+xml") != std::string::npos) {
      return OpenXlsx(path, std::move(zip.value()));
    }
    if (types->find("application/vnd.ms-excel.sheet.binary.macroEnabled.main") !=
        std::string::npos) {
      return OpenXlsb(path, std::move(zip.value()));
    }
    if (zip->Has("xl/workbook.xml")) return OpenXlsx(path, std::move(zip.value()));
    if (zip->Has("xl/workbook.bin")) return OpenXlsb(path, std::move(zip.value()));
  }
  return Error{"not a workbook (a zip archive without a spreadsheet in it)"};
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenWorkbook(const std::filesystem::path& path) {
  // The type is checked before anything opens the file: opening a pipe
  // would wait for a writer that never comes.
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return Error{"file not found"};
  if (ec) return Error{"cannot read the file (" + ec.message() + ")"};
  if (std::filesystem::is_directory(status)) return Error{"is a folder, not a workbook"};
  if (!std::filesystem::is_regular_file(status)) {
    return Error{"not a workbook (a pipe, socket or device, not a regular file)"};
  }

  std::ifstream in(path, std::ios::binary);
  if (!in) return Error{"cannot read the file (" + std::string(std::strerror(errno)) + ")"};
  std::array<char, 4096> buf{};
  in.read(buf.data(), buf.size());
  if (in.bad()) return Error{"cannot read the file"};
  const auto got = static_cast<std::size_t>(in.gcount());
  in.close();
  const std::string_view head(buf.data(), got);
  if (got == 0) return Error{"empty file, not a workbook"};

  if (StartsWith(head, kZipMagic) || StartsWith(head, kEmptyZipMagic)) {
    return OpenZipWorkbook(path);
  }
  if (StartsWith(head, kOle2Magic)) return OpenCompoundFile(path);
  if (IsBareBiff(head)) return OpenBareBiff(path);
  if (head.find("office:document") != std::string_view::npos &&
      head.find("opendocument") != std::string_view::npos) {
    return OpenFlatOds(path);
  }
  return OpenTextWorkbook(path);
}

}  // namespace dialsift::sheet
