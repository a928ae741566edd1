#include "results/e164.h"

#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace dialsift::results {
namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

// The number as the library reads it in `region`, when it is a possible one.
std::optional<PhoneNumber> Possible(const PhoneNumberUtil& util, const std::string& text,
                                    const std::string& region) {
  PhoneNumber number;
  if (util.Parse(text, region, &number) != PhoneNumberUtil::NO_PARSING_ERROR) return std::nullopt;
  if (!util.IsPossibleNumber(number)) return std::nullopt;
  return number;
}

}  // namespace

std::optional<E164> E164::ForRegion(std::string_view region) {
  std::string code(region);
  std::transform(code.begin(), code.end(), code.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::set<std::string> regions;
  PhoneNumberUtil::GetInstance()->GetSupportedRegions(&regions);
  if (!regions.contains(code)) return std::nullopt;
  return E164(std::move(code));
}

Normalised E164::Normalise(std::string_view written) const {
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  const std::string text(written);
  auto number = Possible(util, text, region_);
  if (!number) {
    // "00" is the international prefix of most of the world; the region's
    // own prefix (011 in the US) was tried above.
    const auto first = text.find_first_not_of(" (.-");
    if (first != std::string::npos && text.compare(first, 2, "00") == 0) {
      number = Possible(util, "+" + text.substr(first + 2), region_);
    }
  }
  Normalised out;
  if (!number) return out;
  util.Format(*number, PhoneNumberUtil::E164, &out.e164);
  out.valid = util.IsValidNumber(*number);
  return out;
}

}  // namespace dialsift::results
