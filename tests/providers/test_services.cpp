// Each service's decoders and client against the loopback fakes: Cursor's rules, and how the
// beta services read what they can.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "fake_http_server.h"
#include "fake_services.h"
#include "providers/beta_providers.h"
#include "providers/cursor_provider.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::Reply;

cursor::UsageSummary summary(const char* json) { return cursor::decodeUsageSummary(JsonReader::parse(json)); }

UsageSnapshot snapshot(const char* summaryJson, const char* accountJson = "{}") {
  return cursor::makeSnapshot(cursor::decodeAuthMe(JsonReader::parse(accountJson)), summary(summaryJson));
}

TEST(CursorRules, CentsRule) {
  struct Case {
    const char* json;
    bool cents;
  } cases[] = {
      {R"({"individualUsage":{"plan":{"limit":1000}}})", true},
      {R"({"limitType":"requests","individualUsage":{"plan":{"limit":999.99}}})", false},
      {R"({"limitType":"spend","individualUsage":{"plan":{"limit":500}}})", true},
      {R"({"limitType":"Spend","individualUsage":{"plan":{"limit":500}}})", false},
      {R"({"limitType":"spend"})", true},
      {R"({})", false},
  };
  for (const auto& c : cases) EXPECT_EQ(snapshot(c.json).isCentsBased, c.cents) << c.json;
  // The membership of the summary wins over the account's.
  EXPECT_EQ(snapshot("{}", R"({"membershipType":"pro"})").membership, QStringLiteral("pro"));
  EXPECT_EQ(snapshot(R"({"membershipType":"ultra"})", R"({"membershipType":"pro"})").membership, QStringLiteral("ultra"));
  const UsageSnapshot noPlan = snapshot(R"({"limitType":"spend"})");
  EXPECT_FALSE(noPlan.planUsed || noPlan.planLimit || noPlan.planRemaining || noPlan.totalPercentUsed);
}

TEST(CursorRules, OnDemandBlockChoice) {
  struct Case {
    const char* json;
    bool enabled;
    std::optional<double> used, limit;
  } cases[] = {
      {R"({"teamUsage":{"onDemand":{"enabled":true,"used":1234,"limit":5000}}})", true, 1234, 5000},
      {R"({"individualUsage":{"onDemand":{"enabled":false,"used":1,"limit":2}},)"
       R"("teamUsage":{"onDemand":{"enabled":true,"used":1234,"limit":5000}}})", false, 1, 2},
      {R"({"individualUsage":{"onDemand":{"enabled":null,"used":10,"limit":20}}})", false, 10, 20},
      // An individual block without onDemand falls back to the team's.
      {R"({"individualUsage":{"plan":{"used":5}},"teamUsage":{"onDemand":{"used":77}}})", false, 77, {}},
  };
  for (const auto& c : cases) {
    const UsageSnapshot s = snapshot(c.json);
    EXPECT_EQ(s.onDemandEnabled, c.enabled) << c.json;
    EXPECT_EQ(s.onDemandUsedCents, c.used) << c.json;
    EXPECT_EQ(s.onDemandLimitCents, c.limit) << c.json;
  }
}

TEST(CursorRules, DatesNeedFractionalSeconds) {
  const auto s = summary(R"({"billingCycleStart":"2025-03-01T00:00:00.000Z",)"
                         R"("billingCycleEnd":"2025-03-14T09:26:53.589+01:00"})");
  ASSERT_TRUE(s.billingStartDate());
  EXPECT_EQ(s.billingStartDate()->toUTC(), QDateTime(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC));
  ASSERT_TRUE(s.billingEndDate());
  EXPECT_EQ(s.billingEndDate()->toUTC(), QDateTime(QDate(2025, 3, 14), QTime(8, 26, 53, 589), Qt::UTC));
  for (const char* bad : {"2025-03-01T00:00:00Z", "2025-03-01", "2025-02-30T00:00:00.000Z", ""})
    EXPECT_FALSE(parseFractionalISO8601(QString::fromLatin1(bad))) << bad;
}

