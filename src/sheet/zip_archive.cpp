#include "sheet/zip_archive.h"

#include <zip.h>

#ifdef DIALSIFT_ISAL
#include <isa-l/igzip_lib.h>
#endif
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
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

// libzip's error `code` for `entry`, in the same words as when libzip
// reports it.
Error ZipFault(int code, std::string_view entry) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  Error fault = ZipFault(&error, entry);
  zip_error_fini(&error);
  return fault;
}

// Bytes handed out to a reader in one piece, and read raw from the archive
// at a time.
constexpr std::size_t kStepSize = std::size_t{64} << 10;

}  // namespace

// Memory an entry's reader needs, kept by the archive for its next entries.
struct ZipScratch {
  // The caller's step when its buffer is smaller (ZipEntryReader::State).
  std::vector<char> staged;
  // The blocks of the ring an entry is inflated ahead into.
  std::vector<std::vector<char>> ring;
#ifdef DIALSIFT_ISAL
  struct Isal {
    inflate_state state;
    std::array<unsigned char, kStepSize> input;  // raw deflated bytes
  };
  std::unique_ptr<Isal> isal;
#endif
};

struct ZipSpare {
  // A few suffice: a workbook's readers are open one or two at a time.
  static constexpr std::size_t kKept = 4;
  std::mutex mutex;
  std::vector<std::unique_ptr<ZipScratch>> kept;

  std::unique_ptr<ZipScratch> Take() {
    {
      const std::lock_guard hold(mutex);
      if (!kept.empty()) {
        auto scratch = std::move(kept.back());
        kept.pop_back();
        return scratch;
      }
    }
    return std::make_unique<ZipScratch>();
  }
  void Give(std::unique_ptr<ZipScratch> scratch) {
    const std::lock_guard hold(mutex);
    if (kept.size() < kKept) kept.push_back(std::move(scratch));
  }
};

// The entry itself: libzip's handle and the checks on what comes out of it.
struct ZipEntryReader::State {
  zip_file* file = nullptr;
  // The handle reads the entry's deflated bytes, inflated here by ISA-L and
  // checked against `crc` and `size`; otherwise libzip inflates and checks.
  bool raw = false;
  std::uint32_t crc = 0;
  bool raw_input_ended = false;
  bool raw_checked = false;  // the end of the data was reached and checked
  std::unique_ptr<ZipScratch> scratch;
  ZipSpare* spare = nullptr;  // the archive's, where scratch goes back
  std::uint64_t size = 0;
  std::uint64_t done = 0;
  std::string name;
  std::uint64_t* inflated = nullptr;  // the archive's count
  std::uint64_t max_inflated = 0;
  std::mutex* lock = nullptr;  // the archive's
  std::unique_ptr<Ahead> ahead;
  // Read on the caller's thread: how much of the step in scratch->staged
  // (inflated for a caller whose buffer was smaller than it) is handed out.
  std::size_t staged_pos = 0;
  std::size_t staged_end = 0;

  // The entry is inflated in steps that end at multiples of kStep, whoever
  // reads it and however much the caller asks for at a time: at damaged
  // data libzip drops what the failing call inflated, so the bytes before
  // an error must not depend on the reader.
  static constexpr std::size_t kStep = kStepSize;
  std::size_t NextStep() const { return kStep - static_cast<std::size_t>(done % kStep); }

  ~State();
  // Inflates the next step into `buffer`, which holds NextStep() bytes.
  Result<std::size_t> Inflate(std::span<char> buffer);
  // The same, from the raw deflated bytes, with ISA-L: an error drops the
  // whole step, as libzip does, and the end of the data is checked once.
  Result<std::size_t> InflateRaw(std::span<char> buffer);
  // Read on the caller's thread.
  Result<std::size_t> ReadNow(std::span<char> buffer);
};

