#include "sheet/xls/compound_file.h"

#include <array>
#include <mutex>
#include <string_view>

#include "sheet/xls/gsf_library.h"

namespace dialsift::sheet::xls {

namespace {

// Objects exist only once the library is open.
struct GObjectUnref {
  void operator()(void* p) const {
    if (p != nullptr) Gsf()->object_unref(p);
  }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* e) const {
    if (e != nullptr) Gsf()->error_free(e);
  }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// libgsf's message, without the file name that some messages begin with
// ("/path/book.xls: Permission denied").
std::string Message(const GErrorPtr& err) {
  if (!err || err->message == nullptr) return "unknown fault";
  const std::string_view text(err->message);
  const auto colon = text.rfind(": ");
  return std::string(colon == std::string_view::npos ? text : text.substr(colon + 2));
}

void DropLogMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// libgsf writes its own warnings about damaged containers to standard
// error ("Invalid metabat item ..."). The reader reports the damage as an
// Error already, and standard error belongs to the program (the CLI prints
// one line per failed file there), so libgsf's log domains are muted, once
// per process.
void MuteLibgsfLogs(const GsfLibrary& gsf) {
  static std::once_flag once;
  std::call_once(once, [&gsf] {
    constexpr auto kLevels = static_cast<GLogLevelFlags>(
        G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO |
        G_LOG_LEVEL_DEBUG | G_LOG_FLAG_RECURSION);
    for (const char* domain : {"libgsf", "libgsf:msole"}) {
      gsf.log_set_handler(domain, kLevels, DropLogMessage, nullptr);
    }
  });
}

// Without libgsf no compound file can be read; the error says why.
Error NoLibrary(const std::string& reason) {
  return {ErrorKind::kUnsupportedFormat,
          "OLE2 compound files cannot be read here (" + reason + ")"};
}

}  // namespace

struct CompoundFile::Handles {
  GPtr<GsfInput> file;
  GPtr<GsfInfile> ole;
  GPtr<GsfInput> stream;
};

CompoundFile::CompoundFile() : handles_(std::make_unique<Handles>()) {}
CompoundFile::~CompoundFile() = default;

Result<std::unique_ptr<CompoundFile>> CompoundFile::Open(const std::filesystem::path& path) {
  std::string reason;
  const GsfLibrary* gsf = Gsf(&reason);
  if (gsf == nullptr) return NoLibrary(reason);
  GError* raw = nullptr;
  GsfInput* input = gsf->input_stdio_new(path.c_str(), &raw);
  GErrorPtr err(raw);
  if (input == nullptr) return CannotReadFile(Message(err));
  return FromInput(input);
}

Result<std::unique_ptr<CompoundFile>> CompoundFile::FromMemory(
    std::span<const std::uint8_t> bytes) {
  std::string reason;
  const GsfLibrary* gsf = Gsf(&reason);
  if (gsf == nullptr) return NoLibrary(reason);
  GsfInput* input =
      gsf->input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE);
  if (input == nullptr) return CannotReadFile();
  return FromInput(input);
}

Result<std::unique_ptr<CompoundFile>> CompoundFile::FromInput(void* input) {
  const GsfLibrary& gsf = *Gsf();  // open, or there would be no input
  MuteLibgsfLogs(gsf);
  std::unique_ptr<CompoundFile> cf(new CompoundFile());
  cf->handles_->file.reset(static_cast<GsfInput*>(input));
  GError* raw = nullptr;
  cf->handles_->ole.reset(gsf.infile_msole_new(cf->handles_->file.get(), &raw));
  GErrorPtr err(raw);
  if (!cf->handles_->ole) {
    return Error{ErrorKind::kDamagedContainer, "damaged OLE2 compound file (" + Message(err) + ")"};
  }
  GsfInfile* ole = cf->handles_->ole.get();
  // Excel 97 and later write "Workbook"; Excel 5/95 wrote "Book". A file
  // with both is a later workbook that kept its old stream.
  for (const char* name : {"Workbook", "Book", "WORKBOOK", "BOOK"}) {
    GsfInput* stream = gsf.infile_child_by_name(ole, name);
    if (stream == nullptr) continue;
    cf->handles_->stream.reset(stream);
    cf->stream_name_ = name;
    cf->content_ = CompoundContent::kWorkbook;
    const gsf_off_t size = gsf.input_size(stream);
    cf->size_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    return cf;
  }
  if (GPtr<GsfInput> enc(gsf.infile_child_by_name(ole, "EncryptedPackage")); enc) {
    cf->content_ = CompoundContent::kEncryptedPackage;
  }
  return cf;
}

bool CompoundFile::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  GsfInput* stream = handles_->stream.get();
  const GsfLibrary& gsf = *Gsf();
  if (stream == nullptr || offset > size_ || out.size() > size_ - offset) return false;
  if (out.empty()) return true;
  // gsf_input_seek answers TRUE on failure.
  if (gsf.input_seek(stream, static_cast<gsf_off_t>(offset), G_SEEK_SET)) return false;
  return gsf.input_read(stream, out.size(), out.data()) != nullptr;
}

}  // namespace dialsift::sheet::xls
