#include "platform/desktop/desktop_notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QPointer>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotify, "com.orvane.quotabar.notify")

namespace qb::platform {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kCallTimeoutMs = 5000;
}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
  if (!bus_.isConnected()) {
    present_ = false;
    return;
  }
  auto* watcher = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { setPresent(!owner.isEmpty()); });
  bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
               SLOT(onActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
               SLOT(onClosed(uint, uint)));
  // Asked without waiting; messages sent before the answer wait for it.
  QDBusMessage ask = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
  ask << kService;
  auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kCallTimeoutMs), this);
  connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    const QDBusPendingReply<bool> reply = *w;
    if (!present_) setPresent(!reply.isError() && reply.value());
  });
}

void DesktopNotifier::setPresent(bool present) {
  present_ = present;
  bodyMarkup_.reset();  // another server may read bodies otherwise
  if (present) loggedAbsent_ = false;
  for (const Queued& q : std::exchange(waiting_, {})) deliver(q);
}

void DesktopNotifier::send(const Message& message, OnAction onAction, std::function<void()> undelivered) {
  Queued q{message, std::move(onAction), std::move(undelivered)};
  if (!present_) {
    waiting_.append(std::move(q));
    return;
  }
  deliver(q);
}

void DesktopNotifier::noServer(const std::function<void()>& undelivered) {
  if (!loggedAbsent_) {
    qCInfo(lcNotify) << "No notification server on the session bus; notifications are not sent.";
    loggedAbsent_ = true;
  }
  if (undelivered) undelivered();
}

void DesktopNotifier::deliver(const Queued& q) {
  if (!*present_) return noServer(q.undelivered);
  if (!bodyMarkup_) {
    // A body may carry outside text (an error page's words): a server that reads markup
    // gets it escaped, one that does not gets it as it is.
    QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("GetCapabilities"));
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, q](QDBusPendingCallWatcher* w) {
      w->deleteLater();
      const QDBusPendingReply<QStringList> reply = *w;
      if (!bodyMarkup_) bodyMarkup_ = reply.isError() || reply.value().contains(QStringLiteral("body-markup"));
      if (present_.value_or(false)) deliver(q);
      else noServer(q.undelivered);
    });
    return;
  }
  QStringList actions;
  for (const auto& [key, label] : q.message.actions) actions << key << label;
  QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(q.message.urgency))},
                    {QStringLiteral("desktop-entry"), QStringLiteral("com.orvane.quotabar")}};
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  call << QStringLiteral("Quotabar") << uint(0) << QStringLiteral("quotabar") << q.message.summary
       << (*bodyMarkup_ ? q.message.body.toHtmlEscaped() : q.message.body) << actions << hints << int(-1);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, q](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    const QDBusPendingReply<uint> reply = *w;
    if (reply.isError()) {
      qCWarning(lcNotify).noquote() << "The notification server refused a notification:" << reply.error().name();
      if (q.undelivered) q.undelivered();
      return;
    }
    if (q.onAction) open_.insert(reply.value(), q.onAction);
  });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& key) {
  const auto it = open_.constFind(id);
  if (it != open_.constEnd() && *it) (*it)(key);
}

void DesktopNotifier::onClosed(uint id, uint) { open_.remove(id); }

}  // namespace qb::platform
