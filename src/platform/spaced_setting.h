// The "with spaces" box of the length frame in the settings store, beside
// the sixteen phone-length boxes: the window writes it when the box changes
// and reads it at start; the CLI follows it when it takes the window's
// lengths.
#pragma once

#include <optional>
#include <string_view>

#include "platform/settings.h"

namespace dialsift {

inline constexpr std::string_view kSpacedKey = "Phone With Spaces";

// The stored state of the box, read as a phone-length box is (its leading
// number rounded half to even; 0 when the text has none), or nothing when
// the key is absent.
std::optional<StoredLengthBox> ReadSpacedBox(const SettingsReader& store);
// True when the store holds the box ticked (state 1).
bool StoredSpaced(const SettingsReader& store);

}  // namespace dialsift
