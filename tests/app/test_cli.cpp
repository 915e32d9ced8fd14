// The command line as a user runs it: separate processes, the session on stdin, the
// fake services on loopback, a private data folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

#include "demo_history.h"
#include "fake_http_server.h"
#include "fake_services.h"
#include "fake_states.h"
#include "monitoring/keyring_fixture.h"
#include "support/test_support.h"

namespace qb {
namespace {

using fake::Reply;

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    for (Provider p : allProviders) fake::installServiceRoutes(p, server);
  }
  QStringList env() const {
    QStringList e;
    for (Provider p : allProviders)
      e << QStringLiteral("QUOTABAR_ORIGIN_%1=%2").arg(rawValue(p).toUpper(), server.origin());
    return e;
  }
  test::ProcessResult run(const QStringList& args, const QByteArray& input = {}, QStringList extra = {}) {
    return test::runProgram(test::quotabarExecutable(), args, input, env() + extra);
  }
  // `args` split at spaces.
  test::ProcessResult run(const char* args, const QByteArray& input = {}, QStringList extra = {}) {
    return run(QString::fromLatin1(args).split(u' '), input, std::move(extra));
  }
  QJsonObject json(const char* args) {
    const auto r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
  }
  static QJsonObject provider(const QJsonObject& status, int i) {
    return status.value(QStringLiteral("providers")).toArray().at(i).toObject();
  }
  QString dataFolder() const { return home.dataHome() + QStringLiteral("/Vantelo"); }
  // Ours with the services' origins and `extra` ("NAME=value") on top.
  QProcessEnvironment environment(const QStringList& extra = {}) const {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env() + extra) e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    return e;
  }
  // `n` runs of `program` started at once.
  std::vector<std::unique_ptr<QProcess>> start(int n, const QString& program, const QStringList& args,
                                               const QStringList& extra = {}) const {
    std::vector<std::unique_ptr<QProcess>> runs(n);
    for (auto& p : runs) {
      p = std::make_unique<QProcess>();
      p->setProcessEnvironment(environment(extra));
      p->start(program, args);
    }
    return runs;
  }

  test::TempHome home;
  fake::FakeHttpServer server;
};

TEST_F(CliTest, FetchAndAccountPrintJsonAndNeverTheSession) {
  const auto r = run("fetch cursor", "  WorkosCursorSessionToken=secret-value\n");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
  EXPECT_EQ(o.value(QStringLiteral("usagePercent")).toDouble(), 58.0);
  EXPECT_EQ(o.value(QStringLiteral("billingStart")).toString(), QStringLiteral("2026-11-20T00:00:00.000Z"));
  EXPECT_EQ(server.requests().front().header("Cookie"), "WorkosCursorSessionToken=secret-value");
  EXPECT_FALSE((r.out + r.err).contains(QStringLiteral("secret-value")));
  const auto account = run("account cursor", "WorkosCursorSessionToken=x");
  EXPECT_EQ(QJsonDocument::fromJson(account.out.toUtf8()).object().value(QStringLiteral("plan")), QStringLiteral("pro"));

  // A service's error answer keeps its body and never shows the address.
  server.route("/api/auth/me", Reply::text("bad channel", 400));
  const auto failed = run("account cursor", "x=y");
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.err.trimmed(), QStringLiteral("HTTP 400: bad channel"));
}

// A service's words reach a terminal without its escapes, and a bar without its markup.
TEST_F(CliTest, OutsideTextIsDefusedForTerminalsAndBars) {
  const char* hostile = "\\u001b]0;pwned\\u0007\\u009b2J<img src=x>&bogus;@example.com";
  server.route("/api/auth/me", Reply::json(fake::cursorAuthMeBody().replace(10, 15, hostile)));
  ASSERT_EQ(run("signin cursor", "WorkosCursorSessionToken=abc").exitCode, 0);
  const auto fetched = run("fetch cursor", "WorkosCursorSessionToken=abc");
  server.route("/api/usage-summary", Reply::text("\x1b[2Jdown\xc2\x9b", 502));
  for (const auto& r : {fetched, run("status"), run("status --json"), run("fetch cursor", "WorkosCursorSessionToken=abc")}) {
    const QString all = r.out + r.err;
    EXPECT_TRUE(all.contains(QStringLiteral("pwned")) || all.contains(QStringLiteral("down"))) << all.toStdString();
    for (const QChar c : r.out + r.err) EXPECT_FALSE(c == u'\x1b' || c == u'\x07' || c == QChar(0x9b)) << r.out.toStdString();
  }
  server.route("/api/usage-summary", Reply::json(fake::cursorUsageSummaryBody()));
  const QString tooltip = json("status --waybar").value(QStringLiteral("tooltip")).toString();
  EXPECT_TRUE(tooltip.contains(QStringLiteral("&lt;img src=x&gt;&amp;bogus;@example.com"))) << tooltip.toStdString();
}

