#include "monitoring/providers_store.h"

#include <QPointer>
#include <memory>

#include "monitoring/session_store.h"
#include "platform/settings.h"

namespace qb {

namespace {

// The figure a service contributes to the primary choice: loaded with a percentage.
std::optional<double> figure(const UsageMonitor::State& s) {
  if (s.kind != UsageMonitor::State::Kind::loaded || !s.snapshot) return std::nullopt;
  return s.snapshot->usagePercent();
}

}  // namespace

Provider choosePrimary(Provider preferred, const std::array<UsageMonitor::State, 4>& states) {
  if (figure(states[static_cast<int>(preferred)])) return preferred;
  std::optional<Provider> best, firstLoaded;
  std::optional<double> bestFigure;
  for (Provider p : allProviders) {
    const auto& s = states[static_cast<int>(p)];
    if (s.kind != UsageMonitor::State::Kind::loaded) continue;
    if (!firstLoaded) firstLoaded = p;
    // Only a strictly greater figure replaces the best, so ties go to the earlier service.
    if (const auto f = figure(s); f && (!bestFigure || *f > *bestFigure)) {
      best = p;
      bestFigure = f;
    }
  }
  return best.value_or(firstLoaded.value_or(preferred));
}

ProvidersStore::ProvidersStore(Polling polling, QObject* parent)
    : QObject(parent), polling_(polling) {
  const auto prefs = platform::settings();
  const int stored = prefs->value(QLatin1String(kRefreshIntervalKey)).toInt();
  refreshIntervalSeconds_ = stored == 0 ? 60 : stored;
  preferredPrimary_ = providerFromRaw(prefs->value(QLatin1String(kPreferredPrimaryKey)).toString())
                          .value_or(Provider::cursor);
  for (Provider p : allProviders) {
    auto* m = new UsageMonitor(p, this);
    monitors_[static_cast<int>(p)] = m;
    connect(m, &UsageMonitor::changed, this, &ProvidersStore::changed, Qt::QueuedConnection);
  }
  rescheduleAll();
}

ProvidersStore::~ProvidersStore() = default;

void ProvidersStore::keepHistory() {
  if (history_ || qEnvironmentVariable("QUOTABAR_HISTORY") == QLatin1String("off")) return;
  const std::optional<QString> path = historyFilePath();
  if (!path) return;
  history_ = std::make_unique<UsageHistory>(*path);
  connect(history_.get(), &UsageHistory::changed, this, &ProvidersStore::changed);
  for (UsageMonitor* m : monitors_) {
    connect(m, &UsageMonitor::changed, history_.get(), [this, m] {
      // Each successful fetch once: it is the one that set a new lastUpdated.
      const auto& at = m->lastUpdated();
      std::optional<QDateTime>& recorded = recordedAt_[static_cast<int>(m->provider())];
      if (m->state().kind != UsageMonitor::State::Kind::loaded || !m->state().snapshot || !at || at == recorded)
        return;
      recorded = at;
      if (const auto sample = usageSample(*m->state().snapshot, *at)) history_->record(*sample);
    });
  }
}

QList<UsageSample> ProvidersStore::recordedCycle(Provider p) const {
  return history_ ? history_->cycle(p) : QList<UsageSample>();
}

void ProvidersStore::rescheduleAll() {
  for (UsageMonitor* m : monitors_) {
    m->setRefreshIntervalSeconds(refreshIntervalSeconds_);
    if (polling_ == Polling::on) m->scheduleTimer();
  }
}

void ProvidersStore::setPreferredPrimary(Provider p) {
  preferredPrimary_ = p;
  platform::settings()->setValue(QLatin1String(kPreferredPrimaryKey), rawValue(p));
  Q_EMIT changed();
}

void ProvidersStore::setRefreshIntervalSeconds(int seconds) {
  refreshIntervalSeconds_ = seconds;
  platform::settings()->setValue(QLatin1String(kRefreshIntervalKey), seconds);
  rescheduleAll();
  Q_EMIT changed();
}

UsageMonitor* ProvidersStore::primaryMonitor() const {
  std::array<UsageMonitor::State, 4> states;
  for (Provider p : allProviders) states[static_cast<int>(p)] = monitor(p)->state();
  return monitor(choosePrimary(preferredPrimary_, states));
}

QList<Provider> ProvidersStore::connectedProviders() const {
  QList<Provider> list;
  for (const UsageMonitor* m : monitors_) {
    if (m->state().kind != UsageMonitor::State::Kind::signedOut) list.append(m->provider());
  }
  return list;
}

void ProvidersStore::startAll() {
  for (UsageMonitor* m : monitors_) {
    if (SessionStore::load(m->provider())) {
      m->refresh();
      if (polling_ == Polling::on) m->scheduleTimer();
    } else {
      m->markSignedOut();
    }
  }
}

void ProvidersStore::refreshAll(std::function<void()> done) {
  QList<UsageMonitor*> due;
  for (UsageMonitor* m : monitors_) {
    if (m->state().kind != UsageMonitor::State::Kind::signedOut) due.append(m);
  }
  QPointer<ProvidersStore> self(this);
  const auto finish = [self, done] {
    if (!self || !done) return;
    if (self->history_) {
      self->history_->whenIdle(done);
    } else {
      done();
    }
  };
  if (due.isEmpty()) return finish();
  auto remaining = std::make_shared<int>(static_cast<int>(due.size()));
  for (UsageMonitor* m : due) {
    m->refresh([remaining, finish] {
      if (--*remaining == 0) finish();
    });
  }
}

}  // namespace qb
