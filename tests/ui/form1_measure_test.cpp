// Measurement, not run in CI: the run in the window over a folder of
// workbooks, with the longest gap between two event-loop passes. Set
// DIALSIFT_WINDOW_BENCH to the folder (e.g. bench-data/small) to run it, and
// DIALSIFT_WINDOW_JOBS to the number of reading threads.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

// User and system time of the calling thread or the process, in ms.
double CpuMs(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

TEST_F(WindowTest, MeasureTheRunOverAFolder) {
  const QByteArray folder = qgetenv("DIALSIFT_WINDOW_BENCH");
  if (folder.isEmpty()) GTEST_SKIP() << "set DIALSIFT_WINDOW_BENCH to a folder of workbooks";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString()))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ui::Form1& form = Start();
  // DIALSIFT_WINDOW_JOBS: the reading threads (default: one per core).
  form.Run().SetReadingThreads(
      static_cast<unsigned>(qEnvironmentVariableIntValue("DIALSIFT_WINDOW_JOBS")));
  form.show();
  for (const std::string& f : files) form.ListView1()->AppendRow(f);
  // The window is on the screen before the user presses Start: its first
  // painting is not the run's.
  QElapsedTimer first_paint;
  first_paint.start();
  QCoreApplication::processEvents();
  std::printf("first painting of the window: %lld ms\n",
              static_cast<long long>(first_paint.elapsed()));
  QElapsedTimer timer;
  const double window_before = CpuMs(RUSAGE_THREAD);
  const double all_before = CpuMs(RUSAGE_SELF);
  timer.start();
  form.PushButton(7)->click();
  const qint64 ms = timer.elapsed();
  std::printf("window run: %zu workbooks, %d numbers, %lld ms, longest gap %lld ms\n", files.size(),
              form.ListView2()->RowCount(), static_cast<long long>(ms),
              static_cast<long long>(form.LongestYieldGapMs()));
  // CPU time tells the threads' shares apart on a busy machine.
  std::printf("cpu: window thread %.0f ms, all threads %.0f ms\n",
              CpuMs(RUSAGE_THREAD) - window_before, CpuMs(RUSAGE_SELF) - all_before);
  EXPECT_EQ(ui_.Texts().back(), "Done.");
}

}  // namespace
}  // namespace dialsift::test
