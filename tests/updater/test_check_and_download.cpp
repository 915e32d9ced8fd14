// The latest-release check and the download of an artifact (streaming to disk, progress, the
// digest, every failure) against a fake update server on loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <csignal>
#include <sys/resource.h>

#include "update_fixtures.h"

namespace qb {
namespace {

using fake::Reply;
using test::StateLog;
using test::UpdateRig;
using test::release;

// Runs one check to its end.
bool checked(Updater& updater, bool silent) {
  updater.check(silent);
  return StateLog(updater).waitSettled(updater);
}

TEST(UpdateCheck, RequestCarriesPathQueryAndHeaders) {
  fake::FakeUpdateServer server("my app");  // as the server decodes the path
  UpdateRig rig({.version = QStringLiteral("1.4.2"), .build = QStringLiteral("77"), .apiKey = QStringLiteral("test-key"),
                 .appId = QStringLiteral("my app"), .channel = QStringLiteral("beta&more")});
  server.offer(release("1.4.2", "77"));
  UpdaterOptions options = rig.options();
  options.origin = server.origin();
  auto updater = rig.updater(options);
  ASSERT_TRUE(checked(*updater, false));
  EXPECT_TRUE(holds<update_state::UpToDate>(updater->state())) << stateName(updater->state()).toStdString();

  const auto requests = server.http().requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests.front();
  EXPECT_EQ(r.path, "/distributionApi/v1/organizations/C7pLr2QwZs9TnV4kXb8M/applications/my app/latest");
  EXPECT_EQ(r.query, "platform=linux&channel=beta%26more");
  EXPECT_EQ(r.header("Authorization"), "Bearer test-key");
  EXPECT_EQ(r.header("User-Agent"), "Quotabar/1.4.2 (77)");
  EXPECT_FALSE(r.hasHeader("Cookie"));
}

TEST(UpdateCheck, AnswersTable) {
  struct Row {
    const char* name;
    Reply reply;
    bool silent;
    QString state;     // expected case name
    QString message;   // failed: exact message, or a prefix ending in "*"
    bool recorded;     // lastChecked set
    int timeoutMs = 15'000;  // the check's idle bound
  };
  Reply redirectAway = Reply::text("", 302, "text/plain");
  redirectAway.headers = {{"Location", "https://elsewhere.example.test/latest"}};
  Reply late = Reply::json(fake::latestJson(release("2.0.0")));
  late.delayMs = 3000;

  const Row rows[] = {
      {"newer", Reply::json(fake::latestJson(release("1.0.1"))), false, "available", {}, true},
      {"older", Reply::json(fake::latestJson(release("0.9.9", "99"))), true, "upToDate", {}, true},
      {"404", Reply::text("no release", 404, "text/plain"), false, "upToDate", {}, true},
      {"500 with body", Reply::text("maintenance", 500, "text/plain"), false, "failed",
       QStringLiteral("Server responded 500: maintenance"), false},
      {"500 silent", Reply::text("maintenance", 500, "text/plain"), true, "idle", {}, false},
      {"long body", Reply::text(std::string(300, 'x'), 502, "text/plain"), false, "failed",
       QStringLiteral("Server responded 502: ") + QString(200, u'x'), false},
      {"huge 200 body", Reply::json(std::string(2 * 1024 * 1024, 'y')), false, "failed",
       QStringLiteral("The update server returned a malformed response."), false},
      {"not JSON", Reply::text("<html>login</html>", 200), false, "failed",
       QStringLiteral("The data couldn't be read because*"), false},
      {"redirect to another host", redirectAway, false, "failed",
       QStringLiteral("Refused a redirect to https://elsewhere.example.test."), false},
      {"a silent server", late, false, "failed", QStringLiteral("The request timed out."), false, 200},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    rig.server.answerLatest(row.reply);
    UpdaterOptions options = rig.options();
    options.checkTimeoutMs = row.timeoutMs;
    auto updater = rig.updater(options);
    updater->check(row.silent);
    EXPECT_TRUE(holds<update_state::Checking>(updater->state())) << row.name;
    ASSERT_TRUE(StateLog(*updater).waitSettled(*updater)) << row.name;
    EXPECT_EQ(stateName(updater->state()), row.state) << row.name;
    if (row.state == QLatin1String("failed")) {
      const QString message = test::failedMessage(updater->state());
      EXPECT_TRUE(test::matches(message, row.message)) << row.name << ": " << message.toStdString();
      EXPECT_FALSE(std::get<update_state::Failed>(updater->state()).info) << row.name;
    }
    EXPECT_EQ(updater->lastChecked().has_value(), row.recorded) << row.name;
  }
}

TEST(UpdateCheck, BusyStatesIgnoreACheck) {
  UpdateRig rig;
  Reply slow = Reply::json(fake::latestJson(release("2.0.0")));
  slow.delayMs = 300;
  rig.server.answerLatest(slow);
  auto updater = rig.updater();
  updater->check(false);
  ASSERT_TRUE(checked(*updater, false));  // still checking: nothing new
  EXPECT_EQ(rig.server.latestRequests(), 1u);

  // While downloading: no request, the state stays.
  const auto* available = std::get_if<update_state::Available>(&updater->state());
  ASSERT_TRUE(available);
  UpdateInfo info = available->info;
  Reply trickle = Reply::text(std::string(64 * 1024, 'z'), 200, "application/zip");
  trickle.chunkBytes = 4096;
  trickle.chunkDelayMs = 20;
  info.downloadUrl = QUrl(QString::fromStdString(rig.server.serveArtifact("slow.zip", trickle)));
  updater->downloadAndStage(info);
  ASSERT_TRUE(holds<update_state::Downloading>(updater->state()));
  const UpdaterState before = updater->state();
  updater->check(false);
  updater->check(true);
  EXPECT_EQ(updater->state(), before);
  EXPECT_EQ(rig.server.latestRequests(), 1u);
  ASSERT_TRUE(StateLog(*updater).waitSettled(*updater));
}

constexpr qint64 kFlush = 131072;

UpdateInfo infoFor(const std::string& url, const char* fileName = "notes.txt",
                   const char* contentType = "text/plain") {
  return {.version = QStringLiteral("2.0.0"), .downloadUrl = QUrl(QString::fromStdString(url)),
          .fileName = QString::fromLatin1(fileName), .contentType = QString::fromLatin1(contentType)};
}

QList<double> progressOf(const StateLog& log) {
  QList<double> list;
  for (const auto& s : log.states)
    if (const auto* d = std::get_if<update_state::Downloading>(&s)) list << d->progress;
  return list;
}

std::string bytes(qint64 n, char seed = 'a') {
  std::string s(static_cast<size_t>(n), '\0');
  for (qint64 i = 0; i < n; ++i) s[size_t(i)] = char(seed + (i * 7 + i / 251) % 23);
  return s;
}

// Runs one download to its end with a clock that advances `stepMs` per reading.
struct DownloadRun {
  std::unique_ptr<Updater> updater;
  std::unique_ptr<StateLog> log;
};

DownloadRun download(UpdateRig& rig, const UpdateInfo& info, int stepMs = 1000,
             std::function<void(UpdaterOptions&)> tweak = {}) {
  auto clock = std::make_shared<QDateTime>(QDate(2026, 2, 1), QTime(0, 0), Qt::UTC);
  UpdaterOptions options = rig.options();
  options.now = [clock, stepMs] { return *clock = clock->addMSecs(stepMs); };
  if (tweak) tweak(options);
  DownloadRun run{rig.updater(options), nullptr};
  run.log = std::make_unique<StateLog>(*run.updater);
  run.updater->downloadAndStage(info);
  EXPECT_TRUE(run.log->waitSettled(*run.updater));
  return run;
}

TEST(Download, OutcomesTable) {
  const auto served = [](qint64 size, std::size_t chunkBytes = 0, int chunkDelayMs = 0, bool length = true) {
    Reply r = Reply::text(bytes(size), 200, "text/plain");
    r.chunkBytes = chunkBytes;
    r.chunkDelayMs = chunkDelayMs;
    r.noContentLength = !length;
    return r;
  };
  Reply cut = served(600'000);
  cut.cutAfter = 300'000;
  // The digest is of exactly the bytes served, in pieces that never line up with a flush.
  const Reply digested = served(3 * 1024 * 1024 + 12345, 65'537);
  const QString actual = QString::fromStdString(test::sha256Hex(QByteArray::fromStdString(digested.body)));
  const QString passed = QStringLiteral("Unsupported artifact type: text/plain.");
  const auto mismatch = [&actual](const QString& expected) {
    return QStringLiteral("Checksum mismatch (expected %1\u2026, got %2\u2026).").arg(expected, actual.left(12));
  };
  struct Row {
    const char* name;
    Reply reply;
    std::optional<qint64> sizeBytes;
    std::optional<QString> sha256;
    std::function<void(UpdaterOptions&)> tweak;
    QString message;  // a trailing "*" matches a prefix
    int clockStepMs = 1000;
    QList<double> progress = {};  // checked when given
  };
  const Row rows[] = {
      // Progress in pieces that never line up with the flush size; below one flush no report
      // between 0.0 and the end; reports at most every 0.15 s.
      {"small", served(1000, 50'000), {}, {}, {}, passed, 1000, {0.0, 1.0}},
      {"exact flushes", served(5 * kFlush, 50'000), {}, {}, {}, passed, 1000, {0.0, 0.2, 0.4, 0.6, 0.8, 1.0, 1.0}},
      {"no length, no sizeBytes", served(3 * kFlush, 50'000, 0, false), {}, {}, {}, passed, 1000,
       {0.0, -1.0, -1.0, -1.0, -1.0}},
      {"no length, sizeBytes", served(3 * kFlush, 50'000, 0, false), 10 * kFlush, {}, {}, passed, 1000,
       {0.0, 0.1, 0.2, 0.3, 1.0}},
      {"throttled", served(10 * kFlush, 50'000), {}, {}, {}, passed, 100, {0.0, 0.1, 0.3, 0.5, 0.7, 0.9, 1.0}},
      {"digest in lower case", digested, {}, actual, {}, passed},
      {"digest in upper case", digested, {}, actual.toUpper(), {}, passed},
      {"no digest", digested, {}, {}, {}, passed},
      {"wrong digest", digested, {}, QString(64, u'0'), {}, mismatch(QString(12, u'0'))},
      {"truncated digest", digested, {}, actual.left(63), {}, mismatch(actual.left(12))},
      {"cut off", cut, {}, {}, {}, QStringLiteral("The network connection was lost.")},
      {"stalls", served(300'000, 100'000, 1500), {}, {}, [](UpdaterOptions& o) { o.downloadTimeoutMs = 300; },
       QStringLiteral("The request timed out.")},
      {"slow but steady", served(300'000, 40'000, 120), {}, {}, [](UpdaterOptions& o) { o.downloadTimeoutMs = 600; },
       passed},
      {"error page with digest", Reply::text("<html>Not Found</html>", 404), {}, QString(64, u'a'), {},
       QStringLiteral("Checksum mismatch (expected aaaaaaaaaaaa*")},
      {"more than sizeBytes", served(600'000, 0, 0, false), 300'000, {}, {}, QStringLiteral("The download is larger than 300000 bytes.")},
      {"more than the cap, no sizeBytes", served(600'000), {}, {},
       [](UpdaterOptions& o) { o.maxDownloadBytes = 400'000; },
       QStringLiteral("The download is larger than 400000 bytes.")},
      {"work directory impossible", served(1), {}, {},
       [](UpdaterOptions& o) { o.tempDirectory = QStringLiteral("/dev/null/tmp"); },
       QStringLiteral("The folder \u201C/dev/null/tmp/QuotabarUpdate-*")},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    UpdateInfo info = infoFor(rig.server.serveArtifact("notes.txt", row.reply));
    info.sizeBytes = row.sizeBytes;
    info.sha256 = row.sha256;
    const DownloadRun run = download(rig, info, row.clockStepMs, row.tweak);
    const QString message = test::failedMessage(run.updater->state());
    if (!row.progress.isEmpty()) {
      EXPECT_EQ(progressOf(*run.log), row.progress) << row.name;
    }
    EXPECT_TRUE(test::matches(message, row.message)) << row.name << ": " << message.toStdString();
    ASSERT_TRUE(holds<update_state::Failed>(run.updater->state())) << row.name;
    EXPECT_EQ(std::get<update_state::Failed>(run.updater->state()).info, info) << row.name;
    // Only the log stays, and it says why.
    const QStringList work = QDir(rig.tempDirectory()).entryList({QStringLiteral("QuotabarUpdate-*")}, QDir::Dirs);
    if (work.isEmpty()) continue;
    const QString folder = rig.tempDirectory() + u'/' + work.first();
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("update.log")})
        << row.name;
    EXPECT_TRUE(QString::fromUtf8(test::readFile(folder + QStringLiteral("/update.log"))).contains(message.left(20)))
        << row.name;
  }
}

TEST(Download, WriteFailureStopsTheDownload) {
  UpdateRig rig;
  Reply reply = Reply::text(bytes(1024 * 1024), 200, "application/zip");
  const UpdateInfo info = infoFor(rig.server.serveArtifact("q.zip", reply), "q.zip", "application/zip");
  // Files may not grow past 256 KiB while this runs: the write fails with EFBIG.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 256 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const DownloadRun run = download(rig, info);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(test::failedMessage(run.updater->state()), QStringLiteral("File too large"));
}

}  // namespace
}  // namespace qb
