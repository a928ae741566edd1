#include "sheet/xls/file_source.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace dialsift::sheet::xls {

Result<std::unique_ptr<FileSource>> FileSource::Open(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return CannotReadFile(std::strerror(errno));
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return CannotReadFile(ec.message());
  return std::unique_ptr<FileSource>(new FileSource(std::move(in), size));
}

bool FileSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > size_ || out.size() > size_ - offset) return false;
  if (out.empty()) return true;
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset));
  in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return in_.gcount() == static_cast<std::streamsize>(out.size());
}

}  // namespace dialsift::sheet::xls
