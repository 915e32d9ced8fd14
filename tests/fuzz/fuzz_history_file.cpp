// The usage history file as the app opens and reads it back: any bytes as history.sqlite.
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "monitoring/history_journal.h"
#include "present/cycle_chart.h"
#include "present/history_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  // Every damaged input says so in a line; the fuzzer's own output is what matters here.
  static const bool quiet = (QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false")), true);
  (void)quiet;
  const QString folder = dir.path() + QStringLiteral("/Vantelo");
  QDir(folder).removeRecursively();
  QDir().mkpath(folder);
  QFile file(folder + QStringLiteral("/history.sqlite"));
  if (!file.open(QIODevice::WriteOnly)) return 0;
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  qb::HistoryJournal journal(file.fileName());
  journal.open();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const auto at = [](std::optional<qint64> ms) {
    return ms ? std::optional(QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC)) : std::nullopt;
  };
  for (qb::Provider p : qb::allProviders) {
    const QList<qb::UsageSample> cycle = journal.latestCycle(p);
    const QList<qb::UsageSample> all = journal.samples(p, INT64_MIN, INT64_MAX);
    if (cycle.isEmpty()) continue;
    // The latest row as the service's snapshot, read back as the popover and the tray do.
    const qb::UsageSample& last = cycle.last();
    const qb::UsageSnapshot s{.provider = p, .billingStart = at(last.cycleStartMs), .billingEnd = at(last.cycleEndMs),
                              .totalPercentUsed = last.percent, .planUsed = last.used, .planLimit = last.limit};
    const auto forecast = qb::paceForecast(s, now, QLocale::c(), cycle);
    qb::cycleChart(s, cycle, now, forecast);
    qb::historyLines(p, all, cycle, 30, now);
    qb::historyCsv(all);
    qb::historyJson(all);
  }
  journal.record({.atMs = now.toMSecsSinceEpoch(), .percent = 1});
  return 0;
}
