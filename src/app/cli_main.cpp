// dialsift-cli: the extraction run without the window. Workbooks and folders
// in, phone numbers out, in the formats of the window's exports.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "extract/phone.h"
#include "extract/workbook_text.h"
#include "filelist/folder_intake.h"
#include "platform/settings.h"
#include "sheet/workbook.h"

namespace {

using namespace dialsift;

constexpr const char* kUsage =
    "Usage: dialsift-cli [options] PATH...\n"
    "Extracts phone numbers from spreadsheet workbooks (.xlsx .xlsm .xls .xlsb .ods .csv).\n"
    "A PATH that is a folder contributes every *.xls* workbook in it and in its sub-folders.\n"
    "\n"
    "Options:\n"
    "  -l, --lengths LIST  digit counts that make a phone number, 5 to 20: \"7,10\", \"7-11\";\n"
    "                      default: the lengths ticked in the desktop program, or 10 and 11\n"
    "  -c, --comma         write the numbers on one line, separated by commas\n"
    "  -o, --output FILE   write to FILE (replaced only once complete) instead of stdout\n"
    "  -j, --jobs N        read N workbooks at once (default: the number of cores)\n"
    "  -t, --text          print each workbook's text instead of its numbers\n"
    "  -q, --quiet         no progress line\n"
    "  -h, --help          show this help\n"
    "  -V, --version       show the version\n"
    "\n"
    "Numbers are written exactly as the cells display them, one per line with CR LF\n"
    "endings. Errors go to standard error, one line each. Exit status: 0 when every\n"
    "workbook was read, 1 when some could not be, 2 for a usage error.\n";

struct Options {
  phone::LengthSelection lengths;
  bool lengths_given = false;
  bool comma = false;
  bool text = false;
  bool quiet = false;
  std::string output;
  unsigned jobs = 0;
  std::vector<std::string> paths;
};

[[noreturn]] void UsageError(const std::string& message) {
  std::cerr << "dialsift-cli: " << message << "\nTry 'dialsift-cli --help'.\n";
  std::exit(2);
}

bool ParseNumber(const std::string& s, int& out) {
  if (s.empty() || s.size() > 4 || !std::all_of(s.begin(), s.end(), ::isdigit)) return false;
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
  SettingsStore store;
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

// Splits "--name=value" and "-xVALUE" (for the options that take a value)
// into two words, so the parser below sees one form only.
std::vector<std::string> SplitAttachedValues(int argc, char** argv) {
  std::vector<std::string> out;
  bool only_paths = false;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (only_paths || a.size() < 3 || a[0] != '-') {
      out.push_back(a);
    } else if (a == "--") {
      only_paths = true;
      out.push_back(a);
    } else if (a[1] == '-' && a.find('=') != std::string::npos) {
      out.push_back(a.substr(0, a.find('=')));
      out.push_back(a.substr(a.find('=') + 1));
    } else if (a[1] == 'l' || a[1] == 'j' || a[1] == 'o') {
      out.push_back(a.substr(0, 2));
      out.push_back(a.substr(2));
    } else {
      out.push_back(a);
    }
  }
  return out;
}

Options ParseArguments(int argc, char** argv) {
  Options o;
  const std::vector<std::string> args = SplitAttachedValues(argc, argv);
  bool only_paths = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name) -> std::string {
      if (i + 1 >= args.size()) UsageError("option " + name + " needs a value");
      return args[++i];
    };
    if (only_paths || a.empty() || a[0] != '-' || a == "-") {
      o.paths.push_back(a);
    } else if (a == "--") {
      only_paths = true;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (a == "-V" || a == "--version") {
      std::cout << "dialsift-cli " << DIALSIFT_VERSION << "\n";
      std::exit(0);
    } else if (a == "-l" || a == "--lengths") {
      o.lengths = ParseLengths(value(a));
      o.lengths_given = true;
    } else if (a == "-c" || a == "--comma") {
      o.comma = true;
    } else if (a == "-t" || a == "--text") {
      o.text = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "-o" || a == "--output") {
      o.output = value(a);
    } else if (a == "-j" || a == "--jobs") {
      int n = 0;
      if (!ParseNumber(value(a), n) || n < 1 || n > 256) UsageError("bad job count");
      o.jobs = static_cast<unsigned>(n);
    } else {
      UsageError("unknown option '" + a + "'");
    }
  }
  if (o.paths.empty()) UsageError("no workbook or folder given");
  if (!o.lengths_given && !o.text) o.lengths = StoredLengths();
  if (o.jobs == 0) o.jobs = std::max(1u, std::thread::hardware_concurrency());
  return o;
}

struct CollectingReporter final : ErrorReporter {
  std::vector<std::string> messages;
  void Report(const ErrorReport& r) override { messages.push_back(r.description); }
};

