// The shared-string table of a workbook (SpreadsheetML, binary, BIFF8): all
// strings in one buffer with their end offsets, so memory follows the
// strings actually present, never a count the file declares, and an empty
// string costs its offset alone.
//
// The buffers grow by reallocation and never beyond the budget; a large one
// is mapped at its budget's size once and never moves again (Bytes), so a
// table at its budget holds the budget and its index, not twice the text
// as a string that doubles and is then copied to fit would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sheet/limits.h"
#include "sheet/result.h"

namespace dialsift::sheet::opc {

class SharedStrings {
 public:
  // Largest total size of the strings, against hostile files.
  static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;

  static Error TooLarge() {
    return {ErrorKind::kTooLarge, "the shared strings of the workbook exceed 256 MB"};
  }

  std::size_t size() const { return ends_.size() / sizeof(std::uint32_t); }
  std::string_view operator[](std::size_t i) const {
    const std::uint32_t begin = i == 0 ? 0 : End(i - 1);
    return {text_.data() + begin, End(i) - begin};
  }

  // Building: Append the string under construction piece by piece, as long
  // as Fits says the table stays within kMaxBytes, then End it; once Full,
  // no more strings may be added (OverfullError says so).
  bool Fits(std::size_t more) const { return text_.size() + more <= kMaxBytes; }
  bool Full() const { return size() >= kMaxSharedStrings; }
  static Error OverfullError() { return OverBudget(kMaxSharedStrings, "shared strings"); }
  void Append(std::string_view s) { text_.Append(s.data(), s.size()); }
  // The bytes of the string under construction, to be edited in place, and
  // its new length once edited (no longer than it was).
  std::span<char> Pending() { return text_.From(Begun()); }
  void KeepPending(std::size_t n) { text_.Resize(Begun() + n); }
  void End() {
    const auto end = static_cast<std::uint32_t>(text_.size());
    ends_.Append(&end, sizeof end);
  }
  void Shrink() {
    text_.Shrink();
    ends_.Shrink();
  }

 private:
  std::uint32_t End(std::size_t i) const {
    std::uint32_t end;
    std::memcpy(&end, ends_.data() + i * sizeof end, sizeof end);
    return end;
  }
  std::size_t Begun() const { return size() == 0 ? 0 : End(size() - 1); }

  // Bytes in one block from the C allocator, which can grow or shrink a
  // large block in place of a copy. A block that reaches kMapFrom bytes is
  // mapped instead, at once at the largest size the table may reach:
  // address space only, whose pages are taken as they are written, marked
  // for huge pages. It never moves again, and filling it takes a page fault
  // per 2 MB, not per 4 KB page and per copy of a growing block.
  class Bytes {
   public:
    static constexpr std::size_t kMapFrom = std::size_t{1} << 20;

    explicit Bytes(std::size_t max) : max_(max) {}
    Bytes(Bytes&& other) noexcept
        : data_(std::move(other.data_)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)),
          max_(other.max_) {}
    Bytes& operator=(Bytes&& other) noexcept {
      data_ = std::move(other.data_);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      max_ = other.max_;
      return *this;
    }
    std::size_t size() const { return size_; }
    const char* data() const { return data_.get(); }
    std::span<char> From(std::size_t begin) { return {data_.get() + begin, size_ - begin}; }
    void Resize(std::size_t n) { size_ = n; }
    void Append(const void* bytes, std::size_t n) {
      if (n == 0) return;
      if (capacity_ - size_ < n) Grow(n);
      std::memcpy(data_.get() + size_, bytes, n);
      size_ += n;
    }
    void Shrink();

   private:
    // Frees a block as it was allocated.
    struct Free {
      std::size_t mapped;  // bytes mapped; 0 for a block of the C allocator
      void operator()(char* p) const;
    };
    void Grow(std::size_t more);
    void Reallocate(std::size_t n);
    // Moves the bytes into a mapping of max_ bytes; false when none is had.
    bool Map();
    std::unique_ptr<char, Free> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t max_;
  };

  Bytes text_{kMaxBytes};
  // The end offset of each string, as std::uint32_t.
  Bytes ends_{kMaxSharedStrings * sizeof(std::uint32_t)};
};

}  // namespace dialsift::sheet::opc
