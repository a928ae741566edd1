// Text files that a spreadsheet application opens as one worksheet: .csv with
// commas between fields, every other kind (.txt, .tsv, .tab, .dat, no
// extension) with tabs, as the application's text import proposes.
#include <array>
#include <cctype>
#include <fstream>
#include <string>

#include "sheet/readers.h"
#include "sheet/text/text_sheet.h"

namespace dialsift::sheet {

namespace {

constexpr std::size_t kChunk = 1 << 16;

char SeparatorFor(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".csv" ? ',' : '\t';
}

// The worksheet is named after the file, as a spreadsheet application names
// it: the name without its extension, cut to the 31 characters a sheet name
// may have.
std::string SheetNameFor(const std::filesystem::path& path) {
  std::string name = path.stem().string();
  std::size_t chars = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
    if (++chars > 31) {
      name.resize(i);
      break;
    }
  }
  return name;
}

class TextWorkbook final : public Workbook {
 public:
  TextWorkbook(std::filesystem::path path, text::Encoding encoding)
      : path_(std::move(path)), encoding_(encoding), sheets_{SheetInfo{SheetNameFor(path_)}} {}

  std::span<const SheetInfo> Sheets() const override { return sheets_; }

  Status ReadSheet(std::size_t index, CellSink& sink) override {
    if (index != 0) return Error{"no such worksheet"};
    std::ifstream in(path_, std::ios::binary);
    if (!in) return Error{"cannot read the file"};
    text::DelimitedParser parser(encoding_, SeparatorFor(path_), sink);
    std::string buf(kChunk, '\0');
    while (in) {
      in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
      const auto got = static_cast<std::size_t>(in.gcount());
      if (got == 0) break;
      if (!parser.Feed(std::string_view(buf.data(), got))) break;
    }
    if (in.bad()) return Error{"cannot read the file"};
    return parser.Finish();
  }

 private:
  std::filesystem::path path_;
  text::Encoding encoding_;
  std::array<SheetInfo, 1> sheets_;
};

}  // namespace

WorkbookResult OpenTextWorkbook(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Error{"cannot read the file"};
  text::EncodingSniffer sniffer;
  std::string buf(kChunk, '\0');
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    sniffer.Feed(std::string_view(buf.data(), got));
  }
  if (in.bad()) return Error{"cannot read the file"};
  auto encoding = sniffer.Finish();
  if (!encoding) return encoding.error();
  return std::unique_ptr<Workbook>(std::make_unique<TextWorkbook>(path, *encoding));
}

}  // namespace dialsift::sheet
