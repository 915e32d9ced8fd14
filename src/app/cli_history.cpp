// `quotabar history`: the recorded usage, per day with a sparkline, or as CSV or JSON rows.
#include <QJsonDocument>

#include "app/cli_common.h"
#include "monitoring/history_journal.h"
#include "present/history_report.h"

namespace qb::cli {

namespace {

constexpr qint64 kDayMs = 24 * HistoryJournal::kHourMs;

struct HistoryArgs {
  std::optional<Provider> provider;
  int days = 30;
  bool daysGiven = false, csv = false, json = false, clear = false;
};

// The arguments, or the usage error to print.
std::variant<HistoryArgs, QString> parse(const QStringList& args) {
  HistoryArgs a;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QLatin1String("--csv")) {
      a.csv = true;
    } else if (arg == QLatin1String("--json")) {
      a.json = true;
    } else if (arg == QLatin1String("--clear")) {
      a.clear = true;
    } else if (arg == QLatin1String("--days")) {
      bool ok = false;
      a.days = args.value(++i).toInt(&ok);
      a.daysGiven = true;
      if (!ok || a.days < 1 || a.days > HistoryJournal::kKeepDays)
        return QStringLiteral("--days takes a number of days from 1 to %1").arg(HistoryJournal::kKeepDays);
    } else if (!a.provider && !arg.startsWith(u'-')) {
      a.provider = providerFromRaw(arg);
      if (!a.provider) return QStringLiteral("unknown service%1 (cursor, windsurf, codex or claude)").arg(echoed(arg));
    } else {
      return QStringLiteral("unexpected argument%1").arg(echoed(arg));
    }
  }
  if (a.csv && a.json) return QStringLiteral("--csv and --json cannot be combined");
  if (a.clear && (a.csv || a.json || a.daysGiven)) return QStringLiteral("--clear takes only a SERVICE");
  return a;
}

int clearHistory(HistoryJournal& journal, std::optional<Provider> provider) {
  const QString whose = provider ? displayName(*provider) + u' ' : QString();
  if (journal.open(false) == HistoryJournal::Access::none && journal.problem() == QLatin1String("No usage history yet.")) {
    out() << "No " << whose << "usage history to delete." << Qt::endl;
    return Exit::ok;
  }
  const std::optional<int> gone = journal.clear(provider);
  if (!gone) {
    err() << "Couldn't delete the usage history: " << journal.problem() << Qt::endl;
    return Exit::failed;
  }
  out() << "Deleted " << *gone << " row" << (*gone == 1 ? "" : "s") << " of " << whose << "usage history."
        << Qt::endl;
  return Exit::ok;
}

}  // namespace

int historyCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar history [SERVICE] [--days N] [--csv|--json] | --clear [SERVICE]");
  const auto parsed = parse(args);
  if (const auto* message = std::get_if<QString>(&parsed)) return usageError(*message, usageLine);
  const HistoryArgs& a = std::get<HistoryArgs>(parsed);
  const std::optional<QString> path = historyFilePath();
  if (!path) {
    err() << "Couldn't read the usage history: there is no data folder." << Qt::endl;
    return Exit::failed;
  }
  HistoryJournal journal(*path);
  if (a.clear) return clearHistory(journal, a.provider);

  if (journal.open(false) == HistoryJournal::Access::none) {
    if (journal.problem() != QLatin1String("No usage history yet.")) {
      err() << journal.problem() << Qt::endl;
      return Exit::failed;
    }
  }
  const QDateTime now = QDateTime::currentDateTime();
  const qint64 fromMs = QDateTime(now.date().addDays(1 - a.days), QTime(0, 0)).toMSecsSinceEpoch();
  const qint64 nowMs = now.toMSecsSinceEpoch();
  if (a.csv || a.json) {
    const QList<UsageSample> rows = journal.samples(a.provider, fromMs, nowMs);
    if (a.csv) out() << historyCsv(rows);
    if (a.json) out() << QJsonDocument(historyJson(rows)).toJson(QJsonDocument::Compact) << '\n';
    out().flush();
    return Exit::ok;
  }
  bool any = false;
  for (Provider p : allProviders) {
    if (a.provider && p != *a.provider) continue;
    const QList<UsageSample> window = journal.samples(p, fromMs - kDayMs, nowMs);
    const QList<UsageSample> cycle = journal.latestCycle(p);
    if (window.isEmpty() && cycle.isEmpty()) continue;
    if (any) out() << '\n';
    any = true;
    for (const QString& line : historyLines(p, window, cycle, a.days, now)) out() << line << '\n';
  }
  if (!any) out() << "No " << (a.provider ? displayName(*a.provider) + u' ' : QString()) << "usage history yet.\n";
  out().flush();
  return Exit::ok;
}

}  // namespace qb::cli
