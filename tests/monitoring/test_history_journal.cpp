// The usage history file, real SQLite in a temporary folder: the write rule, retention,
// damaged, newer, read-only and full files, and two processes writing at once.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "monitoring/history_journal.h"
#include "monitoring/usage_history.h"
#include "support/test_support.h"

namespace qb {
namespace {

using Outcome = HistoryJournal::Outcome;
using Access = HistoryJournal::Access;
constexpr qint64 kMinute = 60'000, kDay = 24 * HistoryJournal::kHourMs;
const QDateTime kNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

UsageSample sample(qint64 atMs, double percent, Provider p = Provider::cursor) {
  return {.provider = p, .atMs = atMs, .percent = percent, .cycleStartMs = kNow.addDays(-10).toMSecsSinceEpoch()};
}

struct Folder {
  QString file() const { return dir.path() + QStringLiteral("/Vantelo/history.sqlite"); }
  QStringList broken() const {
    // The broken file; its log beside it takes the same name and "-wal".
    return QDir(dir.path() + QStringLiteral("/Vantelo")).entryList({QStringLiteral("history.sqlite.broken-*")})
        .filter(QRegularExpression(QStringLiteral("-\\d\\d$")));
  }
  QTemporaryDir dir;
  test::LogCapture log{QStringLiteral("com.orvane.quotabar.history=true")};  // the history's warnings
};

TEST(HistoryJournal, ARowWhenAFigureChangesOrAnHourHasPassed) {
  Folder f;
  qint64 clock = kNow.toMSecsSinceEpoch();
  HistoryJournal journal(f.file(), [&] { return QDateTime::fromMSecsSinceEpoch(clock, Qt::UTC); });
  ASSERT_EQ(journal.open(), Access::writable);
  const qint64 t = clock - kDay;
  const struct {
    const char* what;
    UsageSample s;
    Outcome outcome;
  } rows[] = {
      {"first", sample(t, 10), Outcome::added},
      {"same within the hour", sample(t + kMinute, 10), Outcome::unchanged},
      {"changed", sample(t + 2 * kMinute, 11), Outcome::added},
      {"same an hour on", sample(t + 62 * kMinute, 11), Outcome::added},
      {"older than the last row", sample(t + 30 * kMinute, 12), Outcome::unchanged},
      {"another service", sample(t + 30 * kMinute, 12, Provider::codex), Outcome::added},
      {"kept 400 days, then gone", sample(clock - 399 * kDay, 1, Provider::claude), Outcome::added},
  };
  for (const auto& r : rows) EXPECT_EQ(journal.record(r.s), r.outcome) << r.what;
  EXPECT_EQ(journal.samples(Provider::cursor, 0, clock).size(), 3);
  EXPECT_EQ(journal.latestCycle(Provider::cursor).last().percent, 11);
  clock += 2 * kDay;
  journal.prune();
  EXPECT_TRUE(journal.samples(Provider::claude, 0, clock).isEmpty());
  EXPECT_EQ(journal.clear(Provider::cursor), 3);
  EXPECT_EQ(journal.samples(std::nullopt, 0, clock).size(), 1);
  // A snapshot without figures records nothing.
  EXPECT_FALSE(usageSample(accountOnlySnapshot(Provider::codex, {}, {}, QStringLiteral("note")), kNow));
}

TEST(HistoryJournal, FaultsKeepTheAppWorkingAndLoseNothingElse) {
  const auto withRows = [](const QString& path) {
    HistoryJournal j(path);
    j.open();
    for (int i = 0; i < 300; ++i) j.record(sample(kNow.toMSecsSinceEpoch() - (300 - i) * kMinute, i));
  };
  const auto fileSize = [](rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  };
  const std::function<void()> nothing = [] {};
  const struct {
    const char* what;
    std::function<void(const QString& path)> setup;
    std::function<void()> afterOpen, restore;
    Access access;
    bool movedAside;
    int rowsRead;
    Outcome outcome;
  } rows[] = {
      {"not a database", [](const QString& p) { test::writeFile(p, "hello, this is no database"); },
       nothing, nothing, Access::writable, true, 0, Outcome::added},
      {"a damaged page",
       [&](const QString& p) {
         withRows(p);
         QFile db(p);
         db.open(QIODevice::ReadWrite);
         db.seek(4096);
         db.write(QByteArray(3 * 4096, '\xab'));
       },
       nothing, nothing, Access::writable, true, 0, Outcome::added},
      {"a newer schema, only read",
       [](const QString& p) {
         sql::Database db;
         db.open(p, true);
         db.exec("CREATE TABLE samples (provider TEXT, at INTEGER, percent REAL, used REAL, plan_limit REAL,"
                 " unit TEXT, cycle_start INTEGER, cycle_end INTEGER, on_demand_cents REAL, mood TEXT);"
                 "INSERT INTO samples (provider, at, percent) VALUES ('cursor', 1, 5), ('nobody', 2, 6);"
                 "PRAGMA user_version = 7");
       },
       nothing, nothing, Access::readOnly, false, 1, Outcome::dropped},
      {"a folder that cannot be written",
       [](const QString& p) {
         // Root writes anywhere: then the folder is tried as "nobody".
         if (::geteuid() != 0) QFile::setPermissions(QFileInfo(p).absolutePath(), QFile::ReadOwner | QFile::ExeOwner);
         EXPECT_EQ(::geteuid() == 0 ? ::seteuid(65534) : 0, 0);
       },
       nothing, [] { EXPECT_EQ(::getuid() == 0 ? ::seteuid(0) : 0, 0); }, Access::none, false, 0, Outcome::dropped},
      {"a full disk", withRows, [&] { fileSize(1); }, [&] { fileSize(RLIM_INFINITY); }, Access::writable, false,
       300, Outcome::dropped},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Folder f;
    ::chmod(QFile::encodeName(f.dir.path()).constData(), 0755);
    QDir().mkpath(QFileInfo(f.file()).absolutePath());
    r.setup(f.file());
    const QByteArray before = test::readFile(f.file());
    HistoryJournal journal(f.file());
    EXPECT_EQ(journal.open(), r.access);
    r.afterOpen();
    EXPECT_EQ(journal.samples(std::nullopt, 0, kNow.toMSecsSinceEpoch()).size(), r.rowsRead);
    EXPECT_EQ(journal.record(sample(kNow.toMSecsSinceEpoch(), 99)), r.outcome);
    EXPECT_EQ(journal.record(sample(kNow.toMSecsSinceEpoch() + kMinute, 98)), r.outcome);
    r.restore();
    EXPECT_EQ(f.broken().size(), r.movedAside ? 1 : 0);
    if (r.access != Access::writable) {
      EXPECT_EQ(test::readFile(f.file()), before);
    }
    // One line says what happened, however often it happens.
    EXPECT_EQ(f.log.lines.size(), 1) << f.log.of(QtWarningMsg).join(u'\n').toStdString();
    if (r.access == Access::writable && r.outcome == Outcome::dropped) {
      EXPECT_EQ(journal.record(sample(kNow.toMSecsSinceEpoch() + 2 * kMinute, 97)), Outcome::added);
      EXPECT_EQ(journal.samples(std::nullopt, 0, kNow.addDays(1).toMSecsSinceEpoch()).size(), 301);
    }
  }
}

// A tray and a bar's watcher see the same figures at nearly the same moments.
TEST(HistoryJournal, TwoWritersWriteEachChangeOnce) {
  Folder f;
  QDir().mkpath(QFileInfo(f.file()).absolutePath());
  const auto writeAll = [&](qint64 offsetMs) {
    HistoryJournal journal(f.file());
    journal.open();
    for (int i = 0; i < 200; ++i) journal.record(sample(kNow.toMSecsSinceEpoch() + i * kMinute + offsetMs, i / 20));
  };
  const pid_t child = ::fork();
  if (child == 0) {
    writeAll(500);
    ::_exit(0);
  }
  writeAll(0);
  int status = -1;
  ::waitpid(child, &status, 0);
  HistoryJournal journal(f.file());
  journal.open();
  const QList<UsageSample> rows = journal.samples(Provider::cursor, 0, kNow.addDays(1).toMSecsSinceEpoch());
  ASSERT_EQ(rows.size(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(rows[i].percent, i);
}

TEST(HistoryJournal, ASampleTakenWhileTheFileOpensIsReadBack) {
  Folder f;
  QDir().mkpath(QFileInfo(f.file()).absolutePath());
  HistoryJournal(f.file()).open();
  sql::Database other;  // another writer holds the file while this one opens it
  ASSERT_TRUE(other.open(f.file(), false) && other.exec("BEGIN IMMEDIATE"));
  UsageHistory history(f.file());
  history.record(sample(QDateTime::currentMSecsSinceEpoch(), 7));
  other.exec("COMMIT");
  bool idle = false;
  history.whenIdle([&] { idle = true; });
  ASSERT_TRUE(test::waitUntil([&] { return idle; }));
  EXPECT_EQ(history.cycle(Provider::cursor).size(), 1);
}

}  // namespace
}  // namespace qb
