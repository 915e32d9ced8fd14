#include "present/pace_forecast.h"

#include <algorithm>
#include <cmath>

#include "present/usage_level.h"

namespace qb {

namespace {

QString dayAndMonth(const QDateTime& t, const QLocale& locale) {
  return locale.toString(t.toLocalTime().date(), QStringLiteral("d MMM"));
}

}  // namespace

std::optional<PaceForecast> paceForecast(const UsageSnapshot& s, const QDateTime& now,
                                         const QLocale& locale) {
  if (!s.billingStart || !s.billingEnd || !s.billingStart->isValid() || !s.billingEnd->isValid())
    return std::nullopt;
  const std::optional<double> used = displayablePercent(s.usagePercent());
  if (!used || *used < 0) return std::nullopt;
  const QDateTime& start = *s.billingStart;
  const QDateTime& end = *s.billingEnd;
  const double span = static_cast<double>(start.msecsTo(end));
  const double elapsed = static_cast<double>(start.msecsTo(now));
  constexpr double kDayMs = 24.0 * 3600 * 1000;
  if (span <= 0 || elapsed >= span || elapsed < std::min(kDayMs, span / 10)) return std::nullopt;

  const std::optional<double> projected = displayablePercent(*used * span / elapsed);
  if (!projected) return std::nullopt;
  PaceForecast f;
  f.percent = *projected;
  f.text = QStringLiteral("On pace for %1% by %2")
               .arg(static_cast<qint64>(std::round(f.percent)))
               .arg(dayAndMonth(end, locale));
  f.color = f.percent >= 100 ? Tint::red : f.percent >= kCriticalPercent ? Tint::yellow : Tint::secondary;
  // Already past 100 % there is nothing left to run out.
  if (f.percent > 100 && *used < 100) {
    const QDateTime out = start.addMSecs(static_cast<qint64>(elapsed * 100 / *used));
    f.runsOutAt = out;
    f.runsOutText = QStringLiteral("Runs out around ") + dayAndMonth(out, locale);
  }
  return f;
}

}  // namespace qb
