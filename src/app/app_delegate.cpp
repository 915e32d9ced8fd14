#include "app/app_delegate.h"

#include <QTimer>

#include "monitoring/session_store.h"
#include "platform/bundle.h"
#include "platform/desktop/wake_monitor.h"
#include "ui/status_bar_controller.h"
#include "updater/relauncher.h"
#include "updater/update_schedule.h"
#include "updater/updater.h"

namespace qb {

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
  if (!options_.now) options_.now = [] { return QDateTime::currentDateTimeUtc(); };
  if (!options_.makeUpdater) options_.makeUpdater = [] { return Updater::create(); };
  if (!options_.makeStatusBar)
    options_.makeStatusBar = [](ProvidersStore& store, Updater* updater) {
      return std::make_unique<ui::StatusBarController>(store, updater);
    };
  // What an interrupted update or session write left goes before anything else starts.
  removeSwapLeftovers(platform::runningBundlePath());
  SessionStore::removeStaleLeftovers();
  store_ = std::make_unique<ProvidersStore>();
  updater_ = options_.makeUpdater();
}

// The tray goes first: its windows refer to the store and the updater.
AppDelegate::~AppDelegate() { statusBar_.reset(); }

void AppDelegate::applicationDidFinishLaunching() {
  statusBar_ = options_.makeStatusBar(*store_, updater_.get());
  store_->startAll();
  if (store_->connectedProviders().isEmpty()) {
    QPointer<AppDelegate> self(this);
    QTimer::singleShot(kOnboardingDelayMs, this, [self] {
      if (self && self->statusBar_) self->statusBar_->showOnboarding();
    });
  }
  if (updater_) scheduleUpdateChecks();
}

void AppDelegate::scheduleUpdateChecks() {
  QPointer<Updater> updater(updater_.get());
  const qint64 delay = firstUpdateCheckDelaySeconds(updater_->lastChecked(), options_.now());
  firstCheck_ = new QTimer(this);
  firstCheck_->setSingleShot(true);
  firstCheck_->setTimerType(Qt::VeryCoarseTimer);
  connect(firstCheck_, &QTimer::timeout, this, [updater] {
    if (updater) updater->check(true);
  });
  firstCheck_->start(static_cast<int>(std::min<qint64>(delay, 24 * 3600) * 1000));

  updateCheckTimer_ = new QTimer(this);
  updateCheckTimer_->setTimerType(Qt::VeryCoarseTimer);
  connect(updateCheckTimer_, &QTimer::timeout, this, [updater] {
    if (updater) updater->check(true);
  });
  updateCheckTimer_->start(static_cast<int>(kUpdateCheckPeriodSeconds * 1000));

  if (options_.watchWake) {
    wakeObserver_ = new platform::WakeMonitor(this);
    connect(wakeObserver_, &platform::WakeMonitor::woke, this, &AppDelegate::handleWake);
  }
}

void AppDelegate::handleWake() {
  if (updater_ && updater_->shouldAutoCheck()) updater_->check(true);
}

}  // namespace qb
