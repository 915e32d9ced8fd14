// Usage alerts and messages against a stand-in notification server on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QMessageBox>
#include <QVariantMap>

#include "fake_states.h"
#include "monitoring/keyring_fixture.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/settings.h"
#include "popover_rig.h"
#include "present/usage_alerts.h"
#include "ui/message_router.h"
#include "ui/usage_alert_notifier.h"

// Owns org.freedesktop.Notifications and records each Notify as "summary|urgency".
class StandInServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  QStringList calls, bodies;
 public Q_SLOTS:
  QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("body-markup")}; }
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int) {
    calls << summary + u'|' + QString::number(hints.value(QStringLiteral("urgency")).toInt());
    bodies << body;
    return uint(calls.size());
  }
};

namespace qb {
namespace {

// One connection per name and bus: each test has a bus of its own.
QDBusConnection privateBus(const char* name) {
  const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
  return QDBusConnection::connectToBus(address, QLatin1String(name) + address);
}

bool serve(StandInServer& server) {
  QDBusConnection bus = privateBus("stand-in");
  return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                            QDBusConnection::ExportAllSlots) &&
         bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

TEST(UsageAlerts, OncePerBandPerCycleAndOnceWhenSignedOut) {
  test::PrivateKeyring bus;
  ASSERT_TRUE(bus.start(test::PrivateKeyring::Daemon::none)) << bus.error().toStdString();
  qputenv("QUOTABAR_KEYRING", "off");
  StandInServer server;
  ASSERT_TRUE(serve(server));
  test::PopoverRig rig({QStringLiteral("normal"), {}, {}, {}});
  ASSERT_TRUE(rig.startAndSettle());

  struct Step {
    const char* what;
    double percent;  // negative: the session is refused
    int cycleStartDaysAgo;
    bool restart, alertsOn;
    QStringList calls;
  };
  const Step steps[] = {
      {"crossing 65", 70, 16, false, true, {"Cursor at 65%|1"}},
      {"crossing 90", 92, 16, false, true, {"Cursor at 90%|2"}},
      {"a re-poll at the same level", 93, 16, false, true, {}},
      {"a restart", 93, 16, true, true, {}},
      {"a new cycle", 95, 1, false, true, {"Cursor at 90%|2"}},
      {"a refused session", -1, 1, false, true, {"Cursor signed you out|1"}},
      {"still refused", -1, 1, false, true, {}},
      {"alerts off", 70, 3, false, false, {}},
  };
  auto makeAlerts = [&] {
    auto* notifier = new platform::DesktopNotifier(privateBus("app"));
    new ui::UsageAlertNotifier(rig.store(), *notifier, [] { return platform::settings(); }, {}, notifier);
    return std::unique_ptr<platform::DesktopNotifier>(notifier);
  };
  std::unique_ptr<platform::DesktopNotifier> alerts = makeAlerts();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.restart) alerts = makeAlerts();
    platform::settings()->setValue(QLatin1String(kUsageAlertsKey), s.alertsOn);
    const std::string plan = "{\"enabled\":true,\"used\":" + std::to_string(int(s.percent * 20)) +
                             ",\"limit\":2000,\"totalPercentUsed\":" + std::to_string(s.percent) + "}";
    rig.server(Provider::cursor)
        .route("/api/usage-summary",
               s.percent < 0 ? fake::Reply::json("{}", 401)
                             : fake::Reply::json(fake::cursorUsageBody(plan, "{\"enabled\":false}", s.cycleStartDaysAgo)));
    server.calls.clear();
    bool done = false;
    rig.store().monitor(Provider::cursor)->refresh([&done] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
    test::spin(300);  // the notification's round trip over the bus
    EXPECT_EQ(server.calls, s.calls);
  }
}

TEST(MessageRouter, NotificationWithServerAndTrayElseWindow) {
  test::PrivateKeyring bus;
  ASSERT_TRUE(bus.start(test::PrivateKeyring::Daemon::none)) << bus.error().toStdString();
  StandInServer server;
  ASSERT_TRUE(serve(server));
  struct Row {
    bool serverUp, trayIcon, notified, window;
  };
  for (const Row r : {Row{true, true, true, false}, Row{true, false, false, true}, Row{false, true, false, true}}) {
    SCOPED_TRACE(testing::Message() << "server " << r.serverUp << " tray " << r.trayIcon);
    if (!r.serverUp) privateBus("stand-in").unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    test::spin(100);
    platform::DesktopNotifier notifier(privateBus("app"));
    ui::MessageRouter router(notifier, [&] { return r.trayIcon; }, [] { return nullptr; });
    server.bodies.clear();
    router.show(QStringLiteral("Couldn't change <b>autostart</b>."));
    test::spin(300);
    // The server reads markup: the message's is escaped.
    EXPECT_EQ(server.bodies, r.notified ? QStringList{"Couldn't change &lt;b&gt;autostart&lt;/b&gt;."} : QStringList{});
    EXPECT_EQ(router.lastWindow() != nullptr, r.window);
    if (router.lastWindow()) {
      EXPECT_EQ(router.lastWindow()->textFormat(), Qt::PlainText);
    }
    delete router.lastWindow();
  }
}

}  // namespace
}  // namespace qb

#include "test_usage_alert_notifier.moc"
