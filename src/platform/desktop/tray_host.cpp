#include "platform/desktop/tray_host.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QTimer>
#include <xcb/xcb.h>

namespace qb::platform {

bool waylandSession() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
         (QGuiApplication::platformName() == QLatin1String("xcb") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
}

namespace {
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kPollMs = 500;
}  // namespace

bool statusNotifierTray() {
  static const bool sni = [] {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher).value()) return false;
    QDBusInterface watcher(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher, bus);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
  }();
  return sni;
}

TrayHostWatcher::TrayHostWatcher(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    watcher_ = new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWatcher::recheck);
  }
  // The X selection has no change signal we can cheaply subscribe to: look twice a second
  // until a host shows up, then stop.
  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, &TrayHostWatcher::recheck);
  seen_ = hostPresent();
  if (!seen_) poll_->start();
}

bool TrayHostWatcher::hostPresent() const { return statusNotifierHost() || xembedHost(); }

void TrayHostWatcher::recheck() {
  if (seen_ || !hostPresent()) return;
  seen_ = true;
  poll_->stop();
  Q_EMIT hostAppeared();
}

bool TrayHostWatcher::statusNotifierHost() const {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  return bus.interface()->isServiceRegistered(kWatcher).value();
}

bool TrayHostWatcher::xembedHost() const {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* c = x11->connection();
  // The selection of screen 0; tray hosts on other screens are not ours to use.
  static constexpr char kSelection[] = "_NET_SYSTEM_TRAY_S0";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kSelection - 1, kSelection), nullptr);
  if (!atom) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
  const bool owned = owner && owner->owner != XCB_NONE;
  free(owner);
  free(atom);
  return owned;
}

}  // namespace qb::platform
