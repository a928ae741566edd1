#include "sheet/xls/cfb_direct.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <span>
#include <string>

namespace dialsift::sheet::xls {

namespace {

constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirEntrySize = 128;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
         (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// A stream as the list of file offsets of its pieces (sectors or mini
// sectors), all `piece` bytes long but the last.
class PiecewiseSource final : public ByteSource {
 public:
  PiecewiseSource(std::shared_ptr<ByteSource> file, std::vector<std::uint64_t> offsets,
                  std::uint32_t piece, std::uint64_t size)
      : file_(std::move(file)), offsets_(std::move(offsets)), piece_(piece), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    while (!out.empty()) {
      const std::uint64_t index = offset / piece_;
      const std::uint64_t within = offset % piece_;
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), piece_ - within));
      if (!file_->Read(offsets_[index] + within, out.first(n))) return false;
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

class Container {
 public:
  explicit Container(std::shared_ptr<ByteSource> file) : file_(std::move(file)) {}

  // Reads the header and the FAT; false when they are beyond use.
  bool Load() {
    if (!file_->Read(0, header_)) return false;
    const std::uint16_t shift = U16(header_, 30);
    const std::uint16_t mini_shift = U16(header_, 32);
    if ((shift != 9 && shift != 12) || mini_shift != 6) return false;
    sector_ = 1u << shift;
    sectors_ = file_->Size() <= sector_ ? 0 : (file_->Size() - sector_) / sector_;
    mini_cutoff_ = U32(header_, 56);

    // The FAT's sectors: the header's list, then the DIFAT chain. A header
    // that claims more FAT sectors than the file holds is taken at what the
    // lists actually name.
    std::vector<std::uint32_t> fat_sectors;
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
      const std::uint32_t s = U32(header_, 76 + 4 * i);
      if (s < sectors_) fat_sectors.push_back(s);
    }
    std::vector<std::uint8_t> buf(sector_);
    std::uint32_t difat = U32(header_, 68);
    for (std::uint64_t hops = 0; difat < sectors_ && hops < sectors_; ++hops) {
      if (!ReadSector(difat, buf)) break;
      for (std::size_t i = 0; i + 4 < sector_; i += 4) {
        const std::uint32_t s = U32(buf, i);
        if (s < sectors_) fat_sectors.push_back(s);
      }
      difat = U32(buf, sector_ - 4);
    }
    // One FAT entry per sector of the file is all there can be use for.
    const std::uint64_t needed = sectors_ / (sector_ / 4) + 1;
    if (fat_sectors.size() > needed) fat_sectors.resize(static_cast<std::size_t>(needed));
    fat_.reserve(fat_sectors.size() * (sector_ / 4));
    for (const std::uint32_t s : fat_sectors) {
      if (!ReadSector(s, buf)) return false;
      for (std::size_t i = 0; i < sector_; i += 4) fat_.push_back(U32(buf, i));
    }
    return !fat_.empty();
  }

  // The sectors of the chain from `start`, or nothing when it leaves the
  // file or the FAT, or meets a sector twice. With `prefix`, the sectors up
  // to such a fault instead.
  std::optional<std::vector<std::uint32_t>> Chain(std::uint32_t start,
                                                  const std::vector<std::uint32_t>& table,
                                                  std::uint64_t limit, bool prefix = false) const {
    std::vector<std::uint32_t> chain;
    std::vector<bool> seen(table.size(), false);
    for (std::uint32_t s = start; s != kEndOfChain;) {
      if (s >= kMaxRegularSector || s >= table.size() || s >= limit || seen[s]) {
        if (prefix) break;
        return std::nullopt;
      }
      seen[s] = true;
      chain.push_back(s);
      s = table[s];
    }
    return chain;
  }

