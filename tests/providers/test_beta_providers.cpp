#include <gtest/gtest.h>

#include "fake_http_server.h"
#include "providers/beta_providers.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;

const QString kSession = QStringLiteral("windsurf_session=w");

TEST(Windsurf, TriesTheThreeEndpointsInOrderUntilOneAnswers) {
  FakeHttpServer server;
  const WindsurfProvider api{QUrl(server.origin())};
  server.route("/api/account/me", Reply::text("<html>missing</html>", 404));
  server.route("/api/me", Reply::json(R"({"email":"w@x.y","tier":"Pro","name":"n","displayName":"D"})"));
  auto usage = test::fetchUsage(api, kSession);
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage.value().email, QStringLiteral("w@x.y"));
  EXPECT_EQ(usage.value().membership, QStringLiteral("Pro"));
  EXPECT_EQ(usage.value().statusNote, QStringLiteral("Detailed usage available in Windsurf dashboard."));
  EXPECT_FALSE(usage.value().usagePercent());
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, "/api/account/me");
  EXPECT_EQ(requests[1].path, "/api/me");
  EXPECT_EQ(requests[1].header("Referer"), server.origin().toStdString() + "/account");
  EXPECT_EQ(requests[1].header("Origin"), server.origin().toStdString());

  const auto account = test::fetchAccount(api, kSession);
  ASSERT_TRUE(account);
  EXPECT_EQ(account.value().name, QStringLiteral("D"));

  // An HTML page on 200 is a decode failure: the next endpoint is tried.
  server.route("/api/account/me", Reply::text("<html></html>", 200));
  server.route("/api/me", Reply::json(R"({"plan":"Teams","tier":"Pro"})"));
  server.clearRequests();
  usage = test::fetchUsage(api, kSession);
  EXPECT_EQ(usage.value().membership, QStringLiteral("Teams"));
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST(Windsurf, AbsorbsEveryFailure) {
  FakeHttpServer server;
  const WindsurfProvider api{QUrl(server.origin())};
  for (const char* path : {"/api/account/me", "/api/me", "/api/user"}) server.route(path, Reply::json("{}", 401));
  const auto usage = test::fetchUsage(api, kSession);
  ASSERT_TRUE(usage);
  EXPECT_FALSE(usage.value().email);
  EXPECT_FALSE(usage.value().membership);
  EXPECT_TRUE(usage.value().statusNote);
  EXPECT_EQ(server.requests().size(), 3u);
  const auto account = test::fetchAccount(api, kSession);
  ASSERT_TRUE(account);
  EXPECT_FALSE(account.value().email || account.value().name || account.value().plan);

  // An empty object is an answer: the lookup stops at the first endpoint.
  server.route("/api/account/me", Reply::json("{}"));
  server.clearRequests();
  ASSERT_TRUE(test::fetchUsage(api, kSession));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(Codex, ASessionWithoutUserIsNotSignedIn) {
  FakeHttpServer server;
  const CodexProvider api{QUrl(server.origin())};
  const QString note = QStringLiteral("Detailed usage available in ChatGPT settings.");

  server.route("/api/auth/session", Reply::json("{}"));
  auto account = test::fetchAccount(api, kSession);
  ASSERT_FALSE(account);
  EXPECT_EQ(account.error().description(), QStringLiteral("Not signed in."));
  auto usage = test::fetchUsage(api, kSession);
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage.value().statusNote, note);
  EXPECT_FALSE(usage.value().email);
  EXPECT_EQ(server.requests().back().header("Referer"), server.origin().toStdString() + "/");

  server.route("/api/auth/session", Reply::json(R"({"user":{}})"));
  account = test::fetchAccount(api, kSession);
  ASSERT_TRUE(account);
  EXPECT_FALSE(account.value().email || account.value().name || account.value().plan);

  server.route("/api/auth/session", Reply::json(R"({"user":{"email":"c@x.y"},"expires":"soon"})"));
  usage = test::fetchUsage(api, kSession);
  EXPECT_EQ(usage.value().email, QStringLiteral("c@x.y"));
  EXPECT_FALSE(usage.value().membership);

  server.route("/api/auth/session", Reply::json(R"({"user":"c@x.y"})"));
  account = test::fetchAccount(api, kSession);
  ASSERT_FALSE(account);
  EXPECT_EQ(account.error().kind(), ProviderAPIError::Kind::decoding);
  usage = test::fetchUsage(api, kSession);
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage.value().statusNote, note);
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
      {R"({})", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(claude::accountInfo(claude::decodeCurrentAccount(JsonReader::parse(c.json))).plan, c.plan)
        << c.json;
  EXPECT_THROW(claude::decodeCurrentAccount(JsonReader::parse(
                   R"({"organizations":[{},{"settings":{"billable_status":3}}]})")),
               DecodeError);
  EXPECT_THROW(claude::decodeCurrentAccount(JsonReader::parse(R"({"organizations":[1]})")), DecodeError);
}

TEST(Claude, RefusedSessionsFailTheAccountButNotTheUsage) {
  FakeHttpServer server;
  const ClaudeProvider api{QUrl(server.origin())};
  server.route("/api/auth/current_account",
               Reply::json(R"({"email_address":"c@l.ai","full_name":"C L","organizations":[]})"));
  auto usage = test::fetchUsage(api, QStringLiteral("sessionKey=s"));
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage.value().email, QStringLiteral("c@l.ai"));
  EXPECT_FALSE(usage.value().membership);
  EXPECT_EQ(usage.value().statusNote, QStringLiteral("Detailed usage available in Claude billing."));

  server.route("/api/auth/current_account", Reply::json("{}", 403));
  const auto account = test::fetchAccount(api, QStringLiteral("sessionKey=s"));
  ASSERT_FALSE(account);
  EXPECT_EQ(account.error().description(), QStringLiteral("Not signed in."));
  usage = test::fetchUsage(api, QStringLiteral("sessionKey=s"));
  ASSERT_TRUE(usage);
  EXPECT_FALSE(usage.value().email);
}

}  // namespace
}  // namespace qb
