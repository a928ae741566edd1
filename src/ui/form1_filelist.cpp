// The input file list's handlers: adding files by dialog, by folder, by drop
// and from the samples; removing rows; clearing.
#include <QDragEnterEvent>
#include <QDropEvent>

#include "ui/form1.h"

namespace dialsift::ui {

void Form1::PushButton1_Click() {}

void Form1::PushButton3_Click() {}

void Form1::PushButton4_Click() {}

void Form1::PushButton11_Click() {}

void Form1::ListView1_DblClick() {}

void Form1::ListView1_KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  (void)key;
  (void)modifiers;
}

void Form1::ListView1_DragEnter(QDragEnterEvent* event) {
  (void)event;
}

void Form1::ListView1_DragMove(QDragMoveEvent* event) {
  (void)event;
}

void Form1::ListView1_Drop(QDropEvent* event) {
  (void)event;
}

}  // namespace dialsift::ui
