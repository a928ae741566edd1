// Pictures of the window: saved under the build tree (screenshots/) for
// people to look at, and sampled where the layout fixes a colour.
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

std::filesystem::path ScreenshotFolder() {
  const auto folder = BinDir().parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  return folder;
}

QImage Grab(ui::Form1& form, const std::string& name) {
  form.show();
  const QPixmap picture = form.grab();
  EXPECT_TRUE(picture.save(QString::fromStdString((ScreenshotFolder() / name).string())));
  return picture.toImage();
}

TEST_F(WindowTest, SavesAScreenshotOfTheWindow) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow("/home/ada/Workbooks/contacts.xlsx");
  form.ListView1()->AppendRow("/home/ada/Workbooks/orders.xlsm");
  form.ListView2()->AppendRow("212-555-0147");
  form.ListView2()->AppendRow("(718)555-0134");
  const QImage picture = Grab(form, "form1.png");
  EXPECT_EQ(picture.size(), QSize(536, 565) * picture.devicePixelRatio());
}

// The results list's context menu, open over a row found in a sample: the
// window with the menu drawn where it shows. Under a real X server the
// screen is saved as well.
TEST_F(WindowTest, SavesAScreenshotOfTheResultsMenu) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow((BinDir() / "Samples" / "contacts.xlsx").string());
  form.PushButton(7)->click();
  ASSERT_GT(form.ListView2()->RowCount(), 2);
  form.move(0, 0);
  form.show();
  form.ListView2()->SelectRow(2);
  const QRect row = form.ListView2()->visualRect(form.ListView2()->model()->index(1, 0));
  const QPoint at = form.ListView2()->viewport()->mapTo(&form, row.center());
  const std::unique_ptr<QMenu> menu = form.Results().MakeContextMenu(2);
  menu->popup(form.mapToGlobal(at));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  QPixmap picture = form.grab();
  {
    QPainter painter(&picture);
    painter.drawPixmap(at, menu->grab());
  }
  EXPECT_TRUE(
      picture.save(QString::fromStdString((ScreenshotFolder() / "results-menu.png").string())));
  if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 300) QCoreApplication::processEvents();
    const QPixmap screen = form.screen()->grabWindow(0);
    EXPECT_TRUE(screen.save(
        QString::fromStdString((ScreenshotFolder() / "results-menu-x11.png").string())));
  }
  menu->close();
  ui_.messages.clear();
}

// The frame's background around its boxes and under its caption, and each
// box's background beside its caption, are white; skinned or not.
void ExpectWhiteLengthFrame(ui::Form1& form, const QImage& picture) {
  const qreal ratio = picture.devicePixelRatio();
  const auto pixel = [&](QPoint at) {
    return QColor(picture.pixel((QPointF(at) * ratio).toPoint())).rgb() & 0xffffff;
  };
  const QRect frame = form.Frame1()->geometry();
  // The frame's panel: between the boxes of the first column pair, in both
  // rows, and below the second row; the strip of the caption, right of it.
  const QRect first = form.Check1(0)->geometry().translated(frame.topLeft());
  const QRect second = form.Check1(1)->geometry().translated(frame.topLeft());
  const QRect lower = form.Check1(8)->geometry().translated(frame.topLeft());
  const int between = (first.right() + second.left()) / 2;
  for (const QPoint at : {QPoint(between, first.center().y()), QPoint(between, lower.center().y()),
                          QPoint(frame.center().x(), lower.bottom() + 4),
                          QPoint(frame.right() - 20, frame.top() + 3)})
    EXPECT_EQ(pixel(at), 0xffffffu) << "frame at " << at.x() << "," << at.y();
  // Each box beside its caption (captions are at most two digits wide).
  for (int i = 0; i < 16; ++i) {
    const QRect box = form.Check1(i)->geometry().translated(frame.topLeft());
    const QPoint at(box.right() - 2, box.center().y());
    EXPECT_EQ(pixel(at), 0xffffffu) << "box " << i + 5 << " at " << at.x() << "," << at.y();
  }
}

TEST_F(WindowTest, TheLengthFrameAndItsBoxesAreWhite) {
  ui::Form1& form = Start();
  ExpectWhiteLengthFrame(form, Grab(form, "length-frame.png"));
}

TEST_F(WindowTest, TheLengthFrameAndItsBoxesStayWhiteUnderTheSkin) {
  // A skin that paints every widget grey.
  WriteBeside("x/o.cjs",
              "QWidget { background-color: #d4d0c8; } QPushButton { color: #203060; }\n");
  ui::Form1& form = Start();
  ASSERT_TRUE(form.Skinned());
  ExpectWhiteLengthFrame(form, Grab(form, "length-frame-skinned.png"));
}

}  // namespace
}  // namespace dialsift::test
