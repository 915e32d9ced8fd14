#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QUrl>
#include <array>
#include <optional>

#include "present/provider_section_view.h"
#include "present/tray_icon_look.h"
#include "present/update_banner_view.h"

namespace qb {

class ProvidersStore;
class Updater;

// The options menu; the tray's context menu is built from the same value.
struct OptionsMenuView {
  struct Choice {
    QString label;
    int value = 0;  // seconds, or the provider's index
    bool checked = false;
    bool operator==(const Choice&) const = default;
  };
  QString intervalTitle;
  QList<Choice> intervals;
  QString primaryTitle;
  QList<Choice> primaries;
  QString trayIconTitle;
  QList<Choice> trayIcons;  // value: the TrayIconStyle
  QString connectText;
  QString dashboardText;
  QUrl dashboardUrl;
  // Starting with the desktop session; absent when it cannot be offered.
  QString openAtLoginText;
  std::optional<bool> openAtLogin;
  QString usageAlertsText;
  bool usageAlerts = true;
  std::optional<QString> checkForUpdatesText;  // with an updater
  std::optional<QString> versionLine;
  std::optional<QString> signOutTitle;  // with a connected service
  QList<std::pair<Provider, QString>> signOutItems;
  QString signOutAllText;
  bool operator==(const OptionsMenuView&) const = default;
};

// The tray icon's context menu: the popup's main commands around the options menu, for
// hosts that only open menus.
struct TrayMenuView {
  QString openText;
  QString refreshText;
  bool refreshEnabled = false;
  OptionsMenuView options;
  QString quitText;
  bool operator==(const TrayMenuView&) const = default;
};

// Everything the popover reads from the store and the updater.
struct PopoverInput {
  std::array<SectionInput, 4> sections;
  QList<Provider> connected;
  Provider primary = Provider::cursor;  // the monitor the tray shows
  int refreshIntervalSeconds = 60;
  struct UpdaterInput {
    UpdaterState state;
    QString currentVersion;
    QString currentBuild;
    std::optional<QDateTime> lastChecked;
  };
  std::optional<UpdaterInput> updater;
  std::optional<bool> openAtLogin;  // whether the login-start entry exists
  bool usageAlerts = true;
  TrayIconStyle trayIcon = TrayIconStyle::automatic;
};

PopoverInput popoverInput(const ProvidersStore& store, const Updater* updater);

struct PopoverView {
  QString headerIcon;
  QString title;
  QString refreshIcon;
  QString refreshHelp;
  bool refreshEnabled = false;
  bool empty = true;
  // empty state
  QString emptyTitle;
  QString emptyMessage;
  QString emptyButton;
  // service list
  QList<ProviderSectionView> sections;
  QString connectMoreIcon;
  QString connectMoreText;
  QString connectMoreAccessibleName;
  std::optional<UpdateBannerView> banner;
  QString optionsIcon;
  QString optionsAccessibleName;
  OptionsMenuView menu;
  QString quitText;
};

// The version line says when the last check was as a time of day (a date when older): a
// relative time would go stale in hosts that keep the menu they read.
OptionsMenuView optionsMenuView(const PopoverInput& input, const QDateTime& now,
                                const QLocale& locale = QLocale());
TrayMenuView trayMenuView(const PopoverInput& input, const QDateTime& now, const QLocale& locale = QLocale());
PopoverView popoverView(const PopoverInput& input, const QDateTime& now,
                        const QLocale& locale = QLocale());

// The height the service list shows, given where each of its rows ends (top to bottom) and
// the room the screen leaves: all of it when it fits; else the whole rows that fit, so the
// bottom edge never cuts one (a single row taller than the room gets the room).
int visibleListHeight(const QList<int>& rowBottoms, int room);

}  // namespace qb
