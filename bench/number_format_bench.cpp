// Renders 10 million values through a mix of number formats and compares
// the rate with plain snprintf("%.15g") of the same values.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "sheet/number_format.h"

namespace {

constexpr int kValues = 10'000'000;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  using dialsift::sheet::FormatEngine;
  // A workbook-like mix: mostly General and plain numbers, some phone,
  // currency, percent, date and time formats.
  const char* codes[] = {
      "General",  "General",      "General",
      "0",        "0.00",         "#,##0.00",
      "0%",       "000-000-0000", "[<=9999999]###-####;(###) ###-####",
      "m/d/yyyy", "h:mm:ss",      "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)",
      "0.00E+00", "# ?/?",        "yyyy-mm-dd hh:mm",
  };
  constexpr int kCodes = sizeof codes / sizeof codes[0];
  FormatEngine engine;
  std::vector<FormatEngine::Handle> handles;
  for (const char* c : codes) handles.push_back(engine.Intern(c));

  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> real(-1e6, 1e6);
  std::uniform_int_distribution<long long> phone(2000000000LL, 9999999999LL);
  std::uniform_real_distribution<double> serial(1, 50000);
  std::vector<double> values(1 << 16);
  for (std::size_t i = 0; i < values.size(); ++i) {
    switch (i % 4) {
      case 0:
        values[i] = real(rng);
        break;
      case 1:
        values[i] = static_cast<double>(phone(rng));
        break;
      case 2:
        values[i] = serial(rng);
        break;
      default:
        values[i] = static_cast<double>(static_cast<long long>(real(rng)));
        break;
    }
  }
  const std::size_t mask = values.size() - 1;

  std::size_t sink = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kValues; ++i) {
    const std::string s = engine.FormatNumber(values[i & mask], handles[i % kCodes]);
    sink += s.size();
  }
  const double engine_seconds = Seconds(start);

  start = std::chrono::steady_clock::now();
  char buf[64];
  for (int i = 0; i < kValues; ++i) {
    const int n = std::snprintf(buf, sizeof buf, "%.15g", values[i & mask]);
    const std::string s(buf, static_cast<std::size_t>(n));
    sink += s.size();
  }
  const double printf_seconds = Seconds(start);

  const double engine_rate = kValues / engine_seconds;
  const double printf_rate = kValues / printf_seconds;
  std::printf("engine:   %.0f values/s (%.2f s for %d values, %d formats)\n", engine_rate,
              engine_seconds, kValues, kCodes);
  std::printf("snprintf: %.0f values/s (%.2f s)\n", printf_rate, printf_seconds);
  std::printf("ratio:    %.2f of snprintf (target >= 0.33)\n", engine_rate / printf_rate);
  std::printf("(checksum %zu)\n", sink);
  return 0;
}
