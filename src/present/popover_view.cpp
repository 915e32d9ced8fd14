#include "present/popover_view.h"

#include "platform/autostart.h"
#include "platform/settings.h"
#include "present/usage_alerts.h"

#include "monitoring/providers_store.h"
#include "present/formatters.h"
#include "present/status_item_display.h"
#include "updater/updater.h"

#include <algorithm>

namespace qb {

PopoverInput popoverInput(const ProvidersStore& store, const Updater* updater) {
  PopoverInput in;
  for (const UsageMonitor* m : store.monitors()) {
    in.sections[static_cast<int>(m->provider())] =
        SectionInput{m->provider(), m->state(), m->lastUpdated(), store.preferredPrimary() == m->provider(),
                     store.recordedCycle(m->provider())};
  }
  in.connected = store.connectedProviders();
  in.primary = store.primaryMonitor()->provider();
  in.refreshIntervalSeconds = store.refreshIntervalSeconds();
  in.openAtLogin = platform::autostartEnabled();
  const auto settings = platform::settings();
  in.usageAlerts = usageAlertsEnabled(*settings);
  in.trayIcon = trayIconStyleFromSetting(settings->value(QLatin1String(kTrayIconKey)).toString());
  if (updater) {
    in.updater = PopoverInput::UpdaterInput{updater->state(), updater->currentVersion(),
                                            updater->currentBuild(), updater->lastChecked()};
  }
  return in;
}

OptionsMenuView optionsMenuView(const PopoverInput& in, const QDateTime& now, const QLocale& locale) {
  OptionsMenuView m;
  m.intervalTitle = QStringLiteral("Refresh every");
  static const std::pair<const char*, int> intervals[] = {
      {"15 seconds", 15}, {"30 seconds", 30}, {"1 minute", 60}, {"2 minutes", 120}, {"5 minutes", 300}};
  for (const auto& [label, seconds] : intervals)
    m.intervals.append({QLatin1String(label), seconds, seconds == in.refreshIntervalSeconds});
  m.primaryTitle = QStringLiteral("Tray shows");
  for (Provider p : allProviders) {
    const auto i = static_cast<int>(p);
    m.primaries.append({displayName(p), i, in.sections[i].isPrimary});
  }
  m.trayIconTitle = QStringLiteral("Tray Icon");
  for (TrayIconStyle style : allTrayIconStyles)
    m.trayIcons.append({trayIconStyleLabel(style), static_cast<int>(style), style == in.trayIcon});
  m.connectText = QStringLiteral("Connect Providers\u2026");
  m.dashboardText = QStringLiteral("Open ") + displayName(in.primary) + QStringLiteral(" Dashboard");
  m.dashboardUrl = dashboardURL(in.primary);
  if (in.openAtLogin) {
    m.openAtLoginText = QStringLiteral("Open at Login");
    m.openAtLogin = in.openAtLogin;
  }
  m.usageAlertsText = QStringLiteral("Usage Alerts");
  m.usageAlerts = in.usageAlerts;
  if (in.updater) {
    m.checkForUpdatesText = QStringLiteral("Check for Updates\u2026");
    QString line = QStringLiteral("v%1 (%2)").arg(in.updater->currentVersion, in.updater->currentBuild);
    if (in.updater->lastChecked) {
      const QDateTime at = in.updater->lastChecked->toLocalTime();
      line += QStringLiteral(" \u00b7 checked ") +
              (at.date() == now.toLocalTime().date() ? locale.toString(at.time(), shortTimeWithoutSeconds(locale))
                                                     : mediumDate(at.date(), locale));
    }
    m.versionLine = line;
  }
  if (!in.connected.isEmpty()) {
    m.signOutTitle = QStringLiteral("Sign Out");
    for (Provider p : in.connected) m.signOutItems.append({p, QStringLiteral("Sign out of ") + displayName(p)});
    m.signOutAllText = QStringLiteral("Sign out of all");
  }
  return m;
}

TrayMenuView trayMenuView(const PopoverInput& in, const QDateTime& now, const QLocale& locale) {
  TrayMenuView m;
  m.openText = QStringLiteral("Open Quotabar");
  m.refreshText = QStringLiteral("Refresh now");
  m.refreshEnabled = !in.connected.isEmpty();
  m.options = optionsMenuView(in, now, locale);
  m.quitText = QStringLiteral("Quit");
  return m;
}

PopoverView popoverView(const PopoverInput& in, const QDateTime& now, const QLocale& locale) {
  PopoverView v;
  v.headerIcon = QStringLiteral("gauge.with.dots.needle.67percent");
  v.title = QStringLiteral("Quotabar");
  v.refreshIcon = QStringLiteral("arrow.clockwise");
  v.refreshHelp = QStringLiteral("Refresh now");
  v.refreshEnabled = !in.connected.isEmpty();
  v.empty = in.connected.isEmpty();
  if (v.empty) {
    v.emptyTitle = QStringLiteral("Not signed in to any provider");
    v.emptyMessage = QStringLiteral(
        "Quotabar can monitor Cursor, Windsurf (Devin Desktop), ChatGPT / Codex, and Claude. "
        "Sign in to any of them to see your usage in the tray.");
    v.emptyButton = QStringLiteral("Connect AI providers\u2026");
  } else {
    for (const SectionInput& s : in.sections) v.sections.append(providerSectionView(s, now, locale));
    v.connectMoreIcon = QStringLiteral("plus.circle");
    v.connectMoreText = QStringLiteral("Connect more providers\u2026");
    v.connectMoreAccessibleName = QStringLiteral("Connect more AI providers");
  }
  if (in.updater) v.banner = updateBannerView(in.updater->state, in.updater->currentVersion);
  v.optionsIcon = QStringLiteral("ellipsis.circle");
  v.optionsAccessibleName = QStringLiteral("More options");
  v.menu = optionsMenuView(in, now, locale);
  v.quitText = QStringLiteral("Quit");
  return v;
}

int visibleListHeight(const QList<int>& rowBottoms, int room) {
  const int total = rowBottoms.isEmpty() ? 0 : rowBottoms.last();
  if (total <= room) return total;
  int fits = 0;
  for (int bottom : rowBottoms) {
    if (bottom > room) break;
    fits = bottom;
  }
  return fits > 0 ? fits : std::max(room, 0);
}

}  // namespace qb
