// Prints libphonenumber's example numbers for the measurement of numbers
// written with spaces (bench/spaced_measure.py): one line per region, type
// and format, tab-separated: region, FIXED_LINE or MOBILE, NATIONAL or
// INTERNATIONAL, the number as the library formats it.
//
// usage: spaced_examples REGION...
#include <phonenumbers/phonenumberutil.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  using i18n::phonenumbers::PhoneNumber;
  using i18n::phonenumbers::PhoneNumberUtil;
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  for (int i = 1; i < argc; ++i) {
    const std::string region = argv[i];
    for (const auto& [type, type_name] : {std::pair{PhoneNumberUtil::FIXED_LINE, "FIXED_LINE"},
                                          std::pair{PhoneNumberUtil::MOBILE, "MOBILE"}}) {
      PhoneNumber number;
      if (!util.GetExampleNumberForType(region, type, &number)) {
        std::cerr << region << ": no example " << type_name << " number\n";
        continue;
      }
      for (const auto& [format, format_name] :
           {std::pair{PhoneNumberUtil::NATIONAL, "NATIONAL"},
            std::pair{PhoneNumberUtil::INTERNATIONAL, "INTERNATIONAL"}}) {
        std::string text;
        util.Format(number, format, &text);
        std::cout << region << '\t' << type_name << '\t' << format_name << '\t' << text << '\n';
      }
    }
  }
  return 0;
}
