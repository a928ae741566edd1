#include "sheet/xls/compound_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "sheet/xls/file_source.h"

namespace dialsift::sheet::xls {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderFatSectors = 109;  // FAT sector numbers in the header
constexpr std::size_t kEntrySize = 128;
// Sector numbers above this one are markers (end of chain, free, ...).
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
         (std::uint32_t{b[at + 3]} << 24);
}

Error Damaged(const std::string& reason) {
  return {ErrorKind::kDamagedContainer, "damaged OLE2 compound file (" + reason + ")"};
}

std::string Amount(std::uint64_t bytes) {
  return bytes >= (std::uint64_t{1} << 20) ? std::to_string(bytes >> 20) + " MB"
                                           : std::to_string(bytes) + " bytes";
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// A stream as the file offsets of its pieces (sectors or mini sectors), all
// `piece` bytes long; the stream's size cuts the last one short. Pieces
// that follow each other in the file are read with one call.
class PiecewiseSource final : public ByteSource {
 public:
  PiecewiseSource(std::shared_ptr<ByteSource> file, std::vector<std::uint64_t> offsets,
                  std::uint32_t piece, std::uint64_t size)
      : file_(std::move(file)), offsets_(std::move(offsets)), piece_(piece), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    while (!out.empty()) {
      std::size_t index = static_cast<std::size_t>(offset / piece_);
      const std::uint64_t at = offsets_[index] + offset % piece_;
      std::uint64_t run = piece_ - offset % piece_;
      while (run < out.size() && index + 1 < offsets_.size() &&
             offsets_[index + 1] == offsets_[index] + piece_) {
        ++index;
        run += piece_;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(run, out.size()));
      if (!file_->Read(at, out.first(n))) return false;
      out = out.subspan(n);
      offset += n;
    }
    return true;
  }

 private:
  std::shared_ptr<ByteSource> file_;
  std::vector<std::uint64_t> offsets_;
  std::uint32_t piece_;
  std::uint64_t size_;
};

// The links of a chain through an allocation table.
struct Chain {
  std::vector<std::uint32_t> links;
  // It left the table or the sectors there are, or met a sector twice.
  bool broken = false;
};

// Follows the chain from `start` for at most `want` links; only numbers
// below `limit` are sectors there are.
Chain Follow(std::uint32_t start, std::span<const std::uint32_t> table, std::uint64_t limit,
             std::uint64_t want) {
  Chain chain;
  const auto valid = static_cast<std::size_t>(std::min<std::uint64_t>(limit, table.size()));
  std::vector<bool> seen(valid, false);
  chain.links.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(want, valid)));
  for (std::uint32_t s = start; chain.links.size() < want && s != kEndOfChain; s = table[s]) {
    if (s >= valid || seen[s]) {
      chain.broken = true;
      break;
    }
    seen[s] = true;
    chain.links.push_back(s);
  }
  return chain;
}

struct Entry {
  std::string name;  // ASCII; other characters become '?'
  std::uint8_t type = 0;
  std::uint32_t left = kNoEntry;
  std::uint32_t right = kNoEntry;
  std::uint32_t child = kNoEntry;
  std::uint32_t start = kEndOfChain;
  std::uint64_t size = 0;
};

class Container {
 public:
  explicit Container(std::shared_ptr<ByteSource> file) : file_(std::move(file)) {}

