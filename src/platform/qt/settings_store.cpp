#include "platform/qt/settings_store.h"

#include <QSettings>

namespace dialsift {

namespace {
constexpr auto kGroup = "Dialsift/";

QString KeyOf(std::string_view key) {
  return QString(kGroup) + QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}
}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Quillmark",
                                            "Quillmark")),
      readable_(settings_->status() == QSettings::NoError) {}

SettingsStore::~SettingsStore() = default;

std::optional<std::string> SettingsStore::Read(std::string_view key) const {
  const QVariant v = settings_->value(KeyOf(key));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

std::string SettingsStore::Read(std::string_view key, std::string_view fallback) const {
  auto v = Read(key);
  return v ? *v : std::string(fallback);
}

bool SettingsStore::Write(std::string_view key, std::string_view value) {
  settings_->setValue(KeyOf(key),
                      QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

std::string SettingsStore::FileName() const {
  return settings_->fileName().toStdString();
}

}  // namespace dialsift
