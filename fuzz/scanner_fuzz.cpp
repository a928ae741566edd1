// Feeds arbitrary text to the scanner. The first two bytes choose the ticked
// lengths; the rest is the text. Checks that the single-pass streaming scan
// finds exactly what the step-by-step scan finds, and that every number
// returned is a word made of phone characters only. Reading numbers written
// with spaces must end, return pieces of the text, and give the words on a
// text where it cannot differ from them.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "extract/phone.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  dialsift::phone::LengthSelection sel;
  const unsigned mask = data[0] | (data[1] << 8);
  for (int i = 0; i < 16; ++i) sel.Set(i + 5, (mask >> i) & 1);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  auto ticked = [&](std::int16_t n) { return dialsift::phone::IsPhoneLengthTicked(sel, n); };

  const auto whole = dialsift::phone::ExtractPhoneNumbers(text, ticked);
  dialsift::phone::StreamingScanner scanner(ticked);
  std::vector<std::string> streamed;
  scanner.Scan(text, streamed);
  if (whole != streamed) std::abort();
  for (const auto& n : whole) {
    if (!dialsift::phone::HasOnlyPhoneCharacters(n) || n.find(' ') != std::string::npos) {
      std::abort();
    }
  }
  const auto spaced = dialsift::phone::ExtractSpacedNumbers(text, ticked);
  for (const auto& n : spaced) {
    if (n.empty() || text.find(n) == std::string_view::npos) std::abort();
  }
  if (!dialsift::phone::SpacedMayDiffer(text) && spaced != streamed) std::abort();
  return 0;
}
