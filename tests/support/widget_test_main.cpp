#include <QApplication>
#include <gtest/gtest.h>

// The main of the widget tests: a QApplication drawing off screen.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Never touch the developer's session bus; widgets draw off screen.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // tests open and close windows freely
  return RUN_ALL_TESTS();
}
