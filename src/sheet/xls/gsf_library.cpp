#include "sheet/xls/gsf_library.h"

#include <memory>

#include "platform/shared_object.h"

namespace dialsift::sheet::xls {
namespace {

struct Loaded {
  // Kept for the life of the process: GLib's types stay registered.
  std::unique_ptr<platform::SharedObject> object;
  GsfLibrary library{};
  bool ok = false;
  std::string reason;
};

template <class F>
bool Find(const platform::SharedObject& object, const char* name, F& function,
          std::string& reason) {
  std::string missing;
  function = reinterpret_cast<F>(object.Symbol(name, missing));
  if (function == nullptr && reason.empty()) reason = missing;
  return function != nullptr;
}

Loaded Open() {
  Loaded loaded;
  std::string& r = loaded.reason;
  // The soname the build was made against.
  loaded.object = platform::SharedObject::OpenLibrary(DIALSIFT_GSF_SONAME, r);
  if (loaded.object) {
    // GLib's functions come through libgsf's handle, from the libraries it
    // needs.
    const platform::SharedObject& o = *loaded.object;
    GsfLibrary& l = loaded.library;
    loaded.ok =
        Find(o, "gsf_input_stdio_new", l.input_stdio_new, r) &
        Find(o, "gsf_input_memory_new", l.input_memory_new, r) &
        Find(o, "gsf_infile_msole_new", l.infile_msole_new, r) &
        Find(o, "gsf_infile_child_by_name", l.infile_child_by_name, r) &
        Find(o, "gsf_input_size", l.input_size, r) & Find(o, "gsf_input_seek", l.input_seek, r) &
        Find(o, "gsf_input_read", l.input_read, r) & Find(o, "g_object_unref", l.object_unref, r) &
        Find(o, "g_error_free", l.error_free, r) &
        Find(o, "g_log_set_handler", l.log_set_handler, r);
  }
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
