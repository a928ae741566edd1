#include "app/cli_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <thread>

#include "app/command_line.h"

namespace dialsift::cli {
namespace {

using app::OptionSpec;

// The options, in the order --help lists them. The help text is built from
// this table, and the README's option table is checked against it.
constexpr OptionSpec kOptions[] = {
    {"l", "lengths", "LIST",
     "digit counts that make a phone number, 5 to 20:\n\"7,10\", \"7-11\"; default: the lengths "
     "ticked in\nthe desktop program, or 10 and 11"},
    {"", "spaced", "",
     "also read numbers written with spaces inside a\ncell: \"+44 20 7946 0958\", \"(212) "
     "555-0147\""},
    {"", "format", "FORMAT", "lines (the default), comma, csv or jsonl;\nsee Formats below"},
    {"c", "comma", "", "the same as --format comma"},
    {"", "e164", "REGION",
     "add each number's E.164 form (+12125550147),\nreading numbers written without a "
     "country code\nas numbers of REGION (US, GB, DE, ...)"},
    {"", "unique", "",
     "keep only the first occurrence of each number:\nby its E.164 form with --e164, else "
     "by its digits"},
    {"o", "output", "FILE",
     "write to FILE (replaced only once complete)\ninstead of standard "
     "output"},
    {"", "files-from", "FILE",
     "also take the workbooks and folders listed in FILE,\none per line; - is standard input"},
    {"0", "null", "", "the list of --files-from is separated by NUL\ncharacters (find -print0)"},
    {"j", "jobs", "N", "read N workbooks at once (default: the number\nof cores)"},
    {"t", "text", "", "print each workbook's text instead of its numbers"},
    {"q", "quiet", "", "no progress line"},
    {"h", "help", "", "show this help and exit"},
    {"V", "version", "", "show the version and exit"},
};

constexpr const char* kHelpTop =
    "Usage: dialsift-cli [OPTION]... PATH...\n"
    "Extract phone numbers from spreadsheet workbooks (.xlsx .xlsm .xls .xlsb .ods .csv).\n"
    "\n"
    "A PATH that is a folder contributes every *.xls* workbook in it and in its\n"
    "sub-folders. Numbers are written exactly as the cells display them, in the\n"
    "order of the workbooks given, whatever the number of jobs.\n"
    "\n"
    "Options:\n";

constexpr const char* kHelpBottom =
    "\n"
    "Formats:\n"
    "  lines   one number per line, CR LF after each (the window's text export)\n"
    "  comma   all numbers on one line, separated by commas\n"
    "  csv     RFC 4180, UTF-8, header number,e164,valid,path,sheet,cell\n"
    "  jsonl   one JSON object per number with the fields of csv\n"
    "Numbers are text in every format. Without --e164, e164 and valid are empty\n"
    "(null in jsonl); with it, e164 is empty when the number is not a possible one\n"
    "for the region, and valid tells whether its numbering plan knows it.\n"
    "\n"
    "Exit status:\n"
    "  0  every workbook was read\n"
    "  1  some could not be, the output could not be written, or the module\n"
    "     of --e164 could not be loaded\n"
    "  2  usage error\n"
    "\n"
    "Errors go to standard error, one line each: the path and the reason.\n";

// A count of at most four decimal digits.
std::optional<int> SmallNumber(std::string_view s) {
  if (s.empty() || s.size() > 4 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int n = 0;
  std::from_chars(s.data(), s.data() + s.size(), n);
  return n;
}

Parsed Usage(const std::string& message) {
  return {std::nullopt, 2,
          std::string(kProgram) + ": " + message + "\nTry 'dialsift-cli --help'.\n"};
}

// --e164's region: libphonenumber is loaded for it alone, from the module
// installed with the program; without it the run cannot be done.
std::optional<results::E164> E164ForRegion(const std::string& region, Parsed& failure) {
  const std::filesystem::path path = results::E164Module::BesideProgram();
  std::string error = "cannot find the program's own folder";
  const auto module = path.empty() ? std::nullopt : results::E164Module::Load(path, error);
  if (!module) {
    failure = {std::nullopt, 1,
               std::string(kProgram) + ": --e164 cannot load its module " +
                   Printable(path.empty() ? std::string(results::kE164ModuleFile) : path.string()) +
                   ": " + error + "\n"};
    return std::nullopt;
  }
  auto e164 = module->ForRegion(region);
  if (!e164) failure = Usage("unknown region '" + region + "' (two letters, like US, GB or DE)");
  return e164;
}

}  // namespace

std::string HelpText() {
  constexpr std::size_t kColumn = 24;
  std::string text = kHelpTop;
  for (const auto& o : kOptions) {
    std::string head = "  ";
    head += *o.short_name ? std::string("-") + o.short_name + ", " : std::string("    ");
    head += std::string("--") + o.long_name;
    if (*o.value) head += std::string(" ") + o.value;
    head += head.size() + 2 <= kColumn ? std::string(kColumn - head.size(), ' ')
                                       : "\n" + std::string(kColumn, ' ');
    std::string_view help = o.help;
    while (true) {
      const auto nl = help.find('\n');
      head += help.substr(0, nl);
      head += '\n';
      if (nl == std::string_view::npos) break;
      head += std::string(kColumn, ' ');
      help.remove_prefix(nl + 1);
    }
    text += head;
  }
  return text + kHelpBottom;
}

std::optional<phone::LengthSelection> ParseLengths(std::string_view list, std::string& bad) {
  phone::LengthSelection sel;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    const std::string_view item = list.substr(start, end - start);
    const auto dash = item.find('-');
    const auto lo = SmallNumber(item.substr(0, dash));
    const auto hi = dash == std::string_view::npos ? lo : SmallNumber(item.substr(dash + 1));
    if (!lo || !hi || *lo < 5 || *hi > 20 || *lo > *hi) {
      bad = item;
      return std::nullopt;
    }
    for (int n = *lo; n <= *hi; ++n) sel.Set(n, true);
    start = end + 1;
  }
  return sel;
}

phone::LengthSelection StoredLengths(const SettingsReader& settings) {
  phone::LengthSelection sel;
  // Once the window has started, its boxes decide, even with none ticked.
  bool any = settings.Read("Loads").has_value();
  for (int i = 0; i < 16; ++i) {
    const auto stored = ReadLengthBox(settings, i);
    if (!stored) continue;
    any = true;
    if (stored->state == 1) sel.Set(i + 5, true);
  }
  if (!any) sel = phone::LengthSelection::Of({10, 11});
  return sel;
}

Parsed ParseArguments(std::span<const char* const> args,
                      const std::function<phone::LengthSelection()>& stored_lengths) {
  const app::CommandLine parser(kOptions, args);
  if (!parser.error().empty()) return Usage(parser.error());
  if (parser.IsSet("help")) return {std::nullopt, 0, HelpText()};
  if (parser.IsSet("version")) {
    return {std::nullopt, 0, std::string(kProgram) + " " + DIALSIFT_VERSION + "\n"};
  }
  Options o;
  o.paths = parser.operands();
  o.text = parser.IsSet("text");
  o.quiet = parser.IsSet("quiet");
  o.unique = parser.IsSet("unique");
  o.output = parser.Value("output");
  o.files_from = parser.Value("files-from");
  o.null_separated = parser.IsSet("null");
  if (parser.IsSet("format")) {
    const std::string name = parser.Value("format");
    const auto format = results::ParseFormat(name);
    if (!format) return Usage("bad format '" + name + "' (lines, comma, csv or jsonl)");
    o.format = *format;
  }
  if (parser.IsSet("comma")) {
    if (parser.IsSet("format") && o.format != results::Format::kComma) {
      return Usage("--comma and --format " + parser.Value("format") + " disagree");
    }
    o.format = results::Format::kComma;
  }
  if (parser.IsSet("e164")) {
    Parsed failure;
    o.e164 = E164ForRegion(parser.Value("e164"), failure);
    if (!o.e164) return failure;
  }
  if (o.text && (o.e164 || o.unique || o.format == results::Format::kCsv ||
                 o.format == results::Format::kJsonl)) {
    return Usage("--text prints workbook texts: no --e164, --unique, csv or jsonl with it");
  }
  if (o.null_separated && o.files_from.empty()) return Usage("-0 goes with --files-from");
  if (parser.IsSet("jobs")) {
    const auto n = SmallNumber(parser.Value("jobs"));
    if (!n || *n < 1 || *n > 256) return Usage("bad job count");
    o.jobs = static_cast<unsigned>(*n);
  }
  if (parser.IsSet("spaced")) o.rule = phone::Rule::kSpaced;
  if (parser.IsSet("lengths")) {
    std::string bad;
    const auto lengths = ParseLengths(parser.Value("lengths"), bad);
    if (!lengths) {
      return Usage("bad length '" + bad + "' (digit counts 5 to 20, like 7,10 or 7-11)");
    }
    o.lengths = *lengths;
  } else if (!o.text) {
    o.lengths = stored_lengths();
  }
  if (o.paths.empty() && o.files_from.empty()) return Usage("no workbook or folder given");
  if (o.jobs == 0) o.jobs = std::max(1u, std::thread::hardware_concurrency());
  return {std::move(o), 0, {}};
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace dialsift::cli
