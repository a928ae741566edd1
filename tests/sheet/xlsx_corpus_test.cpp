// Every SpreadsheetML file of the shared corpus, and every damaged file in
// it, opened and read through OpenWorkbook: each gives its text or a clear
// error, never a crash or a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "sheet/workbook.h"
#include "sheet/xml/xml_stream.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {
namespace {

struct CountingSink : CellSink {
  void Cell(std::uint32_t, std::uint32_t, std::string_view text) override {
    ++cells;
    bytes += text.size();
  }
  std::size_t cells = 0;
  std::size_t bytes = 0;
};

struct CorpusFile {
  std::string path;
  std::string format;
  std::string category;
};

std::vector<CorpusFile> ManifestFiles() {
  std::ifstream in(test::CorpusDir() / "manifest.tsv");
  std::vector<CorpusFile> files;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string col; std::getline(ss, col, '\t');) cols.push_back(col);
    if (cols.size() < 6) continue;
    const std::string& format = cols[1];
    const std::string& category = cols[5];
    if (format == "xlsx" || format == "xlsx-strict" || format == "xlsm" || format == "xltx" ||
        category == "broken") {
      files.push_back({cols[0], format, category});
    }
  }
  return files;
}

// The reason without the names of parts and cells, so that alike errors group.
std::string ReasonKind(const std::string& reason) {
  for (const char* cut : {" in xl/", " in ", ": ", " ("}) {
    const auto pos = reason.find(cut);
    if (pos != std::string::npos && pos > 0) return reason.substr(0, pos);
  }
  return reason;
}

TEST(XlsxCorpus, EveryFileGivesTextOrAClearError) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  const auto files = ManifestFiles();
  ASSERT_FALSE(files.empty());

  std::size_t opened = 0, sheets_read = 0, cells = 0;
  std::map<std::string, int> open_errors, sheet_errors;
  std::vector<std::string> unexpected;
  const auto start = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    const auto path = test::CorpusDir() / f.path;
    auto wb = OpenWorkbook(path);
    if (!wb) {
      EXPECT_FALSE(wb.error().reason.empty()) << f.path;
      ++open_errors[ReasonKind(wb.error().reason)];
      if (f.category != "broken") unexpected.push_back(f.path + ": " + wb.error().reason);
      continue;
    }
    ++opened;
    for (std::size_t i = 0; i < (*wb)->Sheets().size(); ++i) {
      CountingSink sink;
      auto status = (*wb)->ReadSheet(i, sink);
      cells += sink.cells;
      if (status) {
        ++sheets_read;
      } else {
        EXPECT_FALSE(status.error().reason.empty()) << f.path;
        ++sheet_errors[ReasonKind(status.error().reason)];
        if (f.category != "broken") unexpected.push_back(f.path + ": " + status.error().reason);
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::cout << "corpus: " << files.size() << " files, " << opened << " opened, " << sheets_read
            << " sheets read, " << cells << " cells, " << seconds << " s\n";
  for (const auto& [reason, n] : open_errors)
    std::cout << "  open error x" << n << ": " << reason << "\n";
  for (const auto& [reason, n] : sheet_errors)
    std::cout << "  sheet error x" << n << ": " << reason << "\n";
  for (const auto& u : unexpected) std::cout << "  not a broken file: " << u << "\n";
  EXPECT_LT(seconds, 60.0);
}

// A digest of the events, with adjacent text joined (parsers split text
// differently).
struct Digest : XmlHandler {
  void StartElement(const XmlName& name, const XmlAttributes& attrs) override {
    Flush();
    Add("<");
    Add(name.ns);
    Add("|");
    Add(name.local);
    attrs.ForEach([&](const XmlName& a, std::string_view v) {
      Add(" ");
      Add(a.ns);
      Add("|");
      Add(a.local);
      Add("=");
      Add(v);
    });
  }
  void EndElement(const XmlName& name) override {
    Flush();
    Add("</");
    Add(name.local);
  }
  void Characters(std::string_view text) override { text_ += text; }
  void Flush() {
    Add("[");
    Add(text_);
    text_.clear();
  }
  void Add(std::string_view s) {
    for (const char c : s) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    hash = (hash ^ 0xFF) * 1099511628211u;
  }
  std::uint64_t hash = 1469598103934665603u;
  std::string text_;
};

// The fast XML path against expat on every XML part of the corpus's
// SpreadsheetML files: the same events and the same verdict.
TEST(XlsxCorpus, FastXmlPathAgreesWithExpat) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  std::size_t parts = 0, failures = 0;
  for (const auto& f : ManifestFiles()) {
    auto zip = ZipArchive::Open(test::CorpusDir() / f.path);
    if (!zip) continue;
    for (const auto& name : zip->Names()) {
      if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
      auto bytes = zip->ReadAll(name, 32 << 20);
      if (!bytes) continue;
      Digest fast, reference;
      const auto a = ParseXml(*bytes, name, fast);
      const auto b = ParseXmlWithExpat(*bytes, name, reference);
      fast.Flush();
      reference.Flush();
      ++parts;
      if (a.ok() != b.ok()) ++failures;
      EXPECT_EQ(a.ok(), b.ok()) << f.path << " " << name << ": "
                                << (a.ok() ? b.error().reason : a.error().reason);
      if (a.ok() && b.ok()) {
        EXPECT_EQ(fast.hash, reference.hash) << f.path << " " << name;
      }
    }
  }
  std::cout << "corpus XML parts compared: " << parts << "\n";
  EXPECT_GT(parts, 1000u);
}

}  // namespace
}  // namespace dialsift::sheet
