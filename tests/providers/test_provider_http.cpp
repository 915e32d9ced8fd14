// The shared HTTP client over real loopback sockets: what is sent, and how every kind of
// answer becomes a result or one of the user-visible error texts.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QNetworkAccessManager>

#include "common/network_rules.h"
#include "fake_http_server.h"
#include "providers/cursor_provider.h"
#include "providers/provider_http.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;

class ProviderHttpTest : public ::testing::Test {
 protected:
  void TearDown() override { ProviderHTTP::shared().setTimeouts(20'000, 60'000); }

  // The account request of the Cursor client is the simplest full use of the client.
  ApiResult<AccountInfo> account(Reply reply, const QString& session = QStringLiteral("a=1; b=2")) {
    server.route("/api/auth/me", std::move(reply));
    return test::fetchAccount(CursorProvider(QUrl(server.origin())), session);
  }
  QString describe(Reply reply) {
    const auto r = account(std::move(reply));
    return r ? QStringLiteral("(success)") : r.error().description();
  }
  static Reply withHeader(Reply r, std::string name, std::string value) {
    r.headers.emplace_back(std::move(name), std::move(value));
    return r;
  }

  FakeHttpServer server;
};

TEST_F(ProviderHttpTest, SendsAGetWithTheSessionAndTheFixedHeadersButNeverAControlCharacter) {
  ASSERT_TRUE(account(Reply::json(R"({"email":"a@b.c"})")));
  const auto r = server.requests().front();
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.header("Cookie"), "a=1; b=2");
  EXPECT_EQ(r.header("Referer"), server.origin().toStdString() + "/dashboard");
  EXPECT_EQ(r.header("Origin"), server.origin().toStdString());
  EXPECT_EQ(r.header("User-Agent"), "Quotabar/1.0 (macOS menu bar)");
  EXPECT_EQ(r.header("Accept"), "application/json");

  for (const char* hostile : {"a=1\r\nX-Evil: yes", "a=1\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: x\r\n", "a=1\x7f"}) {
    server.clearRequests();
    account(Reply::json("{}"), QString::fromLatin1(hostile));
    for (const auto& sent : server.requests()) {
      EXPECT_FALSE(sent.hasHeader("X-Evil") || sent.hasHeader("Cookie")) << hostile;
      EXPECT_EQ(sent.path, "/api/auth/me");
    }
  }
}

