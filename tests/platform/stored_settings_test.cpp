// The CLI's reader of the window's settings against the window's own store
// (QSettings): whatever the store wrote, or a person typed into its file,
// both read the same.
#include "platform/stored_settings.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/test_paths.h"
#include "platform/qt/settings_store.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;

// The keys the CLI reads.
std::vector<std::string> LengthKeys() {
  std::vector<std::string> keys = {"Loads"};
  for (int i = 0; i < 16; ++i) keys.push_back(PhoneLengthKey(i));
  return keys;
}

class StoredSettingsTest : public ::testing::Test {
 protected:
  // A fresh user folder for the window's store (it keeps files it has read:
  // each case gets a folder of its own).
  fs::path NewUserFolder() {
    const fs::path folder = config_.path() / std::to_string(++folders_);
    fs::create_directories(folder / "Quillmark");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(folder.string()));
    return folder;
  }
  static StoredSettings Reader(const fs::path& folder) {
    return StoredSettings(SettingsFiles(folder.string(), {}));
  }
  // Writes `text` as the user's settings file; both read every key.
  void ExpectSameReading(const std::string& text, const std::vector<std::string>& keys) {
    const fs::path folder = NewUserFolder();
    std::ofstream(folder / "Quillmark" / "Quillmark.ini", std::ios::binary) << text;
    const SettingsStore store;
    const StoredSettings reader = Reader(folder);
    for (const auto& key : keys)
      EXPECT_EQ(reader.Read(key), store.Read(key)) << key << " in\n" << text;
    EXPECT_EQ(reader.Readable(), store.Readable()) << text;
  }

  TempDir config_;
  int folders_ = 0;
};

TEST_F(StoredSettingsTest, ReadsWhatTheStoreWrote) {
  std::string control;
  for (char c = 1; c < 0x20; ++c) control += c;
  const std::vector<std::string> values = {"",
                                           " ",
                                           "  lead",
                                           "trail  ",
                                           "\t tab \t",
                                           "\"quoted\"",
                                           "a\"b",
                                           "\"",
                                           "back\\slash",
                                           "\\",
                                           "\\\\x41",
                                           "@",
                                           "@start",
                                           "@@double",
                                           "@Invalid()",
                                           "@String(x)",
                                           "@ByteArray(abc)",
                                           "@Variant(x)",
                                           "@Rect(1 2 3 4)",
                                           "a,b",
                                           ",",
                                           " , ",
                                           "a;b",
                                           ";",
                                           "; comment",
                                           "a=b",
                                           "=",
                                           "[Section]",
                                           "x\n[Other]\ny=1",
                                           "%41%U0042",
                                           "Ünïcödé ✓ 𝄞",
                                           control,
                                           "\x7f",
                                           "line\nbreak\r\nand\rmore",
                                           std::string("nul\0mid", 7),
                                           std::string("\0", 1) + "1",
                                           std::string(5000, 'w') + "\\,\"",
                                           "1",
                                           " 1",
                                           "0.5",
                                           "1e0",
                                           "\"1\"",
                                           "1,0"};
  const std::vector<std::string> keys = {
      "Loads",  "0Phone Length", "key with spaces", "ünï ✓",        "per%cent", "semi;colon",
      "eq=ual", "[bracket]",     "quote\"d",        "slash/inside", "comma,key"};
  const fs::path folder = NewUserFolder();
  std::vector<std::pair<std::string, std::string>> written;
  {
    SettingsStore store;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::string key = keys[i % keys.size()] + std::to_string(i);
      ASSERT_TRUE(store.Write(key, values[i]));
      written.emplace_back(key, values[i]);
    }
    for (const auto& key : keys) ASSERT_TRUE(store.Write(key, "v " + key));
    for (const auto& key : keys) written.emplace_back(key, "v " + key);
  }
  const SettingsStore store;
  const StoredSettings reader = Reader(folder);
  EXPECT_TRUE(reader.Readable());
  for (const auto& [key, value] : written) {
    EXPECT_EQ(store.Read(key), value) << key;  // the store keeps each text as it was
    EXPECT_EQ(reader.Read(key), value) << key;
  }
  EXPECT_EQ(reader.Read("absent"), std::nullopt);
}

