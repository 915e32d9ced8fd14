#include "monitoring/history_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cerrno>
#include <cmath>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/data_paths.h"

namespace qb {

namespace {

Q_LOGGING_CATEGORY(lcHistory, "com.orvane.quotabar.history")

constexpr qint64 kDayMs = 24 * HistoryJournal::kHourMs;
const char* const kColumns = "provider, at, percent, used, plan_limit, unit, cycle_start, cycle_end, on_demand_cents";

// Step i upgrades a file of version i; a new schema adds a step and never edits an old one.
const char* const kUpgrades[] = {
    "CREATE TABLE samples ("
    " provider TEXT NOT NULL,"
    " at INTEGER NOT NULL,"          // ms since 1970, UTC
    " percent REAL,"
    " used REAL,"
    " plan_limit REAL,"
    " unit TEXT,"                    // "cents" or "requests"
    " cycle_start INTEGER,"
    " cycle_end INTEGER,"
    " on_demand_cents REAL,"
    " PRIMARY KEY (provider, at)) WITHOUT ROWID",
};
static_assert(std::size(kUpgrades) == HistoryJournal::kSchemaVersion);

std::optional<double> finite(std::optional<double> v) {
  return v && std::isfinite(*v) ? v : std::nullopt;
}

std::optional<qint64> msOf(const std::optional<QDateTime>& t) {
  if (!t || !t->isValid()) return std::nullopt;
  return t->toMSecsSinceEpoch();
}

bool damaged(int code) { return code == SQLITE_CORRUPT || code == SQLITE_NOTADB; }

// The schema version in a database file's header, or nothing when the file is no database.
std::optional<quint32> headerVersion(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QByteArray h = f.read(100);
  if (h.isEmpty()) return 0;  // an empty file is an empty database
  if (h.size() < 100 || !h.startsWith(QByteArrayLiteral("SQLite format 3\0"))) return std::nullopt;
  const auto* b = reinterpret_cast<const uchar*>(h.constData()) + 60;
  return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

}  // namespace

std::optional<UsageSample> usageSample(const UsageSnapshot& s, const QDateTime& at) {
  UsageSample r;
  r.provider = s.provider;
  r.atMs = at.toMSecsSinceEpoch();
  r.percent = finite(s.usagePercent());
  r.used = finite(s.planUsed);
  r.limit = finite(s.planLimit);
  if (!r.percent && !(r.used && r.limit)) return std::nullopt;
  r.cents = s.isCentsBased;
  r.cycleStartMs = msOf(s.billingStart);
  r.cycleEndMs = msOf(s.billingEnd);
  r.onDemandCents = finite(s.onDemandUsedCents);
  return r;
}

std::optional<QString> historyFilePath() {
  const std::optional<QString> base = platform::userDataDirectory();
  if (!base) return std::nullopt;
  return *base + QStringLiteral("/Vantelo/history.sqlite");
}

HistoryJournal::HistoryJournal(QString path, std::function<QDateTime()> now)
    : path_(std::move(path)), now_(std::move(now)) {
  if (!now_) now_ = [] { return QDateTime::currentDateTimeUtc(); };
}

HistoryJournal::Access HistoryJournal::open(bool create) {
  create_ = create;
  lastOpenMs_ = nowMs();
  // A broken file is moved aside once; a second failure leaves the history off.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (tryOpen(create) != Check::broken) return access_;
  }
  db_.close(false);
  access_ = Access::none;
  return access_;
}

HistoryJournal::Check HistoryJournal::tryOpen(bool create) {
  db_.close();
  access_ = Access::none;
  problem_.clear();
  const QString folder = QFileInfo(path_).absolutePath();
  struct stat st {};
  if (::lstat(QFile::encodeName(path_).constData(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      moveAside(QStringLiteral("not a regular file"));
      return Check::broken;
    }
  } else if (errno == ENOENT && !create) {
    problem_ = QStringLiteral("No usage history yet.");
    return Check::unavailable;
  } else if (errno == ENOENT && !QFileInfo(folder).isDir()) {
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
  }
  if (::access(QFile::encodeName(folder).constData(), W_OK) != 0) {
    unavailable(QStringLiteral("The folder %1 is not writable, so no usage history is kept.").arg(folder));
    return Check::unavailable;
  }
  const std::optional<quint32> header = headerVersion(path_);
  if (!header) {
    moveAside(QStringLiteral("not a database"));
    return Check::broken;
  }

  const auto broken = [this](const QString& reason) {
    moveAside(reason);
    return Check::broken;
  };
  const auto cannotWrite = [this] {
    unavailable(QStringLiteral("history.sqlite cannot be used (%1), so no usage history is kept.").arg(db_.error()));
    return Check::unavailable;
  };
  if (!db_.open(path_, create)) return damaged(db_.code()) ? broken(db_.error()) : cannotWrite();
  db_.exec("PRAGMA busy_timeout = 1000");
  const std::optional<QString> version = db_.value("PRAGMA user_version");
  if (*header > kSchemaVersion || (version && version->toLongLong() > kSchemaVersion)) {
    readOnly();
    return Check::ok;
  }
  if (!version) return damaged(db_.code()) ? broken(db_.error()) : cannotWrite();
  // Before anything is written: only a new file takes it.
  db_.exec("PRAGMA auto_vacuum = INCREMENTAL");
  if (db_.value("PRAGMA journal_mode = WAL") != QLatin1String("wal")) return cannotWrite();
  const std::optional<QString> check = db_.value("PRAGMA quick_check(1)");
  if (check != QLatin1String("ok")) {
    if (check || damaged(db_.code())) return broken(check.value_or(db_.error()));
    return cannotWrite();
  }
  // Each write is one short transaction; NORMAL keeps the file whole at a crash, and only
  // the last writes before a power cut may be missing.
  db_.exec("PRAGMA synchronous = NORMAL; PRAGMA cache_size = -256");
  if (!db_.exec("BEGIN IMMEDIATE")) return cannotWrite();
  // Read again inside the lock: another copy may have upgraded the file meanwhile.
  const qint64 current = db_.value("PRAGMA user_version").value_or(QString()).toLongLong();
  if (current > kSchemaVersion) {
    db_.exec("ROLLBACK");
    readOnly();
    return Check::ok;
  }
  bool ok = true;
  for (qint64 step = current; ok && step < kSchemaVersion; ++step) ok = db_.exec(kUpgrades[step]);
  const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(kSchemaVersion);
  if (ok && current < kSchemaVersion) ok = db_.exec(setVersion.constData());
  if (!ok || !db_.exec("COMMIT")) {
    const int code = db_.code();
    const QString error = db_.error();
    db_.exec("ROLLBACK");
    // A table of ours that cannot be made: someone else's file under our name.
    if (damaged(code) || code == SQLITE_ERROR) return broken(error);
    unavailable(QStringLiteral("history.sqlite cannot be used (%1), so no usage history is kept.").arg(error));
    return Check::unavailable;
  }
  access_ = Access::writable;
  prune();
  return Check::ok;
}

void HistoryJournal::readOnly() {
  // A newer Quotabar's file: read what we know of it, never write or downgrade it.
  db_.exec("PRAGMA query_only = 1");
  access_ = Access::readOnly;
  problem_ = QStringLiteral("history.sqlite is from a newer Quotabar, so this one only reads it.");
  if (!std::exchange(saidProblem_, true)) qCWarning(lcHistory, "%s", qUtf8Printable(problem_));
}

void HistoryJournal::moveAside(const QString& reason) {
  db_.close(false);
  const QString base = path_ + QStringLiteral(".broken-") + now_().toLocalTime().date().toString(Qt::ISODate);
  QString target = base;
  for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) target = base + u'-' + QString::number(n);
  if (!QFile::rename(path_, target)) {
    unavailable(QStringLiteral("history.sqlite is damaged and cannot be moved aside, so no usage history is kept."));
    return;
  }
  // The log holds the broken file's last writes; the index beside it is rebuilt from it.
  QFile::rename(path_ + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
  QFile::remove(path_ + QStringLiteral("-shm"));
  qCWarning(lcHistory, "history.sqlite could not be used (%s); moved aside to %s, starting a new one",
            qUtf8Printable(reason), qUtf8Printable(target));
}

void HistoryJournal::unavailable(const QString& problem) {
  db_.close();
  access_ = Access::none;
  problem_ = problem;
  if (!std::exchange(saidProblem_, true)) qCWarning(lcHistory, "%s", qUtf8Printable(problem));
}

bool HistoryJournal::ensureWritable() {
  // The file was renamed or deleted under us: the next step goes to the file at our path.
  if (db_.isOpen() && db_.hasMoved()) {
    db_.close(false);
    access_ = Access::none;
    lastOpenMs_ = 0;
  }
  // Not open yet, or a minute after it could not be: a full disk or a busy file passes.
  if (access_ == Access::none && (lastOpenMs_ == 0 || nowMs() - lastOpenMs_ >= 60'000)) open(create_);
  return access_ == Access::writable;
}

void HistoryJournal::failed(const char* what) {
  const int code = db_.code();
  const QString error = db_.error();
  if (db_.inTransaction()) db_.exec("ROLLBACK");
  if (access_ == Access::writable && damaged(code)) {
    moveAside(error);
    open(create_);
    return;
  }
  // A full disk, a busy or failing file: this step is lost, the next one tries again.
  if (nowMs() - lastDropLogMs_ >= kHourMs) {
    lastDropLogMs_ = nowMs();
    qCWarning(lcHistory, "Usage history: %s failed (%s)", what, qUtf8Printable(error));
  }
}

HistoryJournal::Outcome HistoryJournal::dropped(const char* what) {
  failed(what);
  return Outcome::dropped;
}

HistoryJournal::Outcome HistoryJournal::record(const UsageSample& s) {
  if (!ensureWritable()) return Outcome::dropped;
  if (nowMs() - lastPruneMs_ >= kDayMs) prune();
  if (!db_.exec("BEGIN IMMEDIATE")) return dropped("recording a sample");
  sql::Statement last(db_, "SELECT provider, at, percent, used, plan_limit, unit, cycle_start, cycle_end, "
                           "on_demand_cents FROM samples WHERE provider = ?1 ORDER BY at DESC LIMIT 1");
  last.bind(1, rawValue(s.provider));
  const QList<UsageSample> previous = rows(last);
  if (db_.code() != SQLITE_DONE) return dropped("recording a sample");
  if (!previous.isEmpty()) {
    const UsageSample& p = previous.first();
    if (s.atMs <= p.atMs || (s.sameFigures(p) && s.atMs - p.atMs < kHourMs)) {
      db_.exec("COMMIT");
      return Outcome::unchanged;
    }
  }
  sql::Statement insert(db_, "INSERT OR IGNORE INTO samples (provider, at, percent, used, plan_limit, unit, "
                             "cycle_start, cycle_end, on_demand_cents) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  insert.bind(1, rawValue(s.provider)).bind(2, s.atMs).bind(3, s.percent).bind(4, s.used).bind(5, s.limit);
  insert.bind(6, s.cents ? QStringLiteral("cents") : QStringLiteral("requests"));
  insert.bind(7, s.cycleStartMs).bind(8, s.cycleEndMs).bind(9, s.onDemandCents);
  if (!insert.run() || !db_.exec("COMMIT")) return dropped("recording a sample");
  return Outcome::added;
}

QList<UsageSample> HistoryJournal::rows(sql::Statement& q) {
  QList<UsageSample> out;
  while (q.next()) {
    // A row we cannot read (a newer copy's, or a hand-edited one) is skipped, not trusted.
    const std::optional<Provider> p = providerFromRaw(q.text(0).value_or(QString()));
    const std::optional<qint64> at = q.integer(1);
    if (!p || !at) continue;
    UsageSample s;
    s.provider = *p;
    s.atMs = *at;
    s.percent = finite(q.real(2));
    s.used = finite(q.real(3));
    s.limit = finite(q.real(4));
    s.cents = q.text(5) == QLatin1String("cents");
    s.cycleStartMs = q.integer(6);
    s.cycleEndMs = q.integer(7);
    s.onDemandCents = finite(q.real(8));
    out.append(s);
  }
  return out;
}

QList<UsageSample> HistoryJournal::samples(std::optional<Provider> provider, qint64 fromMs, qint64 toMs) {
  if (access_ == Access::none) return {};
  const QByteArray sql = QByteArray("SELECT ") + kColumns + " FROM samples WHERE at >= ?1 AND at <= ?2" +
                         (provider ? " AND provider = ?3" : "") + " ORDER BY at, provider";
  sql::Statement q(db_, sql.constData());
  q.bind(1, fromMs).bind(2, toMs);
  if (provider) q.bind(3, rawValue(*provider));
  QList<UsageSample> out = rows(q);
  if (db_.code() != SQLITE_DONE) failed("reading the history");
  return out;
}

QList<UsageSample> HistoryJournal::latestCycle(Provider p) {
  if (access_ == Access::none) return {};
  const QByteArray sql = QByteArray("SELECT ") + kColumns +
                         " FROM samples WHERE provider = ?1 AND at >= (SELECT cycle_start FROM samples"
                         " WHERE provider = ?1 ORDER BY at DESC LIMIT 1) ORDER BY at";
  sql::Statement q(db_, sql.constData());
  q.bind(1, rawValue(p));
  QList<UsageSample> out = rows(q);
  if (db_.code() != SQLITE_DONE) failed("reading the history");
  return out;
}

QList<UsageSample> HistoryJournal::since(Provider p, qint64 afterMs) {
  if (access_ == Access::none) return {};
  const QByteArray sql = QByteArray("SELECT ") + kColumns + " FROM samples WHERE provider = ?1 AND at > ?2 ORDER BY at";
  sql::Statement q(db_, sql.constData());
  q.bind(1, rawValue(p)).bind(2, afterMs);
  QList<UsageSample> out = rows(q);
  if (db_.code() != SQLITE_DONE) failed("reading the history");
  return out;
}

std::optional<int> HistoryJournal::clear(std::optional<Provider> provider) {
  if (!ensureWritable()) return std::nullopt;
  sql::Statement del(db_, provider ? "DELETE FROM samples WHERE provider = ?1" : "DELETE FROM samples");
  if (provider) del.bind(1, rawValue(*provider));
  if (!del.run()) {
    failed("clearing the history");
    return std::nullopt;
  }
  const int gone = db_.changes();
  db_.exec("PRAGMA incremental_vacuum");
  return gone;
}

void HistoryJournal::prune() {
  lastPruneMs_ = nowMs();
  sql::Statement del(db_, "DELETE FROM samples WHERE at < ?1");
  del.bind(1, nowMs() - kKeepDays * kDayMs);
  if (!del.run()) {
    failed("removing old rows");
    return;
  }
  if (db_.changes() > 0) db_.exec("PRAGMA incremental_vacuum");
}

}  // namespace qb
