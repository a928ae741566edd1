#include "platform/stored_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "sheet/unicode.h"

namespace dialsift {
namespace {

constexpr std::u16string_view kGroup = u"Dialsift/";

// ---- UTF-8 and UTF-16 ----------------------------------------------------

void AppendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Bytes that do not form UTF-8 become U+FFFD, one for each.
void AppendFromUtf8(std::string_view bytes, std::u16string& out) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t len = sheet::Utf8SequenceLength(bytes.substr(i));
    if (len > 0) {
      AppendUtf16(sheet::Utf8CodePoint(bytes.substr(i, len)), out);
      i += len;
    } else {
      out += u'\uFFFD';
      ++i;
    }
  }
}

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  AppendFromUtf8(bytes, out);
  return out;
}

// A surrogate without its partner becomes U+FFFD.
std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  sheet::Utf16Decoder decoder;
  for (const char16_t unit : text) decoder.Push(unit, out);
  decoder.Finish(out);
  return out;
}

int HexValue(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
  return s;
}

// ---- The INI rules ---------------------------------------------------------

// A key as written: "\" stands for "/", "%XX" and "%UXXXX" for the character
// of that code; anything else, also a "%" not followed by a code, is itself.
void AppendUnescapedKey(std::string_view key, std::u16string& out) {
  const std::u16string decoded = FromUtf8(key);
  std::size_t i = 0;
  while (i < decoded.size()) {
    const char16_t c = decoded[i];
    if (c == u'\\') {
      out += u'/';
      ++i;
      continue;
    }
    if (c != u'%' || i + 1 == decoded.size()) {
      out += c;
      ++i;
      continue;
    }
    std::size_t first = i + 1;
    std::size_t digits = 2;
    if (decoded[first] == u'U') {
      ++first;
      digits = 4;
    }
    unsigned code = 0;
    bool ok = first + digits <= decoded.size();
    for (std::size_t k = 0; ok && k < digits; ++k) {
      const int h = HexValue(decoded[first + k]);
      ok = h >= 0;
      code = code * 16 + static_cast<unsigned>(h);
    }
    if (!ok) {
      out += u'%';
      ++i;
      continue;
    }
    out += static_cast<char16_t>(code);
    i = first + digits;
  }
}