TEST_F(CliTest, BadInputExitsTwoAndSendsNothing) {
  struct Case {
    const char* args;
    QByteArray input;
    const char* says;
    QStringList extraEnv;
  } cases[] = {
      {"fetch", "x=y", "usage: quotabar fetch", {}},
      {"fetch Cursor", "x=y", "unknown provider", {}},
      {"bogus", "x=y", "unknown command \"bogus\"", {}},
      // A session typed where the service or the command goes is never repeated.
      {"signin WorkosCursorSessionToken=S3cr3t", "x=y", "never on the command line", {}},
      {"WorkosCursorSessionToken=S3cr3t", "x=y", "unknown command\n", {}},
      {"fetch cursor", " \n", "standard input", {}},
      {"fetch cursor", "a=1\r\nX-Evil: yes", "control character", {}},
      {"account cursor", "a=1\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: x", "control character", {}},
      {"signin windsurf", "a=1\r\nX-Evil: yes", "control character", {}},
      {"fetch cursor", QByteArray((1 << 20) + 1, 'a'), "larger than 1 MiB", {}},
      {"fetch cursor", "a=\xff", "not UTF-8", {}},
      {"fetch claude", "x=y", "QUOTABAR_ORIGIN_CLAUDE", {QStringLiteral("QUOTABAR_ORIGIN_CLAUDE=http://claude.example")}},
      {"history copilot", {}, "unknown service", {}},
      {"history WorkosCursorSessionToken=S3cr3t", {}, "unknown service (", {}},
      {"history --days 0", {}, "--days takes a number", {}},
      {"history --csv --json", {}, "cannot be combined", {}},
  };
  for (const Case& c : cases) {
    const auto r = run(c.args, c.input, c.extraEnv);
    EXPECT_EQ(r.exitCode, 2) << c.says;
    EXPECT_TRUE(r.err.contains(QLatin1String(c.says)) && !r.err.contains(QStringLiteral("S3cr3t"))) << r.err.toStdString();
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(QDir(dataFolder()).exists(QStringLiteral("session-token-windsurf")));
}

TEST_F(CliTest, StandardInputIsReadToItsEnd) {
  const auto r = test::runProgram(
      QStringLiteral("bash"),
      {QStringLiteral("-c"), QStringLiteral("(printf 'WorkosCursorSessionToken=a'; sleep 0.3; printf 'bcd') | \"$0\" account cursor"),
       test::quotabarExecutable()}, {}, env());
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(server.requests().front().header("Cookie"), "WorkosCursorSessionToken=abcd");
}

TEST_F(CliTest, SignInStatusAndSignOutTellTheTruth) {
  auto r = run("signin claude", "wrongCookie=1");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.trimmed(), QStringLiteral("Couldn't validate that token\nNot signed in."));
  EXPECT_FALSE(QDir(dataFolder()).exists(QStringLiteral("session-token-claude")));

  r = run("signin cursor", "  WorkosCursorSessionToken=abc\n");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.trimmed(), QStringLiteral("Signed in to Cursor as ada@example.com (pro)"));
  QJsonObject status = json("status --json");
  EXPECT_EQ(status.value(QStringLiteral("display")).toObject().value(QStringLiteral("title")), QStringLiteral(" 58%"));
  EXPECT_EQ(provider(status, 0).value(QStringLiteral("state")), QStringLiteral("loaded"));
  EXPECT_EQ(provider(status, 3).value(QStringLiteral("state")), QStringLiteral("signedOut"));
  const QJsonObject waybar = json("status --waybar");
  EXPECT_EQ(waybar.value(QStringLiteral("text")), QStringLiteral("58%"));
  EXPECT_EQ(waybar.value(QStringLiteral("class")), QStringLiteral("normal"));
  r = run("status");
  EXPECT_TRUE(r.out.contains(QStringLiteral("Cursor: loaded")));
  EXPECT_TRUE(r.out.trimmed().split(u'\n').last().startsWith(QStringLiteral("Tray: 58%")));
  // A service's failure shows in the status; a beta service's note comes through.
  run("signin codex", "__Secure-next-auth.session-token=x");
  server.route("/api/usage-summary", Reply::text("upstream down", 502));
  status = json("status --json");
  EXPECT_EQ(provider(status, 0).value(QStringLiteral("error")), QStringLiteral("HTTP 502: upstream down"));
  EXPECT_EQ(provider(status, 2).value(QStringLiteral("snapshot")).toObject().value(QStringLiteral("statusNote")),
            QStringLiteral("Detailed usage available in ChatGPT settings."));
  // Every connected service failing has a waybar class of its own, the reason in the tooltip.
  ASSERT_EQ(run("signout codex").exitCode, 0);
  const QJsonObject failing = json("status --waybar");
  EXPECT_EQ(failing.value(QStringLiteral("class")), QStringLiteral("error"));
  EXPECT_EQ(failing.value(QStringLiteral("tooltip")), QStringLiteral("Cursor: HTTP 502: upstream down"));

  // A file copy that cannot be removed: the session would come back, so no "Signed out".
  const QString cursorFile = dataFolder() + QStringLiteral("/session-token-cursor");
  ASSERT_TRUE(QFile::remove(cursorFile) && QDir().mkpath(cursorFile + QStringLiteral("/x")));
  r = run("signout cursor");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  ASSERT_TRUE(QDir(cursorFile).removeRecursively());
  EXPECT_EQ(run("signout cursor").exitCode, 0);
  EXPECT_EQ(run("signout codex").exitCode, 0);
  EXPECT_EQ(json("status --waybar").value(QStringLiteral("class")), QStringLiteral("disconnected"));

  // A data folder that is a file: the value cannot be kept, so no "Signed in".
  ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
  test::writeFile(dataFolder(), {});
  r = run("signin cursor", "WorkosCursorSessionToken=abc");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.startsWith(QStringLiteral("Couldn't store the session: "))) << r.err.toStdString();
}

