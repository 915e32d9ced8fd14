#include "present/tray_icon_look.h"

#include <QStringList>
#include <algorithm>

namespace qb {

namespace {

// Breeze's panels: the lighter of the dark ones and the darker of the light ones are the
// hardest backgrounds for a light or a dark figure.
constexpr Rgb kDarkPanel = 0x31363b, kLightPanel = 0xeff0f1;
constexpr Rgb kLightInk = 0xffffff, kDarkInk = 0x232629;

struct Names {
  TrayIconStyle style;
  const char* setting;
  const char* label;
};
constexpr Names kNames[] = {{TrayIconStyle::automatic, "automatic", "Automatic"},
                            {TrayIconStyle::colour, "colour", "Colour"},
                            {TrayIconStyle::light, "light", "Light for dark panels"},
                            {TrayIconStyle::dark, "dark", "Dark for light panels"}};

bool gnome(const QString& currentDesktop) {
  const QStringList names = currentDesktop.split(u':', Qt::SkipEmptyParts);
  return std::any_of(names.begin(), names.end(),
                     [](const QString& n) { return n.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0; });
}

Rgb levelInk(UsageLevel level, bool darkPanel) {
  switch (level) {
    case UsageLevel::normal: return darkPanel ? kLightInk : kDarkInk;
    case UsageLevel::warning: return darkPanel ? 0xffd60a : 0x7a5200;
    case UsageLevel::critical: return darkPanel ? 0xff8a80 : 0xb3261e;
  }
  return kLightInk;
}

}  // namespace

TrayIconStyle trayIconStyleFromSetting(const QString& value) {
  for (const Names& n : kNames)
    if (value == QLatin1String(n.setting)) return n.style;
  return TrayIconStyle::automatic;
}

QString trayIconSetting(TrayIconStyle style) {
  return QLatin1String(kNames[static_cast<int>(style)].setting);
}

QString trayIconStyleLabel(TrayIconStyle style) { return QLatin1String(kNames[static_cast<int>(style)].label); }

TrayIconLook trayIconLook(TrayIconStyle style, const PanelHints& panel, std::optional<UsageLevel> level) {
  TrayIconLook look;
  switch (style) {
    case TrayIconStyle::light: look.darkPanel = true; break;
    case TrayIconStyle::dark: look.darkPanel = false; break;
    case TrayIconStyle::automatic:
    case TrayIconStyle::colour: look.darkPanel = gnome(panel.currentDesktop) || panel.darkColorScheme; break;
  }
  look.monochrome = style != TrayIconStyle::colour;
  look.panel = look.darkPanel ? kDarkPanel : kLightPanel;
  look.track = look.darkPanel ? kLightInk : kDarkInk;
  look.trackOpacity = look.darkPanel ? 0.4 : 0.35;
  look.figure = look.monochrome ? look.track : levelInk(level.value_or(UsageLevel::normal), look.darkPanel);
  look.ring = look.figure;
  look.mark = look.monochrome && level == UsageLevel::critical;
  return look;
}

}  // namespace qb
