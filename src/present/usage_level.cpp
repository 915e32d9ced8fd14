#include "present/usage_level.h"

#include <cmath>

namespace qb {

UsageLevel usageLevel(double percent) {
  if (percent < kWarningPercent) return UsageLevel::normal;
  if (percent < kCriticalPercent) return UsageLevel::warning;
  return UsageLevel::critical;
}

const char* usageLevelName(UsageLevel level) {
  switch (level) {
    case UsageLevel::normal: return "normal";
    case UsageLevel::warning: return "warning";
    case UsageLevel::critical: return "critical";
  }
  return "normal";
}

std::optional<double> displayablePercent(std::optional<double> percent) {
  // A value that cannot be rounded into the title is shown as no figure at all.
  if (!percent || !std::isfinite(*percent) || std::fabs(*percent) >= 9.2e18) return std::nullopt;
  return percent;
}

}  // namespace qb
