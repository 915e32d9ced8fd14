#pragma once

#include <QDateTime>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

#include "present/pace_forecast.h"
#include "present/tint.h"

namespace qb {

// The billing cycle as a small chart, in the cycle's own units: x is the share of the cycle
// (0 at its start, 1 at its end), y a percentage of the plan.
struct CycleChart {
  QList<QPointF> usage;                           // the recorded figures, ending now
  QLineF evenPace{0, 0, 1, 100};                  // 0 % at the start to 100 % at the end
  std::optional<QLineF> projection;               // now to the end, at the forecast's pace
  double top = 100;                               // the y-axis runs from 0 to this (100 to 200)
  Tint usageColor = Tint::green;                  // set by the section, from the level
  Tint projectionColor = Tint::secondary;
  QString accessibleName;                         // "Usage this cycle"
  QString accessibleDescription;                  // "58% used after 16 of 30 days; even pace 53%; on pace for 109%"
};

// Nothing without a cycle under way, a figure and this cycle's history older than now, or
// in a cycle's first day (a tenth of a short one), as for the forecast.
std::optional<CycleChart> cycleChart(const UsageSnapshot& s, const QList<UsageSample>& history,
                                     const QDateTime& now, const std::optional<PaceForecast>& forecast);

}  // namespace qb
