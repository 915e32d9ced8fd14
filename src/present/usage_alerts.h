#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

class QSettings;

#include "monitoring/usage_monitor.h"

namespace qb {

// The "Usage Alerts" preference; on unless switched off.
inline constexpr const char* kUsageAlertsKey = "Quotabar.usageAlerts";
bool usageAlertsEnabled(const QSettings& settings);

// One desktop notification, as the notifier sends it.
struct Notice {
  enum class Urgency { low = 0, normal = 1, critical = 2 };
  QString summary;
  QString body;
  Urgency urgency = Urgency::normal;
  QString actionKey;   // "open" or "signin"
  QString actionText;  // "Open Quotabar" or "Sign in"
};

// What is remembered per service (in the settings) between polls and starts.
struct AlertMemory {
  int band = 0;          // the highest band already told in this cycle: 0, 65 or 90
  QString cycle;         // the billing cycle the band belongs to
  bool signedIn = false; // a fetch succeeded since the last "signed you out"
  bool operator==(const AlertMemory&) const = default;
};

struct AlertInput {
  Provider provider = Provider::cursor;
  UsageMonitor::State state;
  bool sessionRefused = false;  // the stored session was just turned down
  bool enabled = true;          // the "Usage Alerts" preference
};

struct AlertDecision {
  std::optional<Notice> notice;
  AlertMemory memory;
};

// Once per band per billing cycle (a new cycle, or a fall to more than 5 points below the
// band, re-arms it), and once when a session that worked is refused. Switched off, the
// memory still follows, so switching on later does not tell old news.
AlertDecision usageAlert(const AlertInput& input, const AlertMemory& memory, const QDateTime& now,
                         const QLocale& locale = QLocale());

}  // namespace qb
