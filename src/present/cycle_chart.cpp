#include "present/cycle_chart.h"

#include <algorithm>
#include <cmath>

#include "present/formatters.h"
#include "present/usage_level.h"

namespace qb {

namespace {

// More points than the popover has pixels across would only cost time.
constexpr int kColumns = 240;
constexpr double kDayMs = 24.0 * 3600 * 1000;

qint64 rounded(double v) { return static_cast<qint64>(std::round(v)); }

}  // namespace

std::optional<CycleChart> cycleChart(const UsageSnapshot& s, const QList<UsageSample>& history,
                                     const QDateTime& now, const std::optional<PaceForecast>& forecast) {
  if (!s.billingStart || !s.billingEnd || !s.billingStart->isValid() || !s.billingEnd->isValid()) return std::nullopt;
  const std::optional<double> used = displayablePercent(s.usagePercent());
  const double span = static_cast<double>(s.billingStart->msecsTo(*s.billingEnd));
  const double elapsed = static_cast<double>(s.billingStart->msecsTo(now));
  if (!used || span <= 0 || elapsed >= span || elapsed < std::min(kDayMs, span / 10)) return std::nullopt;
  const QList<CyclePoint> points = cyclePoints(s, history, now);
  const qint64 nowMs = now.toMSecsSinceEpoch();
  if (points.isEmpty() || points.first().atMs >= nowMs) return std::nullopt;

  CycleChart c;
  const qint64 startMs = s.billingStart->toMSecsSinceEpoch();
  const auto x = [&](qint64 atMs) { return static_cast<double>(atMs - startMs) / span; };
  // The last point of each column, and the first point of all.
  int lastColumn = -1;
  for (const CyclePoint& p : points) {
    const int column = static_cast<int>(x(p.atMs) * kColumns);
    if (column == lastColumn && c.usage.size() >= 2) {
      c.usage.last() = {x(p.atMs), p.percent};
    } else {
      c.usage.append({x(p.atMs), p.percent});
    }
    lastColumn = column;
  }
  const QPointF here(elapsed / span, *used);
  c.usage.append(here);
  double highest = 100;
  for (const QPointF& p : c.usage) highest = std::max(highest, p.y());
  std::optional<double> pace;
  if (forecast) {
    c.projection = QLineF(here, QPointF(1, forecast->percent));
    c.projectionColor = forecast->color;
    highest = std::max(highest, forecast->percent);
    pace = forecast->percent;
  }
  // Steps of 25 up to twice the plan; anything above is clipped rather than flattening the rest.
  c.top = std::min(200.0, std::ceil(highest / 25) * 25);
  c.accessibleName = QStringLiteral("Usage this cycle");
  c.accessibleDescription = QStringLiteral("%1% used after %2 of %3 days; even pace %4%")
                                .arg(rounded(*used))
                                .arg(static_cast<qint64>(elapsed / kDayMs))
                                .arg(calendarDays(*s.billingStart, *s.billingEnd))
                                .arg(rounded(elapsed / span * 100));
  if (pace) c.accessibleDescription += QStringLiteral("; on pace for %1%").arg(rounded(*pace));
  return c;
}

}  // namespace qb
