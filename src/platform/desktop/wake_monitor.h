#pragma once

#include <QObject>

namespace qb::platform {

// Announces that the machine woke from sleep (logind's PrepareForSleep(false) on the system
// bus). Without a system bus it simply never fires.
class WakeMonitor : public QObject {
  Q_OBJECT
 public:
  explicit WakeMonitor(QObject* parent = nullptr);

 Q_SIGNALS:
  void woke();

 private Q_SLOTS:
  void onPrepareForSleep(bool sleeping);
};

}  // namespace qb::platform
