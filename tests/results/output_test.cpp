// The machine-readable formats read back by Python's own parsers.
#include "results/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "common/test_paths.h"

namespace dialsift::results {
namespace {

namespace fs = std::filesystem;

std::string RunPython(const std::string& script, const fs::path& file) {
  const std::string cmd = "python3 -c '" + script + "' '" + file.string() + "'";
  std::string out;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return "popen failed";
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

// Awkward records: quotes, commas, line breaks, a tab, a control character,
// bytes that are not UTF-8 and a non-ASCII sheet name.
std::vector<Record> Awkward() {
  return {{"+1 (212) 555-0147", "/data/a \"quoted\", book.xlsx", "Sheet1", 7, 3},
          {"0044 20 7946 0958", "/data/line\nbreak\r\tand\x01.xlsx", "Données", 1048576, 16384},
          {"007", std::string("/data/bad\xff\xfe.xlsx"), "S", 1, 1}};
}

void Write(const fs::path& path, Format format, const std::vector<Record>& records,
           const std::vector<Normalised>* normalised) {
  SaveFile file(path.string());
  ASSERT_TRUE(file.Open());
  RecordWriter writer(format, file);
  for (std::size_t i = 0; i < records.size(); ++i) {
    ASSERT_TRUE(writer.Add(records[i], normalised ? &(*normalised)[i] : nullptr));
  }
  ASSERT_TRUE(writer.Flush());
  ASSERT_TRUE(file.Commit());
}

TEST(Output, CsvReadsBackWithPythonsCsvModule) {
  test::TempDir dir;
  const std::vector<Normalised> normalised = {{"+12125550147", true}, {"+442079460958", true}, {}};
  Write(dir.path() / "a.csv", Format::kCsv, Awkward(), &normalised);
  Write(dir.path() / "b.csv", Format::kCsv, Awkward(), nullptr);
  // repr() of every row, as Python parsed it.
  const std::string script =
      "import csv,sys\n"
      "with open(sys.argv[1], newline=\"\", encoding=\"utf-8\") as f:\n"
      "  for row in csv.reader(f): print(repr(row))";
  EXPECT_EQ(RunPython(script, dir.path() / "a.csv"),
            "['number', 'e164', 'valid', 'path', 'sheet', 'cell']\n"
            "['+1 (212) 555-0147', '+12125550147', 'true', '/data/a \"quoted\", book.xlsx', "
            "'Sheet1', 'C7']\n"
            "['0044 20 7946 0958', '+442079460958', 'true', "
            "'/data/line\\nbreak\\r\\tand\\x01.xlsx', 'Données', 'XFD1048576']\n"
            "['007', '', 'false', '/data/bad\xEF\xBF\xBD\xEF\xBF\xBD.xlsx', 'S', 'A1']\n");
  const std::string plain = RunPython(script, dir.path() / "b.csv");
  EXPECT_NE(plain.find("['007', '', '', '/data/bad"), std::string::npos) << plain;
}

TEST(Output, JsonLinesReadBackWithJsonLoads) {
  test::TempDir dir;
  const std::vector<Normalised> normalised = {{"+12125550147", true}, {"+442079460958", false}, {}};
  Write(dir.path() / "a.jsonl", Format::kJsonl, Awkward(), &normalised);
  Write(dir.path() / "b.jsonl", Format::kJsonl, Awkward(), nullptr);
  const std::string script =
      "import json,sys\n"
      "for line in open(sys.argv[1], \"rb\").read().split(b\"\\n\")[:-1]:\n"
      "  d = json.loads(line); print(repr([d[k] for k in [\"number\",\"e164\",\"valid\","
      "\"path\",\"sheet\",\"cell\"]]), len(d))";
  EXPECT_EQ(RunPython(script, dir.path() / "a.jsonl"),
            "['+1 (212) 555-0147', '+12125550147', True, '/data/a \"quoted\", book.xlsx', "
            "'Sheet1', 'C7'] 6\n"
            "['0044 20 7946 0958', '+442079460958', False, "
            "'/data/line\\nbreak\\r\\tand\\x01.xlsx', 'Données', 'XFD1048576'] 6\n"
            "['007', None, False, '/data/bad\xEF\xBF\xBD\xEF\xBF\xBD.xlsx', 'S', 'A1'] 6\n");
  const std::string plain = RunPython(script, dir.path() / "b.jsonl");
  EXPECT_NE(plain.find("['007', None, None, '/data/bad"), std::string::npos) << plain;
}

TEST(Output, LinesAndCommaAreTheExportsBytes) {
  std::string out;
  RecordFormatter lines(Format::kLines);
  RecordFormatter comma(Format::kComma);
  std::string joined;
  for (const auto& r : Awkward()) {
    lines.Add(r, nullptr, out);
    comma.Add(r, nullptr, joined);
  }
  EXPECT_EQ(out, "+1 (212) 555-0147\r\n0044 20 7946 0958\r\n007\r\n");
  EXPECT_EQ(joined, "+1 (212) 555-0147,0044 20 7946 0958,007");
}

// A destination that keeps what it is given.
class Collected final : public Destination {
 public:
  bool Write(std::string_view bytes) override {
    text += bytes;
    return true;
  }
  bool Commit() override { return true; }
  std::string ErrorString() const override { return {}; }
  std::string text;
};

// Records formatted apart, in pieces of any size (as the reading threads do),
// give the bytes the writer gives formatting them itself, in every format.
TEST(Output, RecordsFormattedApartGiveTheSameBytes) {
  std::vector<Record> records;
  for (int i = 0; i < 5; ++i) {
    for (const auto& r : Awkward()) records.push_back(r);
  }
  for (Format format : {Format::kLines, Format::kComma, Format::kCsv, Format::kJsonl}) {
    Collected direct;
    RecordWriter one(format, direct);
    for (const auto& r : records) ASSERT_TRUE(one.Add(r));
    ASSERT_TRUE(one.Flush());

    Collected pieces;
    RecordWriter two(format, pieces);
    ASSERT_TRUE(two.AddFormatted(""));
    std::size_t next = 0;
    for (std::size_t piece : {1u, 4u, 0u, 10u}) {
      RecordFormatter apart(format);
      apart.Follow();
      std::string text;
      for (std::size_t k = 0; k < piece && next < records.size(); ++k) {
        apart.Add(records[next++], nullptr, text);
      }
      ASSERT_TRUE(two.AddFormatted(text));
    }
    ASSERT_TRUE(two.Flush());
    EXPECT_EQ(pieces.text, direct.text) << static_cast<int>(format);
  }
}

}  // namespace
}  // namespace dialsift::results
