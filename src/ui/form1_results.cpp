// The results list's handlers: the exports, the clipboard copy, clearing,
// the formatting page and removing rows.
#include "ui/form1.h"

namespace dialsift::ui {

void Form1::PushButton6_Click() {}

void Form1::PushButton2_Click() {}

void Form1::PushButton8_Click() {}

void Form1::PushButton9_Click() {}

void Form1::PushButton10_Click() {}

void Form1::ListView2_DblClick() {}

}  // namespace dialsift::ui