bool StartsWith(std::u16string_view s, std::u16string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsLineSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsSpecial(char c) {
  return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// One logical line of `data` from `pos`: blanks and empty lines before it
// and comment lines skipped, a line break inside quotes or after a backslash
// kept in it, a ';' outside quotes ending it. `equals` is the position of its
// first '=' outside quotes, or npos. False at the end of the data.
bool ReadLine(std::string_view data, std::size_t& pos, std::size_t& start, std::size_t& length,
              std::size_t& equals) {
  constexpr auto npos = std::string_view::npos;
  const std::size_t size = data.size();
  bool in_quotes = false;
  equals = npos;
  start = pos;
  while (start < size && IsLineSpace(data[start])) ++start;
  std::size_t i = start;
  while (i < size) {
    char c = data[i];
    while (!IsSpecial(c)) {
      if (++i == size) goto done;
      c = data[i];
    }
    ++i;
    if (c == '=') {
      if (!in_quotes && equals == npos) equals = i - 1;
    } else if (c == '\n' || c == '\r') {
      if (i == start + 1) {
        ++start;
      } else if (!in_quotes) {
        --i;
        goto done;
      }
    } else if (c == '\\') {
      if (i < size) {
        const char escaped = data[i++];
        if (i < size) {
          const char next = data[i];
          if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n')) ++i;
        }
      }
    } else if (c == '"') {
      in_quotes = !in_quotes;
    } else {  // ';'
      if (i == start + 1) {
        while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
        while (i < size && IsLineSpace(data[i])) ++i;
        start = i;
      } else if (!in_quotes) {
        --i;
        goto done;
      }
    }
  }
done:
  pos = i;
  length = i - start;
  return length > 0;
}

// A value as written: quoted parts, backslash escapes, blanks around it
// dropped unless quoted. A ',' outside quotes makes it a list: `list` is then
// true and the text is of no use.
std::u16string UnescapedValue(std::string_view s, bool& list) {
  std::u16string out;
  list = false;
  bool in_quotes = false;
  bool quoted = false;  // the current item
  std::size_t i = 0;
  std::size_t chop_limit = 0;  // trailing blanks from here on may go
  const auto chop = [&] {
    while (out.size() > chop_limit && (out.back() == u' ' || out.back() == u'\t')) out.pop_back();
  };
  const auto skip_blanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    chop_limit = out.size();
  };
  skip_blanks();
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\') {
      ++i;
      if (i >= s.size()) return out;  // a lone backslash at the end: blanks stay
      const char e = s[i++];
      static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                             {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                             {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
      bool simple = false;
      for (const auto& pair : kEscapes) {
        if (e == pair[0]) {
          out += static_cast<char16_t>(pair[1]);
          simple = true;
          break;
        }
      }
      if (simple) {
        chop_limit = out.size();
        continue;
      }
      if (e == 'x' && i >= s.size()) return out;
      if (e == 'x' && HexValue(static_cast<unsigned char>(s[i])) >= 0) {
        char16_t code = 0;
        while (i < s.size() && HexValue(static_cast<unsigned char>(s[i])) >= 0) {
          code = static_cast<char16_t>((code << 4) + HexValue(static_cast<unsigned char>(s[i++])));
        }
        out += code;
      } else if (e >= '0' && e <= '7') {
        char16_t code = static_cast<char16_t>(e - '0');
        while (i < s.size() && s[i] >= '0' && s[i] <= '7') {
          code = static_cast<char16_t>((code << 3) + (s[i++] - '0'));
        }
        out += code;
      } else if (e == 'x') {
        // "\x" without a digit: nothing.
      } else if ((e == '\n' || e == '\r') && i < s.size() && (s[i] == '\n' || s[i] == '\r') &&
                 s[i] != e) {
        ++i;  // a continued line: the break is dropped
      }
      chop_limit = out.size();
    } else if (c == '"') {
      ++i;
      quoted = true;
      in_quotes = !in_quotes;
      if (!in_quotes) skip_blanks();
    } else if (c == ',' && !in_quotes) {
      if (!quoted) chop();
      list = true;
      out.clear();
      quoted = false;
      ++i;
      skip_blanks();
    } else {
      std::size_t j = i + 1;
      while (j < s.size() && s[j] != '\\' && s[j] != '"' && s[j] != ',') ++j;
      AppendFromUtf8(s.substr(i, j - i), out);
      i = j;
    }
  }
  if (!quoted) chop();
  return out;
}

// What the store gives as text for a stored value: nothing for "@Invalid()".
std::optional<std::u16string> TextOf(std::string_view stored) {
  bool list = false;
  std::u16string s = UnescapedValue(stored, list);
  // A list has no text (the store reads it as a list of texts, which gives
  // none as one text).
  if (list) return std::u16string();
  if (!StartsWith(s, u"@")) return s;
  if (s.back() == u')') {
    if (StartsWith(s, u"@ByteArray(")) {
      // The bytes are the characters' low halves, read back as UTF-8.
      std::string bytes;
      for (char16_t c : std::u16string_view(s).substr(11, s.size() - 12)) {
        bytes += static_cast<char>(c <= 0xFF ? c : '?');
      }
      return FromUtf8(bytes);
    }
    if (StartsWith(s, u"@String(")) return s.substr(8, s.size() - 9);
    if (s == u"@Invalid()") return std::nullopt;
    // Serialised values, rectangles, sizes and points are not text.
    for (std::u16string_view typed :
         {u"@Variant(", u"@DateTime(", u"@Rect(", u"@Size(", u"@Point("}) {
      if (StartsWith(s, typed)) return std::u16string();
    }
  }
  if (StartsWith(s, u"@@")) return s.substr(1);
  return s;
}

// The file's contents; nothing when it is absent, `unreadable` when it is
// there but cannot be read.
std::optional<std::string> ReadFile(const std::string& name, bool& unreadable) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return std::nullopt;
  int fd = -1;
  do {
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 || S_ISDIR(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    unreadable = true;
    return std::nullopt;
  }
  std::string data;
  char buffer[1 << 14];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      unreadable = true;
      ::close(fd);
      return std::nullopt;
    }
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

// Splits a file into its sections' lines; false when a section header lacks
// its "]". Sections of one name are joined.
bool SplitSections(std::string_view data, std::map<std::u16string, std::string>& sections) {
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  bool ok = true;
  std::u16string current;
  std::size_t current_start = 0;
  std::size_t pos = 0;
  std::size_t start = 0;
  std::size_t length = 0;
  std::size_t equals = 0;
  const auto flush = [&] {
    std::string& lines = sections[current];
    if (!lines.empty()) lines += '\n';
    lines += data.substr(current_start, start - current_start);
  };
  while (ReadLine(data, pos, start, length, equals)) {
    const std::string_view line = data.substr(start, length);
    if (line.front() != '[') continue;
    flush();
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
      ok = false;
      close = line.size();
    }
    const std::string_view name = Trimmed(line.substr(1, close - 1));
    const auto lower = [](std::string_view s) {
      std::string out(s);
      for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      return out;
    };
    current.clear();
    if (lower(name) != "general") {
      if (lower(name) == "%general") {
        current = FromUtf8(name.substr(1));
      } else {
        AppendUnescapedKey(name, current);
      }
      current += u'/';
    }
    current_start = pos;
  }
  flush();
  return ok;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::vector<std::string> SettingsFiles(const std::string& user_folder,
                                       const std::vector<std::string>& system_folders) {
  std::vector<std::string> files = {user_folder + "/Quillmark/Quillmark.ini",
                                    user_folder + "/Quillmark.ini"};
  for (const auto& folder : system_folders) files.push_back(folder + "/Quillmark/Quillmark.ini");
  for (const auto& folder : system_folders) files.push_back(folder + "/Quillmark.ini");
  return files;
}

std::vector<std::string> UsersSettingsFiles() {
  std::string user = Environment("XDG_CONFIG_HOME");
  if (user.empty()) {
    std::string home = Environment("HOME");
    if (home.empty()) home.push_back('/');
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    user = std::move(home);
    user.append("/.config");
  }
  std::vector<std::string> system;
  const std::string dirs = Environment("XDG_CONFIG_DIRS");
  std::size_t start = 0;
  while (start < dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (end > start) system.push_back(dirs.substr(start, end - start));
    start = end + 1;
  }
  if (system.empty()) system.push_back("/etc/xdg");
  return SettingsFiles(user, system);
}

StoredSettings::StoredSettings(const std::vector<std::string>& files) {
  for (const auto& name : files) {
    bool unreadable = false;
    const std::optional<std::string> data = ReadFile(name, unreadable);
    if (unreadable) readable_ = false;
    File& file = files_.emplace_back();
    if (data && !SplitSections(*data, file.unparsed)) readable_ = false;
  }
}

void StoredSettings::ParseSectionOf(File& file, std::u16string_view key) {
  if (file.unparsed.empty()) return;
  // The section a key may be in is the last one, by name, at or before it
  // that begins it (the general section only for keys without "/").
  auto it = file.unparsed.begin();
  if (key.find(u'/') != std::u16string_view::npos) {
    it = file.unparsed.upper_bound(std::u16string(key));
    if (it == file.unparsed.begin()) return;
    --it;
    if (it->first.empty() || !StartsWith(key, it->first)) return;
  } else if (!it->first.empty()) {
    return;
  }
  const std::string_view data = it->second;
  std::size_t pos = 0;
  std::size_t start = 0;
  std::size_t length = 0;
  std::size_t equals = 0;
  while (ReadLine(data, pos, start, length, equals)) {
    if (equals == std::string_view::npos) continue;  // a comment, or no setting
    std::u16string name = it->first;
    AppendUnescapedKey(Trimmed(data.substr(start, equals - start)), name);
    file.parsed[std::move(name)] =
        std::string(data.substr(equals + 1, start + length - equals - 1));
  }
  file.unparsed.erase(it);
}

std::optional<std::string> StoredSettings::Read(std::string_view key) const {
  std::u16string full(kGroup);
  AppendFromUtf8(key, full);
  for (File& file : files_) {
    ParseSectionOf(file, full);
    const auto it = file.parsed.find(full);
    if (it == file.parsed.end()) continue;
    const std::optional<std::u16string> text = TextOf(it->second);
    if (!text) return std::nullopt;
    return ToUtf8(*text);
  }
  return std::nullopt;
}

}  // namespace dialsift
