// The pointer rules of the mouse moves.
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

void MoveOver(QWidget* widget) {
  const QPointF at(2, 2);
  QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &move);
}

TEST_F(WindowTest, ButtonsShowTheHandAndEverythingElseTheDefault) {
  ui::Form1& form = Start();
  form.show();
  const std::vector<QWidget*> plain = {&form,
                                       form.ListView1()->viewport(),
                                       form.ListView2()->viewport(),
                                       form.ListView1()->header(),
                                       form.Frame1(),
                                       form.Check1(0),
                                       form.Check1(15)};
  for (int n = 1; n <= 11; ++n) {
    SCOPED_TRACE(n);
    MoveOver(form.PushButton(n));
    EXPECT_EQ(form.property("pointerKind").toInt(), 99);
    MoveOver(plain[static_cast<std::size_t>(n) % plain.size()]);
    EXPECT_EQ(form.property("pointerKind").toInt(), 0);
  }
}

TEST_F(WindowTest, TheBusyPointerStaysWhateverTheMouseMovesOver) {
  ui::Form1& form = Start();
  form.show();
  form.SetPointer(Pointer::kBusy);
  for (QWidget* w : {static_cast<QWidget*>(form.PushButton(7)), form.ListView1()->viewport(),
                     static_cast<QWidget*>(form.Frame1()), static_cast<QWidget*>(form.Check1(4)),
                     static_cast<QWidget*>(&form)}) {
    MoveOver(w);
    EXPECT_EQ(form.PointerKind(), Pointer::kBusy);
    EXPECT_EQ(form.cursor().shape(), Qt::WaitCursor);
  }
  form.SetPointer(Pointer::kArrow);
  MoveOver(form.PushButton(2));
  EXPECT_EQ(form.PointerKind(), Pointer::kHand);
}

}  // namespace
}  // namespace dialsift::test
