// The cells of OpenDocument sheets kept in memory between the parse at
// opening and the reads of the sheets.
//
// Cells are packed one after another (row, column, length, then the text)
// into chunks that are never moved or grown: keeping a cell writes its bytes
// once, and a million cells cost a few dozen allocations instead of the
// copies of a growing buffer. Chunks start small, so that a small sheet
// costs little, and double up to a largest size. A cell never straddles two
// chunks, so its text is read back in place; one larger than a chunk gets a
// chunk of its own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
    const std::size_t need = sizeof(Header) + text.size();
    if ((chunks_.empty() || chunks_.back().size - chunks_.back().used < need) && !Grow(need)) {
      return false;
    }
    Chunk& chunk = chunks_.back();
    const Header header{row, column, static_cast<std::uint32_t>(text.size())};
    char* p = chunk.bytes.get() + chunk.used;
    std::memcpy(p, &header, sizeof header);
    // An empty text may come with no storage behind it.
    if (!text.empty()) std::memcpy(p + sizeof header, text.data(), text.size());
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
        Header h;
        std::memcpy(&h, p, sizeof h);
        p += sizeof h;
        if (!fn(h.row, h.column, std::string_view(p, h.length))) return;
        p += h.length;
      }
    }
  }

  // Bytes of chunks held.
  std::size_t Allocated() const { return allocated_; }

 private:
  // Starts a chunk with room for `need` bytes, if the budget allows.
  bool Grow(std::size_t need);

  struct Header {
    std::uint32_t row;
    std::uint32_t column;
    std::uint32_t length;
  };
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
