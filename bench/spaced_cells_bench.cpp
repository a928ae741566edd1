// What one cell costs to scan, by the word rule and with spaces: the cells
// the big benchmark workbook sends to the reading with spaces, and common
// cells that go the words' single pass, each scanned many times. Run under
// callgrind for instruction counts, or as it is for times.
//
// usage: spaced_cells_bench [ROUNDS] [spaced|words|both]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "extract/phone.h"

namespace {

using namespace dialsift::phone;

constexpr std::string_view kCells[] = {
    "(212) 555-0147", "(415) 867-5309",  "+1 212.555.0147",           "+44 20 7946 0958",
    "Ann Smith",      "2001-05-03",      "1234 Main St, Springfield", "12,345.67",
    "212-555-0147",   "Tel: 2125550147", "212.555.0147 x204",         "1234 5th Ave, Springfield",
    "-4,321.09",      "(987) 654-3210",  "+1 989.200.0001",           "+44 20 1000 9999",
};

struct Count final : StreamingScanner::Found {
  std::size_t numbers = 0;
  std::size_t bytes = 0;
  void Number(std::string_view number) override {
    ++numbers;
    bytes += number.size();
  }
};

double Run(Rule rule, int rounds, Count& count) {
  StreamingScanner scanner([](std::int16_t n) { return n == 7 || n == 10 || n == 11; }, {}, rule);
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r)
    for (std::string_view cell : kCells) scanner.Scan(cell, count);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count() * 1e9 / (static_cast<double>(rounds) * std::size(kCells));
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::string_view which = argc > 2 ? argv[2] : "both";
  for (const auto& [name, rule] : {std::pair{"words", Rule::kWords}, {"spaced", Rule::kSpaced}}) {
    if (which != "both" && which != name) continue;
    Count count;
    const double ns = Run(rule, rounds, count);
    std::printf("%-7s %7.1f ns a cell, %zu numbers, %zu bytes\n", name, ns, count.numbers,
                count.bytes);
  }
  return 0;
}
