// A shared object opened while the program runs: the code of a part only some
// runs need, so that the others do not load its libraries at start.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace dialsift::platform {

class SharedObject {
  struct OpenedKey;  // only Open makes one

 public:
  // The object at `path`, its symbols bound at once; null with `error` set
  // (the loader's reason) when it cannot be loaded. `path` must be absolute:
  // no library path or current folder is searched for it. The object stays
  // mapped until the program ends: libraries with singletons of their own
  // are not safe to unload.
  static std::unique_ptr<SharedObject> Open(const std::filesystem::path& path, std::string& error);

  SharedObject(const OpenedKey&, void* handle) : handle_(handle) {}
  ~SharedObject();
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  // The address of the exported symbol `name`; null with `error` set when the
  // object has no such symbol.
  void* Symbol(const char* name, std::string& error) const;

 private:
  static std::unique_ptr<SharedObject> Load(const char* name, std::string& error);

  void* handle_;
};

}  // namespace dialsift::platform
