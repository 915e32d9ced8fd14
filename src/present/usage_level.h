#pragma once

#include <optional>

namespace qb {

// The bounds of the usage levels: below 65 normal, 65 up to below 90 warning, 90 and above
// critical. The tray's colour, the popover's figures and the alerts all use these.
inline constexpr double kWarningPercent = 65;
inline constexpr double kCriticalPercent = 90;

enum class UsageLevel { normal, warning, critical };
UsageLevel usageLevel(double percent);
const char* usageLevelName(UsageLevel level);

// The figure a percentage can show: finite and within a 64-bit integer once rounded.
std::optional<double> displayablePercent(std::optional<double> percent);

}  // namespace qb
