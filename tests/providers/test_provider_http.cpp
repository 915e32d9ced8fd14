// The shared HTTP client over real loopback sockets: what is sent, and how every kind of
// answer becomes a result or one of the user-visible error texts.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QNetworkReply>

#include "fake_http_server.h"
#include "providers/cursor_provider.h"
#include "providers/provider_http.h"
#include "providers/web_origin.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;

class ProviderHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { setConfiguredOrigin(Provider::cursor, QUrl(server.origin())); }
  void TearDown() override {
    setConfiguredOrigin(Provider::cursor, defaultOrigin(Provider::cursor));
    ProviderHTTP::shared().setTimeouts(20'000, 60'000);
  }

  // The account request of the Cursor client is the simplest full use of the client.
  ApiResult<AccountInfo> account(Reply reply) {
    server.route("/api/auth/me", std::move(reply));
    return test::fetchAccount(CursorProvider(QUrl(server.origin())), QStringLiteral("a=1; b=2"));
  }

  static QString describe(const ApiResult<AccountInfo>& r) {
    return r ? QStringLiteral("(success)") : r.error().description();
  }

  FakeHttpServer server;
};

TEST_F(ProviderHttpTest, SendsAGetWithTheSessionAndTheFixedHeaders) {
  ASSERT_TRUE(account(Reply::json(R"({"email":"a@b.c"})")));
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests.front();
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.path, "/api/auth/me");
  EXPECT_EQ(r.header("Cookie"), "a=1; b=2");
  EXPECT_EQ(r.header("Referer"), server.origin().toStdString() + "/dashboard");
  EXPECT_EQ(r.header("Origin"), server.origin().toStdString());
  EXPECT_EQ(r.header("User-Agent"), "Quotabar/1.0 (macOS menu bar)");
  EXPECT_EQ(r.header("Accept"), "application/json");
}

TEST_F(ProviderHttpTest, BuildsHeadersInTheirFixedOrder) {
  const QNetworkRequest request = ProviderHTTP::shared().buildRequest(
      QUrl(QStringLiteral("https://x.example/api")), QStringLiteral("k=v"),
      QUrl(QStringLiteral("https://x.example/")), {{"Origin", "https://x.example"}});
  const QList<QByteArray> names = request.rawHeaderList();
  ASSERT_GE(names.size(), 3);
  EXPECT_EQ(names.mid(0, 3), (QList<QByteArray>{"Cookie", "Referer", "Origin"}));
}

TEST_F(ProviderHttpTest, StatusesAndBodiesBecomeTheirErrorTexts) {
  const std::string thousand(1000, 'x');
  const std::string emoji = [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // thumbs up, skin tone
    return s;
  }();
  QString emojiCut;
  for (int i = 0; i < 160; ++i) emojiCut += QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");

  struct Case {
    Reply reply;
    QString expected;
  } cases[] = {
      {Reply::json(R"({"error":"forbidden"})", 403), QStringLiteral("Not signed in.")},
      {Reply::json("{}", 401), QStringLiteral("Not signed in.")},
      {Reply::text(thousand, 500), QStringLiteral("HTTP 500: ") + QString(160, u'x')},
      {Reply::text(emoji, 500), QStringLiteral("HTTP 500: ") + emojiCut},
      {Reply::text("\xff\xfe broken", 502), QStringLiteral("HTTP 502: ")},
      {Reply::text("gone", 404), QStringLiteral("HTTP 404: gone")},
      {Reply::text("multiple", 300), QStringLiteral("HTTP 300: multiple")},
      {Reply::json("", 200),
       QStringLiteral("Decode failed: The data couldn't be read because it is empty.")},
  };
  for (auto& c : cases) EXPECT_EQ(describe(account(c.reply)), c.expected);
}