TEST_F(StoredSettingsTest, ReadsHandWrittenFilesAsTheStoreDoes) {
  const std::vector<std::string> keys = LengthKeys();
  const std::vector<std::string> files = {
      "[Dialsift]\r\nLoads=3\r\n2Phone%20Length=1\r\n5Phone%20Length = 0 \r\n",
      "; a comment\n[Dialsift]\n; another\n  Loads  =  7  ; trailing\n0Phone%20Length=\"1\"\n",
      "\xEF\xBB\xBF[Dialsift]\nLoads=1\n\n\n1Phone Length=1\n2Phone%20Length=\"1,2\"\n",
      "[Dialsift]\n3Phone%20Length=1,2\n4Phone%20Length=@@1\n5Phone%20Length=@Invalid()\n",
      "[Dialsift]\n6Phone%20Length=\"a\nb\"\n7Phone%20Length=a\\\nb\n8Phone%20Length=\\x31\\0\n",
      "[Dialsift]\nLoads=1\n[Other]\nLoads=2\n[Dialsift]\nLoads=3\n9Phone%20Length=\\61\n",
      "[%44ialsift]\n%31%30Phone%20Length=1\n%U0031%U0031Phone Length=1\n",
      "[general]\nDialsift\\Loads=4\n[Dialsift]\n12Phone%20Length=\"1\" \"2\"\n",
      "[Dialsift]\n13Phone%20Length=@ByteArray(1)\n14Phone%20Length=@String(1)\n"
      "15Phone%20Length=\\x0031\n",
      "[Dialsift]\nno setting here\nLoads=5\n",
      "[Dialsift\nLoads=6\n",
      "Loads=8\n",
      "[Dialsift]\nLoads=\xff\xfe\n0Phone%20Length=1\\\n",
      "[Dialsift]\nLoads==\n1Phone%20Length\t=\t\"\t1\t\"\t\n2Phone%20Length=x;y=z\n",
      "[Dialsift]\nLoads=a  \\\n0Phone%20Length=1  \\x\n1Phone%20Length=\\101\\x41\n",
      "[Dialsift\\1]\nx=1\n[Dialsift]\n15Phone%20Length=1\n[Dialsift\\15Phone Length]\ny=2\n",
      "[%general]\nLoads=1\n[Dialsift]\n%G1=1\n%U31Phone%20Length=1\n2Phone%Length=1\n",
      "[ Dialsift ]\n  3Phone%20Length  =  \"  1 \" , 2\n4Phone%20Length=\"\"1\n",
      "",
  };
  for (const auto& text : files) ExpectSameReading(text, keys);
}

TEST_F(StoredSettingsTest, AMissingFileHoldsNothingAndAnUnreadableOneIsSaidToBe) {
  const fs::path folder = NewUserFolder();
  const StoredSettings missing = Reader(folder);
  EXPECT_TRUE(missing.Readable());
  EXPECT_EQ(missing.Read("Loads"), std::nullopt);

  // A folder where the file should be cannot be read (file modes do not
  // stop a root user).
  fs::create_directory(folder / "Quillmark" / "Quillmark.ini");
  const StoredSettings unreadable = Reader(folder);
  EXPECT_FALSE(unreadable.Readable());
  EXPECT_EQ(unreadable.Read("Loads"), std::nullopt);
  EXPECT_FALSE(SettingsStore().Readable());
}

TEST_F(StoredSettingsTest, TheOrganisationsFileAndTheSystemsFollowTheUsers) {
  const fs::path folder = NewUserFolder();
  TempDir system;
  fs::create_directories(system.path() / "Quillmark");
  std::ofstream(system.path() / "Quillmark" / "Quillmark.ini") << "[Dialsift]\nLoads=1\na=1\n";
  std::ofstream(folder / "Quillmark.ini") << "[Dialsift]\nLoads=2\nb=2\n";
  std::ofstream(folder / "Quillmark" / "Quillmark.ini") << "[Dialsift]\nLoads=3\nc=@Invalid()\n";
  const StoredSettings reader(SettingsFiles(folder.string(), {system.path().string()}));
  EXPECT_EQ(reader.Read("Loads"), "3");
  EXPECT_EQ(reader.Read("b"), "2");
  EXPECT_EQ(reader.Read("a"), "1");
  EXPECT_EQ(reader.Read("c"), std::nullopt);
}

TEST(UsersSettingsFiles, FollowTheXdgFolders) {
  const char* old_home = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old_home ? old_home : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("XDG_CONFIG_DIRS", "/a::/b", 1);
  EXPECT_EQ(UsersSettingsFiles(),
            (std::vector<std::string>{"/cfg/Quillmark/Quillmark.ini", "/cfg/Quillmark.ini",
                                      "/a/Quillmark/Quillmark.ini", "/b/Quillmark/Quillmark.ini",
                                      "/a/Quillmark.ini", "/b/Quillmark.ini"}));
  ::unsetenv("XDG_CONFIG_DIRS");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  const std::vector<std::string> files = UsersSettingsFiles();
  EXPECT_EQ(files.front(), std::string(std::getenv("HOME")) + "/.config/Quillmark/Quillmark.ini");
  EXPECT_EQ(files.back(), "/etc/xdg/Quillmark.ini");
  if (old_home) {
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace dialsift::test
