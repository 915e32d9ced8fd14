// Usage alerts and messages through a recording notifier; the D-Bus notifier itself against
// a stand-in server on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include "fake_states.h"
#include "monitoring/keyring_fixture.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/settings.h"
#include "popover_rig.h"
#include "present/usage_alerts.h"
#include "ui/message_router.h"
#include "ui/usage_alert_notifier.h"

// Owns org.freedesktop.Notifications and records each Notify as "summary|urgency|body".
class StandInServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  QStringList calls;
 public Q_SLOTS:
  QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("body-markup")}; }
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int) {
    calls << summary + u'|' + QString::number(hints.value(QStringLiteral("urgency")).toInt()) + u'|' + body;
    return uint(calls.size());
  }
};

namespace qb {
namespace {

// Takes every message at once ("summary|urgency"), or none while `present` is false.
struct RecordingNotifier : platform::Notifier {
  bool present = true;
  QStringList sent, bodies;
  QList<OnAction> onActions;
  void send(const Message& m, OnAction onAction, std::function<void()> undelivered) override {
    if (!present) return undelivered ? undelivered() : void();
    sent << m.summary + u'|' + QString::number(m.urgency);
    bodies << m.body;
    onActions << onAction;
  }
};

// The rule's cases are tests/present/test_status_item_display.cpp's; here its memory and switch
// live in the settings, and a notification's action reaches the app.
TEST(UsageAlertNotifier, TellsTheRuleRemembersItInTheSettingsAndActs) {
  test::PopoverRig rig({QStringLiteral("normal"), {}, {}, {}});
  ASSERT_TRUE(rig.startAndSettle());
  RecordingNotifier notifier;
  const ui::UsageAlertNotifier::Actions actions{[&] { notifier.sent << QStringLiteral("popover"); },
                                                [&](Provider p) { notifier.sent << QStringLiteral("sign in ") + rawValue(p); }};
  struct Step {
    const char* state;  // the fake service's (fake_states.h)
    bool restart, alertsOn;
    QStringList sent;  // then the notification is clicked
  } steps[] = {
      {"requests", false, false, {}},  // 72 %: would tell 65 % if the switch were not read
      {"critical", false, true, {"Cursor at 90%|2", "popover"}},
      {"critical", true, true, {}},
      {"expired", false, true, {"Cursor signed you out|1", "sign in cursor"}},
  };
  // One poll of Cursor in the fake service's `state`, to its end.
  const auto poll = [&](const char* state) {
    fake::installStateRoutes(QLatin1String(state), Provider::cursor, rig.server(Provider::cursor));
    bool done = false;
    rig.store().monitor(Provider::cursor)->refresh([&done] { done = true; });
    return test::waitUntil([&] { return done; });
  };
  std::unique_ptr<ui::UsageAlertNotifier> alerts;
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.state << (s.restart ? " after a restart" : ""));
    if (!alerts || s.restart)
      alerts = std::make_unique<ui::UsageAlertNotifier>(rig.store(), notifier, [] { return platform::settings(); }, actions);
    platform::settings()->setValue(QLatin1String(kUsageAlertsKey), s.alertsOn);
    notifier.sent.clear();
    ASSERT_TRUE(poll(s.state));
    for (const auto& click : std::exchange(notifier.onActions, {})) click(QStringLiteral("default"));
    EXPECT_EQ(notifier.sent, s.sent);
  }
  // Settings that cannot be written (a full disk) may forget the memory: said once.
  const QString ini = platform::settings()->fileName();
  ASSERT_TRUE(QFile::remove(ini) && QDir().mkpath(ini));
  const test::LogCapture logs;
  for (const char* state : {"normal", "critical", "expired"}) EXPECT_TRUE(poll(state));
  EXPECT_EQ(logs.of(QtWarningMsg).filter(QStringLiteral("Couldn't save the usage-alert memory to ")).size(), 1);
}

TEST(MessageRouter, NotificationWithServerAndTrayElseWindow) {
  const QString text = QStringLiteral("Couldn't change <b>autostart</b>.");
  for (const auto& [serverUp, trayIcon] : {std::pair{true, true}, {true, false}, {false, true}}) {
    SCOPED_TRACE(testing::Message() << "server " << serverUp << " tray " << trayIcon);
    RecordingNotifier notifier;
    notifier.present = serverUp;
    ui::MessageRouter router(notifier, [&] { return trayIcon; }, [] { return nullptr; });
    router.show(text);
    const bool notified = serverUp && trayIcon;
    EXPECT_EQ(notifier.bodies, notified ? QStringList{text} : QStringList{});
    ASSERT_EQ(router.lastWindow() != nullptr, !notified);
    if (!notified) {
      EXPECT_EQ(router.lastWindow()->textFormat(), Qt::PlainText);
      EXPECT_EQ(router.lastWindow()->text(), text);
    }
    delete router.lastWindow();
  }
}

// One connection per name and bus: each test has a bus of its own.
QDBusConnection privateBus(const char* name) {
  const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
  return QDBusConnection::connectToBus(address, QLatin1String(name) + address);
}

TEST(DesktopNotifier, SendsEscapedFollowsActionsAndHandsBackWhenTheServerLeaves) {
  test::PrivateKeyring bus;
  ASSERT_TRUE(bus.start(test::PrivateKeyring::Daemon::none)) << bus.error().toStdString();
  const QString service = QStringLiteral("org.freedesktop.Notifications"), path = QStringLiteral("/org/freedesktop/Notifications");
  StandInServer server;
  ASSERT_TRUE(privateBus("stand-in").registerObject(path, &server, QDBusConnection::ExportAllSlots) &&
              privateBus("stand-in").registerService(service));
  platform::DesktopNotifier notifier(privateBus("app"));
  const platform::Notifier::Message message{QStringLiteral("Cursor at 90%"), QStringLiteral("<b>$18</b>"), 2,
                                            {{QStringLiteral("default"), QStringLiteral("Open")}}};
  QString picked;
  bool undelivered = false;
  notifier.send(message, [&](const QString& key) { picked = key; }, [&] { undelivered = true; });
  ASSERT_TRUE(test::waitUntil([&] { return !server.calls.isEmpty(); }));
  EXPECT_EQ(server.calls, QStringList{QStringLiteral("Cursor at 90%|2|&lt;b&gt;$18&lt;/b&gt;")});  // it reads markup
  // Sent after the reply, on the same connection: the notifier knows the id by then.
  QDBusMessage clicked = QDBusMessage::createSignal(path, service, QStringLiteral("ActionInvoked"));
  clicked << uint(1) << QStringLiteral("default");
  privateBus("stand-in").send(clicked);
  EXPECT_TRUE(test::waitUntil([&] { return picked == QLatin1String("default"); }));

  // The server leaves: the next message is handed back at once.
  ASSERT_TRUE(privateBus("stand-in").unregisterService(service));
  ASSERT_TRUE(test::waitUntil([&] { return notifier.serverPresent() == false; }));
  notifier.send(message, {}, [&] { undelivered = true; });
  EXPECT_TRUE(undelivered);
  EXPECT_EQ(server.calls.size(), 1);
}

}  // namespace
}  // namespace qb

#include "test_notifications.moc"
