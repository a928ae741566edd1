// Measurement, not run in CI: the run in the window over a folder of
// workbooks, with the longest gap between two event-loop passes. Set
// DIALSIFT_WINDOW_BENCH to the folder (e.g. bench-data/small) to run it.
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

TEST_F(WindowTest, MeasureTheRunOverAFolder) {
  const QByteArray folder = qgetenv("DIALSIFT_WINDOW_BENCH");
  if (folder.isEmpty()) GTEST_SKIP() << "set DIALSIFT_WINDOW_BENCH to a folder of workbooks";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString()))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ui::Form1& form = Start();
  form.show();
  for (const std::string& f : files) form.ListView1()->AppendRow(f);
  QElapsedTimer timer;
  timer.start();
  form.PushButton(7)->click();
  const qint64 ms = timer.elapsed();
  std::printf("window run: %zu workbooks, %d numbers, %lld ms, longest gap %lld ms\n", files.size(),
              form.ListView2()->RowCount(), static_cast<long long>(ms),
              static_cast<long long>(form.LongestYieldGapMs()));
  EXPECT_EQ(ui_.Texts().back(), "Done.");
}

}  // namespace
}  // namespace dialsift::test
