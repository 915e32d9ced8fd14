#pragma once
// The fixed clock, locale and odd numbers the view-model tests share.
#include <QDateTime>
#include <QLocale>
#include <limits>

namespace qb {

inline const QLocale us(QLocale::English, QLocale::UnitedStates);
inline const QDateTime now(QDate(2026, 12, 6), QTime(12, 0), Qt::LocalTime);
inline constexpr double nan = std::numeric_limits<double>::quiet_NaN();
inline constexpr double inf = std::numeric_limits<double>::infinity();

}  // namespace qb
