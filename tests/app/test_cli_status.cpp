// signin, status and signout as a user runs them, against the fake services.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "fake_http_server.h"
#include "fake_services.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::FakeHttpServer;
using fake::Reply;

class CliStatusTest : public ::testing::Test {
 protected:
  CliStatusTest() {
    for (Provider p : allProviders) fake::installServiceRoutes(p, server);
  }
  test::ProcessResult run(const QStringList& args, const QByteArray& input = {}) {
    QStringList env;
    for (Provider p : allProviders)
      env << QStringLiteral("QUOTABAR_ORIGIN_%1=%2").arg(rawValue(p).toUpper(), server.origin());
    return test::runProgram(test::quotabarExecutable(), args, input, env);
  }
  QJsonObject json(const QStringList& args) {
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
  }
  QString sessionFile(Provider p) const {
    return home.dataHome() + QStringLiteral("/Vantelo/session-token-") + rawValue(p);
  }

  test::TempHome home;
  FakeHttpServer server;
};

TEST_F(CliStatusTest, SignInThenStatusShowsTheFigure) {
  auto r = run({QStringLiteral("signin"), QStringLiteral("cursor")}, "  WorkosCursorSessionToken=abc\n");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.trimmed(), QStringLiteral("Signed in to Cursor as ada@example.com (pro)"));
  EXPECT_TRUE(QFile::exists(sessionFile(Provider::cursor)));

  const QJsonObject status = json({QStringLiteral("status"), QStringLiteral("--json")});
  const QJsonObject display = status.value(QStringLiteral("display")).toObject();
  EXPECT_EQ(display.value(QStringLiteral("title")).toString(), QStringLiteral(" 58%"));
  EXPECT_EQ(display.value(QStringLiteral("image")).toString(), QStringLiteral("gauge.with.dots.needle.50percent"));
  EXPECT_EQ(display.value(QStringLiteral("titleColor")).toString(), QStringLiteral("labelColor"));
  const QJsonArray providers = status.value(QStringLiteral("providers")).toArray();
  ASSERT_EQ(providers.size(), 4);
  const QJsonObject cursor = providers.at(0).toObject();
  EXPECT_EQ(cursor.value(QStringLiteral("provider")).toString(), QStringLiteral("cursor"));
  EXPECT_EQ(cursor.value(QStringLiteral("state")).toString(), QStringLiteral("loaded"));
  EXPECT_EQ(cursor.value(QStringLiteral("snapshot")).toObject().value(QStringLiteral("usagePercent")).toDouble(), 58);
  EXPECT_TRUE(cursor.value(QStringLiteral("lastUpdated")).toString().endsWith(u'Z'));
  EXPECT_EQ(providers.at(3).toObject().value(QStringLiteral("state")).toString(), QStringLiteral("signedOut"));

  const QJsonObject waybar = json({QStringLiteral("status"), QStringLiteral("--waybar")});
  EXPECT_EQ(waybar.value(QStringLiteral("text")).toString(), QStringLiteral("58%"));
  EXPECT_EQ(waybar.value(QStringLiteral("class")).toString(), QStringLiteral("normal"));
  EXPECT_EQ(waybar.value(QStringLiteral("percentage")).toInt(), 58);

  r = run({QStringLiteral("status")});
  EXPECT_TRUE(r.out.contains(QStringLiteral("Cursor: loaded")));
  EXPECT_TRUE(r.out.trimmed().split(u'\n').last().startsWith(QStringLiteral("Tray: 58%")));
  for (const auto& req : server.requests()) EXPECT_EQ(req.header("Cookie"), "WorkosCursorSessionToken=abc");
  EXPECT_FALSE(r.out.contains(QStringLiteral("abc")) || r.err.contains(QStringLiteral("abc")));

  r = run({QStringLiteral("signout"), QStringLiteral("cursor")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(QFile::exists(sessionFile(Provider::cursor)));
  const QJsonObject after = json({QStringLiteral("status"), QStringLiteral("--waybar")});
  EXPECT_EQ(after.value(QStringLiteral("class")).toString(), QStringLiteral("disconnected"));
  EXPECT_EQ(after.value(QStringLiteral("text")).toString(), QStringLiteral("Sign in"));
  EXPECT_FALSE(after.contains(QStringLiteral("percentage")));
}

TEST_F(CliStatusTest, ARefusedTokenIsNotStored) {
  const auto r = run({QStringLiteral("signin"), QStringLiteral("claude")}, "wrongCookie=1");
  EXPECT_EQ(r.exitCode, 1);
  const QStringList lines = r.err.trimmed().split(u'\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], QStringLiteral("Couldn't validate that token"));
  EXPECT_EQ(lines[1], QStringLiteral("Not signed in."));
  EXPECT_FALSE(QDir(home.dataHome() + QStringLiteral("/Vantelo")).exists(QStringLiteral("session-token-claude")));
  EXPECT_EQ(run({QStringLiteral("signin"), QStringLiteral("claude")}, "\n").exitCode, 2);
}

TEST_F(CliStatusTest, StatusReportsErrorsAndBetaServices) {
  run({QStringLiteral("signin"), QStringLiteral("codex")}, "__Secure-next-auth.session-token=x");
  run({QStringLiteral("signin"), QStringLiteral("cursor")}, "WorkosCursorSessionToken=abc");
  server.route("/api/usage-summary", Reply::text("upstream down", 502));
  const QJsonObject status = json({QStringLiteral("status"), QStringLiteral("--json")});
  const QJsonArray providers = status.value(QStringLiteral("providers")).toArray();
  const QJsonObject cursor = providers.at(0).toObject();
  EXPECT_EQ(cursor.value(QStringLiteral("state")).toString(), QStringLiteral("error"));
  EXPECT_EQ(cursor.value(QStringLiteral("error")).toString(), QStringLiteral("HTTP 502: upstream down"));
  EXPECT_FALSE(cursor.contains(QStringLiteral("snapshot")));
  const QJsonObject codex = providers.at(2).toObject();
  EXPECT_EQ(codex.value(QStringLiteral("state")).toString(), QStringLiteral("loaded"));
  EXPECT_EQ(codex.value(QStringLiteral("snapshot")).toObject().value(QStringLiteral("statusNote")).toString(),
            QStringLiteral("Detailed usage available in ChatGPT settings."));
  // Codex is loaded but has no figure: the tray shows the connected count.
  const QJsonObject display = status.value(QStringLiteral("display")).toObject();
  EXPECT_EQ(display.value(QStringLiteral("tooltip")).toString(), QStringLiteral("Quotabar \u2014 2 providers connected"));
  EXPECT_FALSE(display.contains(QStringLiteral("titleColor")));
}

}  // namespace
}  // namespace qb