TEST(CursorRules, UnusedFieldsMustStillHaveTheirTypes) {
  for (const char* json : {R"({"isUnlimited":"no"})",
                           R"({"individualUsage":{"plan":{"breakdown":{"bonus":"0"}}}})",
                           R"({"teamUsage":{"onDemand":{"remaining":true}}})",
                           R"({"individualUsage":[]})"})
    EXPECT_THROW(summary(json), DecodeError) << json;
  EXPECT_THROW(cursor::decodeAuthMe(JsonReader::parse(R"({"sub":1})")), DecodeError);
}

class CursorClientTest : public ::testing::Test {
 protected:
  fake::FakeHttpServer server;
  CursorProvider api{QUrl(server.origin())};
};

TEST_F(CursorClientTest, FetchUsageFoldsBothAnswersIntoOneSnapshot) {
  fake::installServiceRoutes(Provider::cursor, server);
  const auto r = test::fetchUsage(api, QStringLiteral("WorkosCursorSessionToken=abc"));
  ASSERT_TRUE(r) << r.error().description().toStdString();
  const UsageSnapshot& s = r.value();
  EXPECT_EQ(s.email, QStringLiteral("ada@example.com"));
  EXPECT_EQ(s.totalPercentUsed, 58.0);
  EXPECT_EQ(s.planUsed, 1160);
  EXPECT_TRUE(s.isCentsBased && s.onDemandEnabled && s.billingStart && s.billingEnd);
  EXPECT_EQ(server.count("/api/usage-summary"), 1u);
  const auto account = test::fetchAccount(api, QStringLiteral("WorkosCursorSessionToken=abc"));
  ASSERT_TRUE(account);
  EXPECT_EQ(account.value().name, QStringLiteral("Ada Lovelace"));
  EXPECT_EQ(account.value().plan, QStringLiteral("pro"));
  // A summary that does not decode fails the whole fetch: no snapshot of half the answers.
  server.route("/api/usage-summary", Reply::json(R"({"isUnlimited":"yes"})"));
  const auto broken = test::fetchUsage(api, QStringLiteral("WorkosCursorSessionToken=abc"));
  EXPECT_TRUE(!broken && broken.error().description().startsWith(QStringLiteral("Decode failed: ")));
}

TEST_F(CursorClientTest, BothRequestsRunAtOnceAndACancelOrARefusalEndsBoth) {
  Reply stalled = Reply::json("{}");
  stalled.delayMs = 5000;
  server.route("/api/auth/me", stalled);
  server.route("/api/usage-summary", stalled);
  std::optional<ApiResult<UsageSnapshot>> result;
  CallHandle call = api.fetchUsage(QStringLiteral("k=v"), [&](const auto& r) { result = r; });
  ASSERT_TRUE(test::waitUntil([&] { return server.requests().size() == 2; }, 2000)) << "one after the other";
  call->cancel();
  ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 1000));
  EXPECT_EQ(result->error().description(), QStringLiteral("Network error: cancelled"));

  server.route("/api/auth/me", Reply::json("{}", 401));
  QElapsedTimer clock;
  clock.start();
  const auto r = test::fetchUsage(api, QStringLiteral("k=v"));
  EXPECT_TRUE(!r && r.error().kind() == ProviderAPIError::Kind::notAuthenticated);
  EXPECT_LT(clock.elapsed(), 2000);
}

const QString kSession = QStringLiteral("windsurf_session=w");

