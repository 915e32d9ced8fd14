#include "monitoring/usage_monitor.h"

#include <QPointer>
#include <algorithm>
#include <utility>

#include "monitoring/session_store.h"

namespace qb {

namespace {
int msPerSecond = 1000;
}

void UsageMonitor::setMillisecondsPerSecondForTesting(int ms) { msPerSecond = ms; }

int UsageMonitor::periodMs(qint64 seconds) {
  return static_cast<int>(std::clamp<qint64>(seconds, 15, 24 * 60 * 60) * msPerSecond);
}

UsageMonitor::UsageMonitor(Provider provider, QObject* parent)
    : QObject(parent), provider_(provider), api_(makeAPI(provider)) {
  timer_.setSingleShot(false);
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &UsageMonitor::pollTick);
  if (!SessionStore::load(provider_)) state_ = State::of(State::Kind::signedOut);
}

UsageMonitor::~UsageMonitor() {
  destroying_ = true;
  ++generation_;
  if (inFlight_) inFlight_->cancel();
}

void UsageMonitor::setState(State s) {
  state_ = std::move(s);
  Q_EMIT changed();
}

// A service slower than the poll period still loads: a tick lets a running fetch finish.
void UsageMonitor::pollTick() {
  if (!fetching_) refresh();
}

void UsageMonitor::finishWaiters() {
  const auto waiters = std::exchange(waiters_, {});
  for (const auto& finished : waiters) finished();
}

void UsageMonitor::refresh(std::function<void()> finished) {
  const std::optional<QString> session = SessionStore::load(provider_);
  if (!session) {
    setState(State::of(State::Kind::signedOut));
    if (finished) finished();
    return;
  }
  const quint64 generation = ++generation_;
  if (finished) waiters_.push_back(std::move(finished));
  fetching_ = true;
  if (inFlight_) inFlight_->cancel();

  QPointer<UsageMonitor> self(this);
  inFlight_ = api_->fetchUsage(*session, [self, generation](const ApiResult<UsageSnapshot>& r) {
    // A superseded, stopped or signed-out fetch records nothing, success or failure; its
    // waiters wait for the fetch that superseded it.
    if (!self || self->destroying_ || generation != self->generation_) return;
    self->fetching_ = false;
    if (r) {
      self->state_ = State::loaded(r.value());
      self->lastUpdated_ = QDateTime::currentDateTimeUtc();
      Q_EMIT self->changed();
    } else if (r.error().kind() == ProviderAPIError::Kind::notAuthenticated) {
      self->setState(State::of(State::Kind::signedOut));
      if (self) Q_EMIT self->sessionRefused();
    } else {
      self->setState(State::failed(r.error().description()));
    }
    self->finishWaiters();
  });
}

void UsageMonitor::beginAfterSignIn() {
  setState(State::of(State::Kind::loading));
  QPointer<UsageMonitor> self(this);
  refresh([self] {
    if (self) self->scheduleTimer();
  });
}

void UsageMonitor::scheduleTimer() {
  timer_.stop();
  timer_.start(periodMs(refreshIntervalSeconds_));
}

void UsageMonitor::stopPolling() {
  timer_.stop();
  ++generation_;
  fetching_ = false;
  if (inFlight_) inFlight_->cancel();
  finishWaiters();
}

SessionStore::Outcome UsageMonitor::signOut() {
  SessionStore::Outcome outcome = SessionStore::removeChecked(provider_);
  stopPolling();
  state_ = State::of(State::Kind::signedOut);
  lastUpdated_.reset();
  Q_EMIT changed();
  return outcome;
}

const char* stateName(UsageMonitor::State::Kind kind) {
  switch (kind) {
    case UsageMonitor::State::Kind::loaded: return "loaded";
    case UsageMonitor::State::Kind::error: return "error";
    case UsageMonitor::State::Kind::unknown: return "unknown";
    case UsageMonitor::State::Kind::signedOut: return "signedOut";
    case UsageMonitor::State::Kind::loading: return "loading";
  }
  return "unknown";
}

}  // namespace qb
