// A number's E.164 form, from libphonenumber: the numbering plans are the
// library's, none of ours.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/output.h"

namespace dialsift::results {

class E164 {
 public:
  // For numbers written without a country code, read as numbers of `region`
  // (an ISO 3166 code such as "US", "GB", "DE"); nullopt when the library
  // does not know the region.
  static std::optional<E164> ForRegion(std::string_view region);

  // The E.164 form when the library parses the text as a possible number,
  // else none; valid when the numbering plan knows such a number. Written
  // international forms ("+44 20 7946 0958", "0044 20 7946 0958") are read
  // as such whatever the region: "00" is tried as "+" when the region's own
  // reading gives no possible number.
  Normalised Normalise(std::string_view number) const;

 private:
  explicit E164(std::string region) : region_(std::move(region)) {}
  std::string region_;
};

}  // namespace dialsift::results
