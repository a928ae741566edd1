// dialsift-cli: the extraction run without the window. Workbooks and folders
// in, phone numbers out: in the formats of the window's exports, or as csv or
// JSON lines that say where each number was found.
#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "app/command_line.h"
#include "extract/ordered_run.h"
#include "extract/run.h"
#include "extract/workbook_text.h"
#include "filelist/folder_intake.h"
#include "platform/heap.h"
#include "platform/path_kinds.h"
#include "platform/spaced_setting.h"
#include "platform/stored_settings.h"
#include "platform/terminal.h"
#include "platform/threads.h"
#include "platform/time_zone.h"
#include "results/e164.h"
#include "results/output.h"
#include "sheet/open_options.h"
#include "sheet/workbook.h"

namespace {

using namespace dialsift;

constexpr std::string_view kProgram = "dialsift-cli";

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

std::string HelpText() {
  std::string text = kHelpTop;
  for (const auto& o : kOptions) {
    std::string head = "  ";
    head += *o.short_name ? std::string("-") + o.short_name + ", " : std::string("    ");
    head += std::string("--") + o.long_name;
    if (*o.value) head += std::string(" ") + o.value;
    constexpr std::size_t kColumn = 24;
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

[[noreturn]] void UsageError(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\nTry 'dialsift-cli --help'.\n";
  std::exit(2);
}

bool ParseNumber(const std::string& s, int& out) {
  if (s.empty() || s.size() > 4 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  out = std::stoi(s);
  return true;
}

phone::LengthSelection ParseLengths(const std::string& list) {
  phone::LengthSelection sel;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string item = list.substr(start, end - start);
    const auto dash = item.find('-');
    int lo = 0;
    int hi = 0;
    const bool ok = dash == std::string::npos ? ParseNumber(item, lo) && ParseNumber(item, hi)
                                              : ParseNumber(item.substr(0, dash), lo) &&
                                                    ParseNumber(item.substr(dash + 1), hi);
    if (!ok || lo < 5 || hi > 20 || lo > hi) {
      UsageError("bad length '" + item + "' (digit counts 5 to 20, like 7,10 or 7-11)");
    }
    for (int n = lo; n <= hi; ++n) sel.Set(n, true);
    start = end + 1;
  }
  return sel;
}

// The selection the desktop program stored; 10 and 11 before its first start.
phone::LengthSelection StoredLengths() {
  const StoredSettings store;
  phone::LengthSelection sel;
  bool any = store.Read("Loads").has_value();
  for (int i = 0; i < 16; ++i) {
    const auto stored = ReadLengthBox(store, i);
    if (!stored) continue;
    any = true;
    if (stored->state == 1) sel.Set(i + 5, true);
  }
  if (!any) sel = phone::LengthSelection::Of({10, 11});
  return sel;
}

std::string Printable(std::string_view text);

// The reading of --e164's region. libphonenumber is loaded for it alone, from
// the module installed with the program; without it the run cannot be done.
std::optional<results::E164> E164ForRegion(const std::string& region) {
  const std::filesystem::path path = results::E164Module::BesideProgram();
  std::string error = "cannot find the program's own folder";
  const auto module = path.empty() ? std::nullopt : results::E164Module::Load(path, error);
  if (!module) {
    std::cerr << kProgram << ": --e164 cannot load its module "
              << Printable(path.empty() ? std::string(results::kE164ModuleFile) : path.string())
              << ": " << error << "\n";
    std::exit(1);
  }
  return module->ForRegion(region);
}

Options ParseArguments(int argc, char** argv) {
  const app::CommandLine parser(kOptions, {argv, static_cast<std::size_t>(argc)});
  if (!parser.error().empty()) UsageError(parser.error());

  if (parser.IsSet("help")) {
    std::cout << HelpText();
    std::exit(0);
  }
  if (parser.IsSet("version")) {
    std::cout << kProgram << " " << DIALSIFT_VERSION << "\n";
    std::exit(0);
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
    if (!format) UsageError("bad format '" + name + "' (lines, comma, csv or jsonl)");
    o.format = *format;
  }
  if (parser.IsSet("comma")) {
    if (parser.IsSet("format") && o.format != results::Format::kComma) {
      UsageError("--comma and --format " + parser.Value("format") + " disagree");
    }
    o.format = results::Format::kComma;
  }
  if (parser.IsSet("e164")) {
    const std::string region = parser.Value("e164");
    o.e164 = E164ForRegion(region);
    if (!o.e164) UsageError("unknown region '" + region + "' (two letters, like US, GB or DE)");
  }
  if (o.text && (o.e164 || o.unique || o.format == results::Format::kCsv ||
                 o.format == results::Format::kJsonl)) {
    UsageError("--text prints workbook texts: no --e164, --unique, csv or jsonl with it");
  }
  if (o.null_separated && o.files_from.empty()) UsageError("-0 goes with --files-from");
  if (parser.IsSet("jobs")) {
    int n = 0;
    if (!ParseNumber(parser.Value("jobs"), n) || n < 1 || n > 256) {
      UsageError("bad job count");
    }
    o.jobs = static_cast<unsigned>(n);
  }
  if (parser.IsSet("spaced")) o.rule = phone::Rule::kSpaced;
  if (parser.IsSet("lengths")) {
    o.lengths = ParseLengths(parser.Value("lengths"));
  } else if (!o.text) {
    o.lengths = StoredLengths();
    // The window's selection as a whole: its "with spaces" box comes along.
    if (StoredSpaced(StoredSettings())) o.rule = phone::Rule::kSpaced;
  }
  if (o.paths.empty() && o.files_from.empty()) UsageError("no workbook or folder given");
  if (o.jobs == 0) o.jobs = std::max(1u, std::thread::hardware_concurrency());
  return o;
}

// A message line that cannot be split or turned into terminal commands by
// what a path or sheet name holds: control characters become escapes.
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

// The paths listed in a file, or on standard input for "-".
std::optional<std::vector<std::string>> ReadPathList(const std::string& source, bool null) {
  std::string data;
  if (source == "-") {
    data.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(source, std::ios::binary);
    if (!in) return std::nullopt;
    data.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) return std::nullopt;
  }
  std::vector<std::string> paths;
  const char sep = null ? '\0' : '\n';
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find(sep, start);
    if (end == std::string::npos) end = data.size();
    if (end > start) paths.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

// The workbooks named, folders taken in as the window's "Add All Excel
// File(s) In Folder" does.
std::vector<std::string> ExpandPaths(const std::vector<std::string>& paths, bool& missing) {
  std::vector<std::string> files;
  const std::vector<platform::PathKind> kinds = platform::PathKinds(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& p = paths[i];
    const platform::PathKind& kind = kinds[i];
    if (kind.type == std::filesystem::file_type::not_found) {
      std::cerr << Printable(p) << ": file not found\n";
      missing = true;
    } else if (kind.error) {
      std::cerr << Printable(p) << ": " << kind.error.message() << "\n";
      missing = true;
    } else if (kind.type == std::filesystem::file_type::directory) {
      std::string folder = p;
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      auto intake = filelist::FolderIntake(folder, "*.xls*");
      files.insert(files.end(), intake.rows.begin(), intake.rows.end());
      for (const auto& problem : intake.problems) {
        std::cerr << Printable(problem.path) << ": cannot read the folder (" << problem.reason
                  << ")\n";
        missing = true;
      }
    } else {
      files.push_back(p);  // anything else is the reader's to judge
    }
  }
  return files;
}

// What a workbook hands to the output: a record, records already in the
// output format, its text (--text), or an error line. A record's path is its
// workbook's; its sheet is named by the kSheet item before it, once per run
// of records from one sheet.
struct Item {
  enum class Kind { kRecord, kFormatted, kSheet, kText, kError } kind = Kind::kRecord;
  // The number, the formatted records, the sheet's name, the workbook's
  // text, or the error line.
  std::string text;
  std::uint32_t row = 0;
  std::uint32_t column = 0;
  results::Normalised normalised;  // with --e164, worked out by the worker
};

// Reads one workbook into the channel.
class Reader final : public RecordSink, public ErrorReporter {
 public:
  Reader(const std::string& path, const Options& options, std::atomic<unsigned>& reading,
         OrderedRun<Item>::Channel& out)
      : path_(path), options_(options), reading_(reading), out_(out) {
    // Unless the writer must see each number (--unique), the records are
    // formatted here, on the reading threads, and go to it in pieces.
    if (!options_.unique && !options_.text) {
      formatter_.emplace(options_.format);
      formatter_->Follow();
    }
  }

  void Read() {
    if (options_.text) {
      ReadText();
      return;
    }
    // The selection cannot change during a run: its answers are worked out
    // once, not read from the boxes at every candidate.
    std::array<bool, 21> ticked{};
    for (std::size_t n = 0; n < ticked.size(); ++n) {
      ticked[n] = phone::IsPhoneLengthTicked(options_.lengths, static_cast<std::int16_t>(n));
    }
    phone::StreamingScanner scanner(
        [ticked](std::int16_t n) {
          return n >= 0 && static_cast<std::size_t>(n) < ticked.size() &&
                 ticked[static_cast<std::size_t>(n)];
        },
        {}, options_.rule);
    // A workbook read while at most half the jobs are busy gets a second
    // thread that inflates ahead of the parse: one big workbook uses both
    // cores, many small ones are not slowed by threads they cannot use.
    const unsigned busy = ++reading_;
    struct Done {
      std::atomic<unsigned>& reading;
      ~Done() { --reading; }
    } done{reading_};
    sheet::OpenOptions open_options;
    open_options.inflate_ahead = options_.jobs > 1 && 2 * busy <= options_.jobs;
    const OpenFn open = [&open_options](const std::string& p) {
      return sheet::OpenWorkbook(p, open_options);
    };
    ReadWorkbookRecords(path_, open, scanner, *this, *this, [this] { return out_.Stopping(); });
    HandOnFormatted();
  }

  void Found(const Record& record) override {
    if (formatter_) {
      if (options_.e164) {
        const results::Normalised normalised = options_.e164->Normalise(record.number);
        formatter_->Add(record, &normalised, formatted_);
      } else {
        formatter_->Add(record, nullptr, formatted_);
      }
      ++formatted_records_;
      if (formatted_.size() >= kFormattedPiece) HandOnFormatted();
      return;
    }
    if (!sheet_named_ || sheet_ != record.sheet) {
      sheet_named_ = true;
      sheet_ = record.sheet;
      out_.Put(Item{Item::Kind::kSheet, sheet_, 0, 0, {}});
    }
    Item item{Item::Kind::kRecord, record.number, record.row, record.column, {}};
    // libphonenumber costs about 0.1 ms a number: the workers share it out.
    if (options_.e164) item.normalised = options_.e164->Normalise(record.number);
    out_.Put(std::move(item));
  }

  void Report(const ErrorReport& report) override {
    HandOnFormatted();  // the records found before it go first
    // The run's own reports name the path already; a sheet's do not.
    Item item;
    item.kind = Item::Kind::kError;
    item.text =
        report.location == location::kRun ? report.description : path_ + ": " + report.description;
    out_.Put(std::move(item));
  }

 private:
  void ReadText() {
    try {
      auto workbook = sheet::OpenWorkbook(path_);
      if (!workbook) {
        Report({path_ + ": " + workbook.error().reason, location::kRun, 122});
        return;
      }
      Item item;
      item.kind = Item::Kind::kText;
      item.text = ReadWorkBookToString(*workbook.value(), *this);
      out_.Put(std::move(item));
    } catch (const std::bad_alloc&) {
      Report({path_ + ": " + std::string(kTooLargeToRead), location::kRun, 126});
    }
  }

  void HandOnFormatted() {
    if (formatted_.empty()) return;
    Item item;
    item.kind = Item::Kind::kFormatted;
    item.text.swap(formatted_);
    // It counts as its records against what may be held ahead.
    out_.Put(std::move(item), formatted_records_);
    formatted_records_ = 0;
    formatted_.reserve(kFormattedPiece + 256);
  }

  // Formatted records are handed on in pieces of about this size.
  static constexpr std::size_t kFormattedPiece = std::size_t{16} << 10;

  const std::string& path_;
  const Options& options_;
  std::atomic<unsigned>& reading_;  // workbooks being read right now
  OrderedRun<Item>::Channel& out_;
  std::optional<results::RecordFormatter> formatter_;
  std::string formatted_;
  std::size_t formatted_records_ = 0;  // in formatted_
  std::string sheet_;                  // of the last kSheet item
  bool sheet_named_ = false;
};

// The key --unique compares: the E.164 form when there is one, else digits.
std::string UniqueKey(const Record& record, const results::Normalised* normalised) {
  if (normalised && !normalised->e164.empty()) return normalised->e164;
  std::string digits;
  for (char c : record.number) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

// SIGINT or SIGTERM arrived: the run stops and the partial output goes.
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnSignal(int signal) {
  g_signal = signal;
}

}  // namespace

int main(int argc, char** argv) {
  platform::PinLocalTimeZone();
  platform::KeepFreedMemoryForReuse();
  std::ios::sync_with_stdio(false);
  const Options options = ParseArguments(argc, argv);
  bool failed = false;

  std::vector<std::string> named = options.paths;
  if (!options.files_from.empty()) {
    auto listed = ReadPathList(options.files_from, options.null_separated);
    if (!listed) {
      std::cerr << kProgram << ": cannot read " << Printable(options.files_from) << "\n";
      return 1;
    }
    named.insert(named.end(), listed->begin(), listed->end());
  }
  const std::vector<std::string> files = ExpandPaths(named, failed);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  std::optional<results::SaveFile> save_file;
  results::StandardOutput standard_output;
  results::Destination* destination = &standard_output;
  if (!options.output.empty()) {
    save_file.emplace(options.output);
    if (!save_file->Open()) {
      std::cerr << kProgram << ": cannot write " << Printable(options.output) << ": "
                << save_file->ErrorString() << "\n";
      return 1;
    }
    destination = &*save_file;
  }
  const std::string target =
      options.output.empty() ? std::string("standard output") : Printable(options.output);
  results::RecordWriter writer(options.text ? results::Format::kLines : options.format,
                               *destination);

  std::atomic<unsigned> reading{0};
  // The writer is woken when there is a reason to, not for every batch: over
  // thousands of small workbooks its wakings would take the readers' cores.
  // The current workbook's batches have room for the writer's waiting a
  // scheduler slice for a core, so that its reader does not stop meanwhile.
  OrderedRun<Item>::Limits limits;
  limits.eager = false;
  limits.current_batches = 64;
  OrderedRun<Item> run(
      files.size(), options.jobs,
      [&](std::size_t index, OrderedRun<Item>::Channel& out) {
        Reader(files[index], options, reading, out).Read();
      },
      limits);
  // A file's size stands for the work of reading it.
  run.SizeInputs([&files](std::size_t index) { return ReadingSize(files[index]); });
  run.OnWorkerStart([](unsigned worker) {
    platform::SpreadThread(worker);
    platform::PrefaultHeap(platform::kReaderHeap);
  });

  const bool progress = !options.quiet && platform::StandardErrorIsTerminal();
  std::unordered_set<std::string> seen;
  bool write_failed = false;
  Record record;
  std::size_t record_input = files.size();  // the input record.path belongs to
  const auto consume = [&](std::size_t index, Item& item) {
    if (item.kind == Item::Kind::kError) {
      if (progress) std::cerr << "\r\033[K";
      std::cerr << Printable(item.text) << "\n";
      failed = true;
      return true;
    }
    if (item.kind == Item::Kind::kSheet) {
      record.sheet.swap(item.text);
      return true;
    }
    if (item.kind == Item::Kind::kFormatted) {
      if (writer.AddFormatted(item.text)) return true;
      write_failed = true;
      return false;
    }
    record.number.swap(item.text);
    record.row = item.row;
    record.column = item.column;
    if (item.kind == Item::Kind::kRecord && record_input != index) {
      record.path = files[index];
      record_input = index;
    }
    const results::Normalised* extra = options.e164 ? &item.normalised : nullptr;
    if (options.unique && !seen.insert(UniqueKey(record, extra)).second) return true;
    if (writer.Add(record, extra)) return true;
    write_failed = true;
    return false;
  };
  const auto input_done = [&](std::size_t index) {
    if (progress) {
      std::cerr << "\r\033[K[" << (index + 1) << "/" << files.size() << "] "
                << Printable(files[index]) << std::flush;
    }
  };
  const auto interrupted = [&] {
    if (g_signal == 0) return false;
    // The old output file stays as it was; our temporary file goes. Then the
    // signal ends the program as it would have without us.
    const int signal = g_signal;
    if (save_file) save_file->Cancel();
    if (progress) std::cerr << "\r\033[K" << std::flush;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return true;
  };
  run.Run(consume, input_done, interrupted);
  if (progress) std::cerr << "\r\033[K" << std::flush;
  interrupted();

  if (write_failed || !writer.Flush() || !destination->Commit()) {
    std::cerr << kProgram << ": cannot write " << target << ": " << destination->ErrorString()
              << "\n";
    if (save_file) save_file->Cancel();
    return 1;
  }
  return failed ? 1 : 0;
}
