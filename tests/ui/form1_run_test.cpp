// The run on the window: PushButton7 over the rows of the input file list.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <chrono>
#include <thread>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

class RunTest : public WindowTest {
 protected:
  // A small workbook (a CSV sheet) in the test's own folder.
  std::string Workbook(const std::string& name, const std::string& content) {
    const auto path = files_.path() / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::vector<std::string> Results() const { return form_->ListView2()->Rows(); }
  // Runs `action` once, when the results list gets its first row.
  void OnFirstResult(std::function<void()> action) {
    QObject::connect(form_->ListView2()->model(), &QAbstractItemModel::rowsInserted, form_.get(),
                     [this, action, done = false]() mutable {
                       if (done || form_->ListView2()->RowCount() != 1) return;
                       done = true;
                       action();
                     });
  }

  TempDir files_;
};

TEST_F(RunTest, AnEmptyListSaysNoFilesAddedAndKeepsTheResults) {
  ui::Form1& form = Start();
  form.ListView2()->AppendRow("kept");
  form.PushButton(7)->click();
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"No files added."});
  EXPECT_EQ(ui_.messages[0].title, "");
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kNone);
  EXPECT_EQ(Results(), std::vector<std::string>{"kept"});
  EXPECT_EQ(form.PointerKind(), Pointer::kDefault);
}

TEST_F(RunTest, AWorkbookOpenInASpreadsheetAsksFirstAndNoEndsTheRun) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow(Workbook("a.csv", "212-555-0147\n"));
  Workbook(".~lock.a.csv#", "");  // LibreOffice has it open
  form.ListView2()->AppendRow("kept");
  ui_.answers = {UserInterface::Answer::kNo};
  ui_.on_message = [&form](const ScriptedUserInterface::Shown&) {
    EXPECT_EQ(form.PointerKind(), Pointer::kBusy);  // already busy while asking
  };
  form.PushButton(7)->click();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "Excel may be open. It is recommended that you close Excel first.\r"
            "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
            "Would you like to proceed anyway?");
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kYesNo);
  EXPECT_EQ(Results(), std::vector<std::string>{"kept"});
  EXPECT_EQ(form.PointerKind(), Pointer::kDefault);
}

TEST_F(RunTest, YesToTheSpreadsheetPromptRunsAsUsual) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow(Workbook("quarterly.csv", "212-555-0147\n"));
  Workbook("~$arterly.csv", "");  // the owner file of a long name
  ui_.answers = {UserInterface::Answer::kYes};
  form.PushButton(7)->click();
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kYesNo);
  EXPECT_EQ(ui_.messages[1].text, "Done.");
  EXPECT_EQ(Results(), std::vector<std::string>{"212-555-0147"});
}

TEST_F(RunTest, WithoutLockFilesNoQuestionComes) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow(Workbook("a.csv", "212-555-0147\n"));
  Workbook(".~lock.other.csv#", "");  // another workbook is open, not ours
  form.PushButton(7)->click();
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Done."});
}

TEST_F(RunTest, TheCaptionTellsWhereTheRunIsAndComesBackAfterIt) {
  ui::Form1& form = Start();
  for (const char* name : {"a.csv", "b.csv", "c.csv"})
    form.ListView1()->AppendRow(Workbook(name, "212-555-0147\n"));
  form.ListView1()->AppendRow((files_.path() / "missing.xlsx").string());
  std::vector<std::string> captions;
  QObject::connect(form_.get(), &QWidget::windowTitleChanged,
                   [&](const QString& title) { captions.push_back(title.toStdString()); });
  std::vector<std::string> caption_at_message;
  ui_.on_message = [&](const ScriptedUserInterface::Shown&) {
    caption_at_message.push_back(form.windowTitle().toStdString());
  };
  form.PushButton(7)->click();
  // The first workbook shows at once; a message never shows an old place.
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.front(), "Dialsift \u2014 1 of 4 workbooks");
  EXPECT_EQ(caption_at_message, (std::vector<std::string>{"Dialsift \u2014 4 of 4 workbooks",
                                                          "Dialsift \u2014 4 of 4 workbooks"}));
  EXPECT_EQ(form.windowTitle(), "Dialsift");
  EXPECT_EQ(ui_.messages.back().text, "Done.");
}

TEST_F(RunTest, TheCaptionChangesAtMostTenTimesASecond) {
  ui::Form1& form = Start();
  form.SetYieldInterval(0);  // every yield is an event-loop pass
  for (int i = 0; i < 300; ++i)
    form.ListView1()->AppendRow(Workbook("w" + std::to_string(i) + ".csv", "212-555-0147\n"));
  std::vector<qint64> changed_at;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(form_.get(), &QWidget::windowTitleChanged, [&](const QString& title) {
    if (title != "Dialsift") changed_at.push_back(clock.elapsed());
  });
  ui_.on_message = [&](const ScriptedUserInterface::Shown&) { changed_at.pop_back(); };
  form.PushButton(7)->click();
  ASSERT_FALSE(changed_at.empty());
  // Apart from the caption put up for "Done.", progress captions are at
  // least 100 ms apart.
  for (std::size_t i = 1; i < changed_at.size(); ++i)
    EXPECT_GE(changed_at[i] - changed_at[i - 1], 100) << i;
  EXPECT_EQ(form.windowTitle(), "Dialsift");
}

