#include "platform/shared_object.h"

#include <dlfcn.h>

#include <string_view>

namespace dialsift::platform {

struct SharedObject::OpenedKey {};

std::unique_ptr<SharedObject> SharedObject::Open(const std::filesystem::path& path,
                                                 std::string& error) {
  // A name without a slash would make dlopen search the library path.
  if (!path.is_absolute()) {
    error = "not an absolute path";
    return nullptr;
  }
  return Load(path.c_str(), error);
}

std::unique_ptr<SharedObject> SharedObject::Load(const char* name, std::string& error) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    // The loader's words, without the name they often begin with: the
    // caller names it.
    const char* message = dlerror();
    std::string_view reason = message ? message : "unknown error";
    const std::string prefix = std::string(name) + ": ";
    if (reason.starts_with(prefix)) reason.remove_prefix(prefix.size());
    error = reason;
    return nullptr;
  }
  return std::make_unique<SharedObject>(OpenedKey{}, handle);
}

SharedObject::~SharedObject() {
  dlclose(handle_);
}

void* SharedObject::Symbol(const char* name, std::string& error) const {
  dlerror();  // a null symbol is told from a missing one by dlerror alone
  void* address = dlsym(handle_, name);
  if (dlerror() != nullptr) {
    error = std::string("no symbol ") + name;
    return nullptr;
  }
  return address;
}

}  // namespace dialsift::platform
