// The results list's context menu on the real window: the rows with their
// source and E.164 form, copied and saved (as dialsift-cli writes them),
// opening a row's workbook and folder, and the region setting.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "extract/error_report.h"
#include "ui/qt_user_interface.h"
#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;
using Answer = UserInterface::Answer;

class ContextMenuTest : public WindowTest {
 protected:
  // Puts rows found in workbook `path` on the results list, as a run does.
  void Found(const std::string& path, const std::string& sheet,
             std::vector<std::pair<std::string, std::uint32_t>> numbers) {
    for (const auto& [number, row] : numbers) {
      form_->Results().QueueRow(Record{number, path, sheet, row, 2});
    }
    form_->Results().FlushQueuedRows();
  }
  // The menu's entries for row `row`: text and whether it can be chosen.
  std::vector<std::pair<std::string, bool>> Entries(int row) {
    std::vector<std::pair<std::string, bool>> entries;
    const std::unique_ptr<QMenu> menu = form_->Results().MakeContextMenu(row);
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator())
        entries.emplace_back(action->text().toStdString(), action->isEnabled());
    }
    return entries;
  }
  void Choose(int row, std::string_view entry) {
    const std::unique_ptr<QMenu> menu = form_->Results().MakeContextMenu(row);
    for (QAction* action : menu->actions()) {
      if (action->text().toStdString() == entry) return action->trigger();
    }
    ADD_FAILURE() << "no entry " << entry;
  }
  static std::string Clipboard() { return QGuiApplication::clipboard()->text().toStdString(); }

  TempDir files_;
};

TEST_F(ContextMenuTest, EntriesFollowTheRowUnderThePointer) {
  ui::Form1& form = Start();
  using E = std::vector<std::pair<std::string, bool>>;
  // An empty list: nothing to copy or open; saving (an empty csv) and the
  // region stay open.
  EXPECT_EQ(Entries(0), (E{{"Copy with Source", false},
                           {"Save with Source As CSV...", true},
                           {"Open Workbook", false},
                           {"Show in Folder", false},
                           {"Region for numbers without a country code...", true}}));
  Found("/data/a.xlsx", "Sheet1", {{"2125550147", 3}});
  form.ListView2()->AppendRow("555-0100");  // a row without a source
  EXPECT_EQ(Entries(1)[2], (std::pair<std::string, bool>{"Open Workbook", true}));
  EXPECT_EQ(Entries(1)[3].second, true);
  EXPECT_EQ(Entries(0)[0].second, true);  // below the rows: copy all
  EXPECT_EQ(Entries(0)[2].second, false);
  EXPECT_EQ(Entries(2)[2].second, false);
}

TEST_F(ContextMenuTest, CopyWithSourceTakesTheSelectedRowsOrAll) {
  ui::Form1& form = Start();
  Store("Region", "US");
  Found("/data/New York.xlsx", "Calls\tMay", {{"212-555-0147", 3}, {"(212) 555-0148", 4}});
  Found("/data/b.ods", "Sheet1", {{"+44 20 7946 0958", 9}, {"12", 10}});
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));

  Choose(0, "Copy with Source");  // nothing selected: every row
  EXPECT_EQ(Clipboard(),
            "212-555-0147\t+12125550147\t/data/New York.xlsx\tCalls May\tB3\r\n"
            "(212) 555-0148\t+12125550148\t/data/New York.xlsx\tCalls May\tB4\r\n"
            "+44 20 7946 0958\t+442079460958\t/data/b.ods\tSheet1\tB9\r\n"
            "12\t\t/data/b.ods\tSheet1\tB10\r\n");

  QItemSelectionModel* selection = form.ListView2()->selectionModel();
  const auto row = [&](int r) { return form.ListView2()->model()->index(r - 1, 0); };
  selection->select(row(4), QItemSelectionModel::Select);
  selection->select(row(2), QItemSelectionModel::Select);
  Choose(4, "Copy with Source");
  EXPECT_EQ(Clipboard(),
            "(212) 555-0148\t+12125550148\t/data/New York.xlsx\tCalls May\tB4\r\n"
            "12\t\t/data/b.ods\tSheet1\tB10\r\n");
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(form.ListView2()->RowCount(), 4);  // copying changes nothing
}