  DirectStream FindWorkbook() {
    // Entries in the directory's sectors before a broken link still count:
    // they describe streams that may well be intact.
    const auto dir_chain = Chain(U32(header_, 48), fat_, sectors_, true);
    std::vector<std::uint8_t> dir(dir_chain->size() * sector_);
    for (std::size_t i = 0; i < dir_chain->size(); ++i) {
      if (!ReadSector((*dir_chain)[i], std::span(dir).subspan(i * sector_, sector_))) return {};
    }
    const bool v3 = U16(header_, 26) == 3;
    std::optional<std::size_t> root;
    std::optional<std::size_t> workbook;
    for (std::size_t at = 0; at + kDirEntrySize <= dir.size(); at += kDirEntrySize) {
      const std::span<const std::uint8_t> e(dir.data() + at, kDirEntrySize);
      if (e[66] == kRootEntry && !root) root = at;
      if (e[66] != kStreamEntry || workbook) continue;
      const std::string name = EntryName(e);
      if (name == "workbook" || name == "book") workbook = at;
    }
    if (!workbook) return {};
    const std::span<const std::uint8_t> e(dir.data() + *workbook, kDirEntrySize);
    std::uint64_t size = U32(e, 120) | (v3 ? 0 : std::uint64_t{U32(e, 124)} << 32);
    const std::uint32_t start = U32(e, 116);
    if (size < mini_cutoff_) {
      if (!root) return {nullptr, "its mini stream has no root entry"};
      return MiniStream(std::span(dir.data() + *root, kDirEntrySize), start, size, v3);
    }
    const auto chain = Chain(start, fat_, sectors_);
    if (!chain) return {nullptr, "the sector chain of the workbook stream is broken"};
    if (std::uint64_t{chain->size()} * sector_ < size) {
      return {nullptr, "the workbook stream claims " + Amount(size) + " but its sectors hold " +
                           Amount(std::uint64_t{chain->size()} * sector_)};
    }
    std::vector<std::uint64_t> offsets;
    offsets.reserve(chain->size());
    for (const std::uint32_t s : *chain) offsets.push_back((std::uint64_t{s} + 1) * sector_);
    return {std::make_unique<PiecewiseSource>(file_, std::move(offsets), sector_, size), {}};
  }

 private:
  bool ReadSector(std::uint32_t s, std::span<std::uint8_t> out) const {
    return file_->Read((std::uint64_t{s} + 1) * sector_, out.first(sector_));
  }

  static std::string EntryName(std::span<const std::uint8_t> e) {
    const std::size_t bytes = std::min<std::size_t>(U16(e, 64), 64);
    std::string name;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
      const std::uint16_t c = U16(e, i);
      if (c == 0) break;
      name += c < 0x80 ? static_cast<char>(std::tolower(c)) : '?';
    }
    return name;
  }

  static std::string Amount(std::uint64_t bytes) {
    return bytes >= (1u << 20) ? std::to_string(bytes >> 20) + " MB"
                               : std::to_string(bytes) + " bytes";
  }

  DirectStream MiniStream(std::span<const std::uint8_t> root, std::uint32_t start,
                          std::uint64_t size, bool v3) {
    // The mini FAT, and the root entry's stream that holds the mini sectors.
    std::vector<std::uint32_t> mini_fat;
    const auto mini_fat_chain = Chain(U32(header_, 60), fat_, sectors_);
    if (!mini_fat_chain) return {nullptr, "its mini FAT is broken"};
    std::vector<std::uint8_t> buf(sector_);
    for (const std::uint32_t s : *mini_fat_chain) {
      if (!ReadSector(s, buf)) return {nullptr, "its mini FAT lies beyond the file"};
      for (std::size_t i = 0; i < sector_; i += 4) mini_fat.push_back(U32(buf, i));
    }
    const std::uint64_t root_size = U32(root, 120) | (v3 ? 0 : std::uint64_t{U32(root, 124)} << 32);
    const auto container = Chain(U32(root, 116), fat_, sectors_);
    if (!container) return {nullptr, "the mini stream's container is broken"};
    const std::uint64_t minis =
        std::min<std::uint64_t>(root_size, container->size() * sector_) / 64;
    const auto chain = Chain(start, mini_fat, minis);
    if (!chain || std::uint64_t{chain->size()} * 64 < size) {
      return {nullptr, "the mini sector chain of the workbook stream is broken"};
    }
    std::vector<std::uint64_t> offsets;
    for (const std::uint32_t m : *chain) {
      const std::uint64_t at = std::uint64_t{m} * 64;
      offsets.push_back((std::uint64_t{(*container)[at / sector_]} + 1) * sector_ + at % sector_);
    }
    return {std::make_unique<PiecewiseSource>(file_, std::move(offsets), 64, size), {}};
  }

  std::shared_ptr<ByteSource> file_;
  std::array<std::uint8_t, 512> header_{};
  std::uint32_t sector_ = 512;
  std::uint64_t sectors_ = 0;
  std::uint32_t mini_cutoff_ = 4096;
  std::vector<std::uint32_t> fat_;
};

}  // namespace

DirectStream OpenWorkbookStreamDirect(std::unique_ptr<ByteSource> file) {
  Container container(std::shared_ptr<ByteSource>(std::move(file)));
  if (!container.Load()) return {};
  return container.FindWorkbook();
}

}  // namespace dialsift::sheet::xls
