#include "sheet/zip_archive.h"

#include <zip.h>

#include <vector>

namespace dialsift::sheet {

void ZipArchive::Closer::operator()(zip* z) const {
  if (z) zip_discard(z);
}

namespace {

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// The form names are compared in: ASCII letters in lower case (as libzip's
// case-blind lookup compares), "\\" as "/".
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (auto& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '\\') c = '/';
  }
  return folded;
}

}  // namespace

ZipEntryReader::ZipEntryReader(zip_file* file, std::uint64_t size, std::string name)
    : file_(file), size_(size), name_(std::move(name)) {}

ZipEntryReader::ZipEntryReader(ZipEntryReader&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      size_(other.size_),
      done_(other.done_),
      name_(std::move(other.name_)) {}

ZipEntryReader& ZipEntryReader::operator=(ZipEntryReader&& other) noexcept {
  if (this != &other) {
    if (file_) zip_fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
    size_ = other.size_;
    done_ = other.done_;
    name_ = std::move(other.name_);
  }
  return *this;
}

ZipEntryReader::~ZipEntryReader() {
  if (file_) zip_fclose(file_);
}

Result<std::size_t> ZipEntryReader::Read(std::span<char> buffer) {
  if (!file_) return Error{"damaged zip archive: " + name_ + " is not open"};
  if (buffer.empty()) return std::size_t{0};
  const zip_int64_t n = zip_fread(file_, buffer.data(), buffer.size());
  if (n < 0) {
    return Error{"damaged zip archive: cannot inflate " + name_ + " (" +
                 zip_error_strerror(zip_file_get_error(file_)) + ")"};
  }
  done_ += static_cast<std::uint64_t>(n);
  if (done_ > size_) return Error{"damaged zip archive: " + name_ + " is larger than declared"};
  return static_cast<std::size_t>(n);
}

Result<ZipArchive> ZipArchive::Open(const std::filesystem::path& path, ZipLimits limits) {
  int code = 0;
  zip* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!z && code == ZIP_ER_INCONS) {
    // Local headers that disagree with the central directory (some writers
    // leave stale sizes there): the central directory is what counts, and
    // every entry is still checked against its size and CRC when read.
    z = zip_open(path.c_str(), ZIP_RDONLY, &code);
  }
  if (!z) {
    if (code == ZIP_ER_NOENT) return Error{"file not found"};
    if (code == ZIP_ER_OPEN || code == ZIP_ER_READ) return Error{"cannot read the file"};
    return Error{"damaged zip archive: " + ZipErrorText(code)};
  }
  ZipArchive archive;
  archive.zip_.reset(z);
  archive.limits_ = limits;
  const zip_int64_t count = zip_get_num_entries(z, 0);
  archive.by_folded_name_.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (zip_int64_t i = 0; i < count; ++i) {
    if (const char* n = zip_get_name(z, static_cast<zip_uint64_t>(i), 0)) {
      // The first of several entries with the same name wins, as in
      // libzip's own lookup.
      archive.by_folded_name_.emplace(Folded(n), static_cast<std::uint64_t>(i));
    }
  }
  return archive;
}

ZipArchive::ZipArchive(ZipArchive&&) noexcept = default;
ZipArchive& ZipArchive::operator=(ZipArchive&&) noexcept = default;
ZipArchive::~ZipArchive() = default;

std::int64_t ZipArchive::Locate(std::string_view name) const {
  const auto it = by_folded_name_.find(Folded(name));
  return it == by_folded_name_.end() ? -1 : static_cast<std::int64_t>(it->second);
}

bool ZipArchive::Has(std::string_view name) const {
  return Locate(name) >= 0;
}

std::vector<std::string> ZipArchive::Names() const {
  std::vector<std::string> names;
  const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    if (const char* n = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(i), 0)) {
      names.emplace_back(n);
    }
  }
  return names;
}

Result<ZipEntryReader> ZipArchive::OpenEntry(std::string_view name) const {
  const std::string n(name);
  const std::int64_t index = Locate(n);
  if (index < 0) return Error{"missing part " + n};
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) {
    return Error{"damaged zip archive: no size for " + n};
  }
  if (st.size > limits_.max_entry_size) {
    return Error{"part " + n + " is too large (" + std::to_string(st.size >> 20) + " MB)"};
  }
  if (st.size > limits_.ratio_floor &&
      st.size / (st.comp_size ? st.comp_size : 1) > limits_.max_ratio) {
    return Error{"part " + n + " expands beyond a sane ratio (a zip bomb?)"};
  }
  if (st.valid & ZIP_STAT_ENCRYPTION_METHOD && st.encryption_method != ZIP_EM_NONE) {
    return Error{"password-protected workbook"};
  }
  zip_file* f = zip_fopen_index(zip_.get(), static_cast<zip_uint64_t>(index), 0);
  if (!f) {
    return Error{"damaged zip archive: cannot open " + n + " (" +
                 zip_error_strerror(zip_get_error(zip_.get())) + ")"};
  }
  return ZipEntryReader(f, st.size, n);
}

Result<std::string> ZipArchive::ReadAll(std::string_view name, std::uint64_t max_size) const {
  auto entry = OpenEntry(name);
  if (!entry) return entry.error();
  if (entry->Size() > max_size) {
    return Error{"part " + std::string(name) + " is too large (" +
                 std::to_string(entry->Size() >> 20) + " MB)"};
  }
  std::string out(static_cast<std::size_t>(entry->Size()), '\0');
  std::size_t filled = 0;
  while (filled < out.size()) {
    auto n = entry->Read(std::span<char>(out.data() + filled, out.size() - filled));
    if (!n) return n.error();
    if (*n == 0) break;
    filled += *n;
  }
  out.resize(filled);
  return out;
}

std::string ResolvePartName(std::string_view source_folder, std::string_view target) {
  std::string joined;
  if (!target.empty() && target.front() == '/') {
    joined = std::string(target.substr(1));
  } else {
    joined = std::string(source_folder);
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += target;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& p : parts) {
    if (!out.empty()) out += '/';
    out += p;
  }
  return out;
}

}  // namespace dialsift::sheet