// The thread that inflates an entry ahead of its reader, into a ring of
// blocks: memory stays at kBlocks * kBlockSize however large the entry, and
// the bytes come out in order. A fault travels in the ring after the bytes
// read before it; the thread then ends.
class ZipEntryReader::Ahead {
 public:
  // One step of the entry a block: a megabyte in all.
  static constexpr std::size_t kBlocks = 16;
  static constexpr std::size_t kResume = kBlocks / 2;

  explicit Ahead(State& state) : state_(state) {
    // The blocks of an earlier entry's ring, when there was one.
    auto& kept = state_.scratch->ring;
    for (std::size_t i = 0; i < kBlocks; ++i) {
      if (i < kept.size()) ring_[i].bytes.swap(kept[i]);
      ring_[i].bytes.resize(State::kStep);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~Ahead() {
    {
      const std::lock_guard hold(mutex_);
      stop_ = true;
    }
    room_.notify_one();
    thread_.join();
    auto& kept = state_.scratch->ring;
    kept.resize(kBlocks);
    for (std::size_t i = 0; i < kBlocks; ++i) kept[i].swap(ring_[i].bytes);
  }

  Result<std::size_t> Read(std::span<char> out) {
    if (out.empty()) return std::size_t{0};
    std::unique_lock hold(mutex_);
    ready_.wait(hold, [this] { return filled_ > 0; });
    Block& block = ring_[head_];
    hold.unlock();
    // The block is the reader's until it is handed back: the thread fills
    // only blocks not yet filled.
    if (block.error) return *block.error;
    if (block.size == 0) return std::size_t{0};
    const std::size_t n = std::min(out.size(), block.size - offset_);
    std::memcpy(out.data(), block.bytes.data() + offset_, n);
    offset_ += n;
    if (offset_ == block.size) {
      offset_ = 0;
      hold.lock();
      head_ = (head_ + 1) % kBlocks;
      --filled_;
      const bool wake = filled_ == kResume;
      hold.unlock();
      if (wake) room_.notify_one();
    }
    return n;
  }

 private:
  struct Block {
    std::vector<char> bytes;
    std::size_t size = 0;  // 0 with no error: the end of the entry
    std::optional<Error> error;
  };

  void Run() {
    while (true) {
      std::unique_lock hold(mutex_);
      // A full ring is refilled once half of it is free: ISA-L fills a block
      // in a fraction of the time its parse takes, and waking the thread for
      // every block handed back cost more than the inflating.
      if (filled_ == kBlocks) room_.wait(hold, [this] { return stop_ || filled_ <= kResume; });
      if (stop_) return;
      Block& block = ring_[tail_];
      hold.unlock();
      bool last = false;
      try {
        auto n = state_.Inflate(std::span<char>(block.bytes.data(), state_.NextStep()));
        if (n) {
          block.size = *n;
          last = *n == 0;
        } else {
          block.error = n.error();
          last = true;
        }
      } catch (const std::bad_alloc&) {
        block.error = Error{ErrorKind::kTooLarge, "out of memory while reading " + state_.name};
        last = true;
      }
      hold.lock();
      tail_ = (tail_ + 1) % kBlocks;
      ++filled_;
      hold.unlock();
      ready_.notify_one();
      if (last) return;
    }
  }

  State& state_;
  std::array<Block, kBlocks> ring_;
  std::size_t head_ = 0;    // the block the reader takes from
  std::size_t offset_ = 0;  // bytes of it already handed out
  std::size_t tail_ = 0;    // the block the thread fills next
  std::size_t filled_ = 0;  // blocks filled and not handed back
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable ready_;  // a block was filled
  std::condition_variable room_;   // half the ring is free again, or stop
  std::thread thread_;
};

ZipEntryReader::State::~State() {
  ahead.reset();  // the thread ends before the handle closes
  if (file) {
    const std::lock_guard hold(*lock);
    zip_fclose(file);
  }
  if (scratch && spare) spare->Give(std::move(scratch));
}

Result<std::size_t> ZipEntryReader::State::ReadNow(std::span<char> buffer) {
  if (buffer.empty()) return std::size_t{0};
  if (staged_pos == staged_end) {
    const std::size_t step = NextStep();
    // A buffer that takes the whole step gets it without a copy.
    if (buffer.size() >= step) return Inflate(buffer.first(step));
    auto& staged = scratch->staged;
    staged.resize(kStep);
    auto n = Inflate(std::span<char>(staged.data(), step));
    if (!n) return n.error();
    staged_pos = 0;
    staged_end = *n;
    if (*n == 0) return std::size_t{0};
  }
  const std::size_t n = std::min(buffer.size(), staged_end - staged_pos);
  std::memcpy(buffer.data(), scratch->staged.data() + staged_pos, n);
  staged_pos += n;
  return n;
}

Result<std::size_t> ZipEntryReader::State::Inflate(std::span<char> buffer) {
  if (!file) return Error{ErrorKind::kIo, "cannot read " + name + " (it is not open)"};
  std::uint64_t n;
  std::uint64_t inflated_so_far;  // over the archive, read under the lock
  if (raw) {
    auto got = InflateRaw(buffer);
    if (!got) return got.error();
    n = *got;
    const std::lock_guard hold(*lock);
    inflated_so_far = *inflated += n;
  } else {
    const std::lock_guard hold(*lock);
    const zip_int64_t got = zip_fread(file, buffer.data(), buffer.size());
    if (got < 0) return ZipFault(zip_file_get_error(file), name);
    n = static_cast<std::uint64_t>(got);
    inflated_so_far = *inflated += n;
  }
  done += n;
  if (done > size) {
    return Error{ErrorKind::kDamagedContainer,
                 "damaged zip archive (" + name + " is larger than its declared size)"};
  }
  if (inflated_so_far > max_inflated) {
    return OverBudget("more than " + std::to_string(max_inflated >> 20) +
                      " MB unpacked out of its zip container, counting every read of a part");
  }
  return static_cast<std::size_t>(n);
}

#ifdef DIALSIFT_ISAL
Result<std::size_t> ZipEntryReader::State::InflateRaw(std::span<char> buffer) {
  inflate_state& s = scratch->isal->state;
  s.next_out = reinterpret_cast<std::uint8_t*>(buffer.data());
  s.avail_out = static_cast<std::uint32_t>(buffer.size());
  while (s.avail_out > 0 && s.block_state != ISAL_BLOCK_FINISH) {
    if (s.avail_in == 0 && !raw_input_ended) {
      auto& input = scratch->isal->input;
      zip_int64_t got;
      {
        const std::lock_guard hold(*lock);
        got = zip_fread(file, input.data(), input.size());
        if (got < 0) return ZipFault(zip_file_get_error(file), name);
      }
      if (got == 0) {
        raw_input_ended = true;
      } else {
        s.next_in = input.data();
        s.avail_in = static_cast<std::uint32_t>(got);
      }
    }
    const std::uint32_t in_before = s.avail_in;
    const std::uint32_t out_before = s.avail_out;
    if (isal_inflate(&s) < 0) return ZipFault(ZIP_ER_COMPRESSED_DATA, name);
    if (s.avail_in == in_before && s.avail_out == out_before) {
      // Nothing more comes of the bytes there are.
      if (raw_input_ended) break;
      if (s.avail_in > 0) return ZipFault(ZIP_ER_COMPRESSED_DATA, name);
    }
  }
  const std::size_t n = buffer.size() - s.avail_out;
  if (n == 0 && !raw_checked) {
    // The end of the stream, or of its bytes when it is cut short: as with
    // libzip, what came out must have the entry's CRC. (Fewer bytes than
    // declared with the right CRC pass, as they do there; more are caught
    // by Inflate.)
    raw_checked = true;
    if (s.crc != crc) return ZipFault(ZIP_ER_CRC, name);
  }
  return n;
}
#else
Result<std::size_t> ZipEntryReader::State::InflateRaw(std::span<char>) {
  return ZipFault(ZIP_ER_COMPNOTSUPP, name);
}
#endif

ZipEntryReader::ZipEntryReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
ZipEntryReader::ZipEntryReader(ZipEntryReader&&) noexcept = default;
ZipEntryReader& ZipEntryReader::operator=(ZipEntryReader&&) noexcept = default;
ZipEntryReader::~ZipEntryReader() = default;

std::uint64_t ZipEntryReader::Size() const {
  return state_->size;
}

bool ZipEntryReader::InflatesAhead() const {
  return state_->ahead != nullptr;
}

Result<std::size_t> ZipEntryReader::Read(std::span<char> buffer) {
  if (state_->ahead) return state_->ahead->Read(buffer);
  return state_->ReadNow(buffer);
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
  return Adopt(z, limits);
}

Result<ZipArchive> ZipArchive::OpenBytes(std::unique_ptr<char[]> bytes, std::size_t size,
                                         ZipLimits limits) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.get(), size, 0, &error);
  zip* z = nullptr;
  if (source) {
    // As Open does: checked first, then by the central directory alone.
    z = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z && zip_error_code_zip(&error) == ZIP_ER_INCONS) {
      zip_error_fini(&error);
      zip_error_init(&error);
      z = zip_open_from_source(source, ZIP_RDONLY, &error);
    }
    if (!z) zip_source_free(source);  // an archive that opened owns it
  }
  if (!z) {
    Error fault = ZipFault(&error, {});
    zip_error_fini(&error);
    return fault;
  }
  zip_error_fini(&error);
  ZipArchive archive = Adopt(z, limits);
  archive.zip_.get_deleter().bytes = std::move(bytes);
  return archive;
}