  // Reads the header, the FAT and where the directory lies; an error when
  // they are beyond use.
  std::optional<Error> Load() {
    if (file_->Size() < kHeaderSize || !file_->Read(0, header_)) {
      return Damaged("the file ends inside its header");
    }
    if (!std::equal(kSignature.begin(), kSignature.end(), header_.begin())) {
      return Damaged("no compound-file signature");
    }
    const std::uint16_t shift = U16(header_, 30);
    const std::uint16_t mini_shift = U16(header_, 32);
    if (shift < 9 || shift > 16 || mini_shift < 2 || mini_shift >= shift) {
      return Damaged("unusable sector sizes, 2^" + std::to_string(shift) + " and 2^" +
                     std::to_string(mini_shift) + " bytes");
    }
    sector_ = std::uint32_t{1} << shift;
    mini_sector_ = std::uint32_t{1} << mini_shift;
    mini_cutoff_ = U32(header_, 56);
    // Sizes of version 3 files are 32 bits; writers leave anything in the
    // upper half.
    wide_sizes_ = U16(header_, 26) != 3 && sector_ != 512;
    const std::uint64_t size = file_->Size();
    // A last sector cut short by the end of the file still counts.
    sectors_ = size <= sector_ ? 0 : (size - sector_ + sector_ - 1) / sector_;
    sectors_ = std::min<std::uint64_t>(sectors_, kMaxRegularSector);

    if (auto fault = LoadFat()) return fault;
    directory_ = Follow(U32(header_, 48), fat_, sectors_, sectors_).links;
    if (directory_.empty()) return Damaged("its directory lies outside the file");
    if (auto root = ReadEntry(0); !root || root->type != kRootEntry) {
      return Damaged("its directory has no root entry");
    }
    return std::nullopt;
  }

  std::uint64_t EntryCount() const {
    return std::min<std::uint64_t>(std::uint64_t{directory_.size()} * (sector_ / kEntrySize),
                                   kNoEntry);
  }

  std::optional<Entry> ReadEntry(std::uint32_t id) {
    if (id >= EntryCount()) return std::nullopt;
    const std::uint32_t per_sector = sector_ / kEntrySize;
    const std::uint32_t sector = directory_[id / per_sector];
    if (sector != cached_sector_) {
      cached_.resize(sector_);
      if (!ReadSector(sector, cached_, 0)) return std::nullopt;
      cached_sector_ = sector;
    }
    const std::span<const std::uint8_t> e(cached_.data() + (id % per_sector) * kEntrySize,
                                          kEntrySize);
    Entry entry;
    const std::size_t name_bytes = std::min<std::size_t>(U16(e, 64), 64);
    for (std::size_t i = 0; i + 1 < name_bytes; i += 2) {
      const std::uint16_t c = U16(e, i);
      if (c == 0) break;
      entry.name += c < 0x80 ? static_cast<char>(c) : '?';
    }
    entry.type = e[66];
    entry.left = U32(e, 68);
    entry.right = U32(e, 72);
    entry.child = U32(e, 76);
    entry.start = U32(e, 116);
    entry.size = U32(e, 120) | (wide_sizes_ ? std::uint64_t{U32(e, 124)} << 32 : 0);
    return entry;
  }

  // The entry named `name` (any case): first among the root's children, as
  // the directory's tree of siblings links them, then anywhere in the
  // directory, for containers whose tree is damaged.
  std::optional<Entry> Find(std::string_view name, bool streams_only) {
    const auto fits = [&](const Entry& e) {
      return (!streams_only || e.type == kStreamEntry) && SameName(e.name, name);
    };
    std::vector<bool> seen(static_cast<std::size_t>(EntryCount()), false);
    std::vector<std::uint32_t> pending;
    if (auto root = ReadEntry(0)) pending.push_back(root->child);
    while (!pending.empty()) {
      const std::uint32_t id = pending.back();
      pending.pop_back();
      if (id >= seen.size() || seen[id]) continue;
      seen[id] = true;
      auto e = ReadEntry(id);
      if (!e) continue;
      if (fits(*e)) return e;
      pending.push_back(e->left);
      pending.push_back(e->right);
    }
    for (std::uint32_t id = 1; id < EntryCount(); ++id) {
      if (auto e = ReadEntry(id); e && fits(*e)) return e;
    }
    return std::nullopt;
  }

  Result<std::unique_ptr<ByteSource>> OpenStream(const Entry& e) {
    if (e.size >= mini_cutoff_) return OpenRegular(e);
    return OpenMini(e);
  }

