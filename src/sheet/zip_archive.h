// Read-only access to the zip container of .xlsx, .xlsm, .xlsb and .ods
// files, with limits against hostile archives: an entry's declared size, its
// expansion ratio and the bytes actually inflated are all bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sheet/limits.h"
#include "sheet/result.h"

struct zip;
struct zip_file;

namespace dialsift::sheet {

// A part that the package names, or must have, is not in it.
inline Error MissingPart(std::string_view part) {
  return {ErrorKind::kMissingPart, "missing part " + std::string(part)};
}

struct ZipLimits {
  // Largest uncompressed size of one entry.
  std::uint64_t max_entry_size = std::uint64_t{4} << 30;
  // Entries larger than this must not expand more than max_ratio times.
  std::uint64_t ratio_floor = std::uint64_t{16} << 20;
  std::uint64_t max_ratio = 4000;
  // Bytes inflated over all entries and all reads of the archive.
  std::uint64_t max_inflated = kMaxInflatedBytes;
};

// A streaming reader of one entry. Read returns the bytes read (0 at the end)
// or an Error (damaged data, CRC mismatch, limit exceeded).
class ZipEntryReader {
 public:
  ZipEntryReader(ZipEntryReader&&) noexcept;
  ZipEntryReader& operator=(ZipEntryReader&&) noexcept;
  ~ZipEntryReader();

  Result<std::size_t> Read(std::span<char> buffer);
  std::uint64_t Size() const { return size_; }

 private:
  friend class ZipArchive;
  ZipEntryReader(zip_file* file, std::uint64_t size, std::string name, std::uint64_t* inflated,
                 std::uint64_t max_inflated);
  zip_file* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t done_ = 0;
  std::string name_;
  std::uint64_t* inflated_ = nullptr;  // the archive's count
  std::uint64_t max_inflated_ = 0;
};

class ZipArchive {
 public:
  static Result<ZipArchive> Open(const std::filesystem::path& path, ZipLimits limits = {});

  ZipArchive(ZipArchive&&) noexcept;
  ZipArchive& operator=(ZipArchive&&) noexcept;
  ~ZipArchive();

  // Entry names are matched without regard to case, as OPC part names are,
  // and "\\" between folders matches "/" (some Windows tools write it).
  bool Has(std::string_view name) const;
  std::vector<std::string> Names() const;
  Result<ZipEntryReader> OpenEntry(std::string_view name) const;
  // The whole entry, refused when it is larger than max_size.
  Result<std::string> ReadAll(std::string_view name, std::uint64_t max_size) const;

 private:
  ZipArchive() = default;
  struct Closer {
    void operator()(zip* z) const;
  };
  // Index of the entry `name` names, or -1.
  std::int64_t Locate(std::string_view name) const;

  std::unique_ptr<zip, Closer> zip_;
  ZipLimits limits_;
  // Bytes inflated so far; on the heap so that readers of entries keep it
  // when the archive moves.
  std::unique_ptr<std::uint64_t> inflated_ = std::make_unique<std::uint64_t>(0);
  // Every entry's folded name and index, built once when the archive opens:
  // a lookup per part would otherwise compare every name of the archive.
  std::unordered_map<std::string, std::uint64_t> by_folded_name_;
};

}  // namespace dialsift::sheet
