// Monitors and the store against the loopback fakes, on real (shortened) timers.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <atomic>

#include "fake_http_server.h"
#include "fake_services.h"
#include "monitoring/providers_store.h"
#include "monitoring/session_store.h"
#include "platform/settings.h"
#include "providers/web_origin.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::RecordedRequest;
using fake::Reply;
using Kind = UsageMonitor::State::Kind;

constexpr int kMsPerSecond = 10;  // a 15-second floor becomes 150 ms

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UsageMonitor::setMillisecondsPerSecondForTesting(kMsPerSecond);
    for (Provider p : allProviders) setConfiguredOrigin(p, QUrl(server.origin()));
    for (Provider p : allProviders) fake::installServiceRoutes(p, server);
  }
  void TearDown() override {
    UsageMonitor::setMillisecondsPerSecondForTesting(1000);
    for (Provider p : allProviders) setConfiguredOrigin(p, defaultOrigin(p));
  }

  // Usage answers whose percentage counts the requests; the first can be held back.
  void countingUsage(int firstDelayMs, int firstStatus = 200) {
    server.route("/api/usage-summary", [this, firstDelayMs, firstStatus](const RecordedRequest&) {
      const int n = ++usageCalls;
      Reply r = Reply::json(
          QStringLiteral(R"({"individualUsage":{"plan":{"totalPercentUsed":%1}}})").arg(n * 11).toStdString(),
          n == 1 ? firstStatus : 200);
      if (n == 1) r.delayMs = firstDelayMs;
      return r;
    });
  }

  static std::optional<double> percent(const UsageMonitor& m) {
    return m.state().snapshot ? m.state().snapshot->usagePercent() : std::nullopt;
  }

  test::TempHome home;
  FakeHttpServer server;
  std::atomic<int> usageCalls{0};
  const QString cursorSession = QStringLiteral("WorkosCursorSessionToken=t");
};

