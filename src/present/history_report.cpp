#include "present/history_report.h"

#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "present/snapshot_json.h"

namespace qb {

namespace {

QDate localDay(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().date(); }

// The fields of a sample in the order of the CSV columns; absent ones undefined.
QList<std::pair<const char*, QJsonValue>> fields(const UsageSample& s) {
  const auto num = [](std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Undefined); };
  const auto time = [](std::optional<qint64> ms) {
    return ms ? QJsonValue(isoUtc(QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC))) : QJsonValue(QJsonValue::Undefined);
  };
  QJsonValue unit(QJsonValue::Undefined);
  if (s.used || s.limit) unit = s.cents ? QStringLiteral("cents") : QStringLiteral("requests");
  return {{"time", time(s.atMs)},          {"provider", rawValue(s.provider)},
          {"percent", num(s.percent)},     {"used", num(s.used)},
          {"limit", num(s.limit)},         {"unit", unit},
          {"cycleStart", time(s.cycleStartMs)}, {"cycleEnd", time(s.cycleEndMs)},
          {"onDemandCents", num(s.onDemandCents)}};
}

}  // namespace

QList<HistoryDay> historyDays(const QList<UsageSample>& samples, const QDate& from, const QDate& to) {
  QList<HistoryDay> days;
  std::optional<UsageSample> before;  // the last sample with a figure before the day
  qsizetype i = 0;
  for (QDate day = from; day <= to; day = day.addDays(1)) {
    std::optional<UsageSample> last;
    for (; i < samples.size() && localDay(samples[i].atMs) <= day; ++i) {
      if (!samples[i].percent) continue;
      if (localDay(samples[i].atMs) < day) {
        before = samples[i];
      } else {
        last = samples[i];
      }
    }
    if (!last && days.isEmpty()) continue;
    HistoryDay d{day, std::nullopt, std::nullopt};
    if (last) {
      d.percent = last->percent;
      const bool newCycle = before && last->cycleStartMs != before->cycleStartMs;
      if (newCycle) {
        d.increase = *last->percent;
      } else if (before) {
        d.increase = *last->percent - *before->percent;
      }
      before = last;
    }
    days.append(d);
  }
  return days;
}

QString cycleSparkline(const QList<UsageSample>& cycle, const QDateTime& now) {
  if (cycle.isEmpty()) return {};
  const QDate first = cycle.first().cycleStartMs ? localDay(*cycle.first().cycleStartMs) : localDay(cycle.first().atMs);
  const QList<HistoryDay> days = historyDays(cycle, first, now.toLocalTime().date());
  double top = 100;
  for (const HistoryDay& d : days) top = std::max(top, d.percent.value_or(0));
  static const QString blocks = QStringLiteral("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588");
  QString line(first.daysTo(days.isEmpty() ? first : days.first().day), u' ');
  for (const HistoryDay& d : days) {
    if (!d.percent) {
      line += u' ';
      continue;
    }
    const auto level = static_cast<qsizetype>(std::clamp(*d.percent / top * 8, 0.0, 7.0));
    line += blocks.at(level);
  }
  return line;
}

QStringList historyLines(Provider p, const QList<UsageSample>& window, const QList<UsageSample>& cycle,
                         int days, const QDateTime& now) {
  const QDate today = now.toLocalTime().date();
  QStringList lines{QStringLiteral("%1, last %2 day%3").arg(displayName(p)).arg(days).arg(days == 1 ? "" : "s"),
                    QStringLiteral("day             used  increase")};
  for (const HistoryDay& d : historyDays(window, today.addDays(1 - days), today)) {
    QString line = d.day.toString(Qt::ISODate) + QStringLiteral("  ");
    line += d.percent ? QString::asprintf("%7.1f%%", *d.percent) : QStringLiteral("       \u2013");
    if (d.increase) line += QString::asprintf("  %+7.1f%%", *d.increase);
    lines << line;
  }
  if (!cycle.isEmpty() && cycle.last().cycleStartMs && cycle.last().cycleEndMs) {
    const auto date = [](qint64 ms) { return localDay(ms).toString(QStringLiteral("d MMM")); };
    QString spark = QStringLiteral("This cycle (%1 \u2013 %2): ")
                        .arg(date(*cycle.last().cycleStartMs), date(*cycle.last().cycleEndMs)) +
                    cycleSparkline(cycle, now);
    if (cycle.last().percent) spark += QString::asprintf(" %.1f%%", *cycle.last().percent);
    lines << spark;
  }
  return lines;
}

QString historyCsv(const QList<UsageSample>& samples) {
  QStringList header;
  for (const auto& field : fields({})) header << QLatin1String(field.first);
  QString out = header.join(u',') + u'\n';
  for (const UsageSample& s : samples) {
    QStringList row;
    for (const auto& [key, value] : fields(s))
      row << (value.isDouble() ? QString::number(value.toDouble(), 'g', 15) : value.toString());
    out += row.join(u',') + u'\n';
  }
  return out;
}

QJsonArray historyJson(const QList<UsageSample>& samples) {
  QJsonArray out;
  for (const UsageSample& s : samples) {
    QJsonObject o;
    for (const auto& [key, value] : fields(s)) {
      if (!value.isUndefined()) o.insert(QLatin1String(key), value);
    }
    out.append(o);
  }
  return out;
}

}  // namespace qb
