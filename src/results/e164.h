// A number's E.164 form, from libphonenumber. The library, with protobuf,
// abseil and ICU, is loaded only when E.164 forms are asked for: our use of
// it lives in a module (dialsift-e164.so) that E164Module opens.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "results/e164_module.h"
#include "results/output.h"

namespace dialsift::platform {
class SharedObject;
}

namespace dialsift::results {

// The reading of numbers of one region.
class E164 {
 public:
  // The E.164 form when the library parses the text as a possible number,
  // else none; valid when the numbering plan knows such a number. Written
  // international forms ("+44 20 7946 0958", "0044 20 7946 0958") are read
  // as such whatever the region: "00" is tried as "+" when the region's own
  // reading gives no possible number.
  Normalised Normalise(std::string_view number) const { return numbering_->Normalise(number); }

 private:
  friend class E164Module;
  E164(std::shared_ptr<const platform::SharedObject> module,
       std::shared_ptr<const E164Numbering> numbering)
      : module_(std::move(module)), numbering_(std::move(numbering)) {}
  std::shared_ptr<const platform::SharedObject> module_;  // holds numbering_'s code
  std::shared_ptr<const E164Numbering> numbering_;
};

// The loaded module.
class E164Module {
 public:
  // Where the running program finds the module: beside it, else in the
  // installed tree's private module folder (platform/program_files.h).
  // Empty when the program's own folder is unknown.
  static std::filesystem::path BesideProgram();

  // The module at `path`; nullopt with `error` set (the reason, without the
  // path) when it cannot be loaded or was built for another interface.
  static std::optional<E164Module> Load(const std::filesystem::path& path, std::string& error);

  // For numbers written without a country code, read as numbers of `region`
  // (an ISO 3166 code such as "US", "GB", "DE", any case); nullopt when the
  // library does not know the region.
  std::optional<E164> ForRegion(std::string_view region) const;

 private:
  E164Module(std::shared_ptr<const platform::SharedObject> object,
             const E164ModuleFunctions& functions)
      : object_(std::move(object)), functions_(&functions) {}
  std::shared_ptr<const platform::SharedObject> object_;
  const E164ModuleFunctions* functions_;  // in object_
};

}  // namespace dialsift::results