TEST(Windsurf, TriesTheThreeEndpointsInOrderAndAbsorbsEveryFailure) {
  fake::FakeHttpServer server;
  const WindsurfProvider api{QUrl(server.origin())};
  server.route("/api/account/me", Reply::text("<html>missing</html>", 404));
  server.route("/api/me", Reply::json(R"({"email":"w@x.y","tier":"Pro","displayName":"D"})"));
  auto usage = test::fetchUsage(api, kSession);
  EXPECT_EQ(usage.value().email, QStringLiteral("w@x.y"));
  EXPECT_EQ(usage.value().membership, QStringLiteral("Pro"));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].path, "/api/me");
  EXPECT_EQ(server.requests()[1].header("Referer"), server.origin().toStdString() + "/account");
  EXPECT_EQ(test::fetchAccount(api, kSession).value().name, QStringLiteral("D"));

  // An HTML page on 200 is a decode failure: the next endpoint is tried; "plan" wins over "tier".
  server.route("/api/account/me", Reply::text("<html></html>", 200));
  server.route("/api/me", Reply::json(R"({"plan":"Teams","tier":"Pro"})"));
  EXPECT_EQ(test::fetchUsage(api, kSession).value().membership, QStringLiteral("Teams"));

  for (const char* path : {"/api/account/me", "/api/me", "/api/user"}) server.route(path, Reply::json("{}", 401));
  server.clearRequests();
  usage = test::fetchUsage(api, kSession);
  EXPECT_TRUE(usage && !usage.value().email && !usage.value().membership);
  EXPECT_EQ(server.requests().size(), 3u);
  const auto account = test::fetchAccount(api, kSession);
  EXPECT_TRUE(account && !account.value().email && !account.value().name && !account.value().plan);
}

TEST(Codex, ASessionWithoutUserIsNotSignedIn) {
  fake::FakeHttpServer server;
  const CodexProvider api{QUrl(server.origin())};
  struct Case {
    const char* json;
    bool accountOk;
    std::optional<QString> email;
  } cases[] = {
      {"{}", false, std::nullopt},
      {R"({"user":{}})", true, std::nullopt},
      {R"({"user":{"email":"c@x.y"},"expires":"soon"})", true, QStringLiteral("c@x.y")},
      {R"({"user":"c@x.y"})", false, std::nullopt},
  };
  for (const auto& c : cases) {
    server.route("/api/auth/session", Reply::json(c.json));
    EXPECT_EQ(bool(test::fetchAccount(api, kSession)), c.accountOk) << c.json;
    const auto usage = test::fetchUsage(api, kSession);
    ASSERT_TRUE(usage) << c.json;  // the usage never fails
    EXPECT_EQ(usage.value().email, c.email) << c.json;
  }
  EXPECT_EQ(server.requests().back().header("Referer"), server.origin().toStdString() + "/");
}

TEST(Claude, PlanComesFromTheFirstOrganizationOnly) {
  struct Case {
    const char* json;
    std::optional<QString> plan;
  } cases[] = {
      {R"({"organizations":[{"settings":{"billable_status":"active"}},{"settings":{"billable_status":"x"}}]})",
       QStringLiteral("Active")},
      {R"({"organizations":[{"settings":{"billable_status":"past due"}}]})", QStringLiteral("Past Due")},
      {R"({"organizations":[{"settings":{"billable_status":"PAST_DUE"}}]})", QStringLiteral("Past_due")},
      {R"({"organizations":[]})", std::nullopt},
      {R"({"organizations":[{"name":"a"},{"settings":{"billable_status":"active"}}]})", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(claude::accountInfo(claude::decodeCurrentAccount(JsonReader::parse(c.json))).plan, c.plan) << c.json;
  for (const char* bad : {R"({"organizations":[{},{"settings":{"billable_status":3}}]})", R"({"organizations":[1]})"})
    EXPECT_THROW(claude::decodeCurrentAccount(JsonReader::parse(bad)), DecodeError) << bad;
}

TEST(Claude, RefusedSessionsFailTheAccountButNotTheUsage) {
  fake::FakeHttpServer server;
  const ClaudeProvider api{QUrl(server.origin())};
  server.route("/api/auth/current_account", Reply::json(R"({"email_address":"c@l.ai","organizations":[]})"));
  EXPECT_EQ(test::fetchUsage(api, kSession).value().email, QStringLiteral("c@l.ai"));
  server.route("/api/auth/current_account", Reply::json("{}", 403));
  EXPECT_EQ(test::fetchAccount(api, kSession).error().description(), QStringLiteral("Not signed in."));
  const auto usage = test::fetchUsage(api, kSession);
  ASSERT_TRUE(usage);
  EXPECT_FALSE(usage.value().email);
}

}  // namespace
}  // namespace qb
