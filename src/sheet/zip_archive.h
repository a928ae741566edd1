// Read-only access to the zip container of .xlsx, .xlsm, .xlsb and .ods
// files, with limits against hostile archives: an entry's declared size, its
// expansion ratio and the bytes actually inflated are all bounded.
//
// libzip reads the archive's directory and hands out each entry's bytes. In
// a build with ISA-L (DIALSIFT_ISAL), deflated entries are read raw through
// libzip and inflated by ISA-L, several times faster than zlib, with the
// entry's size and CRC-32 checked here; other methods, and builds without
// ISA-L, are inflated and checked by libzip (zlib).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
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

struct ZipSpare;  // zip_archive.cpp

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
//
// Opened from an archive that inflates ahead (ZipArchive::SetInflateAhead),
// a large entry is inflated on a thread of its own into a small ring of
// blocks while the caller parses what came before; Read then hands out the
// same bytes and, at a fault, the same error after the bytes before it.
class ZipEntryReader {
 public:
  ZipEntryReader(ZipEntryReader&&) noexcept;
  ZipEntryReader& operator=(ZipEntryReader&&) noexcept;
  ~ZipEntryReader();

  Result<std::size_t> Read(std::span<char> buffer);
  std::uint64_t Size() const;
  // True when a thread inflates this entry ahead of Read.
  bool InflatesAhead() const;

 private:
  friend class ZipArchive;
  struct State;
  class Ahead;
  explicit ZipEntryReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

class ZipArchive {
 public:
  static Result<ZipArchive> Open(const std::filesystem::path& path, ZipLimits limits = {});
  // The archive from the whole of its file, read beforehand: its entries are
  // then read with no further calls on the file system.
  static Result<ZipArchive> OpenBytes(std::unique_ptr<char[]> bytes, std::size_t size,
                                      ZipLimits limits = {});

  ZipArchive(ZipArchive&&) noexcept;
  ZipArchive& operator=(ZipArchive&&) noexcept;
  ~ZipArchive();

  // Entry names are matched without regard to case, as OPC part names are,
  // and "\\" between folders matches "/" (some Windows tools write it).
  bool Has(std::string_view name) const;
  std::vector<std::string> Names() const;
  // `ahead` false: read on the caller's thread even in an archive that
  // inflates ahead.
  Result<ZipEntryReader> OpenEntry(std::string_view name, bool ahead = true) const;
  // The whole entry, refused when it is larger than max_size.
  Result<std::string> ReadAll(std::string_view name, std::uint64_t max_size) const;

  // Entries of at least kAheadMinSize bytes opened from now on are inflated
  // on a second thread, ahead of their reading.
  // `spare`, when given, says whether the second core is still free for a
  // reader that asks again as it goes (CoreToSpare).
  void SetInflateAhead(bool ahead, std::function<bool()> spare = {}) {
    inflate_ahead_ = ahead;
    core_to_spare_ = std::move(spare);
  }
  // Whether the archive has a second thread for its large entries.
  bool InflatesAhead() const { return inflate_ahead_; }
  // The same, asked again now.
  bool CoreToSpare() const { return inflate_ahead_ && (!core_to_spare_ || core_to_spare_()); }
  static constexpr std::uint64_t kAheadMinSize = std::uint64_t{1} << 20;

  // True when the build inflates deflated entries with ISA-L.
  static bool FastInflateBuilt();
  // Entries opened from now on are inflated by ISA-L (the default in a build
  // with it) or by libzip: the two give the same bytes and the same errors,
  // which the tests hold them to.
  void SetFastInflate(bool fast) { fast_inflate_ = fast && FastInflateBuilt(); }

 private:
  ZipArchive() = default;
  struct Closer {
    void operator()(zip* z) const;
    // The file's bytes, for an archive opened from them: they go with the
    // handle, and are let go only after it is closed.
    std::unique_ptr<char[]> bytes;
  };
  // Index of the entry `name` names, or -1.
  std::int64_t Locate(std::string_view name) const;
  // Takes over an opened handle.
  static ZipArchive Adopt(zip* z, ZipLimits limits);
  std::unique_ptr<zip, Closer> zip_;
  ZipLimits limits_;
  // Bytes inflated so far; on the heap so that readers of entries keep it
  // when the archive moves.
  std::unique_ptr<std::uint64_t> inflated_ = std::make_unique<std::uint64_t>(0);
  // libzip serves one thread at a time per archive: every call on it, from
  // the archive or a reader of one of its entries, holds this lock.
  std::unique_ptr<std::mutex> lock_ = std::make_unique<std::mutex>();
  bool inflate_ahead_ = false;
  std::function<bool()> core_to_spare_;
  bool fast_inflate_ = FastInflateBuilt();
  // Buffers and inflater states of entries read to their end or closed,
  // for the next entries: a workbook opens many parts, and fresh memory
  // for each costs page faults.
  std::unique_ptr<ZipSpare> spare_;
  // Every entry's folded name and index, built once when the archive opens:
  // a lookup per part would otherwise compare every name of the archive.
  std::unordered_map<std::string, std::uint64_t> by_folded_name_;
};

}  // namespace dialsift::sheet
