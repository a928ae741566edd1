// The window as built: places, captions, tab order, the lists' accessors and
// the error report.
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>

#include <algorithm>
#include <stdexcept>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

using ui::Twips;

struct Place {
  const char* name;
  int left, top, width, height;
};

TEST_F(WindowTest, ControlsSitAtTheirPlaces) {
  ui::Form1& form = MakeWindow();
  const Place places[] = {
      {"PushButton5", 120, 120, 7800, 405},   {"ListView1", 120, 615, 7800, 1575},
      {"PushButton1", 120, 2280, 3840, 405},  {"PushButton4", 4080, 2280, 3840, 405},
      {"PushButton3", 120, 2790, 3840, 405},  {"PushButton11", 4080, 2790, 3840, 405},
      {"Frame1", 120, 3250, 7800, 1020},      {"PushButton7", 120, 4390, 7800, 405},
      {"ListView2", 120, 4905, 7800, 1935},   {"PushButton6", 120, 6930, 3840, 405},
      {"PushButton2", 4080, 6930, 3840, 405}, {"PushButton8", 120, 7440, 3840, 405},
      {"PushButton9", 4080, 7440, 3840, 405}, {"PushButton10", 120, 7950, 7800, 405},
  };
  for (const Place& p : places) {
    auto* w = form.findChild<QWidget*>(QString::fromLatin1(p.name));
    ASSERT_NE(w, nullptr) << p.name;
    EXPECT_EQ(w->geometry(), QRect(Twips(p.left), Twips(p.top), Twips(p.width), Twips(p.height)))
        << p.name;
  }
  EXPECT_EQ(form.size(), QSize(536, 565));
  EXPECT_EQ(form.PushButton(7)->text(), "Start Extracting Phone Numbers");
  EXPECT_EQ(form.PushButton(9)->text(), "Clear List");
  EXPECT_EQ(form.Frame1()->title(), "Phone Number Length");
  EXPECT_DOUBLE_EQ(form.PushButton(1)->font().pointSizeF(), 11.25);
  EXPECT_TRUE(form.PushButton(1)->font().bold());
  EXPECT_DOUBLE_EQ(form.ListView1()->font().pointSizeF(), 9);
}

TEST_F(WindowTest, BoxesLieInTwoRowsOfEight) {
  ui::Form1& form = MakeWindow();
  for (int i = 0; i < 16; ++i) {
    QCheckBox* box = form.Check1(i);
    EXPECT_EQ(box->text(), QString::number(i + 5));
    EXPECT_EQ(box->parentWidget(), form.Frame1());
    EXPECT_EQ(box->geometry().topLeft(),
              QPoint(Twips(240 + 860 * (i % 8)), Twips(i < 8 ? 300 : 650)));
    EXPECT_EQ(box->checkState(), Qt::Unchecked);
  }
}

TEST_F(WindowTest, TabOrderFollowsTheTabIndices) {
  ui::Form1& form = MakeWindow();
  // 0 ListView1, 1 ListView2, 2 PB1, 3 PB4, 4 PB3, 5 PB7, 6 PB6, 7 PB2, 8 PB9,
  // 10-20 boxes 0-10, 21 PB5, 22 PB8, 23-27 boxes 11-15, 28 PB10, 29 PB11.
  std::vector<QWidget*> expected = {form.ListView1(),   form.ListView2(),   form.PushButton(1),
                                    form.PushButton(4), form.PushButton(3), form.PushButton(7),
                                    form.PushButton(6), form.PushButton(2), form.PushButton(9)};
  for (int i = 0; i <= 10; ++i) expected.push_back(form.Check1(i));
  expected.push_back(form.PushButton(5));
  expected.push_back(form.PushButton(8));
  for (int i = 11; i <= 15; ++i) expected.push_back(form.Check1(i));
  expected.push_back(form.PushButton(10));
  expected.push_back(form.PushButton(11));
  // The focus chain also holds the lists' inner parts; keep the controls only.
  std::vector<QWidget*> chain;
  QWidget* w = expected.front();
  do {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  } while (w != expected.front() && chain.size() <= expected.size());
  EXPECT_EQ(chain, expected);
}

