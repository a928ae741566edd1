// The cells of OpenDocument sheets kept in memory between the parse at
// opening and the reads of the sheets.
//
// Cells are packed one after another (row, column and length, each in as
// few bytes as it needs, then the text) into chunks that are never moved or
// grown: keeping a cell writes its bytes once, and a million cells cost a
// few dozen allocations instead of the copies of a growing buffer. Chunks
// start small, so that a small sheet costs little, and double up to a
// largest size. A cell never straddles two chunks, so its text is read back
// in place; one larger than a chunk gets a chunk of its own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace dialsift::sheet::ods {

class KeptCells {
 public:
  // A place in the store: cells added after it are read from it on.
  struct Mark {
    std::size_t chunk = 0;
    std::size_t offset = 0;
  };

  // Chunks of `first_chunk` bytes, doubling up to `last_chunk`, and at
  // most `budget` bytes of chunks in all.
  KeptCells(std::size_t first_chunk, std::size_t last_chunk, std::size_t budget);

  // Keeps a cell; false (and nothing kept) when it would take the store
  // beyond its budget.
  bool Add(std::uint32_t row, std::uint32_t column, std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    const auto length = static_cast<std::uint32_t>(text.size());
    const std::size_t need = SizeOf(row) + SizeOf(column) + SizeOf(length) + text.size();
    if ((chunks_.empty() || chunks_.back().size - chunks_.back().used < need) && !Grow(need)) {
      return false;
    }
    Chunk& chunk = chunks_.back();
    char* p = Put(Put(Put(chunk.bytes.get() + chunk.used, row), column), length);
    // An empty text may come with no storage behind it.
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    chunk.used += need;
    return true;
  }

  Mark End() const;
  // Drops every cell added after `mark`, and the chunks they alone used.
  void DropAfter(Mark mark);
  // Drops everything.
  void Clear();

  // Calls fn(row, column, text) for the cells kept between two marks, in
  // the order they were added; stops early when fn returns false.
  template <class Fn>
  void Read(Mark from, Mark to, Fn&& fn) const {
    for (std::size_t c = from.chunk; c <= to.chunk && c < chunks_.size(); ++c) {
      const char* p = chunks_[c].bytes.get() + (c == from.chunk ? from.offset : 0);
      const char* const end =
          chunks_[c].bytes.get() + (c == to.chunk ? to.offset : chunks_[c].used);
      while (p < end) {
        const std::uint32_t row = Get(p);
        const std::uint32_t column = Get(p);
        const std::uint32_t length = Get(p);
        if (!fn(row, column, std::string_view(p, length))) return;
        p += length;
      }
    }
  }

  // Bytes of chunks held.
  std::size_t Allocated() const { return allocated_; }

 private:
  // Starts a chunk with room for `need` bytes, if the budget allows.
  bool Grow(std::size_t need);

  // The numbers of a cell's record, seven bits to a byte, low bits first,
  // the high bit set on every byte but the last: a row of a few hundred
  // thousand takes three bytes, a column or a short text's length one.
  static std::size_t SizeOf(std::uint32_t v) {
    return 1 + (v >= 1u << 7) + (v >= 1u << 14) + (v >= 1u << 21) + (v >= 1u << 28);
  }
  static char* Put(char* p, std::uint32_t v) {
    for (; v >= 0x80; v >>= 7) *p++ = static_cast<char>((v & 0x7F) | 0x80);
    *p++ = static_cast<char>(v);
    return p;
  }
  static std::uint32_t Get(const char*& p) {
    std::uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
      const auto b = static_cast<unsigned char>(*p++);
      v |= static_cast<std::uint32_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
  }
  // Frees a chunk's bytes as they were allocated.
  struct Release {
    std::size_t size = 0;
    bool mapped = false;
    void operator()(char* bytes) const;
  };
  struct Chunk {
    std::unique_ptr<char[], Release> bytes;
    std::size_t size = 0;
    std::size_t used = 0;
  };
  static std::unique_ptr<char[], Release> Allocate(std::size_t size);

  std::size_t next_chunk_;
  std::size_t last_chunk_;
  std::size_t budget_;
  std::size_t allocated_ = 0;
  std::vector<Chunk> chunks_;
};

}  // namespace dialsift::sheet::ods