TEST_F(ProviderHttpTest, TheStatusDecidesAndTheBodyIsKept) {
  const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");  // thumbs up, skin tone
  const std::string marks = "e" + QByteArray("\xCC\x81").repeated(300'000).toStdString();  // combining acute accents
  // A gzip body whose checksum is wrong: the answer did not arrive whole.
  const std::string badGzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x01\x02\x00\xfd\xff{}\x00\x00\x00\x00\x02\x00\x00\x00", 25);

  struct Case {
    Reply reply;
    QString expected;
  } cases[] = {
      {Reply::json(R"({"error":"forbidden"})", 403), QStringLiteral("Not signed in.")},
      {Reply::json("{}", 401), QStringLiteral("Not signed in.")},
      {Reply::text(std::string(1000, 'x'), 500), QStringLiteral("HTTP 500: ") + QString(160, u'x')},
      {Reply::text(thumb.repeated(200).toStdString(), 500), QStringLiteral("HTTP 500: ") + thumb.repeated(160)},
      {Reply::text("\xff\xfe broken", 502), QStringLiteral("HTTP 502: ")},
      {Reply::text("proxy", 407), QStringLiteral("HTTP 407: proxy")},
      {Reply::text("teapot", 418), QStringLiteral("HTTP 418: teapot")},
      {Reply::text("multiple", 300), QStringLiteral("HTTP 300: multiple")},
      {Reply::text("moved, but where", 302), QStringLiteral("HTTP 302: moved, but where")},
      {Reply::json("", 200), QStringLiteral("Decode failed: The data couldn't be read because it is empty.")},
      {Reply::json(R"({"email":42})"), QStringLiteral("Decode failed: The data couldn't be read because it isn't in the "
                                                      "correct format (expected a string at \"email\", found a number).")},
      // Every 2xx decodes; unknown keys and nulls are no failure.
      {Reply::json(R"({"email":"a@b.c","unknown":[1,2]})", 299), QStringLiteral("(success)")},
      {Reply::json(R"({"email":null})", 200), QStringLiteral("(success)")},
  };
  for (auto& c : cases) EXPECT_EQ(describe(c.reply), c.expected) << c.reply.status;

  const QString capped = describe(Reply::text(marks, 500, "application/octet-stream"));
  EXPECT_LE(capped.size(), 1100);
  EXPECT_TRUE(capped.startsWith(QStringLiteral("HTTP 500: e\u0301")));
  // (A type the fake server does not compress again on its own.)
  const QString broken = describe(withHeader(Reply::text(badGzip, 200, "application/octet-stream"), "Content-Encoding", "gzip"));
  EXPECT_TRUE(broken.startsWith(QStringLiteral("Network error: "))) << broken.toStdString();
  EXPECT_FALSE(broken.contains(QStringLiteral("http://")));
  // A redirect loop is no answer at all. (Uncompressed: Qt 6.4 may crash in its brotli
  // decoder on such a loop.)
  const auto loop = [this](const char* to) {
    return withHeader(Reply::text("again", 302, "application/octet-stream"), "Location", server.url(to));
  };
  server.route("/api/loop", loop("/api/auth/me"));
  EXPECT_EQ(describe(loop("/api/loop")), QStringLiteral("Network error: The redirects did not end in an answer."));
  // Qt keeps the loop's connection half-used; closing it spares the fake server's shutdown a wait.
  ProviderHTTP::shared().manager()->clearConnectionCache();
}

TEST_F(ProviderHttpTest, NetworkFailuresAndBothTimeoutsAreTransportErrors) {
  int closedPort = 0;
  {
    const FakeHttpServer gone;
    closedPort = gone.port();
  }
  const auto refused = test::fetchAccount(
      CursorProvider(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort))), QStringLiteral("a=1"));
  EXPECT_EQ(refused.error().description(), QStringLiteral("Network error: Could not connect to the server (connection refused)."));
  // Both requests of a fetch refused: the account failure ends the usage request, and the
  // error already on its way to it must not follow as a second one (Qt warns on stderr).
  const test::LogCapture qt;
  for (int i = 0; i < 20; ++i)
    test::fetchUsage(CursorProvider(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort))), QStringLiteral("a=1"));
  test::spin(100);
  EXPECT_TRUE(qt.lines.isEmpty()) << qt.of(QtWarningMsg).join(u'\n').toStdString();
  Reply cut = Reply::json(std::string(4000, ' '));
  cut.cutAfter = 100;
  EXPECT_TRUE(describe(cut).startsWith(QStringLiteral("Network error: ")));
  Reply huge;
  huge.generatedSize = ProviderHTTP::maxBodyBytes + 1024 * 1024;
  huge.generator = [](std::uint64_t) { return ' '; };
  EXPECT_EQ(describe(huge), QStringLiteral("Network error: The response is larger than 16 MB."));

  ProviderHTTP::shared().setTimeouts(300, 1200);
  Reply silent = Reply::json("{}");
  silent.delayMs = 3000;  // no byte at all: the idle bound
  Reply trickle = Reply::json(std::string(60, ' ') + "{}");
  trickle.chunkBytes = 2;
  trickle.chunkDelayMs = 100;  // never idle for long, but too slow overall: the request bound
  for (const auto& [reply, minMs, maxMs] : {std::tuple{silent, 250, 2500}, std::tuple{trickle, 1100, 2800}}) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(describe(reply), QStringLiteral("Network error: The request timed out."));
    EXPECT_GE(clock.elapsed(), minMs);
    EXPECT_LT(clock.elapsed(), maxMs);
  }
}

TEST_F(ProviderHttpTest, RedirectsStayWithinTheService) {
  const struct {
    const char* target;
    const char* service;
    bool allowed;
  } rules[] = {{"cursor.com", "cursor.com", true},     {"www.cursor.com", "cursor.com", true},
               {"WWW.Cursor.COM.", "cursor.com", true}, {"com", "cursor.com", false},
               {"evilcursor.com", "cursor.com", false}, {"cursor.com.evil.io", "cursor.com", false},
               {"cursor.com", "www.cursor.com", false}, {"", "", false}};
  for (const auto& r : rules)
    EXPECT_EQ(isWithinService(QString::fromLatin1(r.target), QString::fromLatin1(r.service)), r.allowed) << r.target;

  EXPECT_EQ(describe(withHeader(Reply::text("", 302), "Location", "http://elsewhere.example/steal")),
            QStringLiteral("Network error: Refused a redirect to http://elsewhere.example (outside the service's site)."));
  server.route("/api/moved", Reply::json(R"({"email":"moved@b.c"})"));
  const auto followed = account(withHeader(Reply::text("", 301), "Location", server.url("/api/moved")));
  ASSERT_TRUE(followed);
  EXPECT_EQ(followed.value().email, QStringLiteral("moved@b.c"));
  EXPECT_EQ(server.requests().back().header("Cookie"), "a=1; b=2");
}

TEST_F(ProviderHttpTest, StoresNoCookiesFromAnswers) {
  ASSERT_TRUE(account(withHeader(Reply::json("{}"), "Set-Cookie", "tracker=1; Path=/"), QStringLiteral("s=1")));
  ASSERT_TRUE(account(Reply::json("{}"), QStringLiteral("s=2")));
  EXPECT_EQ(server.requests().back().header("Cookie"), "s=2");
}

}  // namespace
}  // namespace qb
