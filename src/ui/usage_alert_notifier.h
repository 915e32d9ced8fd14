#pragma once

#include <QObject>
#include <QSettings>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "present/usage_alerts.h"
#include "providers/provider.h"

namespace qb {
class ProvidersStore;
class UsageMonitor;
namespace platform {
class Notifier;
}
}  // namespace qb

namespace qb::ui {

// Follows every monitor and sends the usage alerts the rule in present/usage_alerts asks
// for, remembering what was told in the settings.
class UsageAlertNotifier : public QObject {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void()> openPopover;
    std::function<void(Provider)> signIn;
  };
  UsageAlertNotifier(ProvidersStore& store, platform::Notifier& notifier,
                     std::function<std::unique_ptr<QSettings>()> settings, Actions actions,
                     QObject* parent = nullptr);

 private:
  void consider(const UsageMonitor& monitor, bool refused);

  platform::Notifier& notifier_;
  std::function<std::unique_ptr<QSettings>()> settings_;
  Actions actions_;
  std::array<std::optional<AlertMemory>, 4> seen_;  // what this object last read or wrote
};

}  // namespace qb::ui
