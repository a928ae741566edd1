// The OLE2 compound-file container of .xls workbooks and of encrypted OOXML
// packages, read by our own code: a header, a sector allocation table (FAT),
// a directory of named streams, and a mini stream for the small ones. Each
// open file has its own handles and tables and the reader keeps no state
// between files, so any number of threads open compound files at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "sheet/result.h"
#include "sheet/xls/record_stream.h"

namespace dialsift::sheet::xls {

// What the container holds, judged from its streams.
enum class CompoundContent {
  kWorkbook,          // a "Workbook" (BIFF8) or "Book" (BIFF5/7) stream
  kEncryptedPackage,  // an encrypted OOXML package ("EncryptedPackage" stream)
  kOther,             // some other document (Word, PowerPoint, ...)
};

// An open compound file and, when it holds a workbook, its workbook stream as
// a ByteSource. Streams are read on demand: the container's allocation
// tables and the list of the workbook stream's sectors are all that is held
// in memory (a few bytes per sector of the file).
//
// Damage is judged where it matters: a container whose header, tables or
// directory are partly broken is still read when the workbook stream itself
// is intact (every sector of its chain in the file, none twice, enough of
// them for its size). A last sector cut short by the end of the file counts,
// as far as it goes.
class CompoundFile final : public ByteSource {
 public:
  static Result<std::unique_ptr<CompoundFile>> Open(const std::filesystem::path& path);
  // Over bytes the caller keeps alive for the lifetime of the object.
  static Result<std::unique_ptr<CompoundFile>> FromMemory(std::span<const std::uint8_t> bytes);
  // Over any source of the container's bytes.
  static Result<std::unique_ptr<CompoundFile>> FromSource(std::unique_ptr<ByteSource> file);

  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;
  ~CompoundFile() override;

  CompoundContent content() const { return content_; }
  // Name of the workbook stream as the directory spells it ("Workbook" or
  // "Book"); empty when there is none.
  const std::string& stream_name() const { return stream_name_; }

  std::uint64_t Size() const override;
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  CompoundFile() = default;

  CompoundContent content_ = CompoundContent::kOther;
  std::string stream_name_;
  std::unique_ptr<ByteSource> stream_;  // null unless content_ is kWorkbook
};

}  // namespace dialsift::sheet::xls
