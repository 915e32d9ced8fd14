#pragma once
// The fixed clock, locale, odd numbers and snapshots the view-model tests share.
#include <QDateTime>
#include <QLocale>
#include <limits>

#include "present/status_item_display.h"

namespace qb {

inline const QLocale us(QLocale::English, QLocale::UnitedStates);
inline const QDateTime now(QDate(2026, 12, 6), QTime(12, 0), Qt::LocalTime);
inline constexpr double nan = std::numeric_limits<double>::quiet_NaN();
inline constexpr double inf = std::numeric_limits<double>::infinity();

// A snapshot of nothing but its figures, and the tray showing Cursor in a state.
inline UsageSnapshot usage(std::optional<double> total, std::optional<double> api = std::nullopt) {
  return {.totalPercentUsed = total, .apiPercentUsed = api};
}
inline StatusItemInput trayShowing(const UsageMonitor::State& state) {
  return {{Provider::cursor}, Provider::cursor, state, std::nullopt};
}

}  // namespace qb
