// A fresh main window per test: its own settings folder, its own folder of
// files beside the program, a scripted user interface.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/test_paths.h"
#include "platform/qt/settings_store.h"
#include "ui/form1.h"
#include "ui/scripted_user_interface.h"

namespace dialsift::test {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_.path().string()));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime_.path().string()));
    // QSettings keeps the user folder it found first; point it here for this test.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(config_.path().string()));
  }

  // Makes the window (not yet loaded); it looks for lock files on disk.
  ui::Form1& MakeWindow() {
    form_ = std::make_unique<ui::Form1>(ui_, beside_.path());
    form_->SetProbes({{}, [this] { return reader_available_; }, BinDir() / "dialsift-e164.so"});
    return *form_;
  }
  // Makes and loads the window.
  ui::Form1& Start() {
    MakeWindow().Load();
    return *form_;
  }
  void Restart() {
    form_.reset();
    ui_.messages.clear();
    Start();
  }

  std::filesystem::path SettingsFile() const {
    return config_.path() / "Quillmark" / "Quillmark.ini";
  }
  std::optional<std::string> Stored(std::string_view key) const {
    return SettingsStore().Read(key);
  }
  void Store(std::string_view key, std::string_view value) {
    ASSERT_TRUE(SettingsStore().Write(key, value));
  }
  void WriteBeside(const std::string& name, const std::string& content) {
    const auto path = beside_.path() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  TempDir config_;
  TempDir runtime_;
  TempDir beside_;
  ScriptedUserInterface ui_;
  bool reader_available_ = true;
  std::unique_ptr<ui::Form1> form_;
};

}  // namespace dialsift::test
