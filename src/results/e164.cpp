#include "results/e164.h"

#include "platform/program_files.h"
#include "platform/shared_object.h"

namespace dialsift::results {

std::filesystem::path E164Module::BesideProgram() {
  const std::filesystem::path folder = ExecutableFolder();
  if (folder.empty()) return {};
  return ModulePath(folder, kE164ModuleFile);
}

std::optional<E164Module> E164Module::Load(const std::filesystem::path& path, std::string& error) {
  std::shared_ptr<const platform::SharedObject> object = platform::SharedObject::Open(path, error);
  if (!object) return std::nullopt;
  const auto entry = reinterpret_cast<E164ModuleEntry>(object->Symbol(kE164ModuleEntry, error));
  if (!entry) return std::nullopt;
  const E164ModuleFunctions* functions = entry(kE164ModuleInterface);
  if (!functions) {
    error = "built for another version of the program (interface " +
            std::to_string(kE164ModuleInterface) + " wanted)";
    return std::nullopt;
  }
  return E164Module(std::move(object), *functions);
}

std::optional<E164> E164Module::ForRegion(std::string_view region) const {
  std::shared_ptr<const E164Numbering> numbering = functions_->for_region(region);
  if (!numbering) return std::nullopt;
  return E164(object_, std::move(numbering));
}

}  // namespace dialsift::results
