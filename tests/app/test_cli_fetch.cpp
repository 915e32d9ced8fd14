// The command line as a user runs it: a separate process, the session on stdin.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "fake_http_server.h"
#include "fake_services.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;

class CliFetchTest : public ::testing::Test {
 protected:
  test::ProcessResult run(const QStringList& args, const QByteArray& input,
                          QStringList env = {}) {
    env << QStringLiteral("QUOTABAR_ORIGIN_CURSOR=") + server.origin();
    return test::runProgram(test::quotabarExecutable(), args, input, env);
  }
  static QString lastLine(const QString& text) { return text.trimmed().split(u'\n').last(); }

  test::TempHome home;
  FakeHttpServer server;
};

TEST_F(CliFetchTest, FetchPrintsTheWholeSnapshot) {
  fake::installServiceRoutes(Provider::cursor, server);
  const auto r = run({QStringLiteral("fetch"), QStringLiteral("cursor")},
                     "  WorkosCursorSessionToken=secret-value\n");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
  EXPECT_EQ(o.value(QStringLiteral("provider")).toString(), QStringLiteral("cursor"));
  EXPECT_EQ(o.value(QStringLiteral("usagePercent")).toDouble(), 58.0);
  EXPECT_EQ(o.value(QStringLiteral("billingStart")).toString(), QStringLiteral("2026-11-20T00:00:00.000Z"));
  EXPECT_TRUE(o.value(QStringLiteral("isCentsBased")).toBool());
  EXPECT_EQ(o.value(QStringLiteral("onDemandLimitCents")).toDouble(), 5000);
  EXPECT_FALSE(o.contains(QStringLiteral("statusNote")));
  EXPECT_EQ(server.requests().front().header("Cookie"), "WorkosCursorSessionToken=secret-value");
  EXPECT_FALSE(r.out.contains(QStringLiteral("secret-value")) || r.err.contains(QStringLiteral("secret-value")));

  const auto account = run({QStringLiteral("account"), QStringLiteral("cursor")},
                           "WorkosCursorSessionToken=x");
  ASSERT_EQ(account.exitCode, 0);
  const QJsonObject a = QJsonDocument::fromJson(account.out.toUtf8()).object();
  EXPECT_EQ(a.value(QStringLiteral("plan")).toString(), QStringLiteral("pro"));
}

TEST_F(CliFetchTest, FailuresPrintTheErrorAloneOnTheLastLine) {
  server.route("/api/auth/me", Reply::json("{}", 401));
  server.route("/api/usage-summary", Reply::json("{}"));
  auto r = run({QStringLiteral("fetch"), QStringLiteral("cursor")}, "WorkosCursorSessionToken=x");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(lastLine(r.err), QStringLiteral("Not signed in."));

  server.route("/api/auth/me", Reply::text("<html>login</html>", 200));
  r = run({QStringLiteral("account"), QStringLiteral("cursor")}, "x=y");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(lastLine(r.err).startsWith(QStringLiteral("Decode failed: ")));
}

TEST_F(CliFetchTest, UsageErrorsExitTwo) {
  for (const QStringList& args : {QStringList{QStringLiteral("fetch")},
                                  QStringList{QStringLiteral("fetch"), QStringLiteral("Cursor")},
                                  QStringList{QStringLiteral("bogus")}}) {
    const auto r = run(args, "x=y");
    EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("usage")));
  }
  EXPECT_EQ(run({QStringLiteral("fetch"), QStringLiteral("cursor")}, " \n").exitCode, 2);

  const auto refused = run({QStringLiteral("fetch"), QStringLiteral("claude")}, "x=y",
                           {QStringLiteral("QUOTABAR_ORIGIN_CLAUDE=http://claude.example")});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_TRUE(refused.err.contains(QStringLiteral("QUOTABAR_ORIGIN_CLAUDE")));
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace qb
