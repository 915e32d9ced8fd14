#include <QCoreApplication>
#include <QLoggingCategory>
#include <gtest/gtest.h>
#ifdef QUOTABAR_WIDGET_TESTS
#include <QApplication>
#endif

// The main of every test program; the widget tests' is a QApplication drawing off screen.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Never touch the developer's session bus or keyring; keyring tests start their own bus.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
#ifdef QUOTABAR_WIDGET_TESTS
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // tests open and close windows freely
#else
  QCoreApplication app(argc, argv);
  // Component log lines would bury the test output; tests that check them turn them on.
  QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));
#endif
  return RUN_ALL_TESTS();
}
