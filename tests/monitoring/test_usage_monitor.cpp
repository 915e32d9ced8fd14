// Monitors and the store against the loopback fakes, on real (shortened) timers.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <atomic>
#include <climits>

#include "fake_http_server.h"
#include "fake_services.h"
#include "monitoring/providers_store.h"
#include "platform/settings.h"
#include "present/view_fixtures.h"
#include "providers/service_origin.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;
using Kind = UsageMonitor::State::Kind;

constexpr int kMsPerSecond = 10;  // a 15-second floor becomes 150 ms

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UsageMonitor::setMillisecondsPerSecondForTesting(kMsPerSecond);
    for (Provider p : allProviders) {
      setConfiguredOrigin(p, QUrl(server.origin()));
      fake::installServiceRoutes(p, server);
    }
    SessionStore::save(QStringLiteral("WorkosCursorSessionToken=t"), Provider::cursor);
  }
  void TearDown() override {
    UsageMonitor::setMillisecondsPerSecondForTesting(1000);
    for (Provider p : allProviders) setConfiguredOrigin(p, defaultOrigin(p));
  }

  // Usage answers whose percentage counts the requests, each held back `delayMs`.
  void countingUsage(int delayMs, int firstStatus = 200) {
    server.route("/api/usage-summary", [this, delayMs, firstStatus](const fake::RecordedRequest&) {
      const int n = ++usageCalls;
      Reply r = Reply::json(
          QStringLiteral(R"({"individualUsage":{"plan":{"totalPercentUsed":%1}}})").arg(n * 11).toStdString(),
          n == 1 ? firstStatus : 200);
      r.delayMs = delayMs;
      return r;
    });
  }
  static std::optional<double> percent(const UsageMonitor& m) {
    return m.state().snapshot ? m.state().snapshot->usagePercent() : std::nullopt;
  }

  test::TempHome home;
  FakeHttpServer server;
  std::atomic<int> usageCalls{0};
};

