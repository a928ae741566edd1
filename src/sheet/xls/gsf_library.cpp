#include "sheet/xls/gsf_library.h"

#include <dlfcn.h>

namespace dialsift::sheet::xls {
namespace {

struct Loaded {
  GsfLibrary library{};
  bool ok = false;
  std::string reason;
};

template <class F>
bool Find(void* handle, const char* name, F& function, std::string& reason) {
  function = reinterpret_cast<F>(::dlsym(handle, name));
  if (function == nullptr && reason.empty()) reason = std::string("no ") + name + " in it";
  return function != nullptr;
}

Loaded Open() {
  Loaded loaded;
  // The soname the build was made against. The handle is never closed:
  // GLib's types stay registered for the life of the process.
  void* handle = ::dlopen(DIALSIFT_GSF_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    loaded.reason = why != nullptr ? why : "it cannot be loaded";
    return loaded;
  }
  GsfLibrary& l = loaded.library;
  std::string& r = loaded.reason;
  // GLib's functions come through libgsf's handle, from the libraries it needs.
  loaded.ok = Find(handle, "gsf_input_stdio_new", l.input_stdio_new, r) &
              Find(handle, "gsf_input_memory_new", l.input_memory_new, r) &
              Find(handle, "gsf_infile_msole_new", l.infile_msole_new, r) &
              Find(handle, "gsf_infile_child_by_name", l.infile_child_by_name, r) &
              Find(handle, "gsf_input_size", l.input_size, r) &
              Find(handle, "gsf_input_seek", l.input_seek, r) &
              Find(handle, "gsf_input_read", l.input_read, r) &
              Find(handle, "g_object_unref", l.object_unref, r) &
              Find(handle, "g_error_free", l.error_free, r) &
              Find(handle, "g_log_set_handler", l.log_set_handler, r);
  if (!loaded.ok) r = std::string(DIALSIFT_GSF_SONAME) + ": " + r;
  return loaded;
}

}  // namespace

const GsfLibrary* Gsf(std::string* reason) {
  static const Loaded loaded = Open();
  if (!loaded.ok && reason != nullptr) *reason = loaded.reason;
  return loaded.ok ? &loaded.library : nullptr;
}

}  // namespace dialsift::sheet::xls
