#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

#include "present/tint.h"
#include "providers/provider_api.h"

namespace qb {

// Where the usage of a billing cycle ends at the pace so far.
struct PaceForecast {
  double percent = 0;                   // projected at the cycle's end
  std::optional<QDateTime> runsOutAt;   // when the pace reaches 100 % before the end
  QString text;                         // "On pace for 112% by 21 Dec"
  std::optional<QString> runsOutText;   // "Runs out around 18 Dec"
  Tint color = Tint::secondary;         // red from 100 %, yellow from 90 %
};

// Nothing without a usable cycle and figure, or before a day (or a tenth of a short cycle)
// has passed: earlier the pace is noise.
std::optional<PaceForecast> paceForecast(const UsageSnapshot& s, const QDateTime& now,
                                         const QLocale& locale = QLocale());

}  // namespace qb
