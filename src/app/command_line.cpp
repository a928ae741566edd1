#include "app/command_line.h"

#include <cstring>

namespace dialsift::app {

CommandLine::CommandLine(std::span<const OptionSpec> options, std::span<const char* const> args)
    : options_(options) {
  std::vector<std::string> unknown;
  // Unknown names are all collected; of the errors about values, the last
  // one is told.
  const auto fail = [this](std::string message) { error_ = std::move(message); };
  const auto add = [this](int index, std::string value) {
    found_.push_back(index);
    found_values_.push_back(std::move(value));
  };
  bool operands_only = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (operands_only || arg.size() < 2 || arg[0] != '-') {
      operands_.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      operands_only = true;
      continue;
    }
    if (arg[1] == '-') {
      const std::string_view body = arg.substr(2);
      const std::size_t assign = body.find('=');
      const std::string_view name = body.substr(0, assign);
      const int index = FindLong(name);
      if (index < 0) {
        unknown.emplace_back(name);
      } else if (*options_[index].value == '\0') {
        if (assign != std::string_view::npos) {
          fail("Unexpected value after '--" + std::string(name) + "'.");
        } else {
          add(index, {});
        }
      } else if (assign != std::string_view::npos) {
        add(index, std::string(body.substr(assign + 1)));
      } else if (i + 1 < args.size()) {
        add(index, args[++i]);
      } else {
        fail("Missing value after '" + std::string(arg) + "'.");
      }
      continue;
    }
    // Bundled short options: a switch may be followed by more of them; an
    // option with a value takes the rest of the word ("-j2", "-j=2") or,
    // when the word ends with it, the next argument.
    for (std::size_t pos = 1; pos < arg.size(); ++pos) {
      const int index = FindShort(arg[pos]);
      if (index < 0) {
        unknown.emplace_back(1, arg[pos]);
        continue;
      }
      const bool last = pos + 1 == arg.size();
      if (*options_[index].value == '\0') {
        add(index, {});
        if (!last && arg[pos + 1] == '=') {
          fail("Unexpected value after '" + std::string(arg.substr(0, pos + 1)) + "'.");
          break;
        }
        continue;
      }
      if (!last) {
        add(index, std::string(arg.substr(pos + (arg[pos + 1] == '=' ? 2 : 1))));
      } else if (i + 1 < args.size()) {
        add(index, args[++i]);
      } else {
        fail("Missing value after '" + std::string(arg) + "'.");
      }
      break;
    }
  }
  if (!error_.empty()) return;
  if (unknown.size() == 1) {
    error_ = "Unknown option '" + unknown.front() + "'.";
  } else if (unknown.size() > 1) {
    error_ = "Unknown options: ";
    for (std::size_t k = 0; k < unknown.size(); ++k) error_ += (k ? ", " : "") + unknown[k];
    error_ += ".";
  }
}

int CommandLine::FindLong(std::string_view name) const {
  for (std::size_t k = 0; k < options_.size(); ++k) {
    if (name == options_[k].long_name) return static_cast<int>(k);
  }
  return -1;
}

int CommandLine::FindShort(char name) const {
  for (std::size_t k = 0; k < options_.size(); ++k) {
    if (options_[k].short_name[0] == name && options_[k].short_name[0] != '\0') {
      return static_cast<int>(k);
    }
  }
  return -1;
}

bool CommandLine::IsSet(std::string_view long_name) const {
  const int index = FindLong(long_name);
  for (const int f : found_) {
    if (f == index) return true;
  }
  return false;
}

std::string CommandLine::Value(std::string_view long_name) const {
  const int index = FindLong(long_name);
  for (std::size_t k = found_.size(); k-- > 0;) {
    if (found_[k] == index) return found_values_[k];
  }
  return {};
}

}  // namespace dialsift::app