TEST_F(MonitorTest, ConstructionReadsTheStoreButStartsNothing) {
  UsageMonitor none(Provider::cursor);
  EXPECT_EQ(none.state().kind, Kind::signedOut);
  SessionStore::save(cursorSession, Provider::cursor);
  UsageMonitor stored(Provider::cursor);
  EXPECT_EQ(stored.state().kind, Kind::unknown);
  EXPECT_FALSE(stored.isPolling());
  EXPECT_EQ(stored.id(), QStringLiteral("cursor"));
  test::spin(50);
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(MonitorTest, TimerPeriodHasAFifteenSecondFloorAndPolls) {
  UsageMonitor m(Provider::cursor);
  for (const auto& [seconds, expected] : {std::pair{0, 15}, {5, 15}, {15, 15}, {-3, 15}, {16, 16}, {60, 60}}) {
    m.setRefreshIntervalSeconds(seconds);
    m.scheduleTimer();
    EXPECT_EQ(m.timerPeriodMs(), expected * kMsPerSecond) << seconds;
  }
  SessionStore::save(cursorSession, Provider::cursor);
  m.setRefreshIntervalSeconds(15);
  m.scheduleTimer();
  ASSERT_TRUE(test::waitUntil([&] { return server.count("/api/usage-summary") >= 2; }, 3000));
  EXPECT_EQ(m.state().kind, Kind::loaded);
  EXPECT_TRUE(m.lastUpdated());
}

TEST_F(MonitorTest, ASupersededFetchRecordsNothing) {
  SessionStore::save(cursorSession, Provider::cursor);
  for (int firstStatus : {200, 500}) {
    usageCalls = 0;
    countingUsage(400, firstStatus);
    UsageMonitor m(Provider::cursor);
    int finished = 0;
    m.refresh([&] { ++finished; });
    ASSERT_TRUE(test::waitUntil([&] { return usageCalls == 1; }));
    m.refresh([&] { ++finished; });
    ASSERT_TRUE(test::waitUntil([&] { return finished == 2; }));
    EXPECT_EQ(m.state().kind, Kind::loaded);
    EXPECT_EQ(percent(m), 22);
    test::spin(500);  // the held-back answer has come and gone
    EXPECT_EQ(m.state().kind, Kind::loaded) << m.state().error.toStdString();
    EXPECT_EQ(percent(m), 22);
  }
}

TEST_F(MonitorTest, SignOutDuringAFetchStaysSignedOut) {
  SessionStore::save(cursorSession, Provider::cursor);
  countingUsage(300);
  UsageMonitor m(Provider::cursor);
  m.refresh();
  m.scheduleTimer();
  m.refresh();  // leaves a loaded state and lastUpdated behind first
  ASSERT_TRUE(test::waitUntil([&] { return m.state().kind == Kind::loaded; }));
  usageCalls = 0;
  m.refresh();
  ASSERT_TRUE(test::waitUntil([&] { return usageCalls == 1; }));
  m.signOut();
  EXPECT_EQ(m.state().kind, Kind::signedOut);
  EXPECT_FALSE(m.lastUpdated());
  EXPECT_FALSE(m.isPolling());
  EXPECT_FALSE(SessionStore::load(Provider::cursor));
  test::spin(450);
  EXPECT_EQ(m.state().kind, Kind::signedOut) << m.state().error.toStdString();
}

TEST_F(MonitorTest, OutcomesBecomeStates) {
  SessionStore::save(cursorSession, Provider::cursor);
  UsageMonitor m(Provider::cursor);

  server.route("/api/usage-summary", Reply::json(R"({"individualUsage":{"plan":{"apiPercentUsed":7}}})"));
  m.beginAfterSignIn();
  EXPECT_EQ(m.state().kind, Kind::loading);
  ASSERT_TRUE(test::waitUntil([&] { return m.state().kind != Kind::loading; }));
  EXPECT_EQ(percent(m), 7);
  EXPECT_TRUE(m.isPolling());
  const auto firstSuccess = m.lastUpdated();
  ASSERT_TRUE(firstSuccess);

  // A failure replaces the snapshot but keeps the time of the last success.
  server.route("/api/usage-summary", Reply::text("maintenance", 503));
  bool done = false;
  m.refresh([&] { done = true; });
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  EXPECT_EQ(m.state().kind, Kind::error);
  EXPECT_EQ(m.state().error, QStringLiteral("HTTP 503: maintenance"));
  EXPECT_EQ(m.lastUpdated(), firstSuccess);

  // A refused session shows as signed out but stays stored for the next poll.
  server.route("/api/auth/me", Reply::json("{}", 401));
  done = false;
  m.refresh([&] { done = true; });
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  EXPECT_EQ(m.state().kind, Kind::signedOut);
  EXPECT_TRUE(SessionStore::load(Provider::cursor));
}

TEST_F(MonitorTest, ADestroyedMonitorIgnoresItsLateAnswer) {
  SessionStore::save(cursorSession, Provider::cursor);
  countingUsage(300);
  bool finished = false;
  {
    UsageMonitor m(Provider::cursor);
    m.refresh([&] { finished = true; });
    ASSERT_TRUE(test::waitUntil([&] { return usageCalls == 1; }));
  }
  test::spin(400);
  EXPECT_FALSE(finished);
}

TEST(PrimaryRule, PicksTheFigureTheTrayShows) {
  using State = UsageMonitor::State;
  auto loaded = [](std::optional<double> total, std::optional<double> api = std::nullopt) {
    UsageSnapshot s;
    s.totalPercentUsed = total;
    s.apiPercentUsed = api;
    return State::loaded(s);
  };
  const State out = State::of(Kind::signedOut);
  const State err = State::failed(QStringLiteral("x"));
  struct Case {
    Provider preferred;
    std::array<State, 4> states;
    Provider expected;
  } cases[] = {
      {Provider::cursor, {loaded({}), out, loaded(40), loaded(70)}, Provider::claude},
      {Provider::cursor, {out, out, loaded(50), loaded(50)}, Provider::codex},
      {Provider::claude, {loaded(90), out, out, loaded({}, 3)}, Provider::claude},
      {Provider::cursor, {err, loaded({}), loaded({}), out}, Provider::windsurf},
      {Provider::codex, {err, out, out, State::of(Kind::loading)}, Provider::codex},
      {Provider::windsurf, {loaded(10), err, out, out}, Provider::cursor},
  };
  for (const auto& c : cases) EXPECT_EQ(choosePrimary(c.preferred, c.states), c.expected);
}

class StoreTest : public MonitorTest {};

TEST_F(StoreTest, PreferencesAndTimersAtConstruction) {
  {
    ProvidersStore store;
    EXPECT_EQ(store.refreshIntervalSeconds(), 60);
    EXPECT_EQ(store.preferredPrimary(), Provider::cursor);
    for (Provider p : allProviders) {
      EXPECT_EQ(store.monitor(p)->provider(), p);
      EXPECT_EQ(store.monitor(p)->timerPeriodMs(), 60 * kMsPerSecond);
      EXPECT_TRUE(store.monitor(p)->isPolling());
    }
    EXPECT_FALSE(platform::settings()->contains(QLatin1String(ProvidersStore::kRefreshIntervalKey)));
  }
  platform::settings()->setValue(QLatin1String(ProvidersStore::kRefreshIntervalKey), 5);
  platform::settings()->setValue(QLatin1String(ProvidersStore::kPreferredPrimaryKey), QStringLiteral("claude"));
  {
    ProvidersStore store;
    EXPECT_EQ(store.refreshIntervalSeconds(), 5);
    EXPECT_EQ(store.monitor(Provider::codex)->timerPeriodMs(), 15 * kMsPerSecond);
    EXPECT_EQ(store.preferredPrimary(), Provider::claude);

    store.setRefreshIntervalSeconds(300);
    EXPECT_EQ(platform::settings()->value(QLatin1String(ProvidersStore::kRefreshIntervalKey)).toInt(), 300);
    for (const UsageMonitor* m : store.monitors()) EXPECT_EQ(m->timerPeriodMs(), 300 * kMsPerSecond);
    store.setPreferredPrimary(Provider::windsurf);
  }
  EXPECT_EQ(platform::settings()->value(QLatin1String(ProvidersStore::kPreferredPrimaryKey)).toString(),
            QStringLiteral("windsurf"));
  platform::settings()->setValue(QLatin1String(ProvidersStore::kPreferredPrimaryKey), QStringLiteral("Claud"));
  EXPECT_EQ(ProvidersStore().preferredPrimary(), Provider::cursor);
}

TEST_F(StoreTest, StartAllAndRefreshAllOnlyTouchConnectedServices) {
  SessionStore::save(QStringLiteral("__Secure-next-auth.session-token=c"), Provider::codex);
  SessionStore::save(cursorSession, Provider::cursor);
  ProvidersStore store;
  EXPECT_EQ(store.connectedProviders(), (QList<Provider>{Provider::cursor, Provider::codex}));
  SessionStore::remove(Provider::cursor);
  store.startAll();
  EXPECT_EQ(store.monitor(Provider::cursor)->state().kind, Kind::signedOut);
  ASSERT_TRUE(test::waitUntil([&] { return store.monitor(Provider::codex)->state().kind == Kind::loaded; }));
  EXPECT_EQ(server.requests().size(), 1u);

  Reply slow = Reply::json(R"({"user":{"email":"c@x.y"}})");
  slow.delayMs = 200;
  server.route("/api/auth/session", slow);
  server.clearRequests();
  bool done = false;
  store.refreshAll([&] { done = true; });
  EXPECT_FALSE(done);
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests().front().path, "/api/auth/session");
  EXPECT_EQ(store.monitor(Provider::codex)->state().snapshot->email, QStringLiteral("c@x.y"));
}

