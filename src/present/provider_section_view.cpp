#include "present/provider_section_view.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "present/formatters.h"
#include "present/pace_forecast.h"

namespace qb {

Tint iconTint(Provider p) {
  switch (p) {
    case Provider::cursor: return Tint::blue;
    case Provider::windsurf: return Tint::teal;
    case Provider::codex: return Tint::green;
    case Provider::claude: return Tint::orange;
  }
  return Tint::blue;
}

Tint levelTint(UsageLevel level) {
  switch (level) {
    case UsageLevel::normal: return Tint::green;
    case UsageLevel::warning: return Tint::yellow;
    case UsageLevel::critical: return Tint::red;
  }
  return Tint::green;
}

namespace {

using Kind = UsageMonitor::State::Kind;
using View = ProviderSectionView;


std::optional<double> finite(std::optional<double> v) {
  if (v && std::isfinite(*v)) return v;
  return std::nullopt;
}

std::optional<View::Utilization> utilization(const UsageSnapshot& s, const QLocale& locale) {
  const std::optional<double> p = displayablePercent(s.usagePercent());
  if (!p) return std::nullopt;
  const UsageLevel level = usageLevel(*p);
  View::Utilization u;
  u.label = QStringLiteral("Utilization");
  u.percentText = QString::asprintf("%.1f%%", *p);
  u.color = levelTint(level);
  u.barValue = std::clamp(*p, 0.0, 100.0);
  u.accessibleName = QStringLiteral("Utilization");
  u.accessibleValue = QString::asprintf("%.1f percent, ", *p) + QLatin1String(usageLevelName(level));
  if (s.planUsed && s.planLimit && *s.planLimit > 0)
    u.planText = planUsageText(s.isCentsBased, *s.planUsed, *s.planLimit, locale);
  if (const auto r = finite(s.planRemaining)) {
    std::optional<QString> amount;
    if (s.isCentsBased) {
      amount = money(*r / 100, locale);
    } else if (std::fabs(*r) < 9.2e18) {
      amount = QString::asprintf("%.0f", *r);
    }
    if (amount) u.remainingText = *amount + QStringLiteral(" left");
  }
  return u;
}

std::optional<View::OnDemand> onDemand(const UsageSnapshot& s, const QLocale& locale) {
  const bool spent = s.onDemandUsedCents && *s.onDemandUsedCents > 0;
  if (!s.onDemandEnabled && !spent) return std::nullopt;
  // A figure that cannot be shown counts as no spending.
  const double used = finite(s.onDemandUsedCents).value_or(0) / 100;
  View::OnDemand o;
  o.icon = QStringLiteral("creditcard.fill");
  o.label = QStringLiteral("On-Demand");
  o.amount = *money(used, locale);
  const std::optional<double> cap = finite(s.onDemandLimitCents);
  if (!cap || *cap / 100 <= 0) {
    o.note = QStringLiteral("Credits used past your included plan");
  } else {
    o.capText = QStringLiteral("Hard limit ") + *money(*cap / 100, locale);
    o.capPercent = QString::asprintf("%.0f%% of cap", std::clamp(used / (*cap / 100) * 100, 0.0, 100.0));
  }
  return o;
}

std::optional<View::Billing> billing(const UsageSnapshot& s, const QDateTime& now,
                                     const QLocale& locale, const QList<UsageSample>& history) {
  if (!s.billingEnd || !s.billingEnd->isValid()) return std::nullopt;
  const QDateTime end = *s.billingEnd;
  View::Billing b;
  b.label = QStringLiteral("Billing Cycle");
  b.daysLeft = QStringLiteral("%1 days left").arg(std::max<qint64>(0, calendarDays(now, end)));
  if (!s.billingStart || !s.billingStart->isValid()) return b;
  const QDateTime start = *s.billingStart;
  if (end > start) {
    const double span = static_cast<double>(start.msecsTo(end));
    b.progress = std::clamp(static_cast<double>(start.msecsTo(now)) / span, 0.0, 1.0);
  }
  // An end before its start has no cycle to describe.
  if (end >= start) {
    b.start = mediumDate(start.toLocalTime().date(), locale);
    b.cycle = QStringLiteral("%1 day cycle").arg(calendarDays(start, end));
    b.end = mediumDate(end.toLocalTime().date(), locale);
  }
  const std::optional<PaceForecast> f = paceForecast(s, now, locale, history);
  if (f) {
    b.forecast = f->text;
    b.forecastColor = f->color;
    b.runsOut = f->runsOutText;
  }
  b.chart = cycleChart(s, history, now, f);
  if (b.chart) b.chart->usageColor = levelTint(usageLevel(b.chart->usage.last().y()));
  return b;
}

}  // namespace

ProviderSectionView providerSectionView(const SectionInput& in, const QDateTime& now,
                                        const QLocale& locale) {
  const Provider p = in.provider;
  const QString name = displayName(p);
  View v;
  v.provider = p;
  v.icon = systemImage(p);
  v.iconColor = iconTint(p);
  v.name = name;
  v.beta = isBeta(p);

  v.pin.on = in.isPrimary;
  v.pin.icon = in.isPrimary ? QStringLiteral("menubar.rectangle") : QStringLiteral("menubar.dock.rectangle");
  v.pin.color = in.isPrimary ? Tint::accent : Tint::secondary;
  v.pin.toolTip = in.isPrimary ? QStringLiteral("Showing in the tray") : QStringLiteral("Show in the tray");
  v.pin.accessibleName = QStringLiteral("Show ") + name + QStringLiteral(" in the tray");
  v.pin.accessibleValue = in.isPrimary ? QStringLiteral("On") : QStringLiteral("Off");

  const auto& state = in.state;
  switch (state.kind) {
    case Kind::unknown:
    case Kind::loading:
      v.action = View::Action::progress;
      v.actionAccessibleName = QStringLiteral("Loading ") + name + QStringLiteral(" usage");
      v.body = state.kind == Kind::unknown ? View::Body::checking : View::Body::loading;
      v.bodyText = state.kind == Kind::unknown ? QStringLiteral("Checking\u2026")
                                               : QStringLiteral("Loading usage\u2026");
      break;
    case Kind::signedOut:
      v.action = View::Action::signIn;
      v.actionText = QStringLiteral("Sign in");
      v.actionAccessibleName = QStringLiteral("Sign in to ") + name;
      v.body = View::Body::signedOut;
      v.bodyText = subtitle(p);
      break;
    case Kind::error:
      v.action = View::Action::retry;
      v.actionText = QStringLiteral("Retry");
      v.actionAccessibleName = QStringLiteral("Retry loading ") + name;
      v.body = View::Body::error;
      v.bodyText = state.error;
      v.errorTitle = QStringLiteral("Couldn't load");
      v.errorIcon = QStringLiteral("exclamationmark.triangle.fill");
      v.signInAgainText = QStringLiteral("Sign in again");
      break;
    case Kind::loaded: {
      v.body = View::Body::loaded;
      UsageSnapshot s;
      s.provider = p;
      if (state.snapshot) s = *state.snapshot;
      v.account = s.email.value_or(QStringLiteral("Signed in"));
      if (s.membership) v.membership = capitalized(*s.membership);
      if (in.lastUpdated) {
        const QString rel = relativeTime(*in.lastUpdated, now);
        v.updated = QStringLiteral("Updated ") + rel;
        v.updatedAccessibleName = QStringLiteral("Last updated ") + rel;
      }
      v.utilization = utilization(s, locale);
      if (!v.utilization && s.statusNote) v.statusNote = s.statusNote;
      v.onDemand = onDemand(s, locale);
      v.billing = billing(s, now, locale, in.history);
      v.dashboardText = QStringLiteral("Open Dashboard");
      v.dashboardAccessibleName = QStringLiteral("Open ") + name + QStringLiteral(" dashboard in browser");
      v.dashboardUrl = dashboardURL(p);
      v.signOutText = QStringLiteral("Sign out");
      v.signOutAccessibleName = QStringLiteral("Sign out of ") + name;
      break;
    }
  }
  return v;
}

}  // namespace qb
