// dialsift-cli's options: their table and the help built from it, the
// reading of the command line, and the default lengths the window stored.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "extract/phone.h"
#include "platform/settings.h"
#include "results/e164.h"
#include "results/output.h"

namespace dialsift::cli {

inline constexpr std::string_view kProgram = "dialsift-cli";

struct Options {
  phone::LengthSelection lengths;
  phone::Rule rule = phone::Rule::kWords;
  results::Format format = results::Format::kLines;
  std::optional<results::E164> e164;
  bool unique = false;
  bool text = false;
  bool quiet = false;
  bool null_separated = false;
  std::string output;
  std::string files_from;
  unsigned jobs = 0;
  std::vector<std::string> paths;
};

// What a command line asks for: a run with `options`, or else `message` to
// print and the exit status: 0 for --help and --version (the message goes
// to standard output), 2 for a usage error and 1 when --e164's module cannot
// be loaded (to standard error).
struct Parsed {
  std::optional<Options> options;
  int status = 0;
  std::string message;
};

// Reads `args` (the program's name first). `stored_lengths` gives the
// lengths when -l is not given, and is asked only then.
Parsed ParseArguments(std::span<const char* const> args,
                      const std::function<phone::LengthSelection()>& stored_lengths);

// The text of --help.
std::string HelpText();

// A list of digit counts, "7,10" or "7-11"; on a bad item, nothing with
// `bad` set to it.
std::optional<phone::LengthSelection> ParseLengths(std::string_view list, std::string& bad);

// The lengths ticked in the window, as it stored them; 10 and 11 before its
// first start.
phone::LengthSelection StoredLengths(const SettingsReader& settings);

// A message line that cannot be split or turned into terminal commands by
// what a path or sheet name holds: control characters become escapes.
std::string Printable(std::string_view text);

}  // namespace dialsift::cli