bool ZipArchive::FastInflateBuilt() {
#ifdef DIALSIFT_ISAL
  return true;
#else
  return false;
#endif
}

ZipArchive ZipArchive::Adopt(zip* z, ZipLimits limits) {
  ZipArchive archive;
  archive.spare_ = std::make_unique<ZipSpare>();
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
  const std::lock_guard hold(*lock_);
  std::vector<std::string> names;
  const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    if (const char* n = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(i), 0)) {
      names.emplace_back(n);
    }
  }
  return names;
}

Result<ZipEntryReader> ZipArchive::OpenEntry(std::string_view name, bool ahead) const {
  const std::string n(name);
  const std::int64_t index = Locate(n);
  if (index < 0) return MissingPart(n);
  std::unique_lock hold(*lock_);
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
  // Deflated entries are read raw and inflated by ISA-L, when there is it.
  const bool raw = fast_inflate_ && (st.valid & ZIP_STAT_COMP_METHOD) &&
                   st.comp_method == ZIP_CM_DEFLATE && (st.valid & ZIP_STAT_CRC);
  zip_file* f =
      zip_fopen_index(zip_.get(), static_cast<zip_uint64_t>(index), raw ? ZIP_FL_COMPRESSED : 0);
  if (!f) return ZipFault(zip_get_error(zip_.get()), n);
  auto state = std::make_unique<ZipEntryReader::State>();
  state->file = f;
  state->raw = raw;
  state->crc = st.crc;
  state->spare = spare_.get();
  state->scratch = spare_->Take();
#ifdef DIALSIFT_ISAL
  if (raw) {
    auto& isal = state->scratch->isal;
    // Not zeroed: isal_inflate_init sets what the inflater reads, and the
    // input is written before it is read (150 KB a workbook otherwise).
    if (!isal) isal = std::make_unique_for_overwrite<ZipScratch::Isal>();
    isal_inflate_init(&isal->state);
    isal->state.crc_flag = ISAL_GZIP_NO_HDR;  // the CRC-32 zip files carry
  }
#endif
  state->size = st.size;
  state->name = n;
  state->inflated = inflated_.get();
  state->max_inflated = limits_.max_inflated;
  state->lock = lock_.get();
  hold.unlock();
  if (ahead && inflate_ahead_ && st.size >= kAheadMinSize) {
    try {
      state->ahead = std::make_unique<ZipEntryReader::Ahead>(*state);
    } catch (const std::system_error&) {
      // No thread to be had: the entry is read on the caller's.
    }
  }
  return ZipEntryReader(std::move(state));
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
