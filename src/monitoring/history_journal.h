#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "common/sqlite.h"
#include "providers/provider_api.h"

namespace qb {

// One recorded poll of a service: its figures at a moment (times in ms since 1970, UTC).
struct UsageSample {
  Provider provider = Provider::cursor;
  qint64 atMs = 0;
  std::optional<double> percent;
  std::optional<double> used, limit;  // cents when `cents`, else requests
  bool cents = false;
  std::optional<qint64> cycleStartMs, cycleEndMs;
  std::optional<double> onDemandCents;

  bool sameFigures(const UsageSample& o) const {
    return percent == o.percent && used == o.used && limit == o.limit && cents == o.cents &&
           cycleStartMs == o.cycleStartMs && cycleEndMs == o.cycleEndMs && onDemandCents == o.onDemandCents;
  }
};

// What a snapshot taken at `at` records; nothing when it carries no figure.
std::optional<UsageSample> usageSample(const UsageSnapshot& s, const QDateTime& at);

// history.sqlite beside the session copies; nothing without a data folder.
std::optional<QString> historyFilePath();

// The usage history file: its schema and upgrades, the check when it opens (a broken file is
// moved aside, a newer one only read), the "changed or an hour" write, retention and
// compaction. Synchronous, one thread at a time: UsageHistory runs it on a thread of its
// own, the `history` command directly.
class HistoryJournal {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr qint64 kKeepDays = 400;
  static constexpr qint64 kHourMs = 3600 * 1000;

  enum class Access { none, readOnly, writable };
  enum class Outcome { added, unchanged, dropped };

  explicit HistoryJournal(QString path, std::function<QDateTime()> now = {});

  // Opens and checks the file, creating it unless `create` is false. A file that is not a
  // database or is damaged is moved aside and a new one started; one from a newer schema
  // is only read; a folder that cannot be written means no history.
  Access open(bool create = true);
  void close() { db_.close(); }
  Access access() const { return access_; }
  // Why there is no history to write, as a sentence; empty when it is writable.
  const QString& problem() const { return problem_; }

  // One transaction: a row when a figure changed since the service's last row or an hour
  // has passed since it; a sample older than that row is dropped.
  Outcome record(const UsageSample& s);
  // Oldest first; `provider` nothing for every service.
  QList<UsageSample> samples(std::optional<Provider> provider, qint64 fromMs, qint64 toMs);
  // The rows of the service's latest billing cycle; the rows after `afterMs`.
  QList<UsageSample> latestCycle(Provider p);
  QList<UsageSample> since(Provider p, qint64 afterMs);
  // How many rows went; nothing when the file could not be changed.
  std::optional<int> clear(std::optional<Provider> provider);
  // Rows older than kKeepDays go and the freed pages go back to the file system.
  void prune();

 private:
  enum class Check { ok, broken, unavailable };
  Check tryOpen(bool create);
  void readOnly();
  void moveAside(const QString& reason);
  bool ensureWritable();
  // After a failed step: rolls back, and a damaged file is moved aside; logs at most hourly.
  void failed(const char* what);
  Outcome dropped(const char* what);
  void unavailable(const QString& problem);
  QList<UsageSample> rows(sql::Statement& query);
  qint64 nowMs() const { return now_().toMSecsSinceEpoch(); }

  QString path_;
  std::function<QDateTime()> now_;
  sql::Database db_;
  Access access_ = Access::none;
  QString problem_;
  bool create_ = true;
  bool saidProblem_ = false;
  qint64 lastDropLogMs_ = 0;
  qint64 lastOpenMs_ = 0;
  qint64 lastPruneMs_ = 0;
};

}  // namespace qb
