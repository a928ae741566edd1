// The E.164 module as the program loads it: its forms against what
// libphonenumber itself says, and the modules it refuses.
#include "results/e164.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <phonenumbers/phonenumberutil.h>

#include <fstream>
#include <stdexcept>

#include "common/test_paths.h"

namespace dialsift::results {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The module of this build, beside the programs.
E164Module BuiltModule() {
  std::string error;
  auto module = E164Module::Load(test::BinDir() / kE164ModuleFile, error);
  if (!module) throw std::runtime_error(error);
  return std::move(*module);
}

// Written forms of numbers of six countries, read with each region; the
// expected E.164 form and validity are the library's own answers.
TEST(E164, AgreesWithPhoneNumberUtil) {
  using i18n::phonenumbers::PhoneNumber;
  using i18n::phonenumbers::PhoneNumberUtil;
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  const std::vector<std::pair<std::string, std::vector<std::string>>> table = {
      {"US",
       {"(212) 555-0147", "212.555.0147", "+1 212-555-0147", "1-212-555-0147",
        "011 44 20 7946 0958", "212-555-0147 ext. 12", "1-800-FLOWERS", "555-0147"}},
      {"GB",
       {"020 7946 0958", "+44 20 7946 0958", "0044 20 7946 0958", "07700 900123", "(020) 7946-0958",
        "020 7946 0958 x123"}},
      {"DE",
       {"030 12345678", "+49 30 12345678", "0049 30 12345678", "(030) 1234-5678", "0151 23456789"}},
      {"FR", {"01 23 45 67 89", "+33 1 23 45 67 89", "0033 1 23 45 67 89", "06.12.34.56.78"}},
      {"IN", {"098765 43210", "+91 98765 43210", "0091 98765 43210", "011 2345 6789"}},
      {"BR", {"(11) 91234-5678", "+55 11 91234-5678", "0055 11 91234-5678", "11 3456-7890"}},
  };
  const E164Module module = BuiltModule();
  int compared = 0;
  for (const auto& [region, forms] : table) {
    const auto e164 = module.ForRegion(region);
    ASSERT_TRUE(e164) << region;
    for (const auto& written : forms) {
      // The library's reading: in the region, or with the "00" international
      // prefix written as "+".
      PhoneNumber number;
      std::string expected;
      bool valid = false;
      for (const std::string& text :
           {written, written.rfind("00", 0) == 0 ? "+" + written.substr(2) : std::string()}) {
        if (text.empty() || !expected.empty()) continue;
        if (util.Parse(text, region, &number) == PhoneNumberUtil::NO_PARSING_ERROR &&
            util.IsPossibleNumber(number)) {
          util.Format(number, PhoneNumberUtil::E164, &expected);
          valid = util.IsValidNumber(number);
        }
      }
      const Normalised got = e164->Normalise(written);
      EXPECT_EQ(got.e164, expected) << region << " " << written;
      EXPECT_EQ(got.valid, valid) << region << " " << written;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 31);
  // The same number, however it is written, has one form; and the
  // international prefix is recognised whatever the region.
  const auto us = module.ForRegion("us");
  ASSERT_TRUE(us);
  EXPECT_EQ(us->Normalise("(212) 555-0147").e164, "+12125550147");
  EXPECT_EQ(us->Normalise("212.555.0147").e164, "+12125550147");
  EXPECT_EQ(us->Normalise("0044 20 7946 0958").e164, "+442079460958");
  EXPECT_EQ(us->Normalise("+44 20 7946 0958").e164, "+442079460958");
  EXPECT_FALSE(us->Normalise("555-0147").valid);
  EXPECT_FALSE(module.ForRegion("XX"));
  EXPECT_FALSE(module.ForRegion(""));
}

// Numbers as the reading with spaces returns them: the "(0)" after a
// country code is dropped as the library drops it, and every blank the
// reading takes is a blank to E.164 as well.
TEST(E164, NumbersWrittenWithSpaces) {
  const E164Module module = BuiltModule();
  const auto gb = module.ForRegion("GB");
  const auto fr = module.ForRegion("FR");
  ASSERT_TRUE(gb && fr);
  EXPECT_EQ(gb->Normalise("+44 (0)20 7946 0958").e164, "+442079460958");
  EXPECT_EQ(gb->Normalise("+49 (0)30 1234 5678").e164, "+493012345678");
  EXPECT_EQ(gb->Normalise("+44(0)20 7946 0958").e164, "+442079460958");
  for (const char* blank : {"\xC2\xA0", "\xE2\x80\x87", "\xE2\x80\x89", "\xE2\x80\xAF"}) {
    const std::string written = std::string("01") + blank + "23" + blank + "45 67 89";
    EXPECT_EQ(fr->Normalise(written).e164, "+33123456789") << written;
    EXPECT_TRUE(fr->Normalise(written).valid) << written;
  }
  EXPECT_EQ(module.ForRegion("SE")
                ->Normalise("0921\xE2\x80\x93"
                            "12 34 65")
                .e164,
            "+46921123465");
  EXPECT_EQ(module.ForRegion("DE")->Normalise("089 / 123 456 78").e164, "+498912345678");
}

TEST(E164Module, RefusesWhatItCannotUseAndSaysWhy) {
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(E164Module::Load(dir.path() / kE164ModuleFile, error));
  EXPECT_THAT(error, HasSubstr("No such file"));

  // Not a shared object at all.
  std::ofstream(dir.path() / "garbage.so") << std::string(4096, 'x');
  error.clear();
  EXPECT_FALSE(E164Module::Load(dir.path() / "garbage.so", error));
  EXPECT_FALSE(error.empty());
  EXPECT_THAT(error, ::testing::Not(HasSubstr(dir.path().string())));  // the caller names it

  // A module of another build of the program.
  error.clear();
  EXPECT_FALSE(E164Module::Load(DIALSIFT_OTHER_E164_MODULE, error));
  EXPECT_EQ(error, "built for another version of the program (interface " +
                       std::to_string(kE164ModuleInterface) + " wanted)");

  // A bare name is never looked for in the current folder or the library path.
  const fs::path here = fs::current_path();
  fs::current_path(test::BinDir());
  error.clear();
  EXPECT_FALSE(E164Module::Load(fs::path(kE164ModuleFile), error));
  fs::current_path(here);
  EXPECT_EQ(error, "not an absolute path");
}

TEST(E164Module, TheRunningProgramFindsItsModule) {
  // The tests run from the build tree's bin/, where the module lies.
  std::error_code ec;
  EXPECT_TRUE(fs::equivalent(E164Module::BesideProgram(), test::BinDir() / kE164ModuleFile, ec))
      << E164Module::BesideProgram();
}

}  // namespace
}  // namespace dialsift::results
