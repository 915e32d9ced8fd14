#pragma once

#include <QList>
#include <QObject>
#include <array>
#include <functional>

#include "monitoring/usage_history.h"
#include "monitoring/usage_monitor.h"

namespace qb {

// The app's model: one monitor per service and the two preferences. Any monitor change is
// re-announced as `changed` on the next event-loop turn.
// The primary rule: the preferred service when it has a figure; else the loaded service
// with the largest figure (ties to the earlier); else the first loaded; else the preferred.
Provider choosePrimary(Provider preferred, const std::array<UsageMonitor::State, 4>& states);

class ProvidersStore : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kPreferredPrimaryKey = "Quotabar.preferredPrimary";
  // Named as the first versions wrote it, so saved values still count (platform/settings.h).
  static constexpr const char* kRefreshIntervalKey = "refreshIntervalSeconds";

  // Commands start no poll timers: they refresh once and wait for the real outcomes.
  enum class Polling { on, off };

  explicit ProvidersStore(QObject* parent = nullptr) : ProvidersStore(Polling::on, parent) {}
  explicit ProvidersStore(Polling polling, QObject* parent = nullptr);
  ~ProvidersStore() override;

  const std::array<UsageMonitor*, 4>& monitors() const { return monitors_; }
  UsageMonitor* monitor(Provider p) const { return monitors_[static_cast<int>(p)]; }

  Provider preferredPrimary() const { return preferredPrimary_; }
  void setPreferredPrimary(Provider p);
  int refreshIntervalSeconds() const { return refreshIntervalSeconds_; }
  void setRefreshIntervalSeconds(int seconds);

  // The monitor the tray shows (see the rule in the .cpp).
  UsageMonitor* primaryMonitor() const;
  // Services whose monitor is anything but signed out, in catalogue order.
  QList<Provider> connectedProviders() const;

  // Launch: fetch every stored session at once; the others become signed out.
  void startAll();
  // Refreshes every connected monitor concurrently; `done` runs when all have finished
  // (and their figures are in the history, when it is kept).
  void refreshAll(std::function<void()> done = {});

  // Records every fetched figure in the usage history file and reads it back for the chart
  // and the forecast; QUOTABAR_HISTORY=off keeps none.
  void keepHistory();
  const UsageHistory* history() const { return history_.get(); }
  // The service's recorded samples of its latest billing cycle; none without a history.
  QList<UsageSample> recordedCycle(Provider p) const;

 Q_SIGNALS:
  void changed();

 private:
  void rescheduleAll();

  std::array<UsageMonitor*, 4> monitors_{};
  Provider preferredPrimary_ = Provider::cursor;
  int refreshIntervalSeconds_ = 60;
  Polling polling_ = Polling::on;
  std::unique_ptr<UsageHistory> history_;
  std::array<std::optional<QDateTime>, 4> recordedAt_;
};

}  // namespace qb
