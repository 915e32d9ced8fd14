#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "present/tint.h"
#include "present/usage_level.h"

namespace qb {

// The "Tray Icon" choice of the options menu: monochrome icons match the panel's own, as
// other tray icons on Linux do; "Colour" keeps the level colours.
enum class TrayIconStyle { automatic, colour, light, dark };
inline constexpr const char* kTrayIconKey = "Quotabar.trayIcon";
TrayIconStyle trayIconStyleFromSetting(const QString& value);  // anything unknown: automatic
QString trayIconSetting(TrayIconStyle style);
QString trayIconStyleLabel(TrayIconStyle style);
inline constexpr TrayIconStyle allTrayIconStyles[] = {TrayIconStyle::automatic, TrayIconStyle::colour,
                                                      TrayIconStyle::light, TrayIconStyle::dark};

// What the desktop says about its panel.
struct PanelHints {
  QString currentDesktop;  // XDG_CURRENT_DESKTOP, e.g. "GNOME", "ubuntu:GNOME", "KDE"
  bool darkColorScheme = false;
};

// How the icon is painted: its colours and whether the critical mark shows.
struct TrayIconLook {
  bool monochrome = true;
  bool darkPanel = true;
  Rgb panel = 0;   // the panel colour the icon is made for
  Rgb figure = 0;  // the number, and in monochrome the whole icon
  Rgb ring = 0;    // the ring's filled part
  Rgb track = 0;   // its empty part, drawn at `trackOpacity`
  double trackOpacity = 0.4;
  bool mark = false;  // monochrome from 90 %: no colour can say it
  bool operator==(const TrayIconLook&) const = default;
};

// GNOME's top bar is dark whatever the colour scheme; other panels follow the scheme.
TrayIconLook trayIconLook(TrayIconStyle style, const PanelHints& panel, std::optional<UsageLevel> level);

}  // namespace qb
