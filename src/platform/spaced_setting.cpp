#include "platform/spaced_setting.h"

#include <string>
#include <utility>

namespace dialsift {

std::optional<StoredLengthBox> ReadSpacedBox(const SettingsReader& store) {
  std::optional<std::string> text = store.Read(kSpacedKey);
  if (!text) return std::nullopt;
  const std::optional<double> number = LeadingNumber(*text);
  return StoredLengthBox{std::move(*text), number ? RoundHalfEven(*number) : 0};
}

bool StoredSpaced(const SettingsReader& store) {
  const auto box = ReadSpacedBox(store);
  return box && box->state == 1;
}

}  // namespace dialsift
