// The E.164 module: a number's E.164 form from libphonenumber, whose numbering
// plans are the library's, none of ours. Loaded by the program only for the
// runs that ask for E.164 forms.
#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "results/e164_module.h"

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

// The library reads the no-break space as a blank but not the figure, thin
// or narrow no-break space (U+2007, U+2009, U+202F) that numbers written
// with spaces may hold: those become spaces.
std::string WithPlainBlanks(std::string_view written) {
  std::string text;
  text.reserve(written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (written[i] == '\xE2' && i + 2 < written.size() && written[i + 1] == '\x80' &&
        (written[i + 2] == '\x87' || written[i + 2] == '\x89' || written[i + 2] == '\xAF')) {
      text += ' ';
      i += 2;
    } else {
      text += written[i];
    }
  }
  return text;
}

class PhoneNumberE164 final : public E164Numbering {
 public:
  explicit PhoneNumberE164(std::string region) : region_(std::move(region)) {}

  // Written international forms ("+44 20 7946 0958", "0044 20 7946 0958")
  // are read as such whatever the region: "00" is tried as "+" when the
  // region's own reading gives no possible number. A trunk prefix written
  // after the country code ("+44 (0)20 ...") is dropped by the library.
  Normalised Normalise(std::string_view written) const override {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    const std::string text = WithPlainBlanks(written);
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

 private:
  std::string region_;
};

std::unique_ptr<E164Numbering> ForRegion(std::string_view region) {
  std::string code(region);
  std::transform(code.begin(), code.end(), code.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::set<std::string> regions;
  PhoneNumberUtil::GetInstance()->GetSupportedRegions(&regions);
  if (!regions.contains(code)) return nullptr;
  return std::make_unique<PhoneNumberE164>(std::move(code));
}

constexpr E164ModuleFunctions kFunctions{&ForRegion};

}  // namespace
}  // namespace dialsift::results

extern "C" __attribute__((visibility("default"))) const dialsift::results::E164ModuleFunctions*
dialsift_e164_module(std::uint32_t interface) {
  // The entry point's name and type never change; what it returns may.
  static_assert(
      std::is_same_v<decltype(&dialsift_e164_module), dialsift::results::E164ModuleEntry>);
  if (interface != dialsift::results::kE164ModuleInterface) return nullptr;
  return &dialsift::results::kFunctions;
}
