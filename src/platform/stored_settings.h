// The window's settings read without Qt, for the CLI: the INI files its
// store (QSettings, INI format, user scope) keeps, read by the rules that
// store writes and reads them with. Read only.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace dialsift {

// The files the window's store consults, in its order: the user's
// application file (the one it writes) and organisation file in
// `user_folder`, then those in each system folder.
std::vector<std::string> SettingsFiles(const std::string& user_folder,
                                       const std::vector<std::string>& system_folders);
// The same for this user: XDG_CONFIG_HOME (else ~/.config) and
// XDG_CONFIG_DIRS (else /etc/xdg).
std::vector<std::string> UsersSettingsFiles();

class StoredSettings final : public SettingsReader {
 public:
  // Reads the files now; a missing one holds nothing.
  explicit StoredSettings(const std::vector<std::string>& files = UsersSettingsFiles());

  // The text under "Dialsift/" + key, as the window's store reads it.
  std::optional<std::string> Read(std::string_view key) const override;
  // False when a file was there but could not be read, or a section header
  // was not closed: the window's store then refuses to start.
  bool Readable() const { return readable_; }

 private:
  // A file's sections are taken apart when a key first asks for them, as
  // the store does (which sections a key may be found in depends on it).
  struct File {
    // Their lines by section name ("" for the general section, else the
    // name and "/"), in UTF-16 as the store orders them.
    std::map<std::u16string, std::string> unparsed;
    // Stored values as written, by whole key.
    std::map<std::u16string, std::string, std::less<>> parsed;
  };
  static void ParseSectionOf(File& file, std::u16string_view key);

  mutable std::vector<File> files_;
  bool readable_ = true;
};

}  // namespace dialsift