TEST_F(ContextMenuTest, TheRegionComesFromTheLocaleAndIsKeptWhenChosen) {
  ui::Form1& form = Start();
  EXPECT_FALSE(Stored("Region"));
  EXPECT_EQ(form.Results().Region(), ui::LocaleRegion());

  Choose(0, "Region for numbers without a country code...");  // cancelled
  ASSERT_EQ(ui_.item_lists.size(), 1u);
  const std::vector<std::string> items = ui_.item_lists.front();
  const auto at = [&](std::string_view item) {
    return static_cast<int>(std::find(items.begin(), items.end(), item) - items.begin());
  };
  ASSERT_LT(at("United Kingdom (GB)"), static_cast<int>(items.size()));
  ASSERT_LT(at("Germany (DE)"), static_cast<int>(items.size()));
  const int shown = ui_.item_current.front();
  ASSERT_GE(shown, 0);
  EXPECT_TRUE(items[static_cast<std::size_t>(shown)].ends_with("(" + ui::LocaleRegion() + ")"));
  EXPECT_FALSE(Stored("Region"));

  ui_.item_results = {at("United Kingdom (GB)")};
  Choose(0, "Region for numbers without a country code...");
  EXPECT_EQ(Stored("Region"), "GB");

  // Kept beside the boxes, shown chosen next time, and used for E.164.
  Restart();
  EXPECT_EQ(form_->Results().Region(), "GB");
  Choose(0, "Region for numbers without a country code...");
  EXPECT_EQ(ui_.item_current.back(), at("United Kingdom (GB)"));
  Found("/data/a.xlsx", "S", {{"020 7946 0958", 1}});
  Choose(0, "Copy with Source");
  EXPECT_EQ(Clipboard(), "020 7946 0958\t+442079460958\t/data/a.xlsx\tS\tB1\r\n");

  // A stored value that is no region falls back to the locale's.
  Store("Region", "Z9");
  EXPECT_EQ(form_->Results().Region(), ui::LocaleRegion());
}

// Without its module, or with a region the library does not know, nothing is
// copied or saved and the user is told why.
TEST_F(ContextMenuTest, WithoutE164FormsNothingIsCopiedOrSaved) {
  ui::Form1& form = Start();
  form.SetProbes({{}, [] { return true; }, files_.path() / "no-such-module.so"});
  Found("/data/a.xlsx", "S", {{"2125550147", 1}});
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  const fs::path saved = files_.path() / "out.csv";
  ui_.save_results = {saved.string()};
  Choose(0, "Copy with Source");
  Choose(0, "Save with Source As CSV...");
  EXPECT_EQ(Clipboard(), "before");
  EXPECT_FALSE(fs::exists(saved));
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_NE(ui_.messages[0].text.find("no-such-module.so, which cannot be loaded: "),
            std::string::npos);

  Restart();
  Store("Region", "ZZ");  // no region the library knows
  Found("/data/a.xlsx", "S", {{"2125550147", 1}});
  Choose(0, "Copy with Source");
  EXPECT_EQ(Clipboard(), "before");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].text.find("no numbering plan for the region ZZ"), std::string::npos);
}

TEST_F(ContextMenuTest, OpenWorkbookAndShowInFolderSayWhenTheyCannot) {
  Start();
  const fs::path workbook = files_.path() / "calls.csv";
  std::ofstream(workbook) << "2125550147\n";
  Found(workbook.string(), "calls", {{"2125550147", 1}});
  Found((files_.path() / "gone.xlsx").string(), "Sheet1", {{"2125550148", 1}});

  Choose(1, "Open Workbook");
  Choose(1, "Show in Folder");
  EXPECT_EQ(ui_.shell_opened,
            (std::vector<std::string>{workbook.string(), files_.path().string()}));
  EXPECT_TRUE(ui_.messages.empty());

  // The shell's refusal is shown; a workbook that is gone is not shown in
  // its folder.
  ui_.shell_answers = {"no program is set to open files of the type CSV document (text/csv)."};
  Choose(1, "Open Workbook");
  Choose(2, "Show in Folder");
  EXPECT_EQ(
      ui_.Texts(),
      (std::vector<std::string>{
          "The workbook " + workbook.string() +
              " cannot be opened: no program is set to open files of the type CSV "
              "document (text/csv).",
          "The workbook " + (files_.path() / "gone.xlsx").string() + " is no longer there."}));
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kWarning);
  EXPECT_EQ(ui_.shell_opened.size(), 3u);
}

// The menu key asks for the current row's menu, the mouse for the row under
// the pointer (none below the rows).
TEST(ReportListMenuTest, TheMenuKeyAndTheMouseNameTheirRow) {
  ui::ReportList list;
  list.resize(300, 200);
  list.AppendRow("a");
  list.AppendRow("b");
  std::vector<int> rows;
  QObject::connect(&list, &ui::ReportList::contextMenuWanted,
                   [&rows](QPoint, int row) { rows.push_back(row); });
  list.SelectRow(2);
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), list.mapToGlobal(QPoint(0, 0)));
  QCoreApplication::sendEvent(&list, &key);
  const QPoint first = list.visualRect(list.model()->index(0, 0)).center();
  QContextMenuEvent on_first(QContextMenuEvent::Mouse, first, list.viewport()->mapToGlobal(first));
  QCoreApplication::sendEvent(list.viewport(), &on_first);
  const QPoint below(5, 190);
  QContextMenuEvent on_none(QContextMenuEvent::Mouse, below, list.viewport()->mapToGlobal(below));
  QCoreApplication::sendEvent(list.viewport(), &on_none);
  EXPECT_EQ(rows, (std::vector<int>{2, 1, 0}));
}

