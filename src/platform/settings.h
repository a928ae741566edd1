// The per-user settings: text values under application "Quillmark", section
// "Dialsift", kept in an INI file in the user's configuration folder
// (~/.config/Quillmark/Quillmark.ini; XDG_CONFIG_HOME moves it). The window
// reads and writes them (qt/settings_store.h), the CLI only reads them
// (stored_settings.h); what the text means is worked out here for both.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dialsift {

// Stored text by key: the window's store, or the CLI's reader of its file.
class SettingsReader {
 public:
  virtual ~SettingsReader() = default;
  // The stored text, or nothing when the key is absent.
  virtual std::optional<std::string> Read(std::string_view key) const = 0;
};

// Reads stored text as a number the way the program always has: blanks
// first, then the longest leading part that forms a decimal number; no such
// part reads as nothing.
std::optional<double> LeadingNumber(std::string_view text);
// Reads stored text as a number that must make up the whole text, blanks
// around it allowed (a counter): "12", " 12 ", "1.5"; nothing for "", "12a".
std::optional<double> WholeNumber(std::string_view text);
// A number rounded to the nearest integer, a half to the even neighbour.
long long RoundHalfEven(double value);

// Key of phone-length box i ("0Phone Length" to "15Phone Length").
std::string PhoneLengthKey(int index);

// What the store holds for phone-length box i: the text as stored and the
// state it reads as (its leading number rounded half to even; 0 when the text
// has none). Only the state 1 ticks a box.
struct StoredLengthBox {
  std::string text;
  long long state = 0;
};
// The stored phone-length box `index`, or nothing when its key is absent.
std::optional<StoredLengthBox> ReadLengthBox(const SettingsReader& store, int index);

}  // namespace dialsift
