#include "platform/time_zone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace dialsift::platform {
namespace {

// Puts TZ back as it was, whatever the test did to it.
class KeepTz {
 public:
  KeepTz() {
    if (const char* tz = std::getenv("TZ")) old_ = tz;
  }
  ~KeepTz() {
    if (old_)
      ::setenv("TZ", old_->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

std::string Local(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%F %T %z", &tm);
  return text;
}

// Pinned, the zone is the one the system gave before: local times do not move.
TEST(PinLocalTimeZone, NamesTheSystemZoneWhenTzIsUnset) {
  KeepTz keep;
  ::unsetenv("TZ");
  ::tzset();
  const std::string winter = Local(1700000000);
  const std::string summer = Local(1720000000);
  PinLocalTimeZone();
  ASSERT_NE(std::getenv("TZ"), nullptr);
  EXPECT_STREQ(std::getenv("TZ"), ":/etc/localtime");
  EXPECT_EQ(Local(1700000000), winter);
  EXPECT_EQ(Local(1720000000), summer);
}

TEST(PinLocalTimeZone, LeavesASetTzAlone) {
  KeepTz keep;
  ::setenv("TZ", "Asia/Tokyo", 1);
  PinLocalTimeZone();
  EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
  ::tzset();
  EXPECT_EQ(Local(0), "1970-01-01 09:00:00 +0900");
}

}  // namespace
}  // namespace dialsift::platform
