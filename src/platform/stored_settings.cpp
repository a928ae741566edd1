#include "platform/stored_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/spaced_setting.h"

namespace dialsift {
namespace {

// The keys read besides the sixteen length boxes; a new stored choice adds
// its key here.
constexpr std::string_view kOtherKeys[] = {"Loads", kSpacedKey};

bool Known(std::string_view key) {
  for (int i = 0; i < 16; ++i) {
    if (key == PhoneLengthKey(i)) return true;
  }
  return std::find(std::begin(kOtherKeys), std::end(kOtherKeys), key) != std::end(kOtherKeys);
}

// The window writes a few hundred bytes; a file beyond this is not its.
constexpr std::size_t kMaxFileBytes = 64 << 10;

// The bytes of a regular file of at most kMaxFileBytes; nothing otherwise.
// Opened without waiting, so that a FIFO or device at the path cannot hold
// the program.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::size_t>(st.st_size) > kMaxFileBytes) {
    return std::nullopt;
  }
  std::string data(kMaxFileBytes + 1, '\0');
  std::size_t size = 0;
  while (size < data.size()) {
    const ssize_t n = ::read(fd, data.data() + size, data.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    size += static_cast<std::size_t>(n);
  }
  if (size > kMaxFileBytes) return std::nullopt;  // it grew meanwhile
  data.resize(size);
  return data;
}

std::string_view Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The store writes a space in a key as "%20".
std::string KeyName(std::string_view written) {
  std::string key;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (written.substr(i, 3) == "%20") {
      key += ' ';
      i += 2;
    } else {
      key += written[i];
    }
  }
  return key;
}

// A value as the store writes plain text: bare, or in double quotes when it
// has blanks at its ends. Nothing for escapes, lists, typed values ("@...")
// or a broken quote: those the window never writes for these keys.
std::optional<std::string> Value(std::string_view written) {
  std::string_view text = Trimmed(written);
  if (!text.empty() && text.front() == '"') {
    if (text.size() < 2 || text.back() != '"') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  if (text.find_first_of("\"\\,;") != std::string_view::npos) return std::nullopt;
  if (!text.empty() && text.front() == '@') return std::nullopt;
  return std::string(text);
}

}  // namespace

std::string UsersSettingsFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder = config && *config ? config : "";
  if (folder.empty()) {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return folder + "/Quillmark/Quillmark.ini";
}

StoredSettings::StoredSettings(const std::string& file) {
  const std::optional<std::string> data = ReadSmallFile(file);
  if (!data) return;
  std::string_view rest = *data;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  bool in_section = false;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = Trimmed(line);
    if (line.starts_with('[')) {
      in_section = line == "[Dialsift]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!in_section || equals == std::string_view::npos) continue;
    std::string key = KeyName(Trimmed(line.substr(0, equals)));
    if (!Known(key)) continue;
    if (auto value = Value(line.substr(equals + 1))) {
      values_.insert_or_assign(std::move(key), std::move(*value));
    } else {
      values_.erase(key);  // the last line of a key decides
    }
  }
}

std::optional<std::string> StoredSettings::Read(std::string_view key) const {
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace dialsift