TEST_F(CliTest, HistoryKeepsWhatStatusFetchesAndPrintsIt) {
  fake::installStateRoutes(QStringLiteral("normal"), Provider::cursor, server);
  ASSERT_TRUE(fake::writeDemoHistory(dataFolder() + QStringLiteral("/history.sqlite"), QStringLiteral("normal")));
  ASSERT_EQ(run("signin cursor", "WorkosCursorSessionToken=abc").exitCode, 0);
  // Sixteen days that speed up: the last week's pace says more than the cycle's average.
  const QJsonObject cursor = provider(json("status --json"), 0);
  EXPECT_EQ(cursor.value(QStringLiteral("forecastBasis")), QStringLiteral("recent"));
  EXPECT_GT(cursor.value(QStringLiteral("forecastPercent")).toDouble(), 130);
  // The same figures within the hour add no row, a new figure one.
  server.route("/api/usage-summary", Reply::json(fake::cursorUsageBody(R"({"totalPercentUsed":72.0})", "{}")));
  run("status");
  const QStringList csv = run("history --csv").out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(csv.size(), 1 + 16 * 24 + 1);
  EXPECT_EQ(csv.first(), QStringLiteral("time,provider,percent,used,limit,unit,cycleStart,cycleEnd,onDemandCents"));
  EXPECT_TRUE(csv.last().contains(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT[\\d:.]+Z,cursor,72,,,,"))));
  const QStringList text = run("history cursor --days 3").out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(text.size(), 6) << text.join(u'\n').toStdString();
  EXPECT_TRUE(text[4].contains(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d +72\\.0% +\\+\\d+\\.\\d%$"))));
  EXPECT_TRUE(text[5].startsWith(QStringLiteral("This cycle (")) && text[5].endsWith(QStringLiteral("\u2586 72.0%")));
  EXPECT_EQ(QJsonDocument::fromJson(run("history --json").out.toUtf8()).array().size(), 385);
  // A sign-out keeps the history; --clear deletes it.
  run("signout cursor");
  EXPECT_EQ(run("history --clear").out, QStringLiteral("Deleted 385 rows of usage history.\n"));
  EXPECT_EQ(run("history").out, QStringLiteral("No usage history yet.\n"));
}

TEST_F(CliTest, NoUsableBusMeansNoKeyringAndKeyringOffSaysNothing) {
  for (const char* env : {"DBUS_SESSION_BUS_ADDRESS=disabled:", "QUOTABAR_KEYRING=off"}) {
    const QStringList extra{QString::fromLatin1(env), QStringLiteral("QT_LOGGING_RULES=com.orvane.*=true")};
    ASSERT_EQ(run("signin cursor", "WorkosCursorSessionToken=abc", extra).exitCode, 0);
    const auto r = run("signout cursor", {}, extra);
    EXPECT_EQ(r.exitCode, 0) << env << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("Keychain")) && QByteArray(env).startsWith("QUOTABAR"));
  }
}

// Concurrent first runs all find the legacy session; concurrent sign-outs all succeed (an
// item another one deleted first is gone, as asked).
TEST_F(CliTest, ConcurrentRunsAgreeOnTheSession) {
  test::PrivateKeyring keyring;
  ASSERT_TRUE(keyring.start()) << qPrintable(keyring.error());
  auto together = [&](const QStringList& args, int n) {
    auto runs = start(n, test::quotabarExecutable(), args);
    for (auto& p : runs) EXPECT_TRUE(test::waitUntil([&] { return p->state() == QProcess::NotRunning; }, 30'000));
    return runs;
  };
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(keyring.seed(QStringLiteral("WorkosCursorSessionToken"), "legacy-token"));
    for (auto& p : together({QStringLiteral("status"), QStringLiteral("--json")}, 10)) {
      const QJsonObject status = QJsonDocument::fromJson(p->readAllStandardOutput()).object();
      EXPECT_EQ(provider(status, 0).value(QStringLiteral("state")).toString(), QStringLiteral("loaded"))
          << "round " << round << " " << provider(status, 0).value(QStringLiteral("error")).toString().toStdString();
    }
    for (auto& p : together({QStringLiteral("signout"), QStringLiteral("cursor")}, 20))
      EXPECT_EQ(p->exitCode(), 0) << "round " << round << " " << p->readAllStandardError().toStdString();
  }
}

// Twenty launches at once leave one app. Its socket removed, or flooded with idle peers while
// it may open only 128 files, a later launch still reaches it. SIGTERM is logged as such.
TEST_F(CliTest, OneTrayAppPerProfile) {
  const QString runtime = home.path() + QStringLiteral("/run");
  ASSERT_TRUE(QDir().mkpath(runtime) && ::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
  const QStringList extra{QStringLiteral("DISPLAY=:99"), QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
                          QStringLiteral("QUOTABAR_KEYRING=off"), QStringLiteral("QT_LOGGING_RULES=com.orvane.quotabar.*=true")};
  const QString prlimit = QStringLiteral("/usr/bin/prlimit");
  const QStringList app{QStringLiteral("--nofile=128:128"), test::quotabarExecutable()};
  const auto launches = start(20, prlimit, app, extra);
  auto running = [&] { return std::count_if(launches.begin(), launches.end(), [](auto& p) { return p->state() != QProcess::NotRunning; }); };
  ASSERT_TRUE(test::waitUntil([&] { return running() <= 1; }, 30'000));
  test::spin(300);
  ASSERT_EQ(running(), 1);
  QProcess& first = **std::find_if(launches.begin(), launches.end(), [](auto& p) { return p->state() != QProcess::NotRunning; });
  for (auto& p : launches) EXPECT_TRUE(p.get() == &first || p->exitCode() == 0);
  const QString socket = runtime + u'/' + QDir(runtime).entryList({QStringLiteral("*.sock")}, QDir::System).value(0);
  auto later = [&](const char* after) {
    const auto r = test::runProgram(prlimit, app, {}, env() + extra);
    EXPECT_EQ(r.exitCode, 0) << after;
    EXPECT_FALSE(r.err.contains(QStringLiteral("did not answer"))) << after;
    EXPECT_EQ(first.state(), QProcess::Running) << after;
  };
  ASSERT_TRUE(QFile::remove(socket));
  later("the socket was removed");
  std::vector<std::unique_ptr<QLocalSocket>> idle(300);
  for (auto& s : idle) (s = std::make_unique<QLocalSocket>())->connectToServer(socket);
  test::spin(500);
  later("300 idle peers");
  ASSERT_TRUE(test::waitUntil([&] { return first.readAllStandardError().contains("showing the popup as a window"); }, 10'000));
  ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
  ASSERT_TRUE(first.waitForFinished(5000));
  EXPECT_EQ(first.exitCode(), 0);
  const QByteArray log = first.readAllStandardError();
  EXPECT_TRUE(log.contains("Quitting on SIGTERM.") && !log.contains("standing in for the tray")) << log.toStdString();
}

TEST_F(CliTest, WatchPrintsEachChangeOnceAndEndsWithZero) {
  ASSERT_EQ(run("signin cursor", "WorkosCursorSessionToken=abc").exitCode, 0);
  QProcessEnvironment environment = this->environment();
  environment.remove(QStringLiteral("DISPLAY"));
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    server.route("/api/usage-summary", Reply::json(fake::cursorUsageBody(R"({"enabled":true,"totalPercentUsed":58.0})", "{}")));
    QProcess watcher;
    watcher.setProcessEnvironment(environment);
    watcher.start(test::quotabarExecutable(), {QStringLiteral("status"), QStringLiteral("--waybar"), QStringLiteral("--watch")});
    QStringList lines;
    const auto readUntil = [&](const QString& text) {
      return test::waitUntil([&] {
        while (watcher.canReadLine()) lines << QString::fromUtf8(watcher.readLine()).trimmed();
        return !lines.isEmpty() && lines.last().contains(text);
      });
    };
    ASSERT_TRUE(readUntil(QString()));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\"text\":\"58%\""))) << lines[0].toStdString();
    // Handed over to the lean watcher (the in-process fallback prints the same lines).
    EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/exe").arg(watcher.processId())).symLinkTarget(),
              QFileInfo(QFileInfo(test::quotabarExecutable()).dir(), QStringLiteral("quotabar-watch")).canonicalFilePath());
    // SIGUSR1 refreshes now; the same answer prints nothing new, a new one a line.
    ::kill(static_cast<pid_t>(watcher.processId()), SIGUSR1);
    test::spin(500);
    server.route("/api/usage-summary", Reply::json(fake::cursorUsageBody(R"({"enabled":true,"totalPercentUsed":72.0})", "{}")));
    ::kill(static_cast<pid_t>(watcher.processId()), SIGUSR1);
    ASSERT_TRUE(readUntil(QStringLiteral("\"text\":\"72%\"")));
    for (qsizetype i = 1; i < lines.size(); ++i) EXPECT_NE(lines[i], lines[i - 1]);
    ::kill(static_cast<pid_t>(watcher.processId()), signal);
    ASSERT_TRUE(watcher.waitForFinished(10'000));
    EXPECT_EQ(watcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watcher.exitCode(), 0);
    EXPECT_FALSE(QString::fromUtf8(watcher.readAllStandardError()).contains(QStringLiteral("abc")));
    EXPECT_TRUE(run("history --csv").out.contains(QStringLiteral(",cursor,72,")));
  }
  // A reader that stopped reading (its pipe full): a signal still ends the watcher at once.
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC | O_NONBLOCK), 0);
  ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
  while (::write(pipe[1], "full", 4) > 0) {}
  ::fcntl(pipe[1], F_SETFL, 0);
  QProcess stalled;
  stalled.setProcessEnvironment(environment);
  stalled.setChildProcessModifier([fd = pipe[1]] { ::dup2(fd, STDOUT_FILENO); });
  stalled.start(test::quotabarExecutable(), {QStringLiteral("status"), QStringLiteral("--json"), QStringLiteral("--watch")});
  auto writing = [&] {  // one of its threads waits in write()
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(stalled.processId());
    for (const QString& t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      if (test::readFile(tasks + t + QStringLiteral("/wchan")).contains("pipe_write")) return true;
    return false;
  };
  ASSERT_TRUE(test::waitUntil(writing, 15'000));
  ::kill(static_cast<pid_t>(stalled.processId()), SIGTERM);
  EXPECT_TRUE(stalled.waitForFinished(3000));
  ::close(pipe[0]), ::close(pipe[1]);

  // A bar that quits closes the pipe: the watcher ends by itself, with 0.
  const auto piped = test::runProgram(
      QStringLiteral("/bin/bash"),
      {QStringLiteral("-c"), QStringLiteral("set -o pipefail; \"$0\" status --waybar --watch | head -n 1"),
       test::quotabarExecutable()}, {}, env(), 20'000);
  EXPECT_EQ(piped.exitCode, 0) << piped.err.toStdString();
}

}  // namespace
}  // namespace qb
