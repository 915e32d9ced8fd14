#pragma once

#include <QDateTime>
#include <optional>

namespace qb {

// Seconds from launch to the first automatic update check: two hours after the previous
// check, but never sooner than 5 seconds after launch (5 when there was none). A previous
// check in the future (the clock moved back) gives a longer wait.
qint64 firstUpdateCheckDelaySeconds(const std::optional<QDateTime>& lastChecked, const QDateTime& now);

inline constexpr qint64 kUpdateCheckPeriodSeconds = 7200;
inline constexpr qint64 kEarliestFirstCheckSeconds = 5;
inline constexpr int kOnboardingDelayMs = 400;

}  // namespace qb
