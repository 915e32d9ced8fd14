#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <optional>

#include "platform/notifier.h"

class QDBusServiceWatcher;

namespace qb::platform {

// Sends desktop notifications to org.freedesktop.Notifications on a bus (the session bus
// by default) without ever blocking: whether a server is there is asked once, then
// followed through owner changes.
class DesktopNotifier : public QObject, public Notifier {
  Q_OBJECT
 public:
  explicit DesktopNotifier(QObject* parent = nullptr);
  explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

  // Whether a server owns the name now; nothing until the first answer came.
  std::optional<bool> serverPresent() const { return present_; }

  // No server takes it when there is none on the bus or the call failed. Nothing is sent
  // while there is no server, and that is logged once.
  void send(const Message& message, OnAction onAction, std::function<void()> undelivered) override;

 private Q_SLOTS:
  void onActionInvoked(uint id, const QString& key);
  void onClosed(uint id, uint reason);

 private:
  struct Queued {
    Message message;
    OnAction onAction;
    std::function<void()> undelivered;
  };
  void setPresent(bool present);
  void deliver(const Queued& q);
  void noServer(const std::function<void()>& undelivered);

  QDBusConnection bus_;
  std::optional<bool> present_;
  std::optional<bool> bodyMarkup_;  // the server reads markup in bodies: ours is escaped
  QList<Queued> waiting_;  // sent before the first answer about the server
  QHash<uint, OnAction> open_;
  bool loggedAbsent_ = false;
};

}  // namespace qb::platform