TEST_F(ProviderHttpTest, DecodesEvery2xxAndFailsOnPagesAndWrongTypes) {
  EXPECT_TRUE(account(Reply::json(R"({"email":"a@b.c","unknown":[1,2]})", 299)));
  EXPECT_TRUE(account(Reply::json(R"({"email":null})", 200)));

  const QString html = describe(account(Reply::text("<!DOCTYPE html><html></html>", 200)));
  EXPECT_TRUE(html.startsWith(QStringLiteral("Decode failed: The data couldn't be read because it "
                                             "isn't valid JSON")))
      << html.toStdString();
  EXPECT_EQ(describe(account(Reply::json(R"({"email":42})"))),
            QStringLiteral("Decode failed: The data couldn't be read because it isn't in the correct "
                           "format (expected a string at \"email\", found a number)."));
  EXPECT_TRUE(describe(account(Reply::json("[1]"))).startsWith(QStringLiteral("Decode failed: ")));
}

TEST_F(ProviderHttpTest, NetworkFailuresAreTransportErrors) {
  int closedPort = 0;
  {
    FakeHttpServer gone;
    closedPort = gone.port();
  }
  const auto refused = test::fetchAccount(
      CursorProvider(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort))), QStringLiteral("a=1"));
  EXPECT_EQ(describe(refused),
            QStringLiteral("Network error: Could not connect to the server (connection refused)."));

  Reply cut = Reply::json(std::string(4000, ' '));
  cut.cutAfter = 100;
  EXPECT_TRUE(describe(account(cut)).startsWith(QStringLiteral("Network error: ")));

  Reply huge;
  huge.generatedSize = ProviderHTTP::maxBodyBytes + 1024 * 1024;
  huge.generator = [](std::uint64_t) { return ' '; };
  EXPECT_EQ(describe(account(huge)), QStringLiteral("Network error: The response is larger than 16 MB."));
}

TEST_F(ProviderHttpTest, BothTimeoutsAbortTheRequest) {
  ProviderHTTP::shared().setTimeouts(300, 1200);
  const QString timedOut = QStringLiteral("Network error: The request timed out.");

  Reply silent = Reply::json("{}");
  silent.delayMs = 3000;  // no byte at all: the idle bound
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(describe(account(silent)), timedOut);
  EXPECT_LT(clock.elapsed(), 2500);

  Reply trickle = Reply::json(std::string(60, ' ') + "{}");
  trickle.chunkBytes = 2;
  trickle.chunkDelayMs = 100;  // never idle for long, but too slow overall: the request bound
  clock.restart();
  EXPECT_EQ(describe(account(trickle)), timedOut);
  EXPECT_GE(clock.elapsed(), 1100);
  EXPECT_LT(clock.elapsed(), 2800);

  Reply slowButFine = Reply::json(R"({"email":"a@b.c"})");
  slowButFine.chunkBytes = 4;
  slowButFine.chunkDelayMs = 50;
  EXPECT_TRUE(account(slowButFine));
}

TEST_F(ProviderHttpTest, RedirectsStayOnTheServicesOwnSite) {
  Reply away = Reply::text("", 302);
  away.headers = {{"Location", "http://elsewhere.example/steal"}};
  EXPECT_EQ(describe(account(away)),
            QStringLiteral("Network error: Refused a redirect to http://elsewhere.example (outside "
                           "the service's site)."));

  server.route("/api/moved", Reply::json(R"({"email":"moved@b.c"})"));
  Reply here = Reply::text("", 301);
  here.headers = {{"Location", server.url("/api/moved")}};
  const auto followed = account(here);
  ASSERT_TRUE(followed);
  EXPECT_EQ(followed.value().email, QStringLiteral("moved@b.c"));
  EXPECT_EQ(server.requests().back().header("Cookie"), "a=1; b=2");
}

TEST(ProviderHttp, StoresNoCookiesFromAnswers) {
  FakeHttpServer server;
  Reply setsCookie = Reply::json(R"({"email":"a@b.c"})");
  setsCookie.headers = {{"Set-Cookie", "tracker=1; Path=/"}};
  server.route("/api/auth/me", setsCookie);
  const CursorProvider api{QUrl(server.origin())};
  ASSERT_TRUE(test::fetchAccount(api, QStringLiteral("s=1")));
  ASSERT_TRUE(test::fetchAccount(api, QStringLiteral("s=2")));
  EXPECT_EQ(server.requests().back().header("Cookie"), "s=2");
}

}  // namespace
}  // namespace qb