 private:
  // Reads sector `s`, or as much of it as the file holds, padding the rest
  // with `pad` bytes.
  bool ReadSector(std::uint32_t s, std::span<std::uint8_t> out, std::uint8_t pad) const {
    const std::uint64_t at = (std::uint64_t{s} + 1) * sector_;
    const std::uint64_t size = file_->Size();
    const auto n =
        static_cast<std::size_t>(at >= size ? 0 : std::min<std::uint64_t>(sector_, size - at));
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.begin() + sector_, pad);
    return n == 0 || file_->Read(at, out.first(n));
  }

  // Appends the entries of the sectors of `chain` to `table`.
  bool AppendTable(std::span<const std::uint32_t> chain, std::vector<std::uint32_t>& table) const {
    std::vector<std::uint8_t> buf(sector_);
    for (const std::uint32_t s : chain) {
      if (s >= sectors_) {
        // A FAT sector outside the file: its sectors are taken as free.
        table.insert(table.end(), sector_ / 4, kFree);
        continue;
      }
      if (!ReadSector(s, buf, 0xFF)) return false;
      for (std::size_t i = 0; i < sector_; i += 4) table.push_back(U32(buf, i));
    }
    return true;
  }

  // The FAT: its sectors are named by the header, then by the chain of DIFAT
  // sectors. Only as many are read as the file has sectors to describe, so a
  // header that overstates their number costs nothing.
  std::optional<Error> LoadFat() {
    const std::uint32_t per_sector = sector_ / 4;
    const std::uint64_t needed = (sectors_ + per_sector - 1) / per_sector;
    std::vector<std::uint32_t> fat_sectors;
    for (std::size_t i = 0; i < kHeaderFatSectors && fat_sectors.size() < needed; ++i) {
      fat_sectors.push_back(U32(header_, 76 + 4 * i));
    }
    std::vector<std::uint8_t> buf(sector_);
    std::vector<bool> seen(static_cast<std::size_t>(sectors_), false);
    for (std::uint32_t difat = U32(header_, 68);
         fat_sectors.size() < needed && difat < sectors_ && !seen[difat];
         difat = U32(buf, sector_ - 4)) {
      seen[difat] = true;
      if (!ReadSector(difat, buf, 0xFF)) return Damaged("its DIFAT cannot be read");
      for (std::size_t i = 0; i + 4 < sector_ && fat_sectors.size() < needed; i += 4) {
        fat_sectors.push_back(U32(buf, i));
      }
    }
    if (std::none_of(fat_sectors.begin(), fat_sectors.end(),
                     [this](std::uint32_t s) { return s < sectors_; })) {
      return Damaged("its allocation table lies outside the file");
    }
    if (!AppendTable(fat_sectors, fat_)) return Damaged("its allocation table cannot be read");
    return std::nullopt;
  }

  static Error Short(std::uint64_t claimed, std::uint64_t held) {
    return Damaged("the workbook stream claims " + Amount(claimed) + " but its sectors hold " +
                   Amount(held));
  }

  Result<std::unique_ptr<ByteSource>> OpenRegular(const Entry& e) {
    const std::uint64_t want = (e.size + sector_ - 1) / sector_;
    if (want > sectors_) {
      return Damaged("the workbook stream claims " + Amount(e.size) + ", more than the file holds");
    }
    const Chain chain = Follow(e.start, fat_, sectors_, want);
    if (chain.broken) return Damaged("the sector chain of the workbook stream is broken");
    if (chain.links.size() < want) return Short(e.size, chain.links.size() * sector_);
    std::vector<std::uint64_t> offsets;
    offsets.reserve(chain.links.size());
    for (const std::uint32_t s : chain.links) offsets.push_back((std::uint64_t{s} + 1) * sector_);
    return std::unique_ptr<ByteSource>(
        std::make_unique<PiecewiseSource>(file_, std::move(offsets), sector_, e.size));
  }

  // Small streams live in mini sectors, allocated by the mini FAT inside the
  // mini stream: the root entry's stream.
  Result<std::unique_ptr<ByteSource>> OpenMini(const Entry& e) {
    if (!mini_loaded_) {
      mini_loaded_ = true;
      // Parts before a broken link are used: the workbook's mini sectors may
      // all lie there.
      const Chain mini_fat = Follow(U32(header_, 60), fat_, sectors_, sectors_);
      if (!AppendTable(mini_fat.links, mini_fat_)) return Damaged("its mini FAT cannot be read");
      if (auto root = ReadEntry(0)) {
        mini_stream_ = Follow(root->start, fat_, sectors_, sectors_).links;
      }
    }
    const std::uint64_t minis = std::uint64_t{mini_stream_.size()} * (sector_ / mini_sector_);
    const std::uint64_t want = (e.size + mini_sector_ - 1) / mini_sector_;
    if (want > minis) return Short(e.size, minis * mini_sector_);
    const Chain chain = Follow(e.start, mini_fat_, minis, want);
    if (chain.broken) return Damaged("the mini sector chain of the workbook stream is broken");
    if (chain.links.size() < want) return Short(e.size, chain.links.size() * mini_sector_);
    std::vector<std::uint64_t> offsets;
    offsets.reserve(chain.links.size());
    for (const std::uint32_t m : chain.links) {
      const std::uint64_t at = std::uint64_t{m} * mini_sector_;
      offsets.push_back((std::uint64_t{mini_stream_[at / sector_]} + 1) * sector_ + at % sector_);
    }
    return std::unique_ptr<ByteSource>(
        std::make_unique<PiecewiseSource>(file_, std::move(offsets), mini_sector_, e.size));
  }

  std::shared_ptr<ByteSource> file_;
  std::array<std::uint8_t, kHeaderSize> header_{};
  std::uint32_t sector_ = 512;
  std::uint32_t mini_sector_ = 64;
  std::uint32_t mini_cutoff_ = 4096;
  bool wide_sizes_ = false;
  std::uint64_t sectors_ = 0;  // in the file, the last perhaps cut short
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> directory_;  // its sectors
  std::vector<std::uint8_t> cached_;      // the directory sector last read
  std::uint32_t cached_sector_ = kFree;
  bool mini_loaded_ = false;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint32_t> mini_stream_;  // its sectors
};

}  // namespace

