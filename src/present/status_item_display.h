#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <optional>

#include "monitoring/history_journal.h"
#include "monitoring/usage_monitor.h"
#include "present/usage_level.h"

namespace qb {

class ProvidersStore;

// What the tray shows: an icon name (SF Symbol names, mapped to our own icons), a title,
// an optional colour name and a tooltip.
struct StatusItemDisplay {
  QString image;
  QString title;
  std::optional<QString> titleColor;  // "labelColor", "systemYellowColor", "systemRedColor"
  QString tooltip;
  // The percentage shown, when there is one (for renderers that draw it themselves).
  std::optional<double> percent;
};

// Everything the rule reads, so it can be computed without live objects.
struct StatusItemInput {
  QList<Provider> connected;
  Provider primary = Provider::cursor;
  UsageMonitor::State primaryState;
  std::optional<QDateTime> lastUpdated;
  QDateTime now = QDateTime::currentDateTime();  // for the pace forecast
  QList<UsageSample> history = {};               // the primary's latest recorded cycle
};

// The locale's short time format with any seconds removed ("HH:mm:ss" becomes "HH:mm").
QString shortTimeWithoutSeconds(const QLocale& locale);

StatusItemDisplay statusItemDisplay(const StatusItemInput& input, const QLocale& locale = QLocale());
StatusItemDisplay statusItemDisplay(const ProvidersStore& store, const QLocale& locale = QLocale());

}  // namespace qb
