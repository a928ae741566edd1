// dialsift-cli's command line read in process: what each line runs with, or
// the message and exit status it ends with.
#include "app/cli_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace dialsift::cli {
namespace {

using ::testing::HasSubstr;

Parsed Parse(std::vector<const char*> args, bool* stored_asked = nullptr) {
  args.insert(args.begin(), "dialsift-cli");
  return ParseArguments(args, [stored_asked] {
    if (stored_asked) *stored_asked = true;
    return phone::LengthSelection::Of({7});
  });
}

std::vector<int> Ticked(const phone::LengthSelection& sel) {
  std::vector<int> n;
  for (int i = 0; i <= 25; ++i) {
    if (phone::IsPhoneLengthTicked(sel, static_cast<std::int16_t>(i))) n.push_back(i);
  }
  return n;
}

TEST(CliOptions, EndsWithAMessageAndStatus) {
  struct Case {
    std::vector<const char*> args;
    int status;
    std::string message;  // a part of it
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "Usage: dialsift-cli"},
      {{"-V"}, 0, "dialsift-cli " DIALSIFT_VERSION "\n"},
      {{}, 2, "no workbook or folder given"},
      {{"--bogus", "a"}, 2, "Unknown option"},
      {{"-l", "4", "a"}, 2, "bad length '4'"},
      {{"-l", "7,21", "a"}, 2, "bad length '21'"},
      {{"-l", "9-7", "a"}, 2, "bad length '9-7'"},
      {{"-l", "7,,8", "a"}, 2, "bad length ''"},
      {{"--format", "xml", "a"}, 2, "bad format 'xml'"},
      {{"-c", "--format", "csv", "a"}, 2, "disagree"},
      {{"-t", "--unique", "a"}, 2, "--text prints workbook texts"},
      {{"-t", "--format=jsonl", "a"}, 2, "--text prints workbook texts"},
      {{"-0", "a"}, 2, "-0 goes with --files-from"},
      {{"-j", "0", "a"}, 2, "bad job count"},
      {{"-j", "257", "a"}, 2, "bad job count"},
      {{"-j", "x", "a"}, 2, "bad job count"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args);
    EXPECT_FALSE(p.options) << c.message;
    EXPECT_EQ(p.status, c.status) << c.message;
    EXPECT_THAT(p.message, HasSubstr(c.message));
    if (c.status == 2) {
      EXPECT_THAT(p.message, HasSubstr("Try 'dialsift-cli --help'."));
    }
  }
}

TEST(CliOptions, GivesTheRunsOptions) {
  bool asked = false;
  Parsed p = Parse({"-qc", "-j3", "-l", "7-9,11", "-o", "out.txt", "a.xlsx", "--", "-b"}, &asked);
  ASSERT_TRUE(p.options) << p.message;
  EXPECT_FALSE(asked);  // -l given: the window's settings are not read
  EXPECT_EQ(p.options->format, results::Format::kComma);
  EXPECT_TRUE(p.options->quiet);
  EXPECT_EQ(p.options->jobs, 3u);
  EXPECT_EQ(Ticked(p.options->lengths), (std::vector<int>{7, 8, 9, 11}));
  EXPECT_EQ(p.options->output, "out.txt");
  EXPECT_EQ(p.options->paths, (std::vector<std::string>{"a.xlsx", "-b"}));

  p = Parse({"--files-from", "-", "-0", "--unique"}, &asked);
  ASSERT_TRUE(p.options) << p.message;
  EXPECT_TRUE(asked);
  EXPECT_EQ(Ticked(p.options->lengths), (std::vector<int>{7}));
  EXPECT_TRUE(p.options->null_separated && p.options->unique);
  EXPECT_GE(p.options->jobs, 1u);

  asked = false;
  p = Parse({"-t", "a"}, &asked);  // the text needs no lengths
  ASSERT_TRUE(p.options);
  EXPECT_FALSE(asked);
}

TEST(CliOptions, StoredLengthsFollowTheWindowsBoxes) {
  struct Store final : SettingsReader {
    std::map<std::string, std::string, std::less<>> values;
    std::optional<std::string> Read(std::string_view key) const override {
      const auto it = values.find(key);
      if (it == values.end()) return std::nullopt;
      return it->second;
    }
  } store;
  EXPECT_EQ(Ticked(StoredLengths(store)), (std::vector<int>{10, 11}));  // never started
  store.values["Loads"] = "1";
  EXPECT_EQ(Ticked(StoredLengths(store)), std::vector<int>{});  // started, none ticked
  store.values.clear();
  store.values[PhoneLengthKey(0)] = "1";
  store.values[PhoneLengthKey(2)] = "0";
  store.values[PhoneLengthKey(3)] = "2";
  store.values[PhoneLengthKey(15)] = "1.4";
  EXPECT_EQ(Ticked(StoredLengths(store)), (std::vector<int>{5, 20}));
}

}  // namespace
}  // namespace dialsift::cli
