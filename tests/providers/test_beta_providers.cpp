#include <gtest/gtest.h>

#include "fake_http_server.h"
#include "providers/beta_providers.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::Reply;

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
    EXPECT_EQ(claude::accountInfo(claude::decodeCurrentAccount(JsonReader::parse(c.json))).plan, c.plan)
        << c.json;
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
