#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <optional>

#include "monitoring/history_journal.h"
#include "present/tint.h"
#include "providers/provider_api.h"

namespace qb {

// Where the usage of a billing cycle ends at the pace so far.
struct PaceForecast {
  // The rate of the last days (from the history), or the cycle's average.
  enum class Basis { cycle, recent };
  Basis basis = Basis::cycle;
  double percent = 0;                   // projected at the cycle's end
  std::optional<QDateTime> runsOutAt;   // when the pace reaches 100 % before the end
  QString text;                         // "On pace for 112% by 21 Dec"
  std::optional<QString> runsOutText;   // "Runs out around 18 Dec"
  Tint color = Tint::secondary;         // red from 100 %, yellow from 90 %
};

const char* basisName(PaceForecast::Basis basis);  // "cycle", "recent"

// One recorded figure of the current cycle, restated at today's limit when the limit changed
// since (so a raised limit is not read as usage going down).
struct CyclePoint {
  qint64 atMs = 0;
  double percent = 0;
};
// The history's samples of the snapshot's cycle up to `now`, oldest first.
QList<CyclePoint> cyclePoints(const UsageSnapshot& s, const QList<UsageSample>& history, const QDateTime& now);

// Nothing without a usable cycle and figure, or before a day (or a tenth of a short cycle)
// has passed: earlier the pace is noise. With at least three days of this cycle's history,
// the pace is the rate of the last seven days (or of the whole history when shorter).
std::optional<PaceForecast> paceForecast(const UsageSnapshot& s, const QDateTime& now,
                                         const QLocale& locale = QLocale(),
                                         const QList<UsageSample>& history = {});

}  // namespace qb