// A found number's tooltip is made when it is asked for, from where the row
// was found; it stays with its row when rows above it go.
TEST_F(WindowTest, AFoundRowsTooltipStaysWithItsRow) {
  ui::ReportList& list = *MakeWindow().ListView2();
  const auto where = std::make_shared<const ui::FoundIn>(ui::FoundIn{"/d/a.xlsx", "My sheet"});
  std::vector<ui::ListRow> rows = {{"212-555-0147", where, 2, 3}, {"718-555-0134", where, 7, 28}};
  list.AppendRows(rows);
  list.AppendRow("plain");
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(list.RemoveRow(1));
  EXPECT_EQ(list.Rows(), (std::vector<std::string>{"718-555-0134", "plain"}));
  EXPECT_EQ(list.RowToolTip(1), "a.xlsx \u2014 'My sheet'!AB7");
  const QAbstractItemModel& model = *list.model();
  EXPECT_EQ(model.data(model.index(0, 0), Qt::ToolTipRole).toString().toStdString(),
            list.RowToolTip(1));
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "718-555-0134");
  EXPECT_EQ(list.RowToolTip(2), "");
  EXPECT_FALSE(model.data(model.index(1, 0), Qt::ToolTipRole).isValid());
  EXPECT_FALSE(model.index(2, 0).isValid());
}

TEST_F(WindowTest, ListsAppendCountReadAndRemoveRows) {
  ui::ReportList& list = *MakeWindow().ListView1();
  list.AppendRow("/a/one.xlsx");
  list.AppendRow("/a/two.xls");
  list.AppendRow("/a/one.xlsx");
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_EQ(list.RowText(1), "/a/one.xlsx");
  EXPECT_EQ(list.RowText(3), "/a/one.xlsx");
  EXPECT_EQ(list.RowText(4), "");
  EXPECT_EQ(list.SelectedRow(), 0);
  EXPECT_TRUE(list.RemoveRow(2));
  EXPECT_FALSE(list.RemoveRow(3));
  EXPECT_EQ(list.Rows(), (std::vector<std::string>{"/a/one.xlsx", "/a/one.xlsx"}));
  list.SelectRow(2);
  EXPECT_EQ(list.SelectedRow(), 2);
  list.ClearRows();
  EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(WindowTest, FailingStatementShowsTheReportAndTheHandlerGoesOn) {
  ui::Form1& form = MakeWindow();
  int after = 0;
  EXPECT_FALSE(form.Statement(ui::location::kPushButton3, 100,
                              [] { throw std::runtime_error("Permission denied"); }));
  ++after;
  EXPECT_TRUE(form.Statement(ui::location::kPushButton3, 102, [&] { ++after; }));
  EXPECT_EQ(after, 2);
  ASSERT_EQ(ui_.messages.size(), 1u);
  const auto& shown = ui_.messages[0];
  EXPECT_EQ(shown.text,
            "Permission denied\r\nin Numtrawl2/19/2015.Form1.PushButton3_Click at line 100\r\r"
            "Please email screenshot of this message to support@quillmark.example");
  EXPECT_EQ(shown.title, "Application Error");
  EXPECT_EQ(shown.buttons, UserInterface::Buttons::kOk);
  EXPECT_EQ(shown.icon, UserInterface::Icon::kWarning);
  // A failing test of a conditional counts as holding.
  EXPECT_TRUE(form.Test(ui::location::kFormLoad, 136, []() -> bool { throw 1; }));
  EXPECT_FALSE(form.Test(ui::location::kFormLoad, 136, [] { return false; }));
  EXPECT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1].text.substr(0, 15), "Unknown error\r\n");
}

}  // namespace
}  // namespace dialsift::test
