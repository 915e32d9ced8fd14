#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace qb::platform {
class Notifier;
}

namespace qb::ui {

// Where a message to the user goes: a desktop notification while a notification server and
// a tray icon exist, else a small window of the app. Always exactly one of the two.
class MessageRouter : public QObject {
  Q_OBJECT
 public:
  MessageRouter(platform::Notifier& notifier, std::function<bool()> hasTrayIcon,
                std::function<QWidget*()> hostWindow, QObject* parent = nullptr);

  void show(const QString& text);
  QMessageBox* lastWindow() const { return lastWindow_; }

 private:
  void showWindow(const QString& text);

  platform::Notifier& notifier_;
  std::function<bool()> hasTrayIcon_;
  std::function<QWidget*()> hostWindow_;
  QPointer<QMessageBox> lastWindow_;
};

}  // namespace qb::ui
