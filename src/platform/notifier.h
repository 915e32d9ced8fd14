#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <utility>

namespace qb::platform {

// Sends desktop notifications: DesktopNotifier on the session bus in the app, a recording
// stand-in in tests.
class Notifier {
 public:
  struct Message {
    QString summary;
    QString body;
    int urgency = 1;  // 0 low, 1 normal, 2 critical
    QList<std::pair<QString, QString>> actions;  // key, label
  };
  // The action key the user picked ("default" is a click on the notification itself).
  using OnAction = std::function<void(const QString& key)>;

  virtual ~Notifier() = default;

  // Sends the message, or calls `undelivered` when no server takes it. Never blocks.
  virtual void send(const Message& message, OnAction onAction, std::function<void()> undelivered) = 0;
};

}  // namespace qb::platform
