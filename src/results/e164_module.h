// What the E.164 module and the program that loads it share. The module,
// dialsift-e164.so, holds our use of libphonenumber, so that only runs asking
// for E.164 forms load the library (with protobuf, abseil and ICU).
//
// Both sides are built together and C++ types cross: the interface number
// below, which the module's entry point checks, keeps a module of another
// build from being used.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "results/output.h"

namespace dialsift::results {

// Raised whenever anything below, or a type it names, changes.
inline constexpr std::uint32_t kE164ModuleInterface = 1;

// The module's file name and its one exported symbol.
inline constexpr std::string_view kE164ModuleFile = "dialsift-e164.so";
inline constexpr const char* kE164ModuleEntry = "dialsift_e164_module";

// A number's E.164 form in one region's reading.
class E164Numbering {
 public:
  virtual ~E164Numbering() = default;
  // The E.164 form when the library parses the text as a possible number,
  // else none; valid when the numbering plan knows such a number.
  virtual Normalised Normalise(std::string_view number) const = 0;
};

struct E164ModuleFunctions {
  // For numbers written without a country code, read as numbers of `region`
  // (an ISO 3166 code such as "US", "gb", "DE"); null when the library does
  // not know the region.
  std::unique_ptr<E164Numbering> (*for_region)(std::string_view region);
};

// The entry point's type: the module's functions when it was built for
// `interface`, else null.
using E164ModuleEntry = const E164ModuleFunctions* (*)(std::uint32_t interface);

}  // namespace dialsift::results