TEST_F(StoreTest, ConnectedCountsErrorsAndUnknownButNotSignedOut) {
  SessionStore::save(cursorSession, Provider::cursor);
  SessionStore::save(QStringLiteral("sessionKey=k"), Provider::claude);
  server.route("/api/usage-summary", Reply::text("", 500));
  ProvidersStore store;
  bool done = false;
  store.monitor(Provider::cursor)->refresh([&] { done = true; });
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  EXPECT_EQ(store.monitor(Provider::cursor)->state().kind, Kind::error);
  EXPECT_EQ(store.monitor(Provider::claude)->state().kind, Kind::unknown);
  EXPECT_EQ(store.connectedProviders(), (QList<Provider>{Provider::cursor, Provider::claude}));
}

TEST_F(StoreTest, MonitorChangesAreReannouncedOnTheNextTurn) {
  SessionStore::save(cursorSession, Provider::cursor);
  ProvidersStore store;
  QSignalSpy spy(&store, &ProvidersStore::changed);
  int seenConnected = -1;
  QObject::connect(&store, &ProvidersStore::changed, &store,
                   [&] { seenConnected = static_cast<int>(store.connectedProviders().size()); });
  store.monitor(Provider::cursor)->signOut();
  EXPECT_EQ(spy.count(), 0);
  test::spin(20);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(seenConnected, 0);
}

}  // namespace
}  // namespace qb
