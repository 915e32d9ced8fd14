#include "present/pace_forecast.h"

#include <algorithm>
#include <cmath>

#include "present/usage_level.h"

namespace qb {

namespace {

constexpr double kDayMs = 24.0 * 3600 * 1000;

QString dayAndMonth(const QDateTime& t, const QLocale& locale) {
  return locale.toString(t.toLocalTime().date(), QStringLiteral("d MMM"));
}

// The recent rate in percent per millisecond: from the last point at least seven days old
// (or the first) to now. Nothing when the history covers less than three days.
std::optional<double> recentRate(const QList<CyclePoint>& points, double used, qint64 nowMs) {
  if (points.isEmpty() || nowMs - points.first().atMs < 3 * kDayMs) return std::nullopt;
  CyclePoint base = points.first();
  for (const CyclePoint& p : points) {
    if (p.atMs > nowMs - 7 * kDayMs) break;
    base = p;
  }
  return std::max(0.0, (used - base.percent) / static_cast<double>(nowMs - base.atMs));
}

}  // namespace

const char* basisName(PaceForecast::Basis basis) {
  return basis == PaceForecast::Basis::recent ? "recent" : "cycle";
}

QList<CyclePoint> cyclePoints(const UsageSnapshot& s, const QList<UsageSample>& history, const QDateTime& now) {
  QList<CyclePoint> out;
  if (!s.billingStart || !s.billingStart->isValid()) return out;
  const qint64 start = s.billingStart->toMSecsSinceEpoch();
  const qint64 nowMs = now.toMSecsSinceEpoch();
  // Today's limit, 0 when there is none to restate with.
  const double limit = s.planLimit && *s.planLimit > 0 && std::isfinite(*s.planLimit) ? *s.planLimit : 0;
  for (const UsageSample& r : history) {
    // Another cycle's rows (and rows the clock has not reached) say nothing of this one.
    if (r.provider != s.provider || r.atMs < start || r.atMs > nowMs) continue;
    if (r.cycleStartMs && *r.cycleStartMs != start) continue;
    std::optional<double> percent = r.percent;
    if (limit > 0 && r.limit && *r.limit != limit && r.used && r.cents == s.isCentsBased)
      percent = *r.used / limit * 100;
    if (percent && std::isfinite(*percent)) out.append({r.atMs, *percent});
  }
  return out;
}

std::optional<PaceForecast> paceForecast(const UsageSnapshot& s, const QDateTime& now,
                                         const QLocale& locale, const QList<UsageSample>& history) {
  if (!s.billingStart || !s.billingEnd || !s.billingStart->isValid() || !s.billingEnd->isValid())
    return std::nullopt;
  const std::optional<double> used = displayablePercent(s.usagePercent());
  if (!used || *used < 0) return std::nullopt;
  const QDateTime& start = *s.billingStart;
  const QDateTime& end = *s.billingEnd;
  const double span = static_cast<double>(start.msecsTo(end));
  const double elapsed = static_cast<double>(start.msecsTo(now));
  if (span <= 0 || elapsed >= span || elapsed < std::min(kDayMs, span / 10)) return std::nullopt;

  PaceForecast f;
  // Percent per millisecond, and from where it runs.
  double rate = *used / elapsed;
  if (const auto recent = recentRate(cyclePoints(s, history, now), *used, now.toMSecsSinceEpoch())) {
    rate = *recent;
    f.basis = PaceForecast::Basis::recent;
  }
  const double left = span - elapsed;
  const std::optional<double> projected = displayablePercent(*used + rate * left);
  if (!projected) return std::nullopt;
  f.percent = *projected;
  f.text = QStringLiteral("On pace for %1% by %2")
               .arg(static_cast<qint64>(std::round(f.percent)))
               .arg(dayAndMonth(end, locale));
  f.color = f.percent >= 100 ? Tint::red : f.percent >= kCriticalPercent ? Tint::yellow : Tint::secondary;
  // Already past 100 % there is nothing left to run out.
  if (f.percent > 100 && *used < 100 && rate > 0) {
    const QDateTime out = now.addMSecs(static_cast<qint64>((100 - *used) / rate));
    f.runsOutAt = out;
    f.runsOutText = QStringLiteral("Runs out around ") + dayAndMonth(out, locale);
  }
  return f;
}

}  // namespace qb
