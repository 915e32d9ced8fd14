#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QStringList>
#include <optional>

#include "monitoring/history_journal.h"

namespace qb {

// One local day of a service's history: its last figure and its rise over the day before
// (from 0 on a day a new billing cycle began; nothing on the history's first day).
struct HistoryDay {
  QDate day;
  std::optional<double> percent;
  std::optional<double> increase;
};
// The days from `from` to `to`, starting at the first with a figure; `samples` of one
// service, oldest first (those before `from` only give the first day's increase).
QList<HistoryDay> historyDays(const QList<UsageSample>& samples, const QDate& from, const QDate& to);

// One block character per day of the cycle so far, "▁" to "█" on a scale of 0 to 100 %
// (or the highest figure above it); a blank for a day without a figure.
QString cycleSparkline(const QList<UsageSample>& cycle, const QDateTime& now);

// What `quotabar history` prints for one service: a title, a line per day and the cycle's
// sparkline. `window` covers the days asked for (and the day before), `cycle` the latest
// billing cycle.
QStringList historyLines(Provider p, const QList<UsageSample>& window, const QList<UsageSample>& cycle,
                         int days, const QDateTime& now);

// One row per sample under a header row; times in ISO 8601, UTC.
QString historyCsv(const QList<UsageSample>& samples);
QJsonArray historyJson(const QList<UsageSample>& samples);

}  // namespace qb
