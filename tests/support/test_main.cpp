#include <QCoreApplication>
#include <QLoggingCategory>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Never touch the developer's session bus or keyring; keyring tests start their own bus.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  QCoreApplication app(argc, argv);
  // Component log lines would bury the test output; tests that check them turn them on.
  QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));
  return RUN_ALL_TESTS();
}
