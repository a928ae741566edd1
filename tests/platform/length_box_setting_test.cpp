// The stored phone-length boxes, as the window and the CLI both read them.
#include <gtest/gtest.h>

#include <QSettings>

#include "common/test_paths.h"
#include "platform/qt/settings_store.h"
#include "platform/stored_settings.h"

namespace dialsift::test {
namespace {

TEST(ReadLengthBox, GivesTheStoredTextAndTheStateItReadsAs) {
  TempDir config;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString(config.path().string()));
  SettingsStore store;
  ASSERT_TRUE(store.Write(PhoneLengthKey(0), " 1"));
  ASSERT_TRUE(store.Write(PhoneLengthKey(1), "x"));
  ASSERT_TRUE(store.Write(PhoneLengthKey(2), "1.5"));
  ASSERT_TRUE(store.Write(PhoneLengthKey(15), "0.5"));

  const auto ticked = ReadLengthBox(store, 0);
  ASSERT_TRUE(ticked);
  EXPECT_EQ(ticked->text, " 1");
  EXPECT_EQ(ticked->state, 1);
  const auto text = ReadLengthBox(store, 1);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->state, 0);
  EXPECT_EQ(ReadLengthBox(store, 2)->state, 2);   // not a box state: the reader's caller decides
  EXPECT_EQ(ReadLengthBox(store, 15)->state, 0);  // half to even
  EXPECT_EQ(ReadLengthBox(store, 3), std::nullopt);

  // The CLI's reader of the same file gives the same boxes.
  const StoredSettings reader((config.path() / "Quillmark" / "Quillmark.ini").string());
  for (int i = 0; i < 16; ++i) {
    const auto expected = ReadLengthBox(store, i);
    const auto got = ReadLengthBox(reader, i);
    ASSERT_EQ(got.has_value(), expected.has_value()) << i;
    if (!got) continue;
    EXPECT_EQ(got->text, expected->text) << i;
    EXPECT_EQ(got->state, expected->state) << i;
  }
}

}  // namespace
}  // namespace dialsift::test
