#include "updater/update_schedule.h"

#include <algorithm>

namespace qb {

qint64 firstUpdateCheckDelaySeconds(const std::optional<QDateTime>& lastChecked, const QDateTime& now) {
  if (!lastChecked) return kEarliestFirstCheckSeconds;
  const qint64 elapsed = lastChecked->secsTo(now);
  if (elapsed >= kUpdateCheckPeriodSeconds) return kEarliestFirstCheckSeconds;
  return std::max(kUpdateCheckPeriodSeconds - elapsed, kEarliestFirstCheckSeconds);
}

}  // namespace qb
