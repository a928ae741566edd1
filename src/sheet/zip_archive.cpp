#include "sheet/zip_archive.h"

#include <zip.h>

#include <cstring>
#include <vector>

namespace dialsift::sheet {

void ZipArchive::Closer::operator()(zip* z) const {
  if (z) zip_discard(z);
}

namespace {

// A libzip failure in plain words. `entry` names the entry it happened in,
// when there is one.
Error ZipFault(zip_error_t* error, std::string_view entry) {
  const std::string in = entry.empty() ? std::string() : " in " + std::string(entry);
  switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOZIP:
      return {ErrorKind::kDamagedContainer,
              "damaged zip archive (its table of contents is missing; the file may be cut short)"};
    case ZIP_ER_INCONS:
      return {ErrorKind::kDamagedContainer,
              "damaged zip archive (its table of contents contradicts itself" + in + ")"};
    case ZIP_ER_EOF:
      return {ErrorKind::kDamagedContainer, "damaged zip archive (the file ends too early)"};
    case ZIP_ER_CRC:
      return {ErrorKind::kDamagedContainer, "damaged zip archive (checksum mismatch" + in + ")"};
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return {ErrorKind::kDamagedContainer,
              "damaged zip archive (compressed data cannot be unpacked" + in + ")"};
    case ZIP_ER_COMPNOTSUPP:
      return {ErrorKind::kUnsupportedFormat, "unsupported zip compression method" + in};
    case ZIP_ER_MULTIDISK:
      return {ErrorKind::kUnsupportedFormat, "unsupported zip archive split over several files"};
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
      return PasswordProtected();
    case ZIP_ER_MEMORY:
      return {ErrorKind::kTooLarge, "out of memory"};
    case ZIP_ER_NOENT:
      return FileNotFound();
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL: {
      const int sys = zip_error_code_system(error);
      return CannotReadFile(sys != 0 ? std::strerror(sys) : "");
    }
    default:
      return {ErrorKind::kDamagedContainer,
              "damaged zip archive (" + std::string(zip_error_strerror(error)) + in + ")"};
  }
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

Error TooLarge(std::string_view entry, std::uint64_t size) {
  return {ErrorKind::kTooLarge,
          "part " + std::string(entry) + " is too large (" + std::to_string(size >> 20) + " MB)"};
}

}  // namespace

ZipEntryReader::ZipEntryReader(zip_file* file, std::uint64_t size, std::string name,
                               std::uint64_t* inflated, std::uint64_t max_inflated)
    : file_(file),
      size_(size),
      name_(std::move(name)),
      inflated_(inflated),
      max_inflated_(max_inflated) {}

ZipEntryReader::ZipEntryReader(ZipEntryReader&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      size_(other.size_),
      done_(other.done_),
      name_(std::move(other.name_)),
      inflated_(other.inflated_),
      max_inflated_(other.max_inflated_) {}

ZipEntryReader& ZipEntryReader::operator=(ZipEntryReader&& other) noexcept {
  if (this != &other) {
    if (file_) zip_fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
    size_ = other.size_;
    done_ = other.done_;
    name_ = std::move(other.name_);
    inflated_ = other.inflated_;
    max_inflated_ = other.max_inflated_;
  }
  return *this;
}

ZipEntryReader::~ZipEntryReader() {
  if (file_) zip_fclose(file_);
}

Result<std::size_t> ZipEntryReader::Read(std::span<char> buffer) {
  if (!file_) return Error{ErrorKind::kIo, "cannot read " + name_ + " (it is not open)"};
  if (buffer.empty()) return std::size_t{0};
  const zip_int64_t n = zip_fread(file_, buffer.data(), buffer.size());
  if (n < 0) return ZipFault(zip_file_get_error(file_), name_);
  done_ += static_cast<std::uint64_t>(n);
  if (done_ > size_) {
    return Error{ErrorKind::kDamagedContainer,
                 "damaged zip archive (" + name_ + " is larger than its declared size)"};
  }
  *inflated_ += static_cast<std::uint64_t>(n);
  if (*inflated_ > max_inflated_) {
    return OverBudget("more than " + std::to_string(max_inflated_ >> 20) +
                      " MB unpacked out of its zip container, counting every read of a part");
  }
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
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    Error fault = ZipFault(&error, {});
    zip_error_fini(&error);
    return fault;
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
  if (index < 0) return MissingPart(n);
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) {
    return Error{ErrorKind::kDamagedContainer, "damaged zip archive (no size for " + n + ")"};
  }
  if (st.size > limits_.max_entry_size) return TooLarge(n, st.size);
  if (st.size > limits_.ratio_floor &&
      st.size / (st.comp_size ? st.comp_size : 1) > limits_.max_ratio) {
    return Error{ErrorKind::kTooLarge, "part " + n + " unpacks to more than " +
                                           std::to_string(limits_.max_ratio) +
                                           " times its packed size (a zip bomb?)"};
  }
  if (st.valid & ZIP_STAT_ENCRYPTION_METHOD && st.encryption_method != ZIP_EM_NONE) {
    return PasswordProtected();
  }
  zip_file* f = zip_fopen_index(zip_.get(), static_cast<zip_uint64_t>(index), 0);
  if (!f) return ZipFault(zip_get_error(zip_.get()), n);
  return ZipEntryReader(f, st.size, n, inflated_.get(), limits_.max_inflated);
}

Result<std::string> ZipArchive::ReadAll(std::string_view name, std::uint64_t max_size) const {
  auto entry = OpenEntry(name);
  if (!entry) return entry.error();
  if (entry->Size() > max_size) return TooLarge(name, entry->Size());
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

}  // namespace dialsift::sheet