TEST_F(MonitorTest, ConstructionReadsTheStoreButStartsNothing) {
  UsageMonitor stored(Provider::cursor);
  EXPECT_EQ(stored.state().kind, Kind::unknown);
  EXPECT_EQ(UsageMonitor(Provider::claude).state().kind, Kind::signedOut);
  test::spin(50);
  EXPECT_FALSE(stored.isPolling());
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(MonitorTest, PollPeriodIsBetweenFifteenSecondsAndADay) {
  UsageMonitor m(Provider::cursor);
  const std::pair<int, int> cases[] = {{0, 15},          {-3, 15},         {16, 16},        {60, 60},
                                       {2147484, 86400}, {4294968, 86400}, {INT_MAX, 86400}};
  for (const auto& [seconds, expected] : cases) {
    m.setRefreshIntervalSeconds(seconds);
    m.scheduleTimer();
    EXPECT_EQ(m.timerPeriodMs(), expected * kMsPerSecond) << seconds;
  }
}

TEST_F(MonitorTest, AServiceSlowerThanThePollPeriodStillLoads) {
  countingUsage(400);  // each answer takes more than two 150 ms periods
  UsageMonitor m(Provider::cursor);
  m.setRefreshIntervalSeconds(15);
  m.scheduleTimer();
  ASSERT_TRUE(test::waitUntil([&] { return m.state().kind == Kind::loaded; }, 3000));
  EXPECT_LE(usageCalls, 2);
}

TEST_F(MonitorTest, ASupersededFetchRecordsNothingAndItsCallerWaitsForTheNewOne) {
  for (int firstStatus : {200, 500}) {
    usageCalls = 0;
    countingUsage(300, firstStatus);
    UsageMonitor m(Provider::cursor);
    int finished = 0;
    m.refresh([&] { ++finished; });
    ASSERT_TRUE(test::waitUntil([&] { return usageCalls == 1; }));
    m.refresh([&] { ++finished; });
    test::spin(100);
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(test::waitUntil([&] { return finished == 2; }));
    EXPECT_EQ(percent(m), 22);
    test::spin(300);  // the held-back answer has come and gone
    EXPECT_EQ(m.state().kind, Kind::loaded) << m.state().error.toStdString();
    EXPECT_EQ(percent(m), 22);
  }
}

TEST_F(MonitorTest, OutcomesBecomeStatesAndSignOutEndsEverything) {
  UsageMonitor m(Provider::cursor);
  server.route("/api/usage-summary", Reply::json(R"({"individualUsage":{"plan":{"apiPercentUsed":7}}})"));
  m.beginAfterSignIn();
  EXPECT_EQ(m.state().kind, Kind::loading);
  ASSERT_TRUE(test::waitUntil([&] { return m.state().kind != Kind::loading; }));
  EXPECT_EQ(percent(m), 7);
  EXPECT_TRUE(m.isPolling());
  const auto firstSuccess = m.lastUpdated();
  ASSERT_TRUE(firstSuccess);

  auto refreshed = [&m] {
    bool done = false;
    m.refresh([&] { done = true; });
    return test::waitUntil([&] { return done; });
  };
  // A failure replaces the snapshot but keeps the time of the last success.
  server.route("/api/usage-summary", Reply::text("maintenance", 503));
  ASSERT_TRUE(refreshed());
  EXPECT_EQ(m.state().error, QStringLiteral("HTTP 503: maintenance"));
  EXPECT_EQ(m.lastUpdated(), firstSuccess);
  // A refused session shows as signed out but stays stored for the next poll.
  server.route("/api/auth/me", Reply::json("{}", 401));
  ASSERT_TRUE(refreshed());
  EXPECT_EQ(m.state().kind, Kind::signedOut);
  EXPECT_TRUE(SessionStore::load(Provider::cursor));

  // Signing out during a fetch: nothing comes back afterwards.
  fake::installServiceRoutes(Provider::cursor, server);
  countingUsage(300);
  m.refresh();
  ASSERT_TRUE(test::waitUntil([&] { return usageCalls == 1; }));
  EXPECT_TRUE(m.signOut());
  EXPECT_FALSE(m.lastUpdated() || m.isPolling() || SessionStore::load(Provider::cursor));
  test::spin(450);
  EXPECT_EQ(m.state().kind, Kind::signedOut) << m.state().error.toStdString();
}

TEST_F(MonitorTest, ADestroyedMonitorIgnoresItsLateAnswer) {
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
    return State::loaded(usage(total, api));
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

using StoreTest = MonitorTest;

TEST_F(StoreTest, PreferencesAndTimers) {
  const QLatin1String intervalKey(ProvidersStore::kRefreshIntervalKey), primaryKey(ProvidersStore::kPreferredPrimaryKey);
  EXPECT_EQ(ProvidersStore().monitor(Provider::claude)->timerPeriodMs(), 60 * kMsPerSecond);
  EXPECT_FALSE(platform::settings()->contains(intervalKey));
  platform::settings()->setValue(intervalKey, 5);
  platform::settings()->setValue(primaryKey, QStringLiteral("claude"));
  {
    ProvidersStore store;
    EXPECT_EQ(store.monitor(Provider::codex)->timerPeriodMs(), 15 * kMsPerSecond);
    EXPECT_EQ(store.preferredPrimary(), Provider::claude);
    store.setRefreshIntervalSeconds(300);
    for (const UsageMonitor* m : store.monitors()) EXPECT_EQ(m->timerPeriodMs(), 300 * kMsPerSecond);
    store.setPreferredPrimary(Provider::windsurf);
  }
  EXPECT_EQ(platform::settings()->value(intervalKey).toInt(), 300);
  EXPECT_EQ(platform::settings()->value(primaryKey).toString(), QStringLiteral("windsurf"));
  platform::settings()->setValue(primaryKey, QStringLiteral("Claud"));
  const ProvidersStore command(ProvidersStore::Polling::off);
  EXPECT_EQ(command.preferredPrimary(), Provider::cursor);
  for (const UsageMonitor* m : command.monitors()) EXPECT_FALSE(m->isPolling());
}

TEST_F(StoreTest, RefreshAllWaitsForTheRealOutcomeOfConnectedServices) {
  SessionStore::save(QStringLiteral("__Secure-next-auth.session-token=c"), Provider::codex);
  ProvidersStore store(ProvidersStore::Polling::off);
  QSignalSpy announced(&store, &ProvidersStore::changed);
  EXPECT_EQ(store.connectedProviders(), (QList<Provider>{Provider::cursor, Provider::codex}));
  SessionStore::remove(Provider::cursor);
  store.startAll();
  EXPECT_EQ(store.monitor(Provider::cursor)->state().kind, Kind::signedOut);
  ASSERT_TRUE(test::waitUntil([&] { return store.monitor(Provider::codex)->state().kind == Kind::loaded; }));
  EXPECT_EQ(server.requests().size(), 1u);
  // Observers hear of a monitor's change one turn later, when the change is in place.
  announced.clear();
  store.monitor(Provider::codex)->stopPolling();
  store.monitor(Provider::windsurf)->markSignedOut();
  EXPECT_EQ(announced.count(), 0);
  test::spin(20);
  EXPECT_EQ(announced.count(), 1);

  // A refresh the user asks for supersedes the one refreshAll started; refreshAll still
  // reports only once a real outcome is there.
  Reply slow = Reply::json(R"({"user":{"email":"c@x.y"}})");
  slow.delayMs = 200;
  server.route("/api/auth/session", slow);
  server.clearRequests();
  bool done = false;
  store.refreshAll([&] { done = true; });
  store.monitor(Provider::codex)->refresh();
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  // The superseded request may be cancelled before it reaches the server; the one that
  // replaced it has answered by the time refreshAll reports.
  ASSERT_EQ(store.monitor(Provider::codex)->state().kind, Kind::loaded);
  EXPECT_EQ(store.monitor(Provider::codex)->state().snapshot->email, QStringLiteral("c@x.y"));
  EXPECT_GE(server.count("/api/auth/session"), 1u);
}

}  // namespace
}  // namespace qb
