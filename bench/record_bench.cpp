// What carrying the record costs: the big workbook scanned the way the run
// did before records (each sheet's numbers collected with their cell, sorted
// when out of order, then written as lines) next to the way it does now
// (records streamed to the lines writer), alternately, several times each.
//
// usage: record_bench WORKBOOK [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace {

using namespace dialsift;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Ticked(std::int16_t n) {
  return n == 7 || n == 10 || n == 11;
}

struct NoReports final : ErrorReporter {
  void Report(const ErrorReport&) override {}
};

// The output side both ways share: lines into a buffer emptied every 64 kB.
struct Lines {
  std::string buffer;
  std::size_t bytes = 0;
  void Add(std::string_view number) {
    buffer += number;
    buffer += "\r\n";
    if (buffer.size() >= (1 << 16)) {
      bytes += buffer.size();
      buffer.clear();
    }
  }
};

// Before records: numbers kept with their cell per sheet, then as strings
// per workbook, then written.
std::size_t Before(sheet::Workbook& wb) {
  struct Match {
    std::uint32_t row, column;
    std::string number;
  };
  struct Sink final : sheet::CellSink {
    phone::StreamingScanner scanner{Ticked};
    std::vector<std::string> found;
    std::vector<Match> matches;
    std::uint32_t last_row = 0, last_column = 0;
    bool out_of_order = false;
    void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
      if (row < last_row || (row == last_row && column < last_column)) out_of_order = true;
      last_row = row;
      last_column = column;
      found.clear();
      scanner.Scan(text, found);
      for (auto& n : found) matches.push_back({row, column, std::move(n)});
    }
  } sink;
  std::vector<std::string> numbers;
  for (std::size_t i = 0; i < wb.Sheets().size(); ++i) {
    (void)wb.ReadSheet(i, sink);
    if (sink.out_of_order) {
      std::stable_sort(sink.matches.begin(), sink.matches.end(), [](const auto& a, const auto& b) {
        return std::tie(a.row, a.column) < std::tie(b.row, b.column);
      });
    }
    for (auto& m : sink.matches) numbers.push_back(std::move(m.number));
    sink.matches.clear();
  }
  Lines lines;
  for (const auto& n : numbers) lines.Add(n);
  return numbers.size();
}

// Now: records streamed.
std::size_t Now(sheet::Workbook& wb, const std::string& path) {
  struct Sink final : RecordSink {
    Lines lines;
    std::size_t count = 0;
    void Found(const Record& r) override {
      lines.Add(r.number);
      ++count;
    }
  } sink;
  phone::StreamingScanner scanner(Ticked);
  NoReports reports;
  ScanWorkbook(wb, path, scanner, sink, reports);
  return sink.count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: record_bench WORKBOOK [REPEATS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
  std::vector<double> before, now;
  std::size_t count_before = 0, count_now = 0;
  for (int i = 0; i < repeats; ++i) {
    for (int which = 0; which < 2; ++which) {
      auto wb = sheet::OpenWorkbook(path);
      if (!wb) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), wb.error().reason.c_str());
        return 1;
      }
      const auto start = std::chrono::steady_clock::now();
      // Alternate which goes first, so neither always runs on a warmer cache.
      if ((which + i) % 2 == 0) {
        count_before = Before(*wb.value());
        before.push_back(Seconds(start));
      } else {
        count_now = Now(*wb.value(), path);
        now.push_back(Seconds(start));
      }
    }
  }
  std::sort(before.begin(), before.end());
  std::sort(now.begin(), now.end());
  const double b = before[before.size() / 2], n = now[now.size() / 2];
  std::printf("%zu numbers (%s)\n", count_now,
              count_now == count_before ? "same both ways" : "DIFFER");
  std::printf("before records  median %.3f s  best %.3f s\n", b, before.front());
  std::printf("records         median %.3f s  best %.3f s\n", n, now.front());
  std::printf("record cost     median %+.1f%%  best %+.1f%% (target < 5%%)\n", (n / b - 1) * 100,
              (now.front() / before.front() - 1) * 100);
  return count_now == count_before ? 0 : 1;
}
