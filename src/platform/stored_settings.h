// The window's stored choices read without Qt, for the CLI: the lines its
// store (QSettings, INI format, user scope) writes under [Dialsift] for the
// keys listed in stored_settings.cpp. Anything else in the file, or a file
// that is not a small regular file, reads as absent. Read only.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings.h"

namespace dialsift {

// The file the window's store writes for this user:
// $XDG_CONFIG_HOME/Quillmark/Quillmark.ini, XDG_CONFIG_HOME defaulting to
// ~/.config.
std::string UsersSettingsFile();

class StoredSettings final : public SettingsReader {
 public:
  // Reads `file` now; a missing or unusable one holds nothing.
  explicit StoredSettings(const std::string& file = UsersSettingsFile());

  // The text stored under "Dialsift/" + key, for the keys this reader knows.
  std::optional<std::string> Read(std::string_view key) const override;

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace dialsift
