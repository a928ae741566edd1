// Test main for the window: a real QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/time_zone.h"

int main(int argc, char** argv) {
  dialsift::platform::PinLocalTimeZone();  // as the programs do
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                   : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
