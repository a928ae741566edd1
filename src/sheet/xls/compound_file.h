// The OLE2 compound-file container of .xls workbooks, read through libgsf.
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
// a ByteSource. Streams are read on demand: nothing but the container's
// allocation tables is held in memory.
class CompoundFile final : public ByteSource {
 public:
  static Result<std::unique_ptr<CompoundFile>> Open(const std::filesystem::path& path);
  // Over bytes the caller keeps alive for the lifetime of the object.
  static Result<std::unique_ptr<CompoundFile>> FromMemory(std::span<const std::uint8_t> bytes);

  ~CompoundFile() override;
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  CompoundContent content() const { return content_; }
  // Name of the workbook stream ("Workbook" or "Book"); empty when there is none.
  const std::string& stream_name() const { return stream_name_; }

  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  struct Handles;
  CompoundFile();
  static Result<std::unique_ptr<CompoundFile>> FromInput(void* input);

  std::unique_ptr<Handles> handles_;
  CompoundContent content_ = CompoundContent::kOther;
  std::string stream_name_;
  std::uint64_t size_ = 0;
};

}  // namespace dialsift::sheet::xls
