#include "present/formatters.h"

#include <cmath>
#include <cstdlib>

namespace qb {

std::optional<QString> money(double dollars, const QLocale& locale) {
  if (!std::isfinite(dollars)) return std::nullopt;
  QString text = locale.toCurrencyString(dollars);
  if (locale.currencySymbol().isEmpty() || text.isEmpty())
    text = QString::asprintf("$%.2f", dollars);
  return text;
}

std::optional<qint64> truncated(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return std::nullopt;
  return static_cast<qint64>(std::trunc(value));
}

std::optional<QString> planUsageText(bool isCentsBased, double used, double limit,
                                     const QLocale& locale) {
  if (isCentsBased) {
    const auto u = money(used / 100, locale);
    const auto l = money(limit / 100, locale);
    if (!u || !l) return std::nullopt;
    return *u + QStringLiteral(" of ") + *l;
  }
  const auto u = truncated(used);
  const auto l = truncated(limit);
  if (!u || !l) return std::nullopt;
  return QStringLiteral("%1 / %2 %3")
      .arg(*u)
      .arg(*l)
      .arg(limit == 1 ? QStringLiteral("request") : QStringLiteral("requests"));
}

QString relativeTime(const QDateTime& date, const QDateTime& now) {
  const qint64 secs = now.secsTo(date);
  const qint64 a = std::llabs(secs);
  if (a < 1) return QStringLiteral("now");
  struct Unit {
    qint64 seconds;
    const char* singular;
    const char* plural;
  };
  static const Unit units[] = {{365 * 86400LL, "yr.", "yr."}, {30 * 86400LL, "mo.", "mo."},
                               {7 * 86400LL, "wk.", "wk."},   {86400, "day", "days"},
                               {3600, "hr.", "hr."},          {60, "min.", "min."},
                               {1, "sec.", "sec."}};
  for (const Unit& u : units) {
    if (a < u.seconds) continue;
    const qint64 n = a / u.seconds;
    const QString amount =
        QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? u.singular : u.plural));
    return secs < 0 ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
  }
  return QStringLiteral("now");
}

qint64 calendarDays(const QDateTime& from, const QDateTime& to) {
  const QDateTime a = from.toLocalTime();
  const QDateTime b = to.toLocalTime();
  qint64 days = a.date().daysTo(b.date());
  // A day counts only once its time of day is reached.
  if (days > 0 && b.time() < a.time()) --days;
  if (days < 0 && b.time() > a.time()) ++days;
  return days;
}

QString mediumDate(const QDate& date, const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::LongFormat);
  // The long form without its weekday and with an abbreviated month.
  format.remove(QStringLiteral("dddd, ")).remove(QStringLiteral("dddd "));
  format.remove(QStringLiteral("dddd"));
  format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
  return locale.toString(date, format.trimmed());
}

QString formatByteCount(qint64 bytes, const QLocale& locale) {
  if (bytes <= 0) return QStringLiteral("Zero KB");
  if (bytes < 1'000'000) {
    const auto kb = std::max<qint64>(1, static_cast<qint64>(std::llround(bytes / 1000.0)));
    if (kb < 1000) return locale.toString(kb) + QStringLiteral(" KB");
  }
  const double mb = bytes / 1'000'000.0;
  const double tenths = std::round(mb * 10.0) / 10.0;
  const bool whole = std::fmod(tenths, 1.0) == 0.0;
  return locale.toString(tenths, 'f', whole ? 0 : 1) + QStringLiteral(" MB");
}


}  // namespace qb
