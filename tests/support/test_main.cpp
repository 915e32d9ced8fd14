#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Never touch the developer's session bus or keyring; keyring tests start their own bus.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
