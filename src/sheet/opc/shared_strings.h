// The shared-string table of a workbook (SpreadsheetML, binary, BIFF8): all
// strings in one buffer with their end offsets, so memory follows the
// strings actually present, never a count the file declares, and an empty
// string costs its offset alone.
//
// The buffer grows by reallocation and never beyond the budget: a large
// block is moved by the allocator's page mapping rather than copied, so a
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

  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return {text_.data() + begin, ends_[i] - begin};
  }

  // Building: Append the string under construction piece by piece, as long
  // as Fits says the table stays within kMaxBytes, then End it; once Full,
  // no more strings may be added (OverfullError says so).
  bool Fits(std::size_t more) const { return text_.size() + more <= kMaxBytes; }
  bool Full() const { return ends_.size() >= kMaxSharedStrings; }
  static Error OverfullError() { return OverBudget(kMaxSharedStrings, "shared strings"); }
  void Append(std::string_view s) { text_.Append(s); }
  // The bytes of the string under construction, to be edited in place, and
  // its new length once edited (no longer than it was).
  std::span<char> Pending() { return text_.From(Begun()); }
  void KeepPending(std::size_t n) { text_.Resize(Begun() + n); }
  void End() { ends_.push_back(static_cast<std::uint32_t>(text_.size())); }
  void Shrink() {
    text_.Shrink();
    ends_.shrink_to_fit();
  }

 private:
  std::size_t Begun() const { return ends_.empty() ? 0 : ends_.back(); }

  // Bytes in one block from the C allocator, which can grow or shrink a
  // large block in place of a copy.
  class Bytes {
   public:
    Bytes() = default;
    Bytes(Bytes&& other) noexcept
        : data_(std::move(other.data_)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    Bytes& operator=(Bytes&& other) noexcept {
      data_ = std::move(other.data_);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      return *this;
    }
    std::size_t size() const { return size_; }
    const char* data() const { return data_.get(); }
    std::span<char> From(std::size_t begin) { return {data_.get() + begin, size_ - begin}; }
    void Resize(std::size_t n) { size_ = n; }
    void Append(std::string_view s) {
      if (s.empty()) return;
      if (capacity_ - size_ < s.size()) Grow(s.size());
      std::memcpy(data_.get() + size_, s.data(), s.size());
      size_ += s.size();
    }
    void Shrink() {
      if (size_ < capacity_ && size_ > 0) Reallocate(size_);
    }

   private:
    struct Free {
      void operator()(char* p) const { std::free(p); }
    };
    void Grow(std::size_t more) {
      const std::size_t need = size_ + more;
      // Doubled, but never past the budget the table is held to.
      std::size_t want = std::max(need, 2 * capacity_);
      if (want > kMaxBytes) want = std::max(need, kMaxBytes);
      Reallocate(std::max<std::size_t>(want, 4096));
    }
    void Reallocate(std::size_t n) {
      char* p = static_cast<char*>(std::realloc(data_.get(), n));
      if (!p) throw std::bad_alloc();
      static_cast<void>(data_.release());
      data_.reset(p);
      capacity_ = n;
    }
    std::unique_ptr<char, Free> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
  };

  Bytes text_;
  std::vector<std::uint32_t> ends_;
};

}  // namespace dialsift::sheet::opc
