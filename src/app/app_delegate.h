#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "monitoring/providers_store.h"

class QTimer;

namespace qb {
class Updater;
namespace platform {
class WakeMonitor;
}
namespace ui {
class StatusBarController;
struct StatusBarOptions;
}  // namespace ui

struct AppDelegateOptions {
  std::function<QDateTime()> now;
  // Makes the updater; nothing when the bundle is not configured for updates.
  std::function<std::unique_ptr<Updater>()> makeUpdater;
  std::function<std::unique_ptr<ui::StatusBarController>(ProvidersStore&, Updater*)> makeStatusBar;
  bool watchWake = true;
};

// Builds the app in its fixed order (model, updater, tray), starts the monitors, offers
// onboarding when nothing is connected and schedules the automatic update checks.
class AppDelegate : public QObject {
  Q_OBJECT
 public:
  using Options = AppDelegateOptions;
  explicit AppDelegate(Options options = {}, QObject* parent = nullptr);
  ~AppDelegate() override;

  void applicationDidFinishLaunching();

  ui::StatusBarController* statusBar() const { return statusBar_.get(); }
  ProvidersStore& store() { return *store_; }
  Updater* updater() const { return updater_.get(); }
  QTimer* updateCheckTimer() const { return updateCheckTimer_; }
  QTimer* firstCheckTimer() const { return firstCheck_; }

  // The wake rule: a silent check when the last one is old enough.
  void handleWake();

 private:
  void scheduleUpdateChecks();

  Options options_;
  std::unique_ptr<ui::StatusBarController> statusBar_;
  std::unique_ptr<ProvidersStore> store_;
  std::unique_ptr<Updater> updater_;
  QTimer* updateCheckTimer_ = nullptr;
  QTimer* firstCheck_ = nullptr;
  platform::WakeMonitor* wakeObserver_ = nullptr;
};

}  // namespace qb
