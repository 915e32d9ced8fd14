#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace qb {

// Dollars in the locale's currency style ("$%.2f" when the locale gives nothing);
// nothing for a value that is not finite.
std::optional<QString> money(double dollars, const QLocale& locale = QLocale());

// Cents: "$12.34 of $20.00"; requests: "12 / 500 requests" (truncated, "request" for a
// limit of exactly 1). Nothing when an amount cannot be shown.
std::optional<QString> planUsageText(bool isCentsBased, double used, double limit,
                                     const QLocale& locale = QLocale());

// A whole number by truncation toward zero, or nothing when not finite or beyond 64 bits.
std::optional<qint64> truncated(double value);

// Short-units relative time: "5 min. ago", "in 2 hr.", "now".
QString relativeTime(const QDateTime& date, const QDateTime& now);

// The day component of the calendar difference from `from` to `to` (local time).
qint64 calendarDays(const QDateTime& from, const QDateTime& to);

// A medium date without time: "Nov 20, 2026" in a US locale.
QString mediumDate(const QDate& date, const QLocale& locale = QLocale());

// Byte counts in decimal kilobytes and megabytes, as file sizes are shown ("12.3 MB").
QString formatByteCount(qint64 bytes, const QLocale& locale = QLocale());

}  // namespace qb
