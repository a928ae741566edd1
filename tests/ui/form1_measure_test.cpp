// Timings of the results exports and the folder intake on large inputs. They
// run only when DIALSIFT_MEASURE is set (they take a while and print figures).
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "filelist/folder_intake.h"
#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool Measuring() {
  return std::getenv("DIALSIFT_MEASURE") != nullptr;
}

TEST_F(WindowTest, MeasureExportsOfAMillionRows) {
  if (!Measuring()) GTEST_SKIP() << "set DIALSIFT_MEASURE=1 to measure";
  ui::Form1& form = Start();
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 1000000; ++i)
    form.ListView2()->AppendRow("+1-212-" + std::to_string(5550000 + i % 10000));
  std::printf("fill 1,000,000 rows: %lld ms, peak %ld KiB\n", timer.elapsed(), PeakKiB());

  timer.restart();
  std::printf("snapshot of the rows: %zu rows, %lld ms\n", form.ListView2()->Rows().size(),
              timer.elapsed());

  TempDir out;
  const fs::path text = out.path() / "text.txt", comma = out.path() / "comma.txt";
  ui_.save_results = {text.string(), comma.string()};
  timer.restart();
  form.PushButton6_Click();
  std::printf("text export: %lld ms, %lld bytes, peak %ld KiB\n", timer.elapsed(),
              static_cast<long long>(fs::file_size(text)), PeakKiB());
  timer.restart();
  form.PushButton2_Click();
  std::printf("comma export: %lld ms, %lld bytes, peak %ld KiB\n", timer.elapsed(),
              static_cast<long long>(fs::file_size(comma)), PeakKiB());
  timer.restart();
  form.PushButton8_Click();
  std::printf("clipboard copy: %lld ms, %lld characters, peak %ld KiB\n", timer.elapsed(),
              static_cast<long long>(QGuiApplication::clipboard()->text().size()), PeakKiB());
  EXPECT_TRUE(ui_.Texts().size() == 1);
}

TEST_F(WindowTest, MeasureFolderIntakeOfAHundredThousandFiles) {
  if (!Measuring()) GTEST_SKIP() << "set DIALSIFT_MEASURE=1 to measure";
  TempDir dir;
  QElapsedTimer timer;
  timer.start();
  // 50 folders holding 99 sub-folders each: 5000 folders of 20 files.
  int folders = 0, files = 0;
  const auto fill = [&](const fs::path& folder) {
    fs::create_directory(folder);
    ++folders;
    for (int f = 0; f < 20; ++f) {
      const char* ext = f % 4 == 0 ? ".xlsx" : f % 4 == 1 ? ".xls" : f % 4 == 2 ? ".xlsm" : ".csv";
      std::ofstream(folder / ("book" + std::to_string(f) + ext));
      ++files;
    }
  };
  for (int a = 0; a < 50; ++a) {
    const fs::path pa = dir.path() / ("a" + std::to_string(a));
    fill(pa);
    for (int b = 0; b < 99; ++b) fill(pa / ("b" + std::to_string(b)));
  }
  std::printf("made %d folders, %d files: %lld ms\n", folders, files, timer.elapsed());
  const long before = PeakKiB();
  for (const char* pattern : {"*.*", "*.xls*"}) {
    timer.restart();
    const auto rows = filelist::FolderIntake(dir.path().string(), pattern, [] {});
    std::printf("FolderIntake %s: %zu rows, %lld ms, peak %ld KiB (before %ld KiB)\n", pattern,
                rows.size(), timer.elapsed(), PeakKiB(), before);
  }
  ui::Form1& form = Start();
  ui_.folder_results = {dir.path().string()};
  timer.restart();
  form.PushButton4_Click();
  std::printf("PushButton4 (walk + %d rows into the list): %lld ms, peak %ld KiB\n",
              form.ListView1()->RowCount(), timer.elapsed(), PeakKiB());
}

}  // namespace
}  // namespace dialsift::test
