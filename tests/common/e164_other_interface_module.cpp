// An E.164 module as a build with another interface number makes it: it
// answers only a program of that build.
#include "results/e164_module.h"

extern "C" __attribute__((visibility("default"))) const dialsift::results::E164ModuleFunctions*
dialsift_e164_module(std::uint32_t interface) {
  static constexpr dialsift::results::E164ModuleFunctions kFunctions{nullptr};
  return interface == dialsift::results::kE164ModuleInterface + 1 ? &kFunctions : nullptr;
}