// The shell's own check before it opens: a missing file, and a type that no
// program is set to open, are told apart from one that opens.
TEST(ShellOpenProblemTest, NamesWhyAFileCannotBeOpened) {
  TempDir dir;
  const fs::path file = dir.path() / "a.csv";
  std::ofstream(file) << "1\n";
  const auto none = [](const QString&) { return std::optional<QString>(QString()); };
  const auto calc = [](const QString&) { return std::optional<QString>("calc.desktop"); };
  const auto unknown = [](const QString&) { return std::optional<QString>(); };
  const QString missing = QString::fromStdString((dir.path() / "b.csv").string());
  const QString present = QString::fromStdString(file.string());
  EXPECT_EQ(ui::ShellOpenProblem(missing, calc).toStdString(), "it is no longer there.");
  EXPECT_NE(ui::ShellOpenProblem(present, none).toStdString().find("(text/csv)"),
            std::string::npos);
  EXPECT_TRUE(ui::ShellOpenProblem(present, calc).isEmpty());
  EXPECT_TRUE(ui::ShellOpenProblem(present, unknown).isEmpty());  // cannot tell: try it
}

// What "Save with Source As CSV..." writes is what dialsift-cli --format csv
// writes for the same workbooks, lengths and region, byte for byte.
TEST_F(ContextMenuTest, SavedCsvIsTheClisCsv) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  form.Check1(2)->click();    // and 7
  Store("Region", "GB");
  std::vector<std::string> workbooks;
  for (const auto& entry : fs::directory_iterator(BinDir() / "Samples")) {
    workbooks.push_back(entry.path().string());
  }
  std::sort(workbooks.begin(), workbooks.end());
  ASSERT_GE(workbooks.size(), 4u);
  for (const std::string& workbook : workbooks) form.ListView1()->AppendRow(workbook);
  form.PushButton(7)->click();
  ASSERT_GT(form.ListView2()->RowCount(), 10);

  TempDir out;
  const fs::path saved = out.path() / "results.csv";
  ui_.save_results = {saved.string()};
  Choose(0, "Save with Source As CSV...");
  EXPECT_EQ(ui_.save_file_names.back(), "results.csv");
  EXPECT_EQ(ui_.dialog_filters.back(), "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*|");

  const fs::path cli_out = out.path() / "cli.csv";
  std::string command = (BinDir() / "dialsift-cli").string() +
                        " -q -l 7,10,11 --e164 GB --format csv -o '" + cli_out.string() + "'";
  for (const std::string& workbook : workbooks) command += " '" + workbook + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string expected = ReadFile(cli_out);
  EXPECT_EQ(expected.rfind("number,e164,valid,path,sheet,cell\r\n", 0), 0u);
  EXPECT_NE(expected.find(",+44"), std::string::npos);
  EXPECT_EQ(ReadFile(saved), expected);
  EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
}

TEST_F(ContextMenuTest, SavingAsksBeforeOverwritingAndReportsAFailure) {
  ui::Form1& form = Start();
  Found("/data/a.xlsx", "S", {{"2125550147", 1}});
  TempDir out;
  const fs::path old = out.path() / "old.csv";
  std::ofstream(old) << "old";
  const fs::path nowhere = out.path() / "missing" / "x.csv";
  ui_.save_results = {old.string(), nowhere.string(), ""};
  ui_.answers = {Answer::kNo};
  Choose(0, "Save with Source As CSV...");
  EXPECT_EQ(ReadFile(old), "old");
  Choose(0, "Save with Source As CSV...");
  Choose(0, "Save with Source As CSV...");  // cancelled: nothing happens
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text, "Are you sure you wish to overwrite " + old.string() + " ?");
  EXPECT_EQ(ui_.messages[1].title, kErrorReportTitle);
  EXPECT_EQ(ui_.messages[1].text.rfind(nowhere.string() + ": ", 0), 0u);
  EXPECT_NE(ui_.messages[1].text.find("Form1.mnuSaveWithSource_Click at line 102"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(nowhere));
  EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
}

}  // namespace
}  // namespace dialsift::test
