#include "present/usage_alerts.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>

#include "present/formatters.h"
#include "present/usage_level.h"

namespace qb {

namespace {

int bandOf(double percent) {
  return percent >= kCriticalPercent ? 90 : percent >= kWarningPercent ? 65 : 0;
}

// A band told is re-armed only once the figure falls this far below it: a figure hovering
// at 90 % (a service's rounding, a small refund) is told once, a real fall (a larger plan)
// tells the band again when it is reached again.
constexpr double kRearmMargin = 5;

// The cycle's first day: a cycle never starts twice on one day, and a service that stamps
// its start afresh on each answer does not look like a new cycle.
QString cycleKey(const UsageSnapshot& s) {
  return s.billingStart && s.billingStart->isValid() ? s.billingStart->toUTC().date().toString(Qt::ISODate)
                                                     : QString();
}

QString bandBody(const UsageSnapshot& s, double percent, const QDateTime& now, const QLocale& locale) {
  QStringList parts;
  if (s.planUsed && s.planLimit && *s.planLimit > 0) {
    if (auto plan = planUsageText(s.isCentsBased, *s.planUsed, *s.planLimit, locale)) parts << *plan;
  }
  if (s.billingEnd && s.billingEnd->isValid()) {
    const qint64 days = std::max<qint64>(0, calendarDays(now, *s.billingEnd));
    parts << (days == 1 ? QStringLiteral("1 day left") : QStringLiteral("%1 days left").arg(days));
  }
  if (parts.isEmpty()) parts << QString::asprintf("%.0f %% used", percent);
  return parts.join(QStringLiteral(" \u00b7 "));
}

}  // namespace

bool usageAlertsEnabled(const QSettings& settings) {
  return settings.value(QLatin1String(kUsageAlertsKey), true).toBool();
}

AlertDecision usageAlert(const AlertInput& in, const AlertMemory& before, const QDateTime& now,
                         const QLocale& locale) {
  AlertDecision d{std::nullopt, before};
  const QString name = displayName(in.provider);
  if (in.sessionRefused) {
    if (!before.signedIn) return d;
    d.memory.signedIn = false;
    if (in.enabled)
      d.notice = Notice{name + QStringLiteral(" signed you out"),
                        QStringLiteral("Sign in again to keep its usage up to date."),
                        Notice::Urgency::normal, QStringLiteral("signin"), QStringLiteral("Sign in")};
    return d;
  }
  if (in.state.kind != UsageMonitor::State::Kind::loaded || !in.state.snapshot) return d;
  const UsageSnapshot& s = *in.state.snapshot;
  d.memory.signedIn = true;
  const QString cycle = cycleKey(s);
  if (cycle != before.cycle) {
    d.memory.cycle = cycle;
    d.memory.band = 0;
  }
  const std::optional<double> percent = displayablePercent(s.usagePercent());
  if (!percent) return d;
  const int band = bandOf(*percent);
  if (band <= d.memory.band) {
    d.memory.band = std::min(d.memory.band, bandOf(*percent + kRearmMargin));
    return d;
  }
  d.memory.band = band;
  if (in.enabled)
    d.notice = Notice{QStringLiteral("%1 at %2%").arg(name).arg(band), bandBody(s, *percent, now, locale),
                      band >= 90 ? Notice::Urgency::critical : Notice::Urgency::normal,
                      QStringLiteral("open"), QStringLiteral("Open Quotabar")};
  return d;
}

}  // namespace qb