// What one workbook gave.
struct Outcome {
  std::vector<std::string> numbers;  // or the text, as one entry, with --text
  std::vector<std::string> errors;
  bool done = false;
};

Outcome Process(const std::string& path, const Options& options) {
  Outcome out;
  auto workbook = sheet::OpenWorkbook(path);
  if (!workbook) {
    out.errors.push_back(path + ": " + workbook.error().reason);
    return out;
  }
  CollectingReporter reporter;
  if (options.text) {
    out.numbers.push_back(ReadWorkBookToString(*workbook.value(), reporter));
  } else {
    phone::StreamingScanner scanner(
        [&options](std::int16_t n) { return phone::IsPhoneLengthTicked(options.lengths, n); });
    out.numbers = ScanWorkbook(*workbook.value(), scanner, reporter);
  }
  for (auto& m : reporter.messages) out.errors.push_back(path + ": " + m);
  return out;
}

// The workbooks named on the command line, folders taken in as the window's
// "Add All Excel File(s) In Folder" does.
std::vector<std::string> ExpandPaths(const std::vector<std::string>& paths, bool& missing) {
  std::vector<std::string> files;
  for (const auto& p : paths) {
    std::error_code ec;
    const auto status = std::filesystem::status(p, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
      std::cerr << p << ": file not found\n";
      missing = true;
    } else if (ec) {
      std::cerr << p << ": " << ec.message() << "\n";
      missing = true;
    } else if (std::filesystem::is_directory(status)) {
      std::string folder = p;
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      auto intake = filelist::FolderIntake(folder, "*.xls*");
      files.insert(files.end(), intake.rows.begin(), intake.rows.end());
      for (const auto& problem : intake.problems) {
        std::cerr << problem.path << ": cannot read the folder (" << problem.reason << ")\n";
        missing = true;
      }
    } else {
      files.push_back(p);  // anything else is the reader's to judge
    }
  }
  return files;
}

// Writes to the target file through a temporary file beside it, renamed over
// the target only once everything is written.
class Output {
 public:
  explicit Output(const std::string& target) : target_(target) {
    if (target_.empty()) return;
    temp_ = target_ + ".dialsift-" + std::to_string(::getpid()) + ".tmp";
    file_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!file_) {
      std::cerr << "dialsift-cli: cannot write " << target_ << ": " << std::strerror(errno) << "\n";
      std::exit(1);
    }
  }
  ~Output() {
    if (!temp_.empty() && !committed_) std::filesystem::remove(temp_);
  }
  std::ostream& stream() { return target_.empty() ? std::cout : file_; }
  bool Commit() {
    if (target_.empty()) return static_cast<bool>(std::cout.flush());
    file_.flush();
    const bool ok = static_cast<bool>(file_);
    file_.close();
    std::error_code ec;
    if (ok) std::filesystem::rename(temp_, target_, ec);
    if (!ok || ec) {
      std::cerr << "dialsift-cli: cannot write " << target_ << ": "
                << (ec ? ec.message() : std::string(std::strerror(errno))) << "\n";
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string target_;
  std::string temp_;
  std::ofstream file_;
  bool committed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const Options options = ParseArguments(argc, argv);
  bool failed = false;
  const std::vector<std::string> files = ExpandPaths(options.paths, failed);

  std::vector<Outcome> outcomes(files.size());
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i = next++; i < files.size(); i = next++) {
      Outcome o = Process(files[i], options);
      std::lock_guard lock(mutex);
      outcomes[i] = std::move(o);
      outcomes[i].done = true;
      ready.notify_all();
    }
  };
  std::vector<std::jthread> pool;
  const unsigned jobs = std::min<std::size_t>(options.jobs, std::max<std::size_t>(files.size(), 1));
  for (unsigned j = 0; j < jobs; ++j) pool.emplace_back(worker);

  Output output(options.output);
  std::ostream& out = output.stream();
  const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
  bool first = true;
  // Results are written in input order, whatever order the workers finish in.
  for (std::size_t i = 0; i < files.size(); ++i) {
    Outcome o;
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return outcomes[i].done; });
      o = std::move(outcomes[i]);
    }
    if (progress) std::cerr << "\r\033[K";
    for (const auto& e : o.errors) std::cerr << e << "\n";
    if (!o.errors.empty()) failed = true;
    for (const auto& n : o.numbers) {
      if (options.comma && !options.text) {
        if (!first) out << ',';
        out << n;
      } else {
        out << n << "\r\n";
      }
      first = false;
    }
    if (progress) {
      std::cerr << "[" << (i + 1) << "/" << files.size() << "] " << files[i] << std::flush;
    }
  }
  pool.clear();
  if (progress) std::cerr << "\r\033[K" << std::flush;
  if (!output.Commit()) return 1;
  return failed ? 1 : 0;
}
