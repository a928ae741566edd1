// A small JSON reader for the reference tables (arrays, strings, numbers,
// booleans, null). Test helper only: malformed input gives a null value.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/unicode.h"

namespace dialsift::test {

struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray } type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;

  bool IsString() const { return type == Type::kString; }
  bool IsNumber() const { return type == Type::kNumber; }
  bool IsArray() const { return type == Type::kArray; }
  std::size_t size() const { return items.size(); }
  const Json& operator[](std::size_t i) const { return items[i]; }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}
  Json Read() {
    Skip();
    Json j;
    if (i_ >= s_.size()) return j;
    const char c = s_[i_];
    if (c == '[') {
      ++i_;
      j.type = Json::Type::kArray;
      Skip();
      while (i_ < s_.size() && s_[i_] != ']') {
        j.items.push_back(Read());
        Skip();
        if (i_ < s_.size() && s_[i_] == ',') ++i_;
        Skip();
      }
      ++i_;
    } else if (c == '"') {
      j.type = Json::Type::kString;
      j.string = String();
    } else if (s_.substr(i_, 4) == "true" || s_.substr(i_, 5) == "false") {
      j.type = Json::Type::kBool;
      j.boolean = s_[i_] == 't';
      i_ += j.boolean ? 4 : 5;
    } else if (s_.substr(i_, 4) == "null") {
      i_ += 4;
    } else {
      j.type = Json::Type::kNumber;
      std::string num;
      while (i_ < s_.size() &&
             std::string_view("+-0123456789.eE").find(s_[i_]) != std::string_view::npos) {
        num += s_[i_++];
      }
      j.number = std::strtod(num.c_str(), nullptr);
    }
    return j;
  }

 private:
  void Skip() {
    while (i_ < s_.size() && std::string_view(" \t\r\n").find(s_[i_]) != std::string_view::npos)
      ++i_;
  }
  std::string String() {
    std::string out;
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\' || i_ >= s_.size()) {
        out += c;
        continue;
      }
      c = s_[i_++];
      switch (c) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'u': {
          unsigned cp = static_cast<unsigned>(
              std::strtoul(std::string(s_.substr(i_, 4)).c_str(), nullptr, 16));
          i_ += 4;
          sheet::AppendUtf8(out, cp);
          break;
        }
        default:
          out += c;
      }
    }
    ++i_;
    return out;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace dialsift::test