CompoundFile::~CompoundFile() = default;

Result<std::unique_ptr<CompoundFile>> CompoundFile::Open(const std::filesystem::path& path) {
  auto file = FileSource::Open(path);
  if (!file) return file.error();
  return FromSource(std::move(file.value()));
}

Result<std::unique_ptr<CompoundFile>> CompoundFile::FromMemory(
    std::span<const std::uint8_t> bytes) {
  return FromSource(std::make_unique<MemorySource>(bytes));
}

Result<std::unique_ptr<CompoundFile>> CompoundFile::FromSource(std::unique_ptr<ByteSource> file) {
  Container container{std::shared_ptr<ByteSource>(std::move(file))};
  if (auto fault = container.Load()) return *fault;
  std::unique_ptr<CompoundFile> cf(new CompoundFile());
  // Excel 97 and later write "Workbook"; Excel 5/95 wrote "Book". A file
  // with both is a later workbook that kept its old stream.
  for (const std::string_view name : {"Workbook", "Book"}) {
    auto entry = container.Find(name, true);
    if (!entry) continue;
    auto stream = container.OpenStream(*entry);
    if (!stream) return stream.error();
    cf->content_ = CompoundContent::kWorkbook;
    cf->stream_name_ = entry->name;
    cf->stream_ = std::move(stream.value());
    return cf;
  }
  if (container.Find("EncryptedPackage", false)) cf->content_ = CompoundContent::kEncryptedPackage;
  return cf;
}

std::uint64_t CompoundFile::Size() const {
  return stream_ ? stream_->Size() : 0;
}

bool CompoundFile::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (!stream_) return false;
  return stream_->Read(offset, out);
}

}  // namespace dialsift::sheet::xls
