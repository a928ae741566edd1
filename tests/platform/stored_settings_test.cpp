// The CLI's reader of the window's stored choices against the window's own
// store (QSettings), and on files the window never writes.
#include "platform/stored_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "platform/qt/settings_store.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;

class StoredSettingsTest : public ::testing::Test {
 protected:
  // A fresh user folder for the window's store (it keeps files it has read:
  // each case gets a folder of its own); the path of its file.
  std::string NewStoreFile() {
    const fs::path folder = config_.path() / std::to_string(++folders_);
    fs::create_directories(folder / "Quillmark");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(folder.string()));
    return (folder / "Quillmark" / "Quillmark.ini").string();
  }

  TempDir config_;
  int folders_ = 0;
};

TEST_F(StoredSettingsTest, ReadsTheStatesTheWindowStored) {
  for (int pattern = 0; pattern < 3; ++pattern) {
    const std::string file = NewStoreFile();
    {
      SettingsStore store;
      ASSERT_TRUE(store.Write("Loads", std::to_string(pattern + 1)));
      for (int i = 0; i < 16; ++i) {
        if (i == 3 * pattern) continue;  // a box never stored
        ASSERT_TRUE(store.Write(PhoneLengthKey(i), std::to_string((i + pattern) % 3)));
      }
      ASSERT_TRUE(store.Write("Other", "1"));
    }
    EXPECT_NE(ReadFile(file).find("\n1Phone%20Length="), std::string::npos);
    const SettingsStore store;
    const StoredSettings reader(file);
    EXPECT_EQ(reader.Read("Loads"), std::to_string(pattern + 1));
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(reader.Read(PhoneLengthKey(i)), store.Read(PhoneLengthKey(i))) << i;
    }
    EXPECT_EQ(reader.Read("Other"), std::nullopt);  // not a key the CLI reads
  }
}

TEST_F(StoredSettingsTest, ReadsPlainAndQuotedValuesAndNothingElse) {
  struct Case {
    std::string file;
    std::optional<std::string> box0;
  };
  const std::vector<Case> cases = {
      {"[Dialsift]\n0Phone%20Length=1\n", "1"},
      {"[Dialsift]\r\n0Phone%20Length=1\r\n", "1"},
      {"\xEF\xBB\xBF[Dialsift]\n0Phone%20Length=1", "1"},
      {"[General]\nx=1\n\n[Dialsift]\n  0Phone%20Length = 2 \n", "2"},
      {"[Dialsift]\n0Phone%20Length=\" 1\"\n", " 1"},
      {"[Dialsift]\n0Phone%20Length=\n", ""},
      {"[Dialsift]\n0Phone Length=1\n", "1"},
      {"[Dialsift]\n0Phone%20Length=0\n0Phone%20Length=1\n", "1"},
      {"[Dialsift]\n0Phone%20Length=1\n0Phone%20Length=\\x31\n", std::nullopt},
      {"[Other]\n0Phone%20Length=1\n", std::nullopt},
      {"[Dialsift]\n[Other]\n0Phone%20Length=1\n", std::nullopt},
      {"0Phone%20Length=1\n", std::nullopt},
      {"[General]\nDialsift\\0Phone%20Length=1\n", std::nullopt},
      {"[Dialsift]\n0Phone%20Length=1,2\n", std::nullopt},
      {"[Dialsift]\n0Phone%20Length=\"1\n", std::nullopt},
      {"[Dialsift]\n0Phone%20Length=@Invalid()\n", std::nullopt},
      {"[Dialsift]\n0Phone%20Length=1 ; note\n", std::nullopt},
      {"[Dialsift]\n; 0Phone%20Length=1\n", std::nullopt},
      {"[Dialsift]\n00Phone%20Length=1\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::string file = NewStoreFile();
    std::ofstream(file, std::ios::binary) << c.file;
    EXPECT_EQ(StoredSettings(file).Read(PhoneLengthKey(0)), c.box0) << c.file;
  }
}

// Nothing at the settings path may hold the CLI up or fill its memory.
TEST_F(StoredSettingsTest, OddFilesHoldNothing) {
  const std::string file = NewStoreFile();
  const std::string settings = "[Dialsift]\n0Phone%20Length=1\n";
  const std::vector<std::function<void()>> odd = {
      [&] { ::mkfifo(file.c_str(), 0600); },
      [&] { fs::create_symlink("/dev/zero", file); },
      [&] { fs::create_directory(file); },
      [&] {
        std::ofstream(file) << settings;
        fs::resize_file(file, std::uintmax_t{1} << 30);  // sparse
      },
      [&] { std::ofstream(file) << settings << std::string(64 << 10, '\n'); },
      [] {},  // missing
  };
  for (std::size_t i = 0; i < odd.size(); ++i) {
    odd[i]();
    EXPECT_EQ(StoredSettings(file).Read(PhoneLengthKey(0)), std::nullopt) << i;
    fs::remove_all(file);
  }
}

TEST(UsersSettingsFile, FollowsXdgConfigHome) {
  const char* old_home = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old_home ? old_home : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(UsersSettingsFile(), "/cfg/Quillmark/Quillmark.ini");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(UsersSettingsFile(),
            std::string(std::getenv("HOME")) + "/.config/Quillmark/Quillmark.ini");
  if (old_home) {
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace dialsift::test
