// The command line of dialsift-cli, split into options and operands the way
// GNU tools and Qt programs read it: "--name value", "--name=value", short
// options bundled ("-qj2", "-qj 2", "-j=2"), options after operands, "--" to
// end the options and a lone "-" as an operand. Arguments stay bytes: a path
// comes back exactly as it was given, whatever its encoding.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dialsift::app {

struct OptionSpec {
  const char* short_name;  // one character, or "" when there is none
  const char* long_name;
  const char* value;  // the value's name in the help, "" for a switch
  const char* help;   // lines of at most 54 characters, separated by \n
};

class CommandLine {
 public:
  // Reads `args` (the program's name first) against `options`.
  CommandLine(std::span<const OptionSpec> options, std::span<const char* const> args);

  // Empty when the command line is sound, else what is wrong with it:
  // "Unknown option 'x'.", "Missing value after '--e164'." ...
  const std::string& error() const { return error_; }
  // Whether the option was given, by either of its names.
  bool IsSet(std::string_view long_name) const;
  // The option's value, the last one when it was given more than once;
  // empty when it was not given.
  std::string Value(std::string_view long_name) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  // The option's index in the table, or -1.
  int FindLong(std::string_view name) const;
  int FindShort(char name) const;

  std::span<const OptionSpec> options_;
  std::vector<int> found_;                 // each option given, in order
  std::vector<std::string> found_values_;  // its value ("" for a switch)
  std::vector<std::string> operands_;
  std::string error_;
};

}  // namespace dialsift::app
