// libgsf, opened when the first OLE2 compound file comes. The library and
// what it brings (GLib, GIO, libxml2 and theirs: fourteen shared libraries)
// took a fifth of a run's start, and most runs never meet an .xls file.
#pragma once

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <string>

namespace dialsift::sheet::xls {

// The functions of libgsf and GLib the compound-file reader calls, with the
// types of their declarations.
struct GsfLibrary {
  decltype(&::gsf_input_stdio_new) input_stdio_new;
  decltype(&::gsf_input_memory_new) input_memory_new;
  decltype(&::gsf_infile_msole_new) infile_msole_new;
  decltype(&::gsf_infile_child_by_name) infile_child_by_name;
  decltype(&::gsf_input_size) input_size;
  decltype(&::gsf_input_seek) input_seek;
  decltype(&::gsf_input_read) input_read;
  decltype(&::g_object_unref) object_unref;
  decltype(&::g_error_free) error_free;
  decltype(&::g_log_set_handler) log_set_handler;
};

// The library, opened on the first call (from any thread) and kept for the
// life of the process; null when it cannot be opened, and then `reason`
// says why (the same on every call).
const GsfLibrary* Gsf(std::string* reason = nullptr);

}  // namespace dialsift::sheet::xls
