// A plain file as a ByteSource: the record stream of BIFF2-4 files, which
// are not compound files.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>

#include "sheet/result.h"
#include "sheet/xls/record_stream.h"

namespace dialsift::sheet::xls {

class FileSource final : public ByteSource {
 public:
  static Result<std::unique_ptr<FileSource>> Open(const std::filesystem::path& path);

  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  FileSource(std::ifstream in, std::uint64_t size) : in_(std::move(in)), size_(size) {}

  std::ifstream in_;
  std::uint64_t size_;
};

}  // namespace dialsift::sheet::xls
