#include "platform/file_attributes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dialsift::platform {
namespace {

std::string Trimmed(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string_view BaseName(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::uint32_t TypeBits(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  if (S_ISREG(st.st_mode)) return kAttrArchive;
  return kAttrSystem;
}

}  // namespace

std::optional<std::uint32_t> FileAttributes(std::string_view path, std::string* reason) {
  const std::string p = Trimmed(path);
  struct stat own {};
  if (p.empty() || ::lstat(p.c_str(), &own) != 0) {
    if (reason) *reason = std::strerror(p.empty() ? ENOENT : errno);
    return std::nullopt;
  }

  std::uint32_t bits = 0;
  struct stat target = own;
  if (S_ISLNK(own.st_mode)) {
    bits |= kAttrReparsePoint;
    if (::stat(p.c_str(), &target) != 0) target = own;  // dangling: a system entry
  }
  bits |= TypeBits(target);
  if ((target.st_mode & S_IWUSR) == 0 || ::access(p.c_str(), W_OK) != 0) bits |= kAttrReadOnly;
  const std::string_view name = BaseName(p);
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") bits |= kAttrHidden;
  return bits;
}

bool FileExists(std::string_view path) {
  struct stat st {};
  return ::stat(std::string(path).c_str(), &st) == 0;
}

}  // namespace dialsift::platform
