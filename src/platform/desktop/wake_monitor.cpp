#include "platform/desktop/wake_monitor.h"

#include <QDBusConnection>

namespace qb::platform {

WakeMonitor::WakeMonitor(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
              this, SLOT(onPrepareForSleep(bool)));
}

void WakeMonitor::onPrepareForSleep(bool sleeping) {
  if (!sleeping) Q_EMIT woke();
}

}  // namespace qb::platform