TEST_F(RunTest, AWorkbookThatCannotBeOpenedCostsOneReportAndTheRunGoesOn) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  const std::string missing = (files_.path() / "missing.xlsx").string();
  form.ListView1()->AppendRow(
      Workbook("a.csv", "name,phone\nAda,212-555-0147\nBob,(718)555-0134\n"));
  form.ListView1()->AppendRow(missing);
  form.ListView1()->AppendRow(Workbook("c.csv", "x,212-555-0147,y\n1,+12125550106,7\n"));
  form.ListView2()->AppendRow("old");
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), (std::vector<std::string>{"212-555-0147", "(718)555-0134", "212-555-0147",
                                                 "+12125550106"}));
  ASSERT_EQ(ui_.messages.size(), 2u);
  const std::string& report = ui_.messages[0].text;
  EXPECT_EQ(report.rfind(missing + ": ", 0), 0u) << report;
  EXPECT_NE(report.find("\r\nin Numtrawl2/19/2015.Form1.PushButton7_Click at line 122\r\r"
                        "Please email screenshot of this message to support@quillmark.example"),
            std::string::npos)
      << report;
  EXPECT_EQ(ui_.messages[0].title, "Application Error");
  EXPECT_EQ(ui_.messages[1].text, "Done.");
  EXPECT_EQ(form.PointerKind(), Pointer::kDefault);
  EXPECT_EQ(form.ListView1()->RowCount(), 3);  // the run only reads the list
  // Each row's tooltip says where its number was found.
  const std::string dash = " \u2014 ";
  const std::vector<std::string> where = {"a.csv" + dash, "a.csv" + dash, "c.csv" + dash,
                                          "c.csv" + dash};
  const std::vector<std::string> cells = {"!B2", "!B3", "!B1", "!B2"};
  for (int row = 1; row <= 4; ++row) {
    const std::string tip = form.ListView2()->RowToolTip(row);
    EXPECT_EQ(tip.rfind(where[row - 1], 0), 0u) << tip;
    EXPECT_EQ(tip.substr(tip.size() - cells[row - 1].size()), cells[row - 1]) << tip;
  }
}

// The rows found between two event-loop passes go into the list together;
// the list still grows while the run goes on, keeps input order, and holds
// every row found before a message when the message shows.
TEST_F(RunTest, RowsGoInTogetherInOrderAndAreInBeforeEachMessage) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  form.SetYieldInterval(0);   // every yield is an event-loop pass
  form.Run().SetReadingThreads(2);
  std::vector<std::string> expected;
  std::size_t before_missing = 0;
  for (int i = 0; i < 120; ++i) {
    if (i == 60) {
      before_missing = expected.size();
      form.ListView1()->AppendRow((files_.path() / "missing.xlsx").string());
    }
    std::string content;
    for (int k = 0; k < 40; ++k) {
      expected.push_back("212-555-" + std::to_string(1000 + i * 40 + k));
      content += "x," + expected.back() + ",555-0100\n";
    }
    form.ListView1()->AppendRow(Workbook("w" + std::to_string(i) + ".csv", content));
  }
  int insertions = 0;
  QObject::connect(form.ListView2()->model(), &QAbstractItemModel::rowsInserted, form_.get(),
                   [&insertions] { ++insertions; });
  std::vector<int> rows_at_message;
  ui_.on_message = [&](const ScriptedUserInterface::Shown&) {
    rows_at_message.push_back(form.ListView2()->RowCount());
  };
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), expected);
  EXPECT_EQ(rows_at_message, (std::vector<int>{static_cast<int>(before_missing),
                                               static_cast<int>(expected.size())}));
  EXPECT_EQ(ui_.messages.back().text, "Done.");
  EXPECT_GE(insertions, 2);
  // Tooltips follow their rows: the last row came from the last workbook.
  const std::string tip = form.ListView2()->RowToolTip(static_cast<int>(expected.size()));
  EXPECT_EQ(tip.rfind("w119.csv \u2014 ", 0), 0u) << tip;
  EXPECT_EQ(tip.substr(tip.size() - 4), "!B40") << tip;
}

TEST_F(RunTest, ABoxTickedDuringTheRunAppliesToTheWordsTestedAfterIt) {
  ui::Form1& form = Start();
  form.SetYieldInterval(0);  // every yield is an event-loop pass
  form.ListView1()->AppendRow(Workbook("a.csv", "555-0147,212-555-0147\n"));
  form.ListView1()->AppendRow(Workbook("b.csv", "555-0199,718-555-0134\n"));
  OnFirstResult([&form] { form.Check1(2)->click(); });  // tick "7"
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), (std::vector<std::string>{"212-555-0147", "555-0199", "718-555-0134"}));
  EXPECT_EQ(Stored("2Phone Length"), "1");
}

