// libFuzzer target for a whole run over several workbooks at several reading
// threads: the input is cut into files, the run reads them at one thread and
// again at two to four, and both must give the same numbers at the same
// places and the same reports in the same order.
//
// Input layout: one flag byte (bits 0-1: extra threads, 1 to 3 more than
// one; bit 2: numbers written with spaces), then files separated by the four
// bytes "\x00DSF". Each file's first byte picks its name's ending (an ending
// picks a text file's separator; the reader is chosen by content) or, at
// 0xff, lists the file before it once more, so that two threads read one
// file at once.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "extract/run.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSeparator{"\0DSF", 4};
constexpr std::size_t kMaxFiles = 8;

class Host final : public dialsift::RunHost {
 public:
  Host(std::vector<std::string> rows, unsigned threads, bool spaced)
      : rows_(std::move(rows)), threads_(threads), spaced_(spaced) {}

  std::vector<std::string> InputRows() override { return rows_; }
  void SetPointer(dialsift::Pointer) override {}
  bool AskYesNo(std::string_view) override { return true; }
  void ShowMessage(std::string_view) override {}
  void ClearResults() override { lines.clear(); }
  void AppendResult(const dialsift::Record& r) override {
    lines.push_back(r.number + "|" + r.path + "|" + r.sheet + "|" + std::to_string(r.row) + "|" +
                    std::to_string(r.column));
  }
  void Yield() override {}
  bool IsLengthTicked(std::int16_t n) override { return n >= 7 && n <= 15; }
  bool IsSpacedTicked() override { return spaced_; }
  bool IsExcelRunning() override { return false; }
  unsigned ReadingThreads() override { return threads_; }
  void Report(const dialsift::ErrorReport& r) override {
    lines.push_back("report " + std::to_string(r.line) + " " + r.description);
  }

  std::vector<std::string> lines;

 private:
  std::vector<std::string> rows_;
  unsigned threads_;
  bool spaced_;
};

std::vector<std::string> RunAt(const std::vector<std::string>& rows, unsigned threads,
                               bool spaced) {
  Host host(rows, threads, spaced);
  dialsift::RunExtraction(host);
  return host.lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned threads = 2 + (data[0] & 3) % 3;
  const bool spaced = (data[0] & 4) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  const fs::path dir = fs::temp_directory_path() / ("run_jobs_fuzz_" + std::to_string(getpid()));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  if (ec) return 0;

  static constexpr const char* kEndings[] = {".xlsx", ".xls", ".xlsb", ".ods", ".csv", ".txt", ""};
  std::vector<std::string> rows;
  while (rows.size() < kMaxFiles) {
    const std::size_t cut = rest.find(kSeparator);
    const std::string_view part = rest.substr(0, cut);
    if (!part.empty()) {
      const auto pick = static_cast<unsigned char>(part[0]);
      if (pick == 0xff) {
        if (!rows.empty()) rows.push_back(rows.back());
      } else {
        const std::string path =
            (dir / ("book" + std::to_string(rows.size()) + kEndings[pick % 7])).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(part.data() + 1, static_cast<std::streamsize>(part.size() - 1));
        if (!out) break;
        rows.push_back(path);
      }
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + kSeparator.size());
  }

  if (!rows.empty()) {
    const auto one = RunAt(rows, 1, spaced);
    const auto many = RunAt(rows, threads, spaced);
    if (one != many) std::abort();
  }
  fs::remove_all(dir, ec);
  return 0;
}
