#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace dialsift::platform {
namespace {

// Links are followed this deep; a longer chain (a loop) is replaced itself.
constexpr int kLinkDepth = 127;

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a chain of symbolic links at `path` leads to, whether it exists
// or not; `path` itself when it is no link or the chain does not end.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < kLinkDepth; ++depth) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(n));
    std::filesystem::path next(target);
    if (next.is_relative()) next = std::filesystem::path(Folder(current)) / next;
    current = next.lexically_normal().string();
  }
  return path;
}

// ".XXXXXX" with six random letters and digits.
std::string RandomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string suffix = ".";
  for (int i = 0; i < 6; ++i) suffix += kChars[pick(device)];
  return suffix;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool AtomicFile::Fail(int error) {
  failed_ = true;
  error_ = std::strerror(error);
  return false;
}

bool AtomicFile::Open(const std::string& path) {
  Cancel();
  failed_ = false;
  error_.clear();
  if (path.empty()) return Fail(ENOENT);
  target_ = FollowLinks(path);
  struct stat st {};
  int permissions = 0666;  // less the umask, by open()
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (::access(target_.c_str(), W_OK) != 0) return Fail(errno);
    if (!S_ISREG(st.st_mode)) {
      // Nothing to replace in a device or a fifo (replacing /dev/null would
      // be a disaster): what is written goes straight to it.
      do {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      } while (fd_ < 0 && errno == EINTR);
      if (fd_ < 0) return Fail(errno);
      mode_ = Mode::kDirect;
      return true;
    }
    permissions = 0600;  // until it has the target's own, below
  }
  if (!OpenTemporary(permissions)) return false;
  if (permissions == 0600 && ::fchmod(fd_, st.st_mode & 0777) != 0) {
    const int error = errno;
    Cancel();
    return Fail(error);
  }
  return true;
}

bool AtomicFile::OpenTemporary(int permissions) {
  if (temporary_ == Temporary::kUnnamed) {
    fd_ = ::open(Folder(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                 static_cast<mode_t>(permissions));
    if (fd_ >= 0) {
      mode_ = Mode::kUnnamed;
      return true;
    }
    // Kernels and file systems without unnamed files say so in these ways.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(errno);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_name_ = target_ + RandomSuffix();
    fd_ = ::open(temporary_name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                 static_cast<mode_t>(permissions));
    if (fd_ >= 0) {
      mode_ = Mode::kNamed;
      return true;
    }
    if (errno != EEXIST && errno != EINTR) break;
  }
  temporary_name_.clear();
  return Fail(errno);
}

bool AtomicFile::Write(std::string_view bytes) {
  if (mode_ == Mode::kClosed) return Fail(EBADF);
  if (failed_) return false;
  if (WriteAll(fd_, bytes)) return true;
  return Fail(errno);
}

// Gives the unnamed file a temporary name beside the target.
bool AtomicFile::LinkUnnamed() {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_name_ = target_ + RandomSuffix();
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, temporary_name_.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
      return true;
    }
    if (errno != EEXIST) break;
  }
  temporary_name_.clear();
  return Fail(errno);
}

bool AtomicFile::Commit() {
  if (mode_ == Mode::kClosed) return failed_ ? false : Fail(EBADF);
  if (failed_) {
    const std::string error = error_;
    Cancel();
    error_ = error;
    return false;
  }
  if (mode_ == Mode::kDirect) {
    const int fd = fd_;
    fd_ = -1;
    mode_ = Mode::kClosed;
    return ::close(fd) == 0 || errno == EINTR || Fail(errno);
  }
  // The data is on disk before the name points at it. File systems that
  // cannot sync (EINVAL) need not.
  if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    const int error = errno;
    Cancel();
    return Fail(error);
  }
  if (mode_ == Mode::kUnnamed && !LinkUnnamed()) {
    const std::string error = error_;
    Cancel();
    error_ = error;
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  mode_ = Mode::kClosed;
  int error = 0;
  if (::close(fd) != 0 && errno != EINTR) error = errno;
  if (error == 0 && ::rename(temporary_name_.c_str(), target_.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary_name_.c_str());
  temporary_name_.clear();
  return error == 0 || Fail(error);
}

void AtomicFile::Cancel() {
  if (mode_ == Mode::kClosed) return;
  ::close(fd_);
  if (!temporary_name_.empty()) ::unlink(temporary_name_.c_str());
  temporary_name_.clear();
  fd_ = -1;
  mode_ = Mode::kClosed;
}

}  // namespace dialsift::platform