// "with spaces" is read at each cell that reads differently with it, like
// the lengths at each word: ticked after the first result, it applies to the
// cells after it; the words of a cell read with spaces are not taken again.
TEST_F(RunTest, TheSpacedBoxIsReadAtEachCellAsTheRunGoes) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  form.SetYieldInterval(0);   // every yield is an event-loop pass
  form.ListView1()->AppendRow(Workbook("a.csv", "(212) 555-0147,212-555-0148\n"));
  form.ListView1()->AppendRow(Workbook("b.csv", "(718) 555-0134,718-555-0135\n"));
  form.ListView1()->AppendRow(Workbook("c.csv", "\"+1 718 555 0136\",Tel 718 555 0137\n"));
  OnFirstResult([&form] { form.Lengths().SpacedBox()->click(); });
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), (std::vector<std::string>{"212-555-0148", "(718) 555-0134", "718-555-0135",
                                                 "+1 718 555 0136", "718 555 0137"}));
  EXPECT_EQ(Stored("Phone With Spaces"), "1");
  // Cleared again, the words alone.
  form.Lengths().SpacedBox()->click();
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), (std::vector<std::string>{"212-555-0148", "718-555-0135"}));
}

TEST_F(RunTest, ASecondPressDuringTheRunIsIgnored) {
  ui::Form1& form = Start();
  form.SetYieldInterval(0);  // every yield is an event-loop pass
  form.ListView1()->AppendRow(Workbook("a.csv", "212-555-0147\n"));
  form.ListView1()->AppendRow(Workbook("b.csv", "718-555-0134\n"));
  OnFirstResult([&form] {
    EXPECT_TRUE(form.Running());
    form.PushButton(7)->click();
  });
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), (std::vector<std::string>{"212-555-0147", "718-555-0134"}));
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Done."});
  EXPECT_FALSE(form.Running());
}

TEST_F(RunTest, ClosingTheWindowDuringTheRunStopsItWithoutDone) {
  ui::Form1& form = Start();
  form.SetYieldInterval(0);  // every yield is an event-loop pass
  form.show();
  form.ListView1()->AppendRow(Workbook("a.csv", "212-555-0147 212-555-0148\n"));
  form.ListView1()->AppendRow(Workbook("b.csv", "718-555-0134\n"));
  OnFirstResult([&form] { form.close(); });
  form.PushButton(7)->click();
  EXPECT_TRUE(form.Closing());
  EXPECT_EQ(Results(), std::vector<std::string>{"212-555-0147"});
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(form.windowTitle(), "Dialsift");
}

// The reading threads read the next workbooks while the window hands the
// first one on; the boxes are read when each word's turn comes. The box
// unticked once the others had time to be read ahead applies to all of them.
TEST_F(RunTest, ABoxUntickedDuringTheRunAppliesToWordsReadAhead) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  form.SetYieldInterval(0);   // every yield is an event-loop pass
  form.Run().SetReadingThreads(2);
  form.Check1(2)->click();  // tick "7"
  for (int i = 0; i < 40; ++i) {
    form.ListView1()->AppendRow(Workbook("w" + std::to_string(i) + ".csv",
                                         "555-0147,212-555-01" + std::to_string(10 + i) + "\n"));
  }
  OnFirstResult([&form] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    form.Check1(5)->click();  // untick "10"
  });
  form.PushButton(7)->click();
  EXPECT_EQ(Results(), std::vector<std::string>(40, "555-0147"));
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Done."});
}

int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

TEST_F(RunTest, ClosingTheWindowMidRunLeavesNoThreadRunning) {
  ui::Form1& form = Start();
  form.SetYieldInterval(0);  // every yield is an event-loop pass
  form.Run().SetReadingThreads(3);
  form.show();
  for (int i = 0; i < 200; ++i) {
    form.ListView1()->AppendRow(
        Workbook("w" + std::to_string(i) + ".csv", "212-555-0147 212-555-0148\n"));
  }
  QCoreApplication::processEvents();
  const int before = ThreadCount();
  int during = 0;
  OnFirstResult([&] {
    during = ThreadCount();
    form.close();
  });
  form.PushButton(7)->click();
  // Three reading threads at most; on a busy machine they may already have
  // read every workbook and ended by the first result.
  EXPECT_GE(during, before);
  EXPECT_LE(during, before + 3);
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_EQ(Results(), std::vector<std::string>{"212-555-0147"});
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RunTest, TheSampleWorkbooksGiveTheirNumbers) {
  const auto samples = SourceDir() / "Samples" / "suppliers.csv";
  if (!std::filesystem::exists(samples)) GTEST_SKIP() << "no samples";
  ui::Form1& form = Start();
  form.ListView1()->AppendRow(samples.string());
  form.PushButton(7)->click();
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Done."});
  EXPECT_GT(form.ListView2()->RowCount(), 0);
}

}  // namespace
}  // namespace dialsift::test
