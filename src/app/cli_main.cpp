// dialsift-cli: the extraction run without the window. Workbooks and folders
// in, phone numbers out: in the formats of the window's exports, or as csv or
// JSON lines that say where each number was found.
#include <atomic>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/cli_inputs.h"
#include "app/cli_options.h"
#include "app/cli_reader.h"
#include "extract/ordered_run.h"
#include "extract/run.h"
#include "platform/heap.h"
#include "platform/spaced_setting.h"
#include "platform/stored_settings.h"
#include "platform/terminal.h"
#include "platform/threads.h"
#include "platform/time_zone.h"
#include "results/output.h"

namespace {

using namespace dialsift;
using namespace dialsift::cli;

// SIGINT or SIGTERM arrived: the run stops and the partial output goes.
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnSignal(int signal) {
  g_signal = signal;
}

// Reads `files` on the run's threads and writes what they hold to `writer`
// in their order. False when the writer failed; `failed` is set when a
// workbook could not be read. A signal ends the program, `save_file` (the
// output when it is a file) discarded.
bool Extract(const Options& options, const std::vector<std::string>& files,
             results::RecordWriter& writer, results::SaveFile* save_file, bool& failed) {
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
        ReadWorkbook(files[index], options, reading, out);
      },
      limits);
  // A file's size stands for the work of reading it.
  run.SizeInputs([&files](std::size_t index) { return ReadingSize(files[index]); });
  // Backing a reader's heap in one go pays off over the several workbooks
  // each thread reads; a thread with one workbook faults in only what it
  // uses.
  const bool prefault = files.size() > options.jobs;
  run.OnWorkerStart([prefault](unsigned worker) {
    platform::SpreadThread(worker);
    if (prefault) platform::PrefaultHeap(platform::kReaderHeap);
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
    if (record_input != index) {
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
  return !write_failed;
}

}  // namespace

int main(int argc, char** argv) {
  platform::PinLocalTimeZone();
  platform::KeepFreedMemoryForReuse();
  std::ios::sync_with_stdio(false);
  // Without -l the window's selection is taken as a whole: its "with
  // spaces" box comes along with the lengths.
  bool stored_spaced = false;
  Parsed parsed = ParseArguments({argv, static_cast<std::size_t>(argc)}, [&stored_spaced] {
    const StoredSettings settings;
    stored_spaced = StoredSpaced(settings);
    return StoredLengths(settings);
  });
  if (!parsed.options) {
    (parsed.status == 0 ? std::cout : std::cerr) << parsed.message;
    return parsed.status;
  }
  if (stored_spaced) parsed.options->rule = phone::Rule::kSpaced;
  const Options& options = *parsed.options;

  std::vector<std::string> named = options.paths;
  if (!options.files_from.empty()) {
    auto listed = ReadPathList(options.files_from, options.null_separated);
    if (!listed) {
      std::cerr << kProgram << ": cannot read " << Printable(options.files_from) << "\n";
      return 1;
    }
    named.insert(named.end(), listed->begin(), listed->end());
  }
  bool failed = false;
  const std::vector<std::string> files = ExpandPaths(named, failed);
  if (const auto clash = OutputClash(options.output, files)) {
    std::cerr << kProgram << ": the output " << Printable(options.output) << " is the workbook "
              << Printable(*clash) << ": it would be overwritten\n";
    return 2;
  }

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
  results::RecordWriter writer(options.text ? results::Format::kLines : options.format,
                               *destination);
  const bool written = Extract(options, files, writer, save_file ? &*save_file : nullptr, failed);
  if (!written || !writer.Flush() || !destination->Commit()) {
    std::cerr << kProgram << ": cannot write "
              << (options.output.empty() ? std::string("standard output")
                                         : Printable(options.output))
              << ": " << destination->ErrorString() << "\n";
    if (save_file) save_file->Cancel();
    return 1;
  }
  return failed ? 1 : 0;
}
