#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "monitoring/session_store.h"
#include "providers/provider_api.h"

namespace qb {

// Watches one service: polls its usage with the stored session and publishes the outcome.
class UsageMonitor : public QObject {
  Q_OBJECT

 public:
  struct State {
    enum class Kind { loaded, error, unknown, signedOut, loading };
    Kind kind = Kind::unknown;
    std::optional<UsageSnapshot> snapshot;  // loaded only
    QString error;                          // error only

    static State loaded(UsageSnapshot s) { return {Kind::loaded, std::move(s), {}}; }
    static State failed(QString text) { return {Kind::error, std::nullopt, std::move(text)}; }
    static State of(Kind k) { return {k, std::nullopt, {}}; }
  };

  explicit UsageMonitor(Provider provider, QObject* parent = nullptr);
  ~UsageMonitor() override;

  Provider provider() const { return provider_; }
  QString id() const { return rawValue(provider_); }
  const State& state() const { return state_; }
  const std::optional<QDateTime>& lastUpdated() const { return lastUpdated_; }

  int refreshIntervalSeconds() const { return refreshIntervalSeconds_; }
  void setRefreshIntervalSeconds(int seconds) { refreshIntervalSeconds_ = seconds; }

  // Fetches now, superseding a running fetch; `finished` runs once the fetch that ends up
  // current has ended (this one, or a later refresh that superseded it).
  void refresh(std::function<void()> finished = {});
  void beginAfterSignIn();
  // (Re)starts the poll timer: the interval, but never under 15 seconds.
  void scheduleTimer();
  void stopPolling();
  // Forgets the stored session (every copy) and stops polling; says whether it is gone.
  SessionStore::Outcome signOut();

  // Only to ask `state` from outside the monitor (the store's start-up).
  void markSignedOut() { setState(State::of(State::Kind::signedOut)); }

  bool isPolling() const { return timer_.isActive(); }
  int timerPeriodMs() const { return timer_.interval(); }

  // Test hook: how many milliseconds a "second" of the poll period lasts (default 1000).
  static void setMillisecondsPerSecondForTesting(int ms);
  // The timer period: at least 15 seconds and at most a day, computed without overflow.
  static int periodMs(qint64 seconds);

 Q_SIGNALS:
  void changed();
  // The stored session was turned down ("Not signed in."); the state is signed out.
  void sessionRefused();

 private:
  void setState(State s);
  void pollTick();
  void finishWaiters();

  const Provider provider_;
  const std::unique_ptr<ProviderAPI> api_;
  State state_;
  std::optional<QDateTime> lastUpdated_;
  int refreshIntervalSeconds_ = 60;
  QTimer timer_;
  CallHandle inFlight_;
  // Bumped whenever the running fetch stops being the current one; a fetch whose number
  // is no longer current records nothing.
  quint64 generation_ = 0;
  bool fetching_ = false;
  // Callers of refresh() waiting for the current fetch to end.
  std::vector<std::function<void()>> waiters_;
  bool destroying_ = false;
};

const char* stateName(UsageMonitor::State::Kind kind);

}  // namespace qb
