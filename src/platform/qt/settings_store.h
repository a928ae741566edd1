// The window's settings store, through QSettings (INI format, user scope):
// it reads and writes the settings described in platform/settings.h.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings.h"

class QSettings;

namespace dialsift {

class SettingsStore final : public SettingsReader {
 public:
  SettingsStore();
  ~SettingsStore() override;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  std::optional<std::string> Read(std::string_view key) const override;
  // The stored text, or `fallback` when absent.
  std::string Read(std::string_view key, std::string_view fallback) const;
  // Writes and flushes at once. False when the store cannot be written.
  bool Write(std::string_view key, std::string_view value);
  // The file behind the store.
  std::string FileName() const;
  // False when the store's file was there but could not be read.
  bool Readable() const { return readable_; }

 private:
  std::unique_ptr<QSettings> settings_;
  bool readable_ = true;
};

}  // namespace dialsift
